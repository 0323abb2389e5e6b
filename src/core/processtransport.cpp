#include "processtransport.h"

#include "reasons.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

namespace kolta::jet {

using protocol::Reader;
using protocol::Request;
using protocol::Status;

namespace {

constexpr int StartTimeoutMs = 10000;

} // namespace

ProcessTransport::ProcessTransport(QString program) : m_program(std::move(program)) {}

ProcessTransport::~ProcessTransport()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        // End of input tells the engine to quit; one that is busy is ended.
        m_process->closeWriteChannel();
        if (!m_process->waitForFinished(500)) {
            m_process->kill();
            m_process->waitForFinished(1000);
        }
    }
}

QString ProcessTransport::defaultProgram()
{
    const QString fromEnvironment = qEnvironmentVariable("KOLTA_ENGINE");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QCoreApplication::applicationDirPath() + QLatin1String("/kolta-engine");
}

qint64 ProcessTransport::processId() const
{
    return running() ? m_process->processId() : 0;
}

void ProcessTransport::stop()
{
    if (m_process) {
        m_process->kill();
        m_process->waitForFinished(2000);
        m_process.reset();
    }
    m_frames.clear();
}

bool ProcessTransport::running() const
{
    // The process may have ended while idle (killed, out of memory); only a
    // look at it now tells, not the state recorded at the last request.
    return m_process && m_process->state() == QProcess::Running && !m_process->waitForFinished(0);
}

Error ProcessTransport::fail(const QString &subject, const QString &reason)
{
    stop();
    return withReason(subject, reason);
}

Result<void> ProcessTransport::start(const Wait &wait)
{
    stop();
    auto process = std::make_unique<QProcess>();
    process->setProgram(m_program);
    process->setArguments({QStringLiteral("serve")});
    // Nothing the engine does may land beside the user's files.
    process->setWorkingDirectory(QStringLiteral("/"));
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(QIODevice::ReadWrite);
    if (!process->waitForStarted(StartTimeoutMs))
        return Error{QStringLiteral("The database engine %1 cannot be started: %2.")
                         .arg(quoted(m_program), process->errorString())};
    m_process = std::move(process);
    newGeneration();

    const QString subject = QStringLiteral("The database engine %1 does not work").arg(quoted(m_program));
    const Result<QByteArray> hello = exchange(Request::Hello, {}, subject, wait);
    if (!hello.ok())
        return hello.error();
    Reader answer(hello.value());
    quint32 version = 0;
    answer.stream() >> version;
    if (!answer.finish() || version != protocol::Version)
        return fail(subject, QStringLiteral("it speaks another protocol version"));
    return {};
}

std::optional<Error> ProcessTransport::pause(const Wait &wait, WaitPoint point, const QString &subject)
{
    if (!wait(point))
        return fail(subject, reasons::Stopped);
    // The windows ran meanwhile; one of them may have ended the engine.
    if (!m_process)
        return withReason(subject, reasons::Stopped);
    return std::nullopt;
}

Result<QByteArray> ProcessTransport::send(Request kind, const QByteArray &body, const QString &subject,
                                          const Wait &wait)
{
    if (!m_process)
        return withReason(subject, deathReason(kind));
    if (wait) {
        if (auto stopped = pause(wait, WaitPoint::BeforeSending, subject))
            return *stopped;
    }

    m_died = false;
    const quint32 id = m_nextId++;
    protocol::Writer request(id, quint16(kind));
    m_frames.clear();
    m_process->write(protocol::frame(request.payload() + body));

    const bool statement = isStatement(kind);
    const int limit = statement ? qMax(m_timeoutMs, StatementTimeoutMs) : m_timeoutMs;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        m_frames.append(m_process->readAllStandardOutput());
        QByteArray payload;
        const auto outcome = m_frames.next(&payload);
        if (outcome == protocol::FrameReader::Outcome::Garbled)
            return fail(subject, reasons::Garbled);
        if (outcome == protocol::FrameReader::Outcome::Complete)
            return answerTo(id, payload, subject);
        if (m_process->state() != QProcess::Running) {
            // Whatever it wrote before it ended has been read above.
            m_died = true;
            return fail(subject, deathReason(kind));
        }
        const int elapsed = int(waited.elapsed());
        if (elapsed >= limit)
            return fail(subject, silenceReason(kind, limit));
        if (wait && elapsed > 0) {
            if (auto stopped = pause(wait, WaitPoint::ForAnswer, subject))
                return *stopped;
        }
        m_process->waitForReadyRead(qMin(WaitSliceMs, limit - elapsed));
    }
}

Result<QByteArray> ProcessTransport::answerTo(quint32 id, const QByteArray &payload, const QString &subject)
{
    Reader answer(payload);
    if (!answer.ok() || answer.id() != id || !m_frames.isEmpty())
        return fail(subject, reasons::Garbled);
    if (answer.kindOrStatus() == quint16(Status::Ok))
        return payload;
    QString message;
    answer.stream() >> message;
    if (answer.kindOrStatus() != quint16(Status::Error) || !answer.finish() || message.isEmpty())
        return fail(subject, reasons::Garbled);
    return Error{message};
}

} // namespace kolta::jet
