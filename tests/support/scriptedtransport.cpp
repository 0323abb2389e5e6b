#include "scriptedtransport.h"

#include "reasons.h"

namespace kolta::test {

using jet::protocol::Request;

ScriptedTransport::Step &ScriptedTransport::add(Step::Outcome outcome, const QByteArray &body)
{
    Step &step = m_steps.emplace_back();
    step.outcome = outcome;
    step.body = body;
    return step;
}

ScriptedTransport::Step &ScriptedTransport::answerTables(const QList<jet::TableDef> &tables)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out.setVersion(jet::protocol::StreamVersion);
    jet::protocol::writeTableDefs(out, tables);
    return add(Step::Outcome::Answer, body);
}

ScriptedTransport::Step &ScriptedTransport::garble()
{
    // Every answer with values begins with at least four bytes.
    return add(Step::Outcome::Answer, QByteArray("\x7f\x7f", 2));
}

ScriptedTransport::Step &ScriptedTransport::die()
{
    return add(Step::Outcome::Death);
}

ScriptedTransport::Step &ScriptedTransport::fallSilent(int limitMs)
{
    Step &step = add(Step::Outcome::Silence);
    step.limitMs = limitMs;
    return step;
}

QList<Request> ScriptedTransport::kinds() const
{
    QList<Request> kinds;
    for (const Sent &sent : m_sent)
        kinds.append(sent.kind);
    return kinds;
}

Result<void> ScriptedTransport::start(const Wait &)
{
    m_running = true;
    newGeneration();
    return {};
}

std::optional<Error> ScriptedTransport::pause(const Wait &wait, WaitPoint point, const QString &subject)
{
    if (!wait(point)) {
        stop();
        return jet::withReason(subject, jet::reasons::Stopped);
    }
    if (!m_running)
        return jet::withReason(subject, jet::reasons::Stopped);
    return std::nullopt;
}

Result<QByteArray> ScriptedTransport::send(Request kind, const QByteArray &body, const QString &subject,
                                           const Wait &wait)
{
    if (!m_running)
        return jet::withReason(subject, jet::deathReason(kind));
    if (wait) {
        if (auto stopped = pause(wait, WaitPoint::BeforeSending, subject))
            return *stopped;
    }
    m_died = false;
    m_sent.append({kind, body});
    const jet::protocol::Writer ok(quint32(m_sent.size()), quint16(jet::protocol::Status::Ok));
    if (kind == Request::Close || kind == Request::CloseCursor)
        return ok.payload();
    if (m_steps.empty())
        return Error{QStringLiteral("The script has no step for request %1.").arg(m_sent.size())};
    const Step step = m_steps.front();
    m_steps.pop_front();
    for (int i = 0; wait && i < step.waits; ++i) {
        if (auto stopped = pause(wait, WaitPoint::ForAnswer, subject))
            return *stopped;
    }
    switch (step.outcome) {
    case Step::Outcome::Answer:
        return ok.payload() + step.body;
    case Step::Outcome::Death:
        m_died = true;
        stop();
        return jet::withReason(subject, jet::deathReason(kind));
    case Step::Outcome::Silence:
        stop();
        return jet::withReason(subject, jet::silenceReason(kind, step.limitMs));
    }
    return Error{QStringLiteral("The script has a step of no known outcome.")};
}

} // namespace kolta::test
