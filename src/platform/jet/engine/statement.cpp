#include "statement.h"

#include "jetfile.h"
#include "jettables.h"
#include "queries.h"
#include "platform/jet/reasons.h"
#include "platform/jet/sql/jetsql.h"

#include <QFileInfo>

#include <sqlite3.h>

namespace kolta::jet::engine {

namespace {

QString quoted(const QString &path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

QVariant columnValue(sqlite3_stmt *statement, int column)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return qlonglong(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(statement, column);
    case SQLITE_TEXT:
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
                                 sqlite3_column_bytes(statement, column));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(statement, column)),
                          sqlite3_column_bytes(statement, column));
    default:
        return QVariant();
    }
}

bool exec(sqlite3 *db, const QString &sql)
{
    return sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace

QString Statement::failure(const QString &reason) const
{
    return QStringLiteral("Cannot read %1: %2.").arg(quoted(m_file ? m_file->path() : QString()), reason);
}

std::unique_ptr<Statement> Statement::prepare(const protocol::OpenArgs &args, const QString &jetSql, Form form,
                                              QString *message)
{
    // The login and the file are checked as for opening the database.
    OpenDatabase database(args.path);
    *message = database.open(args.systemDb, args.user, args.password);
    if (!message->isEmpty())
        return nullptr;

    std::unique_ptr<Statement> s(new Statement);
    s->m_form = form;
    QString reason;
    s->m_file = JetFile::open(args.path, &reason);
    if (!s->m_file) {
        *message = QString(reasons::CannotOpen).arg(quoted(args.path)) + QLatin1String(": ") + reason
            + QLatin1Char('.');
        return nullptr;
    }
    QList<CatalogEntry> entries;
    QList<CatalogEntry> queries;
    if (!s->m_file->readCatalog(&entries, &reason, &queries)) {
        *message = s->failure(reason);
        return nullptr;
    }

    if (sqlite3_open_v2(":memory:", &s->m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK
        || jetsql::registerJetFunctions(s->m_db) != SQLITE_OK
        || registerJetModule(s->m_db, s->m_file.get()) != SQLITE_OK) {
        *message = s->failure(QStringLiteral("the SQL engine cannot be started"));
        return nullptr;
    }
    // Tables the joins copy out go to a scratch file, not to memory.
    exec(s->m_db, QStringLiteral("PRAGMA temp_store = FILE"));

    jetsql::Catalog catalog;
    int next = 0;
    for (const CatalogEntry &entry : entries) {
        if (entry.type != LocalTable)
            continue;
        QList<Field> fields;
        if (!s->m_file->readColumns(entry, &fields, &reason))
            continue; // a damaged table is only an error when it is used
        jetsql::CatalogTable table;
        table.name = entry.name;
        table.sqliteName = QStringLiteral("jet_t%1").arg(next++);
        for (const Field &field : fields)
            table.columns.append({field.Name, field.Type});
        const QString problem = createJetTable(s->m_db, table.sqliteName, entry);
        if (!problem.isEmpty())
            continue;
        catalog.tables.append(table);
    }
    // Unreadable saved queries only matter to a statement that names one:
    // it then finds no such query.
    readSavedQueries(*s->m_file, entries, queries, &catalog.queries, &reason);
    sqlite3_set_authorizer(s->m_db, jetsql::readOnlyAuthorizer, nullptr);

    const auto translated = jetsql::translate(jetSql, catalog);
    if (const auto *error = std::get_if<QString>(&translated)) {
        *message = *error;
        return nullptr;
    }
    const auto &translation = std::get<jetsql::Translation>(translated);
    const QByteArray sql = translation.sqliteSql.toUtf8();
    if (sqlite3_prepare_v2(s->m_db, sql.constData(), int(sql.size()), &s->m_statement, nullptr) != SQLITE_OK) {
        *message = QString::fromUtf8(sqlite3_errmsg(s->m_db));
        return nullptr;
    }
    s->m_names = translation.columnNames;
    s->m_kinds = translation.columnKinds;
    return s;
}

Statement::~Statement()
{
    sqlite3_finalize(m_insert);
    sqlite3_close(m_store);
    sqlite3_finalize(m_statement);
    sqlite3_close(m_db);
}

Result<bool> Statement::next(bool *done)
{
    *done = false;
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_DONE)
        *done = true;
    else if (rc != SQLITE_ROW)
        return EngineError{QString::fromUtf8(sqlite3_errmsg(m_db))};
    return true;
}

Result<QVariantList> Statement::step(bool *done)
{
    const Result<bool> moved = next(done);
    if (!moved.ok())
        return moved.error();
    QVariantList row;
    if (*done)
        return row;
    row.reserve(m_names.size());
    for (int i = 0; i < m_names.size(); ++i)
        row.append(text(columnValue(m_statement, i), i));
    return row;
}

QVariant Statement::text(const QVariant &value, int column) const
{
    if (!value.isValid())
        return QVariant();
    const jetsql::ValueKind kind = m_kinds.value(column, jetsql::ValueKind::Variant);
    if (m_form == Form::Raw)
        return jetsql::rawText(value, kind);
    return jetsql::displayText(value, kind);
}

Result<int> Statement::fetch(int count)
{
    if (!m_store) {
        // An unnamed database lives in a temporary file that SQLite removes.
        if (sqlite3_open_v2("", &m_store, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
            return EngineError{failure(QStringLiteral("no room for the result"))};
        QString create = QStringLiteral("CREATE TABLE r(");
        QString insert = QStringLiteral("INSERT INTO r VALUES(");
        for (int i = 0; i < m_names.size(); ++i) {
            create += (i ? QStringLiteral(", c") : QStringLiteral("c")) + QString::number(i);
            insert += i ? QStringLiteral(", ?") : QStringLiteral("?");
        }
        create += QLatin1Char(')');
        insert += QLatin1Char(')');
        if (!exec(m_store, create)
            || sqlite3_prepare_v2(m_store, insert.toUtf8().constData(), -1, &m_insert, nullptr) != SQLITE_OK)
            return EngineError{failure(QStringLiteral("no room for the result"))};
    }
    if (!m_pendingError.isEmpty()) {
        m_atEnd = true;
        return EngineError{m_pendingError};
    }
    const bool firstBatch = m_rowsRead == 0;
    int got = 0;
    exec(m_store, QStringLiteral("BEGIN"));
    while (!m_atEnd && got < count) {
        bool done = false;
        const Result<bool> row = next(&done);
        if (!row.ok()) {
            exec(m_store, QStringLiteral("COMMIT"));
            // A statement that fails within its first rows fails as a whole,
            // as Jet refuses it on opening. Later, the rows before the
            // failing one are delivered first and the error comes with the
            // next fetch, so that no row read is lost.
            if (got > 0 && !firstBatch) {
                m_pendingError = row.error().message;
                return got;
            }
            m_atEnd = true;
            return row.error();
        }
        if (done) {
            m_atEnd = true;
            break;
        }
        // Values are kept as they come and become texts only when read
        // back: most rows of a large result are never shown.
        for (int i = 0; i < m_names.size(); ++i)
            sqlite3_bind_value(m_insert, i + 1, sqlite3_column_value(m_statement, i));
        if (sqlite3_step(m_insert) != SQLITE_DONE) {
            sqlite3_reset(m_insert);
            exec(m_store, QStringLiteral("COMMIT"));
            return EngineError{failure(QStringLiteral("no room for the result"))};
        }
        sqlite3_reset(m_insert);
        ++got;
        ++m_rowsRead;
    }
    exec(m_store, QStringLiteral("COMMIT"));
    return got;
}

Result<QList<QVariantList>> Statement::rows(qint64 first, int count)
{
    QList<QVariantList> result;
    if (!m_store || count <= 0)
        return result;
    sqlite3_stmt *select = nullptr;
    if (sqlite3_prepare_v2(m_store, "SELECT * FROM r WHERE rowid > ? ORDER BY rowid LIMIT ?", -1, &select, nullptr)
        != SQLITE_OK)
        return EngineError{failure(QStringLiteral("the result cannot be read back"))};
    sqlite3_bind_int64(select, 1, first);
    sqlite3_bind_int(select, 2, count);
    while (sqlite3_step(select) == SQLITE_ROW) {
        QVariantList row;
        for (int i = 0; i < m_names.size(); ++i)
            row.append(text(columnValue(select, i), i));
        result.append(row);
    }
    sqlite3_finalize(select);
    return result;
}

Result<bool> Statement::each(const std::function<void(const QVariantList &)> &row)
{
    for (;;) {
        bool done = false;
        const Result<QVariantList> next = step(&done);
        if (!next.ok())
            return next.error();
        if (done)
            return true;
        row(next.value());
    }
}

} // namespace kolta::jet::engine
