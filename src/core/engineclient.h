#pragma once

// The program's side of the pipe to the kolta-engine process: starts it on
// first use, sends one request at a time and waits for the answer. A crash,
// a hang or a garbled answer ends the process and comes back as an
// Error; the next request starts a fresh process and reopens the
// databases that were open. While one request waits (and the wait hook
// keeps the windows alive), another one is refused, never sent: its answer
// would be read as the first one's.

#include "dao.h"
#include "protocol.h"

#include <QBitArray>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QVariant>
#include <QString>
#include <functional>
#include <memory>

class QProcess;

namespace kolta::jet {

class EngineClient
{
public:
    // A healthy engine reads the structure of even a large file in well
    // under a second (a 200-table catalog takes milliseconds); ten seconds
    // leaves room for slow disks and network shares while still ending a
    // libmdb loop on a damaged file before the user gives up on the program.
    static constexpr int DefaultTimeoutMs = 10000;

    EngineClient();
    ~EngineClient();
    EngineClient(const EngineClient &) = delete;
    EngineClient &operator=(const EngineClient &) = delete;

    // $KOLTA_ENGINE when set, else kolta-engine beside the program.
    static QString defaultProgram();
    void setProgram(const QString &program) { m_program = program; }
    QString program() const { return m_program; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }
    void setWaitHooks(WaitHooks hooks) { m_hooks = std::move(hooks); }

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
    bool busy() const { return m_workDepth > 0 || m_inFlight; }
    // Runs then from the event loop once no work is under way; dropped when
    // context goes first.
    void whenIdle(QObject *context, std::function<void()> then);

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
    Result<Prepared> query(const protocol::OpenArgs &args, const QString &statement,
                           StatementMode mode = StatementMode::Dao);
    Result<Fetched> fetch(qint32 cursor, qint32 count, const QString &path);
    // Rows already read, as texts, with a bit per value that is a number.
    struct RowPage
    {
        QList<QVariantList> rows;
        QList<QBitArray> numbers;
    };
    Result<RowPage> rows(qint32 cursor, qint64 first, qint32 count, const QString &path);
    void closeCursor(qint32 cursor, int generation);
    int generation() const { return m_generation; }
    // Whether the process of that generation still runs (its cursors live).
    bool holds(int generation) const { return generation == m_generation && running(); }
    // A statement may work as long as the user lets it (Stop); this only
    // ends one that runs far longer than anyone would wait.
    static constexpr int StatementTimeoutMs = 30 * 60 * 1000;

    // Ends the engine process now; nothing is lost, the next request starts
    // another one.
    void stop();
    // The running engine's process id, 0 when none runs.
    qint64 processId() const;
    // How many engine processes were started so far.
    int startCount() const { return m_startCount; }

private:
    struct Opened
    {
        protocol::OpenArgs args;
        qint32 engineHandle = 0;
        int generation = -1;
    };

    // Sends one request (its body packed) and returns the payload of a
    // successful answer; an answer with an error, and any failure of the
    // process, come back as the error. subject begins the message of a
    // failure of the process ("Cannot open \"x.mdb\"").
    Result<QByteArray> call(protocol::Request kind, const QByteArray &body, const QString &subject);
    Result<QByteArray> exchange(protocol::Request kind, const QByteArray &body, const QString &subject);
    // Closes wait while another request is in flight and go after it.
    void closeLater(protocol::Request kind, const QByteArray &body);
    void beginWork();
    void endWork();
    // Asks the waiting hook; false (and the work stopped) on a Stop.
    bool keepWaiting();
    QString start();
    Result<QByteArray> cursorCall(protocol::Request kind, const QByteArray &body, const QString &path);
    bool running() const;
    // Runs a request; when an engine that was already running turns out to
    // have died (perhaps while idle, perhaps just now), runs it once more in
    // a fresh one. Only for reading the structure of a file: harmless and
    // quick to repeat, unlike a statement.
    template<typename Operation>
    auto retried(const Operation &operation);
    Error fail(const QString &subject, const QString &reason);
    Result<qint32> engineHandle(int handle, const QString &subject);
    Result<int> openOnce(const protocol::OpenArgs &args, PasswordCheck *password);
    Result<QList<TableDef>> tableDefsOnce(int handle, protocol::Request kind);
    Result<TableDef> tableDefOnce(int handle, const QString &name);

    QString m_program;
    int m_timeoutMs = DefaultTimeoutMs;
    WaitHooks m_hooks;
    int m_workDepth = 0;
    QElapsedTimer m_workTimer;
    qint64 m_lastWaitAt = 0;
    bool m_workStopped = false;
    bool m_inFlight = false;
    QList<std::pair<protocol::Request, QByteArray>> m_closes;
    QList<std::pair<QPointer<QObject>, std::function<void()>>> m_idle;
    std::unique_ptr<QProcess> m_process;
    bool m_died = false;
    protocol::FrameReader m_frames;
    quint32 m_nextId = 1;
    int m_generation = 0;
    int m_startCount = 0;
    int m_nextHandle = 1;
    QHash<int, Opened> m_opened;
};

} // namespace kolta::jet
