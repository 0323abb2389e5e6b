#include "datacontrol.h"

#include "module1.h"
#include "reasons.h"

namespace kolta::jet {

QList<protocol::ParameterValue> parameterValues(const QList<QueryParameter> &parameters)
{
    QList<protocol::ParameterValue> values;
    for (const QueryParameter &p : parameters)
        values.append({p.name, p.value});
    return values;
}

Result<std::shared_ptr<Recordset>> Recordset::open(std::shared_ptr<EngineClient> client, const QString &path,
                                                   const QString &systemDb, const QString &user,
                                                   const QString &password, const QString &statement,
                                                   StatementMode mode,
                                                   const QList<protocol::ParameterValue> &values)
{
    const auto prepared = client->query({path, systemDb, user, password}, statement, mode, values);
    if (!prepared.ok())
        return prepared.error();
    std::shared_ptr<Recordset> recordset(new Recordset);
    recordset->m_client = std::move(client);
    recordset->m_path = path;
    recordset->m_serverNotes = prepared.value().serverNotes;
    recordset->m_cursor = prepared.value().cursor;
    recordset->m_generation = recordset->m_client->generation();
    recordset->m_names = prepared.value().names;
    return recordset;
}

Recordset::~Recordset()
{
    m_client->closeCursor(m_cursor, m_generation);
}

std::optional<Error> Recordset::lost() const
{
    if (alive())
        return std::nullopt;
    return withReason(QString(reasons::CannotReadRows).arg(quoted(m_path)), reasons::ResultLost);
}

Result<int> Recordset::fetchMore(int count)
{
    if (m_atEnd)
        return 0;
    if (const std::optional<Error> gone = lost()) {
        m_atEnd = true;
        return *gone;
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

Result<bool> Recordset::fetchAll()
{
    const EngineClient::Work work(*m_client);
    // Large batches: the rows stay in the engine, only their count comes here.
    while (!m_atEnd) {
        if (const auto read = fetchMore(16384); !read.ok())
            return read.error();
    }
    return true;
}

Result<EngineClient::RowPage> Recordset::page(qint64 first, int count)
{
    if (const std::optional<Error> gone = lost())
        return *gone;
    return m_client->rows(m_cursor, first, count, m_path);
}

Result<QList<QVariantList>> Recordset::rows(qint64 first, int count)
{
    const auto read = page(first, count);
    if (!read.ok())
        return read.error();
    return read.value().rows;
}

DataControl::DataControl(DBEngine &engine)
    : m_engine(engine)
{
}

Result<QList<protocol::StatementParameter>> DataControl::Parameters()
{
    return m_engine.client()->parameters({DatabaseName, m_engine.SystemDB, m_engine.DefaultUser,
                                          m_engine.DefaultPassword},
                                         RecordSource);
}

Result<std::shared_ptr<jet::Recordset>> DataControl::Refresh()
{
    const EngineClient::Work work(*m_engine.client());
    auto opened = jet::Recordset::open(m_engine.client(), DatabaseName, m_engine.SystemDB, m_engine.DefaultUser,
                                       m_engine.DefaultPassword, RecordSource, StatementMode::Dao, ParameterValues);
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
