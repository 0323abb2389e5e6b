#pragma once

// The window-side handles on the database engine: thin objects that talk to
// the kolta-engine process. Errors come back as values with a plain reason.

#include "result.h"
#include "schema.h"

#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace kolta::jet {

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
