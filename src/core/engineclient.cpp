#include "engineclient.h"

#include "reasons.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>

namespace kolta::jet {

using protocol::Reader;
using protocol::Request;
using protocol::Status;

namespace {

constexpr int WaitSliceMs = 50;
constexpr int StartTimeoutMs = 10000;


QString openSubject(const QString &path)
{
    return QString(reasons::CannotOpen).arg(quoted(path));
}

bool isStatement(Request kind)
{
    return kind == Request::Query || kind == Request::QueryOpen || kind == Request::Fetch || kind == Request::Rows;
}

// Why the engine ended in the middle of a request, by what it was asked.
QLatin1String deathReason(Request kind)
{
    switch (kind) {
    case Request::Hello:
        return reasons::EngineEnded;     // before the greeting no file has been read
    case Request::Query:
    case Request::QueryOpen:
    case Request::Fetch:
        return reasons::EngineStoppedRunning;
    case Request::Rows:
        return reasons::EngineStoppedReading;
    default:
        return reasons::EngineStopped;   // it was reading the file's structure
    }
}

Error withReason(const QString &subject, const QString &reason)
{
    return Error{subject + QLatin1String(": ") + reason + QLatin1Char('.')};
}

} // namespace

EngineClient::EngineClient() : m_program(defaultProgram()) {}

EngineClient::~EngineClient()
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

QString EngineClient::defaultProgram()
{
    const QString fromEnvironment = qEnvironmentVariable("KOLTA_ENGINE");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QCoreApplication::applicationDirPath() + QLatin1String("/kolta-engine");
}

qint64 EngineClient::processId() const
{
    return running() ? m_process->processId() : 0;
}

void EngineClient::stop()
{
    if (m_process) {
        m_process->kill();
        m_process->waitForFinished(2000);
        m_process.reset();
    }
    m_frames.clear();
}

Error EngineClient::fail(const QString &subject, const QString &reason)
{
    stop();
    return withReason(subject, reason);
}

EngineClient::Work::Work(EngineClient &client) : m_client(client)
{
    m_client.beginWork();
}

EngineClient::Work::~Work()
{
    m_client.endWork();
}

void EngineClient::beginWork()
{
    if (m_workDepth++ > 0)
        return;
    m_workStopped = false;
    m_workTimer.start();
    m_lastWaitAt = 0;
    if (m_hooks.begin)
        m_hooks.begin();
}

bool EngineClient::keepWaiting()
{
    m_lastWaitAt = m_workTimer.elapsed();
    if (m_hooks.waiting(int(m_lastWaitAt)))
        return true;
    m_workStopped = true;
    return false;
}

void EngineClient::endWork()
{
    if (--m_workDepth > 0)
        return;
    if (m_hooks.end)
        m_hooks.end();
    for (const auto &[kind, body] : std::exchange(m_closes, {})) {
        // A close that fails leaves nothing behind that matters: the
        // engine's copy goes with its process.
        if (running())
            static_cast<void>(exchange(kind, body, QStringLiteral("Cannot close")));
    }
    for (const auto &[context, then] : std::exchange(m_idle, {})) {
        if (context)
            QMetaObject::invokeMethod(context, then, Qt::QueuedConnection);
    }
}

void EngineClient::whenIdle(QObject *context, std::function<void()> then)
{
    if (busy())
        m_idle.append({QPointer<QObject>(context), std::move(then)});
    else
        QMetaObject::invokeMethod(context, std::move(then), Qt::QueuedConnection);
}

void EngineClient::closeLater(Request kind, const QByteArray &body)
{
    if (busy())
        m_closes.append({kind, body});
    else
        static_cast<void>(exchange(kind, body, QStringLiteral("Cannot close")));
}

QString EngineClient::start()
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
        return QStringLiteral("The database engine %1 cannot be started: %2.")
            .arg(quoted(m_program), process->errorString());
    m_process = std::move(process);
    ++m_generation;
    ++m_startCount;

    const QString subject = QStringLiteral("The database engine %1 does not work").arg(quoted(m_program));
    const Result<QByteArray> hello = exchange(Request::Hello, {}, subject);
    if (!hello.ok())
        return hello.error().message;
    Reader answer(hello.value());
    quint32 version = 0;
    answer.stream() >> version;
    if (!answer.finish() || version != protocol::Version)
        return fail(subject, QStringLiteral("it speaks another protocol version")).message;
    return {};
}

bool EngineClient::running() const
{
    // The process may have ended while idle (killed, out of memory); only a
    // look at it now tells, not the state recorded at the last request.
    return m_process && m_process->state() == QProcess::Running && !m_process->waitForFinished(0);
}

Result<QByteArray> EngineClient::call(Request kind, const QByteArray &body, const QString &subject)
{
    if (!running()) {
        const QString problem = start();
        if (!problem.isEmpty())
            return Error{problem};
    }
    return exchange(kind, body, subject);
}

template<typename Operation>
auto EngineClient::retried(const Operation &operation)
{
    const bool wasRunning = running();
    auto result = operation();
    if (!result.ok() && wasRunning && m_died)
        result = operation();
    return result;
}

