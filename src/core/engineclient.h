#pragma once

// The program's side of the engine: typed requests over a transport (the
// kolta-engine process unless told otherwise), which starts an engine on
// first use. A crash, a hang or a garbled answer ends the engine and comes
// back as an Error; the next request starts a fresh one and reopens the
// databases that were open. While one request waits (and the wait hook
// keeps the windows alive), another one is refused, never sent: its answer
// would be read as the first one's.

#include "dao.h"
#include "processtransport.h"
#include "protocol.h"
#include "worktracker.h"

#include <QBitArray>
#include <QHash>
#include <QStringList>
#include <QVariant>
#include <QString>
#include <functional>
#include <memory>

namespace kolta::jet {

class EngineClient
{
public:
    static constexpr int DefaultTimeoutMs = ProcessTransport::DefaultTimeoutMs;

    // Talks to the kolta-engine process.
    EngineClient();
    // Talks through transport; program and timeout only reach a
    // ProcessTransport.
    explicit EngineClient(std::unique_ptr<Transport> transport);
    ~EngineClient();
    EngineClient(const EngineClient &) = delete;
    EngineClient &operator=(const EngineClient &) = delete;

    // $KOLTA_ENGINE when set, else kolta-engine beside the program.
    static QString defaultProgram() { return ProcessTransport::defaultProgram(); }
    void setProgram(const QString &program);
    QString program() const { return m_process ? m_process->program() : QString(); }
    void setTimeoutMs(int ms);
    int timeoutMs() const { return m_process ? m_process->timeoutMs() : DefaultTimeoutMs; }
    void setWaitHooks(WaitHooks hooks) { m_work.setHooks(std::move(hooks)); }

    // Several requests that the user waits for as one (all rows of a
    // result): "Working..." stands from the first to the last, and a Stop
    // ends them all. Every request is such a piece of work by itself.
    class Work
    {
    public:
        explicit Work(EngineClient &client);
        ~Work();
        Work(const Work &) = delete;
        Work &operator=(const Work &) = delete;

    private:
        EngineClient &m_client;
    };
    // A piece of work is under way (the caller may be a window repainting
    // while it waits).
    bool busy() const { return m_work.busy(); }
    // Runs then from the event loop once no work is under way; dropped when
    // context goes first.
    void whenIdle(QObject *context, std::function<void()> then) { m_work.whenIdle(context, std::move(then)); }

    // Checks the login values and the file; returns the handle of the open
    // database.
    Result<int> open(const protocol::OpenArgs &args, PasswordCheck *password = nullptr);
    void close(int handle);
    Result<QList<TableDef>> tableDefs(int handle);
    Result<TableDef> tableDef(int handle, const QString &name);
    Result<QList<TableDef>> allTableDefs(int handle);

    // Statements: prepare one (on the file of args, with its login values),
    // read its rows into the engine, and read them back from there. A cursor
    // lives in one engine process; generation() tells which.
    struct Prepared
    {
        qint32 cursor = 0;
        QStringList names;
        QStringList serverNotes;
    };
    struct Fetched
    {
        qint32 rows = 0;
        bool atEnd = false;
    };
    // values: for the statement's parameters, bound by name.
    Result<Prepared> query(const protocol::OpenArgs &args, const QString &statement,
                           StatementMode mode = StatementMode::Dao,
                           const QList<protocol::ParameterValue> &values = {});
    // The parameters the statement asks for, in binding order.
    Result<QList<protocol::StatementParameter>> parameters(const protocol::OpenArgs &args, const QString &statement);
    Result<Fetched> fetch(qint32 cursor, qint32 count, const QString &path);
    // Rows already read, as texts, with a bit per value that is a number.
    struct RowPage
    {
        QList<QVariantList> rows;
        QList<QBitArray> numbers;
    };
    Result<RowPage> rows(qint32 cursor, qint64 first, qint32 count, const QString &path);
    void closeCursor(qint32 cursor, int generation);
    int generation() const { return m_transport->generation(); }
    // Whether the process of that generation still runs (its cursors live).
    bool holds(int generation) const { return generation == this->generation() && running(); }
    static constexpr int StatementTimeoutMs = ProcessTransport::StatementTimeoutMs;

    // Ends the engine process now; nothing is lost, the next request starts
    // another one.
    void stop();
    // The running engine's process id, 0 when none runs.
    qint64 processId() const { return m_transport->processId(); }
    // How many engine processes were started so far.
    int startCount() const { return m_transport->generation(); }

private:
    struct Opened
    {
        protocol::OpenArgs args;
        qint32 engineHandle = 0;
        int generation = -1;
    };

    // Sends one request (its body packed) and returns the payload of a
    // successful answer; an answer with an error, and any failure of the
    // engine, come back as the error. subject begins the message of a
    // failure of the engine ("Cannot open \"x.mdb\""). call() starts an
    // engine when none runs; exchange() needs one.
    Result<QByteArray> call(protocol::Request kind, const QByteArray &body, const QString &subject);
    Result<QByteArray> exchange(protocol::Request kind, const QByteArray &body, const QString &subject);
    Result<QByteArray> cursorCall(protocol::Request kind, const QByteArray &body, const QString &subject);
    // Reads the values of an answer in order; one that does not hold
    // exactly them is garbled, and the engine that gave it is ended.
    template<typename... Values>
    Result<void> decode(const Result<QByteArray> &answer, const QString &subject, Values &...values);
    bool running() const { return m_transport->running(); }
    // Runs a request; when an engine that was already running turns out to
    // have died (perhaps while idle, perhaps just now), runs it once more in
    // a fresh one. Only for reading the structure of a file: harmless and
    // quick to repeat, unlike a statement.
    template<typename Operation>
    auto retried(const Operation &operation);
    // Opens args in the engine (starting one); the engine's handle.
    Result<qint32> openInEngine(const protocol::OpenArgs &args, const QString &subject, PasswordCheck *password);
    Result<qint32> engineHandle(int handle, const QString &subject);
    // The program's handle of a database open with these login values, 0: none.
    int heldWith(const protocol::OpenArgs &args) const;
    Result<int> openOnce(const protocol::OpenArgs &args, PasswordCheck *password);
    Result<QList<TableDef>> tableDefsOnce(int handle, protocol::Request kind);
    Result<TableDef> tableDefOnce(int handle, const QString &name);

    std::unique_ptr<Transport> m_transport;
    // The same transport when it is the process, for its program and timeout.
    ProcessTransport *m_process;
    WorkTracker m_work;
    int m_nextHandle = 1;
    QHash<int, Opened> m_opened;
};

} // namespace kolta::jet
