#pragma once

// The window-side handles on the database engine: thin objects that talk to
// the kolta-engine process. Errors come back as values with a plain reason.

#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <variant>

namespace kolta::jet {

struct EngineError
{
    QString message;   // names the file and the reason in plain words
};

template<typename T>
class Result
{
public:
    Result(T value) : m_data(std::move(value)) {}
    Result(EngineError error) : m_data(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(m_data); }
    const T &value() const { return std::get<T>(m_data); }
    T &value() { return std::get<T>(m_data); }
    const EngineError &error() const { return std::get<EngineError>(m_data); }

private:
    std::variant<T, EngineError> m_data;
};

// Type codes of the fields that Access 2007 and later add: DAO's, and two of
// our own for columns that DAO names no type for.
enum AceFieldType : qint16 {
    dbAttachment = 101,
    dbComplexByte = 102,
    dbComplexText = 109,
    ExtendedDateTime = 1014,   // Date/Time Extended
    VersionHistory = 1015,     // the earlier texts of an append-only memo
};

// How far a login's password was checked: a password typed for an account
// that has one cannot be checked without Jet's cipher, so the server does.
enum class PasswordCheck : quint8 { Checked = 0, LeftToServer = 1 };

// How a statement runs: as the data control's DAO runs the try, or as the Jet
// OLE DB provider of a served page does (Like with ANSI wildcards % and _,
// values as the page's VBScript writes them).
enum class StatementMode : quint8 { Dao = 0, Provider = 1 };

struct Field
{
    QString Name;
    qint16 Type = 0;   // DAO type code
    qint32 Size = 0;   // DAO size in bytes (text: characters)
    QString Expression;   // a calculated column's expression, else empty
};

struct TableDef
{
    QString Name;
    QList<Field> Fields;
    int catalogType = 1;   // MSysObjects type: 1 local table, 4 ODBC link, 6 linked table
    quint32 flags = 0;     // MSysObjects flags (system tables have 0x80000000 or 0x2)
};

// What the program does while the engine works for it. begin: a piece of
// work starts (one request, or several that belong together); waiting: about
// every 50 ms while an answer is awaited, with the time since the work began,
// false stops the work (the engine process is ended and the work fails with
// the reason "stopped"); end: the work is over, however it ended.
struct WaitHooks
{
    std::function<void()> begin;
    std::function<bool(int elapsedMs)> waiting;
    std::function<void()> end;
};

class EngineClient;

// An open database in the engine process.
class Database
{
public:
    Database(std::shared_ptr<EngineClient> client, int handle, QString path,
             PasswordCheck password = PasswordCheck::Checked);
    ~Database();

    QString path() const { return m_path; }
    PasswordCheck passwordCheck() const { return m_password; }
    // Every table definition, system tables and linked tables included, in
    // the engine's catalog order (names, types and flags; Fields left empty).
    Result<QList<TableDef>> TableDefs();
    // One definition with its fields, read fresh from the file at every call.
    Result<TableDef> TableDefsItem(const QString &name);
    // Every definition with its fields, read fresh in one request (for
    // callers that want them all: one round trip instead of one per table).
    Result<QList<TableDef>> TableDefsWithFields();

private:
    std::shared_ptr<EngineClient> m_client;
    int m_handle;
    QString m_path;
    PasswordCheck m_password;
};

// The engine object: default login values and the open operation.
class DBEngine
{
public:
    DBEngine();
    ~DBEngine();

    QString SystemDB;
    QString DefaultUser = QStringLiteral("Admin");
    QString DefaultPassword;

    Result<std::shared_ptr<Database>> OpenDatabase(const QString &path);

    void setWaitHooks(WaitHooks hooks);
    // Only the waiting hook.
    void setWaitHook(std::function<bool(int elapsedMs)> hook) { setWaitHooks({{}, std::move(hook), {}}); }

    std::shared_ptr<EngineClient> client() const { return m_client; }

private:
    std::shared_ptr<EngineClient> m_client;
};

// The program's one engine, created at first use.
DBEngine &dbEngine();

} // namespace kolta::jet