Result<QByteArray> EngineClient::exchange(Request kind, const QByteArray &body, const QString &subject)
{
    // Asked from inside another request's wait (a window repainting):
    // sending it would read the other one's answer as its own.
    if (m_inFlight)
        return withReason(subject, reasons::Busy);
    // A Stop ends the whole piece of work, not only the request it hit.
    if (m_workDepth > 0 && m_workStopped)
        return withReason(subject, reasons::Stopped);
    if (!m_process)
        return withReason(subject, deathReason(kind));
    m_inFlight = true;
    const auto landed = qScopeGuard([this] { m_inFlight = false; });
    // Closes are quick and nobody waits for them.
    const bool watched = m_workDepth > 0 && m_hooks.waiting;
    // Many quick requests make one long piece of work: the windows are kept
    // alive by the time the work has taken, not only within a slow answer.
    if (watched && m_workTimer.elapsed() - m_lastWaitAt >= WaitSliceMs && !keepWaiting())
        return fail(subject, reasons::Stopped);

    m_died = false;
    const quint32 id = m_nextId++;
    protocol::Writer request(id, quint16(kind));
    m_frames.clear();
    m_process->write(protocol::frame(request.payload() + body));

    QElapsedTimer waited;
    waited.start();
    for (;;) {
        m_frames.append(m_process->readAllStandardOutput());
        QByteArray payload;
        const auto outcome = m_frames.next(&payload);
        if (outcome == protocol::FrameReader::Outcome::Garbled)
            return fail(subject, reasons::Garbled);
        if (outcome == protocol::FrameReader::Outcome::Complete) {
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
        if (m_process->state() != QProcess::Running) {
            // Whatever it wrote before it ended has been read above.
            m_died = true;
            return fail(subject, deathReason(kind));
        }
        const bool statement = isStatement(kind);
        const int limit = statement ? qMax(m_timeoutMs, StatementTimeoutMs) : m_timeoutMs;
        const int elapsed = int(waited.elapsed());
        if (elapsed >= limit) {
            if (statement)
                return fail(subject, QString(reasons::StatementTooLong).arg(limit / 60000));
            return fail(subject, QString(kind == Request::Hello ? reasons::EngineMute : reasons::EngineSilent)
                                     .arg(m_timeoutMs / 1000.0));
        }
        if (watched && elapsed > 0) {
            if (!keepWaiting()) {
                return fail(subject, reasons::Stopped);
            }
            // The windows ran meanwhile; one of them may have ended the engine.
            if (!m_process)
                return withReason(subject, reasons::Stopped);
        }
        m_process->waitForReadyRead(qMin(WaitSliceMs, limit - elapsed));
    }
}

Result<int> EngineClient::open(const protocol::OpenArgs &given, PasswordCheck *password)
{
    const Work work(*this);
    return retried([&] { return openOnce(given, password); });
}

Result<int> EngineClient::openOnce(const protocol::OpenArgs &given, PasswordCheck *password)
{
    protocol::OpenArgs args = given;
    // The engine runs in another folder; relative names are resolved here.
    if (!args.path.isEmpty())
        args.path = QFileInfo(args.path).absoluteFilePath();
    if (!args.systemDb.isEmpty())
        args.systemDb = QFileInfo(args.systemDb).absoluteFilePath();
    const Result<QByteArray> answer = call(Request::Open, protocol::pack(args), openSubject(given.path));
    if (!answer.ok())
        return answer.error();
    Reader in(answer.value());
    qint32 engineHandle = 0;
    quint8 check = 0;
    in.stream() >> engineHandle >> check;
    if (!in.finish())
        return fail(openSubject(given.path), reasons::Garbled);
    if (password)
        *password = PasswordCheck(check);
    const int handle = m_nextHandle++;
    m_opened.insert(handle, Opened{args, engineHandle, m_generation});
    return handle;
}

void EngineClient::close(int handle)
{
    const auto it = m_opened.constFind(handle);
    if (it == m_opened.constEnd())
        return;
    const Opened opened = it.value();
    m_opened.erase(it);
    if (opened.generation == m_generation && running())
        closeLater(Request::Close, protocol::pack(opened.engineHandle));
}

Result<qint32> EngineClient::engineHandle(int handle, const QString &subject)
{
    const auto it = m_opened.find(handle);
    if (it == m_opened.end())
        return Error{subject + QLatin1String(": the database is closed.")};
    if (it->generation == m_generation && running())
        return it->engineHandle;
    // A new engine process: open the database there again.
    const protocol::OpenArgs args = it->args;
    const Result<QByteArray> answer = call(Request::Open, protocol::pack(args), subject);
    if (!answer.ok())
        return answer.error();
    Reader in(answer.value());
    qint32 engineHandle = 0;
    quint8 check = 0;
    in.stream() >> engineHandle >> check;
    if (!in.finish())
        return fail(subject, reasons::Garbled);
    Opened &opened = m_opened[handle];
    opened.engineHandle = engineHandle;
    opened.generation = m_generation;
    return engineHandle;
}

Result<QList<TableDef>> EngineClient::tableDefs(int handle)
{
    const Work work(*this);
    return retried([&] { return tableDefsOnce(handle, Request::TableDefs); });
}

Result<QList<TableDef>> EngineClient::allTableDefs(int handle)
{
    const Work work(*this);
    return retried([&] { return tableDefsOnce(handle, Request::AllTableDefs); });
}

Result<QList<TableDef>> EngineClient::tableDefsOnce(int handle, Request kind)
{
    const QString path = m_opened.value(handle).args.path;
    const QString subject = QString(reasons::CannotReadTables).arg(quoted(path));
    const Result<qint32> engine = engineHandle(handle, subject);
    if (!engine.ok())
        return engine.error();
    const Result<QByteArray> answer = call(kind, protocol::pack(engine.value()), subject);
    if (!answer.ok())
        return answer.error();
    Reader in(answer.value());
    QList<TableDef> tables;
    protocol::readTableDefs(in.stream(), &tables);
    if (!in.finish())
        return fail(subject, reasons::Garbled);
    return tables;
}

Result<TableDef> EngineClient::tableDef(int handle, const QString &name)
{
    const Work work(*this);
    return retried([&] { return tableDefOnce(handle, name); });
}

Result<TableDef> EngineClient::tableDefOnce(int handle, const QString &name)
{
    const QString path = m_opened.value(handle).args.path;
    const QString subject = QString(reasons::CannotReadTable).arg(quoted(name), quoted(path));
    const Result<qint32> engine = engineHandle(handle, subject);
    if (!engine.ok())
        return engine.error();
    const Result<QByteArray> answer = call(Request::TableDef, protocol::pack(engine.value(), name), subject);
    if (!answer.ok())
        return answer.error();
    Reader in(answer.value());
    TableDef table;
    in.stream() >> table;
    if (!in.finish())
        return fail(subject, reasons::Garbled);
    return table;
}

Result<EngineClient::Prepared> EngineClient::query(const protocol::OpenArgs &given, const QString &statement,
                                                   StatementMode mode)
{
    protocol::OpenArgs args = given;
    if (!args.path.isEmpty())
        args.path = QFileInfo(args.path).absoluteFilePath();
    if (!args.systemDb.isEmpty())
        args.systemDb = QFileInfo(args.systemDb).absoluteFilePath();
    const QString subject = QString(reasons::CannotRun).arg(quoted(given.path));
    // Never run twice: a statement that ended the engine would do it again.
    const Work work(*this);
    // A database the program holds open with the same login is used as the
    // engine holds it: the file is not opened nor its catalog read again.
    int held = 0;
    for (auto it = m_opened.cbegin(); it != m_opened.cend() && !held; ++it) {
        const protocol::OpenArgs &o = it->args;
        if (o.path == args.path && o.systemDb == args.systemDb && o.user == args.user && o.password == args.password)
            held = it.key();
    }
    Result<QByteArray> answer = Error{};
    if (held) {
        const Result<qint32> engine = engineHandle(held, subject);
        if (!engine.ok())
            return engine.error();
        answer = call(Request::QueryOpen, protocol::pack(engine.value(), statement, quint8(mode)), subject);
    } else {
        answer = call(Request::Query, protocol::pack(args, statement, quint8(mode)), subject);
    }
    if (!answer.ok())
        return answer.error();
    Reader in(answer.value());
    Prepared prepared;
    in.stream() >> prepared.cursor >> prepared.names >> prepared.serverNotes;
    if (!in.finish())
        return fail(subject, reasons::Garbled);
    return prepared;
}

Result<QByteArray> EngineClient::cursorCall(Request kind, const QByteArray &body, const QString &path)
{
    const QString subject = QString(reasons::CannotRun).arg(quoted(path));
    // A cursor lives in the process that made it.
    if (!running())
        return withReason(subject, reasons::Stopped);
    const Work work(*this);
    return exchange(kind, body, subject);
}

Result<EngineClient::Fetched> EngineClient::fetch(qint32 cursor, qint32 count, const QString &path)
{
    const Result<QByteArray> answer = cursorCall(Request::Fetch, protocol::pack(cursor, count), path);
    if (!answer.ok())
        return answer.error();
    Reader in(answer.value());
    Fetched fetched;
    in.stream() >> fetched.rows >> fetched.atEnd;
    if (!in.finish())
        return fail(QString(reasons::CannotRun).arg(quoted(path)), reasons::Garbled);
    return fetched;
}

Result<EngineClient::RowPage> EngineClient::rows(qint32 cursor, qint64 first, qint32 count, const QString &path)
{
    const Result<QByteArray> answer = cursorCall(Request::Rows, protocol::pack(cursor, first, count), path);
    if (!answer.ok())
        return answer.error();
    Reader in(answer.value());
    RowPage page;
    in.stream() >> page.rows >> page.numbers;
    if (!in.finish() || page.numbers.size() != page.rows.size())
        return fail(QString(reasons::CannotRun).arg(quoted(path)), reasons::Garbled);
    return page;
}

void EngineClient::closeCursor(qint32 cursor, int generation)
{
    if (holds(generation))
        closeLater(Request::CloseCursor, protocol::pack(cursor));
}

} // namespace kolta::jet
