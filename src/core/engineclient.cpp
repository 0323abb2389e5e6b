#include "engineclient.h"

#include "reasons.h"

#include <QFileInfo>

namespace kolta::jet {

using protocol::Reader;
using protocol::Request;

namespace {

QString openSubject(const QString &path)
{
    return QString(reasons::CannotOpen).arg(quoted(path));
}

// The engine runs in another folder; relative names are resolved here.
protocol::OpenArgs absolute(protocol::OpenArgs args)
{
    if (!args.path.isEmpty())
        args.path = QFileInfo(args.path).absoluteFilePath();
    if (!args.systemDb.isEmpty())
        args.systemDb = QFileInfo(args.systemDb).absoluteFilePath();
    return args;
}

// The answer to TableDefs and AllTableDefs.
struct TableList
{
    QList<TableDef> tables;
};

QDataStream &operator>>(QDataStream &in, TableList &list)
{
    protocol::readTableDefs(in, &list.tables);
    return in;
}

QDataStream &operator>>(QDataStream &in, EngineClient::RowPage &page)
{
    in >> page.rows >> page.numbers;
    if (page.numbers.size() != page.rows.size())
        in.setStatus(QDataStream::ReadCorruptData);
    return in;
}

} // namespace

EngineClient::EngineClient() : EngineClient(std::make_unique<ProcessTransport>(defaultProgram())) {}

EngineClient::EngineClient(std::unique_ptr<Transport> transport)
    : m_transport(std::move(transport)),
      m_process(dynamic_cast<ProcessTransport *>(m_transport.get())),
      m_work(*m_transport)
{
}

EngineClient::~EngineClient() = default;

void EngineClient::setProgram(const QString &program)
{
    if (m_process)
        m_process->setProgram(program);
}

void EngineClient::setTimeoutMs(int ms)
{
    if (m_process)
        m_process->setTimeoutMs(ms);
}

void EngineClient::stop()
{
    m_transport->stop();
}

EngineClient::Work::Work(EngineClient &client) : m_client(client)
{
    m_client.m_work.begin();
}

EngineClient::Work::~Work()
{
    m_client.m_work.end();
}

Result<QByteArray> EngineClient::call(Request kind, const QByteArray &body, const QString &subject)
{
    if (!running()) {
        if (const Result<void> started = m_transport->start(m_work.wait()); !started.ok())
            return started.error();
    }
    return exchange(kind, body, subject);
}

Result<QByteArray> EngineClient::exchange(Request kind, const QByteArray &body, const QString &subject)
{
    if (m_work.stopped())
        return withReason(subject, reasons::Stopped);
    return m_transport->exchange(kind, body, subject, m_work.wait());
}

Result<QByteArray> EngineClient::cursorCall(Request kind, const QByteArray &body, const QString &subject)
{
    // A cursor lives in the process that made it.
    if (!running())
        return withReason(subject, reasons::Stopped);
    const Work work(*this);
    return exchange(kind, body, subject);
}

template<typename... Values>
Result<void> EngineClient::decode(const Result<QByteArray> &answer, const QString &subject, Values &...values)
{
    if (!answer.ok())
        return answer.error();
    Reader in(answer.value());
    (in.stream() >> ... >> values);
    if (in.finish())
        return {};
    m_transport->stop();
    return withReason(subject, reasons::Garbled);
}

template<typename Operation>
auto EngineClient::retried(const Operation &operation)
{
    const bool wasRunning = running();
    auto result = operation();
    if (!result.ok() && wasRunning && m_transport->diedInLastRequest())
        result = operation();
    return result;
}

Result<qint32> EngineClient::openInEngine(const protocol::OpenArgs &args, const QString &subject,
                                          PasswordCheck *password)
{
    qint32 engineHandle = 0;
    quint8 check = 0;
    if (const auto read = decode(call(Request::Open, protocol::pack(args), subject), subject, engineHandle, check);
        !read.ok())
        return read.error();
    if (password)
        *password = PasswordCheck(check);
    return engineHandle;
}

Result<int> EngineClient::open(const protocol::OpenArgs &given, PasswordCheck *password)
{
    const Work work(*this);
    return retried([&] { return openOnce(given, password); });
}

Result<int> EngineClient::openOnce(const protocol::OpenArgs &given, PasswordCheck *password)
{
    const protocol::OpenArgs args = absolute(given);
    const Result<qint32> engineHandle = openInEngine(args, openSubject(given.path), password);
    if (!engineHandle.ok())
        return engineHandle.error();
    const int handle = m_nextHandle++;
    m_opened.insert(handle, Opened{args, engineHandle.value(), generation()});
    return handle;
}

void EngineClient::close(int handle)
{
    const auto it = m_opened.constFind(handle);
    if (it == m_opened.constEnd())
        return;
    const Opened opened = it.value();
    m_opened.erase(it);
    if (holds(opened.generation))
        m_work.closeLater(Request::Close, protocol::pack(opened.engineHandle));
}

Result<qint32> EngineClient::engineHandle(int handle, const QString &subject)
{
    const auto it = m_opened.find(handle);
    if (it == m_opened.end())
        return Error{subject + QLatin1String(": the database is closed.")};
    if (holds(it->generation))
        return it->engineHandle;
    // A new engine process: open the database there again (a copy: the
    // windows may close databases while the engine works).
    const protocol::OpenArgs args = it->args;
    const Result<qint32> engineHandle = openInEngine(args, subject, nullptr);
    if (!engineHandle.ok())
        return engineHandle.error();
    Opened &opened = m_opened[handle];
    opened.engineHandle = engineHandle.value();
    opened.generation = generation();
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
    TableList list;
    if (const auto read = decode(call(kind, protocol::pack(engine.value()), subject), subject, list); !read.ok())
        return read.error();
    return list.tables;
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
    TableDef table;
    if (const auto read = decode(call(Request::TableDef, protocol::pack(engine.value(), name), subject), subject,
                                 table);
        !read.ok())
        return read.error();
    return table;
}

Result<EngineClient::Prepared> EngineClient::query(const protocol::OpenArgs &given, const QString &statement,
                                                   StatementMode mode, const QList<protocol::ParameterValue> &values)
{
    const protocol::OpenArgs args = absolute(given);
    const QString subject = QString(reasons::CannotRun).arg(quoted(given.path));
    // Never run twice: a statement that ended the engine would do it again.
    const Work work(*this);
    // A database the program holds open with the same login is used as the
    // engine holds it: the file is not opened nor its catalog read again.
    const int held = heldWith(args);
    Result<QByteArray> answer = Error{};
    if (held) {
        const Result<qint32> engine = engineHandle(held, subject);
        if (!engine.ok())
            return engine.error();
        answer = call(Request::QueryOpen, protocol::pack(engine.value(), statement, quint8(mode), values),
                      subject);
    } else {
        answer = call(Request::Query, protocol::pack(args, statement, quint8(mode), values), subject);
    }
    Prepared prepared;
    if (const auto read = decode(answer, subject, prepared.cursor, prepared.names, prepared.serverNotes); !read.ok())
        return read.error();
    return prepared;
}

int EngineClient::heldWith(const protocol::OpenArgs &args) const
{
    for (auto it = m_opened.cbegin(); it != m_opened.cend(); ++it) {
        const protocol::OpenArgs &o = it->args;
        if (o.path == args.path && o.systemDb == args.systemDb && o.user == args.user && o.password == args.password)
            return it.key();
    }
    return 0;
}

Result<QList<protocol::StatementParameter>> EngineClient::parameters(const protocol::OpenArgs &given,
                                                                    const QString &statement)
{
    const protocol::OpenArgs args = absolute(given);
    const QString subject = QString(reasons::CannotRun).arg(quoted(given.path));
    const Work work(*this);
    qint32 engine = 0;
    if (const int held = heldWith(args)) {
        const Result<qint32> opened = engineHandle(held, subject);
        if (!opened.ok())
            return opened.error();
        engine = opened.value();
    }
    QList<protocol::StatementParameter> parameters;
    if (const auto read = decode(call(Request::Parameters, protocol::pack(engine, args, statement), subject),
                                 subject, parameters);
        !read.ok())
        return read.error();
    return parameters;
}

Result<EngineClient::Fetched> EngineClient::fetch(qint32 cursor, qint32 count, const QString &path)
{
    const QString subject = QString(reasons::CannotRun).arg(quoted(path));
    Fetched fetched;
    if (const auto read = decode(cursorCall(Request::Fetch, protocol::pack(cursor, count), subject), subject,
                                 fetched.rows, fetched.atEnd);
        !read.ok())
        return read.error();
    return fetched;
}

Result<EngineClient::RowPage> EngineClient::rows(qint32 cursor, qint64 first, qint32 count, const QString &path)
{
    const QString subject = QString(reasons::CannotRun).arg(quoted(path));
    RowPage page;
    if (const auto read = decode(cursorCall(Request::Rows, protocol::pack(cursor, first, count), subject), subject, page);
        !read.ok())
        return read.error();
    return page;
}

void EngineClient::closeCursor(qint32 cursor, int generation)
{
    if (holds(generation))
        m_work.closeLater(Request::CloseCursor, protocol::pack(cursor));
}

} // namespace kolta::jet
