#pragma once

// The data control of the SQL statement window: it runs RecordSource on
// DatabaseName through the engine, with the engine's current login values,
// and holds the result as a Recordset whose rows are read lazily.

#include "dao.h"
#include "engineclient.h"

#include <QStringList>
#include <QVariant>
#include <optional>

namespace kolta { struct QueryParameter; }

namespace kolta::jet {

// The values typed for a statement's parameters, to bind by name.
QList<protocol::ParameterValue> parameterValues(const QList<QueryParameter> &parameters);

// A result in the engine. Rows are read from the statement as they are asked
// for and kept by the engine, so the program holds only what it shows. When
// the engine process ends (a Stop), the rows go with it: the statement is
// never run again behind the user's back.
class Recordset
{
public:
    // Runs statement on the file of args; the recordset or the reason.
    static Result<std::shared_ptr<Recordset>> open(std::shared_ptr<EngineClient> client,
                                                   const QString &path, const QString &systemDb,
                                                   const QString &user, const QString &password,
                                                   const QString &statement,
                                                   StatementMode mode = StatementMode::Dao,
                                                   const QList<protocol::ParameterValue> &values = {});
    ~Recordset();
    Recordset(const Recordset &) = delete;
    Recordset &operator=(const Recordset &) = delete;

    // The result's columns, in result order (Fields.Count, Fields(i).Name).
    const QStringList &fieldNames() const { return m_names; }
    int fieldCount() const { return int(m_names.size()); }
    // Where the page's provider would read the statement otherwise, and what
    // to write instead (for a statement run in DAO mode).
    const QStringList &serverNotes() const { return m_serverNotes; }

    // Rows read so far, and whether the statement has no more.
    qint64 rowsRead() const { return m_rowsRead; }
    bool atEnd() const { return m_atEnd; }
    // Reads up to count more rows; returns how many came.
    Result<int> fetchMore(int count);
    // Reads to the end, as one piece of work the user can stop.
    Result<bool> fetchAll();
    // Rows already read, each value as the grid shows it (Null: a null QVariant).
    Result<QList<QVariantList>> rows(qint64 first, int count);
    // The same with a bit per value that shows a number.
    Result<EngineClient::RowPage> page(qint64 first, int count);

    // Runs then once the engine has no work under way.
    void whenIdle(QObject *context, std::function<void()> then) { m_client->whenIdle(context, std::move(then)); }
    bool engineBusy() const { return m_client->busy(); }
    // Whether the engine that holds the rows still runs.
    bool alive() const { return m_client->holds(m_generation); }

private:
    Recordset() = default;
    // Why the rows cannot be read, once the engine that held them has ended.
    std::optional<Error> lost() const;

    std::shared_ptr<EngineClient> m_client;
    QString m_path;
    qint32 m_cursor = 0;
    int m_generation = 0;
    QStringList m_names;
    QStringList m_serverNotes;
    qint64 m_rowsRead = 0;
    bool m_atEnd = false;
};

class DataControl
{
public:
    explicit DataControl(DBEngine &engine);

    QString DatabaseName;
    QString RecordSource;
    const QString Connect = QStringLiteral("Access 2000;");
    // The values Refresh binds to RecordSource's parameters, by name.
    QList<protocol::ParameterValue> ParameterValues;

    // The parameters RecordSource asks for, in binding order.
    Result<QList<protocol::StatementParameter>> Parameters();
    // Runs RecordSource; on success Recordset() holds the new result.
    Result<std::shared_ptr<jet::Recordset>> Refresh();
    std::shared_ptr<jet::Recordset> Recordset() const { return m_recordset; }

private:
    DBEngine &m_engine;
    std::shared_ptr<jet::Recordset> m_recordset;
};

} // namespace kolta::jet
