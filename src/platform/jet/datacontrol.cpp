#include "datacontrol.h"

#include "engineclient.h"

namespace kolta::jet {

Result<std::shared_ptr<Recordset>> Recordset::open(std::shared_ptr<EngineClient> client, const QString &path,
                                                   const QString &systemDb, const QString &user,
                                                   const QString &password, const QString &statement)
{
    const auto prepared = client->query({path, systemDb, user, password}, statement);
    if (!prepared.ok())
        return prepared.error();
    std::shared_ptr<Recordset> recordset(new Recordset);
    recordset->m_client = std::move(client);
    recordset->m_path = path;
    recordset->m_systemDb = systemDb;
    recordset->m_user = user;
    recordset->m_password = password;
    recordset->m_statement = statement;
    recordset->m_cursor = prepared.value().cursor;
    recordset->m_generation = recordset->m_client->generation();
    recordset->m_names = prepared.value().names;
    return recordset;
}

Recordset::~Recordset()
{
    m_client->closeCursor(m_cursor, m_generation);
}

Result<bool> Recordset::revive()
{
    if (m_generation == m_client->generation())
        return true;
    const auto prepared = m_client->query({m_path, m_systemDb, m_user, m_password}, m_statement);
    if (!prepared.ok())
        return prepared.error();
    m_cursor = prepared.value().cursor;
    m_generation = m_client->generation();
    qint64 left = m_rowsRead;
    while (left > 0) {
        const int batch = int(qMin<qint64>(left, 65536));
        const auto fetched = m_client->fetch(m_cursor, batch, m_path);
        if (!fetched.ok())
            return fetched.error();
        left -= fetched.value().rows;
        if (fetched.value().atEnd)
            break;
    }
    return true;
}

Result<int> Recordset::fetchMore(int count)
{
    if (m_atEnd)
        return 0;
    if (const auto revived = revive(); !revived.ok()) {
        m_atEnd = true;
        return revived.error();
    }
    const auto fetched = m_client->fetch(m_cursor, count, m_path);
    if (!fetched.ok()) {
        // A statement that fails part-way ends there; the rows read stay.
        m_atEnd = true;
        return fetched.error();
    }
    m_rowsRead += fetched.value().rows;
    m_atEnd = fetched.value().atEnd;
    return int(fetched.value().rows);
}

Result<QList<QVariantList>> Recordset::rows(qint64 first, int count)
{
    if (const auto revived = revive(); !revived.ok())
        return revived.error();
    return m_client->rows(m_cursor, first, count, m_path);
}

DataControl::DataControl(DBEngine &engine)
    : m_engine(engine)
{
}

Result<std::shared_ptr<jet::Recordset>> DataControl::Refresh()
{
    auto opened = jet::Recordset::open(m_engine.client(), DatabaseName, m_engine.SystemDB, m_engine.DefaultUser,
                                       m_engine.DefaultPassword, RecordSource);
    if (!opened.ok())
        return opened.error();
    // The first rows come with the result, so a statement that fails on its
    // first row fails here, as Jet's would.
    const auto first = opened.value()->fetchMore(256);
    if (!first.ok())
        return first.error();
    m_recordset = opened.value();
    return m_recordset;
}

} // namespace kolta::jet
