#include "dao.h"

#include "engineclient.h"

#include <QCoreApplication>

namespace kolta::jet {

Database::Database(std::shared_ptr<EngineClient> client, int handle, QString path, PasswordCheck password)
    : m_client(std::move(client)), m_handle(handle), m_path(std::move(path)), m_password(password)
{
}

Database::~Database()
{
    m_client->close(m_handle);
}

Result<QList<TableDef>> Database::TableDefs()
{
    return m_client->tableDefs(m_handle);
}

Result<QList<TableDef>> Database::TableDefsWithFields()
{
    return m_client->allTableDefs(m_handle);
}

Result<TableDef> Database::TableDefsItem(const QString &name)
{
    return m_client->tableDef(m_handle, name);
}

DBEngine::DBEngine() : m_client(std::make_shared<EngineClient>()) {}

DBEngine::~DBEngine() = default;

Result<std::shared_ptr<Database>> DBEngine::OpenDatabase(const QString &path)
{
    PasswordCheck password = PasswordCheck::Checked;
    const Result<int> handle = m_client->open({path, SystemDB, DefaultUser, DefaultPassword}, &password);
    if (!handle.ok())
        return handle.error();
    return std::make_shared<Database>(m_client, handle.value(), path, password);
}

void DBEngine::setWaitHooks(WaitHooks hooks)
{
    m_client->setWaitHooks(std::move(hooks));
}

DBEngine &dbEngine()
{
    static DBEngine engine;
    static const bool stopsWithApplication = [] {
        // The engine process goes before the application object does, while
        // the process machinery still works.
        qAddPostRoutine([] { dbEngine().client()->stop(); });
        return true;
    }();
    Q_UNUSED(stopsWithApplication);
    return engine;
}

} // namespace kolta::jet
