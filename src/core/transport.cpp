#include "transport.h"

#include "reasons.h"

#include <QScopeGuard>

namespace kolta::jet {

using protocol::Request;

Result<QByteArray> Transport::exchange(Request kind, const QByteArray &body, const QString &subject,
                                       const Wait &wait)
{
    // Asked from inside another request's wait (a window repainting).
    if (m_inFlight)
        return withReason(subject, reasons::Busy);
    m_inFlight = true;
    const auto landed = qScopeGuard([this] { m_inFlight = false; });
    return send(kind, body, subject, wait);
}

Error withReason(const QString &subject, const QString &reason)
{
    return Error{subject + QLatin1String(": ") + reason + QLatin1Char('.')};
}

bool isStatement(Request kind)
{
    return kind == Request::Query || kind == Request::QueryOpen || kind == Request::Parameters
           || kind == Request::Fetch || kind == Request::Rows;
}

QLatin1String deathReason(Request kind)
{
    switch (kind) {
    case Request::Hello:
        return reasons::EngineEnded;     // before the greeting no file has been read
    case Request::Query:
    case Request::QueryOpen:
    case Request::Parameters:
    case Request::Fetch:
        return reasons::EngineStoppedRunning;
    case Request::Rows:
        return reasons::EngineStoppedReading;
    default:
        return reasons::EngineStopped;   // it was reading the file's structure
    }
}

QString silenceReason(Request kind, int limitMs)
{
    if (isStatement(kind))
        return QString(reasons::StatementTooLong).arg(limitMs / 60000);
    return QString(kind == Request::Hello ? reasons::EngineMute : reasons::EngineSilent).arg(limitMs / 1000.0);
}

} // namespace kolta::jet
