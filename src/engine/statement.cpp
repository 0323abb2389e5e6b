#include "statement.h"

#include "jetfile.h"
#include "jettables.h"
#include "opendatabase.h"
#include "queries.h"
#include "reasons.h"
#include "jetsql.h"
#include "sqltexts.h"

#include <QFileInfo>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace kolta::jet::engine {

namespace {


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

// The folder SQLite puts its temporary files in, found as SQLite finds it.
QByteArray scratchFolder()
{
    for (const char *name : {"SQLITE_TMPDIR", "TMPDIR"}) {
        const char *folder = ::getenv(name);
        struct stat info;
        if (folder && ::stat(folder, &info) == 0 && S_ISDIR(info.st_mode) && ::access(folder, W_OK | X_OK) == 0)
            return folder;
    }
    for (const char *folder : {"/var/tmp", "/usr/tmp", "/tmp"}) {
        struct stat info;
        if (::stat(folder, &info) == 0 && S_ISDIR(info.st_mode) && ::access(folder, W_OK | X_OK) == 0)
            return folder;
    }
    return ".";
}

// The most the rows of one result may take on disk: half of what is free
// where they go when the statement starts (so that a huge result never fills
// the disk for everyone else), at most 4 GiB (tens of millions of rows, more
// than anyone pages through). KOLTA_SCRATCH_LIMIT_MB lowers it.
// What is free on the disk that holds folder; -1 when it cannot be told.
qint64 freeSpace(const QByteArray &folder)
{
    struct statvfs space;
    if (::statvfs(folder.constData(), &space) != 0)
        return -1;
    return qint64(space.f_bavail) * qint64(space.f_frsize);
}

qint64 scratchLimit(const QByteArray &folder)
{
    qint64 limit = qint64(4) << 30;
    struct statvfs space;
    if (::statvfs(folder.constData(), &space) == 0)
        limit = qMin(limit, qint64(space.f_bavail) * qint64(space.f_frsize) / 2);
    const qint64 given = qEnvironmentVariableIntValue("KOLTA_SCRATCH_LIMIT_MB");
    if (given > 0)
        limit = qMin(limit, given << 20);
    return qMax(limit, qint64(1) << 20);
}

} // namespace

QString Statement::failure(const QString &reason) const
{
    return QStringLiteral("Cannot read %1: %2.").arg(quoted(m_file ? m_file->path() : QString()), reason);
}

QString Statement::sqlFailure(int code) const
{
    const QString jet = jetsql::jetMessage(m_db, code);
    if (!jet.isEmpty())
        return jet;
    const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
    switch (code & 0xff) {
    case SQLITE_FULL:
    case SQLITE_IOERR:
        // Joins and sorts spill into the scratch folder as well.
        return failure(QStringLiteral("there is no more room for the work of the statement in %1")
                           .arg(quoted(QString::fromLocal8Bit(m_scratchFolder))));
    case SQLITE_CORRUPT:
        // Our tables say in plain words what is wrong with the file;
        // SQLite's own word for it is not for the user.
        if (message != QLatin1String(sqlite3_errstr(code)))
            return failure(message);
        return failure(QLatin1String(reasons::Damaged));
    default:
        // Nothing a user can write reaches here: the translation is ours.
        return failure(QStringLiteral("the database engine cannot run this statement"));
    }
}

QString Statement::storeFailure(int code) const
{
    const int primary = code & 0xff;
    // Said only when there are rows to keep.
    const QString kept = m_rowsRead > 0 ? QStringLiteral("; the rows read before stay") : QString();
    if (primary == SQLITE_FULL) {
        // SQLite takes the batch back on either kind of full, so the pages
        // it held tell nothing; the disk does.
        const qint64 free = freeSpace(m_scratchFolder);
        const bool diskFull = free >= 0 && (free < (qint64(1) << 20) || free <= m_scratchFloor + (qint64(1) << 20));
        if (!diskFull)
            return failure(QStringLiteral("the result is larger than the %1 MB it may take on disk%2")
                               .arg(m_scratchLimit >> 20)
                               .arg(kept));
    }
    if (primary == SQLITE_FULL || primary == SQLITE_IOERR) {
        const qint64 free = freeSpace(m_scratchFolder);
        const QString state = free > (qint64(1) << 20) ? QStringLiteral("is filling up (other programs are writing to it)")
                                                      : QStringLiteral("is full");
        return failure(QStringLiteral("the disk that holds the rows read (%1) %2%3")
                           .arg(quoted(QString::fromLocal8Bit(m_scratchFolder)), state, kept));
    }
    return failure(QStringLiteral("the rows read cannot be kept (%1)").arg(QLatin1String(sqlite3_errstr(code))));
}

Result<std::unique_ptr<Statement>> Statement::prepare(const protocol::OpenArgs &args, const QString &jetSql,
                                                      Form form, jetsql::LikeWildcards like, const Values &values)
{
    // The login and the file are checked as for opening the database.
    OpenDatabase database(args.path);
    const Result<PasswordCheck> opened = database.open(args.systemDb, args.user, args.password);
    if (!opened.ok())
        return opened.error();
    return build(database, jetSql, form, like, &values);
}

Result<std::unique_ptr<Statement>> Statement::prepare(OpenDatabase &database, const QString &jetSql, Form form,
                                                      jetsql::LikeWildcards like, const Values &values)
{
    return build(database, jetSql, form, like, &values);
}

Result<QList<protocol::StatementParameter>> Statement::parameters(const protocol::OpenArgs &args,
                                                                  const QString &jetSql)
{
    OpenDatabase database(args.path);
    const Result<PasswordCheck> opened = database.open(args.systemDb, args.user, args.password);
    if (!opened.ok())
        return opened.error();
    return parameters(database, jetSql);
}

Result<QList<protocol::StatementParameter>> Statement::parameters(OpenDatabase &database, const QString &jetSql)
{
    const Result<std::unique_ptr<Statement>> s = build(database, jetSql, Form::Display,
                                                       jetsql::LikeWildcards::Dao, nullptr);
    if (!s.ok())
        return s.error();
    QList<protocol::StatementParameter> out;
    for (const jetsql::Parameter &p : s.value()->m_parameters)
        out.append({p.name, p.daoType, p.size});
    return out;
}

Result<void> Statement::bind(const Values &values)
{
    int missing = 0;
    for (const jetsql::Parameter &p : std::as_const(m_parameters)) {
        const auto given = std::find_if(values.begin(), values.end(), [&](const protocol::ParameterValue &v) {
            return v.name.compare(p.name, Qt::CaseInsensitive) == 0;
        });
        if (given == values.end()) {
            ++missing;
            continue;
        }
        const Result<QVariant> value = jetsql::parameterValue(p, given->value);
        if (!value.ok())
            return Error{QStringLiteral("The parameter [%1]: %2").arg(p.name, value.error().message)};
        const int index = sqlite3_bind_parameter_index(m_statement, p.sqliteName.toUtf8().constData());
        if (index == 0)
            continue;   // declared, never used
        const int rc = jetsql::bindValue(m_statement, index, value.value());
        if (rc != SQLITE_OK)
            return Error{sqlFailure(rc)};
    }
    if (missing > 0)
        return Error{QString::fromLatin1(jetsql::texts::kTooFewParameters).arg(missing)};
    return {};
}

Result<std::unique_ptr<Statement>> Statement::build(OpenDatabase &database, const QString &jetSql, Form form,
                                                    jetsql::LikeWildcards like, const Values *values)
{
    const QString path = database.path();
    std::unique_ptr<Statement> s(new Statement);
    s->m_form = form;
    s->m_scratchFolder = scratchFolder();
    const Result<CurrentFile> current = database.current();
    if (!current.ok())
        return current.error();
    s->m_file = current.value().file;
    const QList<CatalogEntry> &entries = current.value().tables;
    const QList<CatalogEntry> &queries = current.value().queries;

    if (sqlite3_open_v2(":memory:", &s->m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK
        || jetsql::registerJetFunctions(s->m_db) != SQLITE_OK
        || registerJetModule(s->m_db, s->m_file.get()) != SQLITE_OK)
        return Error{s->failure(QStringLiteral("the SQL engine cannot be started"))};
    // Tables the joins copy out go to a scratch file, not to memory.
    exec(s->m_db, QStringLiteral("PRAGMA temp_store = FILE"));

    // The local table of that name, as Jet matches names; null: none.
    const auto localTable = [entries](const QString &name) -> const CatalogEntry * {
        for (const CatalogEntry &entry : entries)
            if (entry.type == LocalTable && entry.name.compare(name, Qt::CaseInsensitive) == 0)
                return &entry;
        return nullptr;
    };
    jetsql::Catalog catalog;
    // A table becomes a virtual table only when the statement names it.
    int next = 0;
    catalog.lookupTable = [&, statement = s.get()](const QString &name) -> std::optional<jetsql::CatalogTable> {
        const CatalogEntry *entry = localTable(name);
        if (!entry)
            return std::nullopt;
        jetsql::CatalogTable table;
        table.name = entry->name;
        // A damaged table is only an error when it is used, and then it is
        // named as the list shows it.
        const auto unreadable = [&](const QString &why) {
            table.refusal = QString(reasons::CannotReadTable).arg(quoted(entry->name), quoted(path))
                + QLatin1String(": ") + why + QLatin1Char('.');
            return table;
        };
        const Result<QList<Field>> fields = statement->m_file->readColumns(*entry);
        if (!fields.ok())
            return unreadable(fields.error().message);
        table.sqliteName = QStringLiteral("jet_t%1").arg(next++);
        for (const Field &field : fields.value())
            table.columns.append({field.Name, field.Type});
        // Made by the engine, not by the statement: past the read-only rule.
        sqlite3_set_authorizer(statement->m_db, nullptr, nullptr);
        const Result<void> created = createJetTable(statement->m_db, table.sqliteName, *entry, true);
        sqlite3_set_authorizer(statement->m_db, jetsql::readOnlyAuthorizer, nullptr);
        if (!created.ok())
            return unreadable(created.error().message);
        return table;
    };
    catalog.indexedColumns = [file = s->m_file, localTable](const QString &name) {
        const CatalogEntry *entry = localTable(name);
        return entry ? indexedColumns(*file, *entry) : QStringList();
    };
    catalog.primaryKey = [file = s->m_file, localTable](const QString &name) {
        const CatalogEntry *entry = localTable(name);
        return entry ? primaryKeyColumn(*file, *entry) : QString();
    };
    // Unreadable saved queries only matter to a statement that names one:
    // it then finds no such query.
    const Result<QList<jetsql::CatalogQuery>> saved = readSavedQueries(*s->m_file, entries, queries);
    if (saved.ok())
        catalog.queries = saved.value();
    sqlite3_set_authorizer(s->m_db, jetsql::readOnlyAuthorizer, nullptr);

    jetsql::ParameterTexts texts;
    if (values)
        for (const protocol::ParameterValue &v : *values)
            texts.append({v.name, v.value});
    const Result<jetsql::Translation> translated =
        jetsql::translate(jetSql, catalog, s->m_db, like, jetsql::Parameters::Bound, texts);
    if (!translated.ok())
        return translated.error();
    const jetsql::Translation &translation = translated.value();
    const QByteArray sql = translation.sqliteSql.toUtf8();
    const int prepared = sqlite3_prepare_v2(s->m_db, sql.constData(), int(sql.size()), &s->m_statement, nullptr);
    if (prepared != SQLITE_OK)
        return Error{s->sqlFailure(prepared)};
    s->m_names = translation.columnNames;
    s->m_kinds = translation.columnKinds;
    s->m_serverNotes = translation.serverNotes;
    s->m_parameters = translation.parameters;
    if (values) {
        const Result<void> bound = s->bind(*values);
        if (!bound.ok())
            return bound.error();
    }
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
        return Error{sqlFailure(sqlite3_extended_errcode(m_db))};
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
    if (m_form == Form::Page)
        return jetsql::pageText(value, kind);
    return jetsql::displayText(value, kind);
}

Result<int> Statement::fetch(int count)
{
    if (!m_store) {
        // An unnamed database lives in a temporary file that SQLite creates
        // private (0600) and unlinks at once. Its journal stays in memory,
        // so that a batch can be taken back on a full disk.
        m_scratchLimit = scratchLimit(m_scratchFolder);
        // Others writing to the same disk (another statement's rows, say)
        // count too: the rows stop where half of what was free is left.
        const qint64 free = freeSpace(m_scratchFolder);
        m_scratchFloor = free > 0 ? free / 2 : 0;
        if (sqlite3_open_v2("", &m_store, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
            return Error{storeFailure(sqlite3_errcode(m_store))};
        QString create = QStringLiteral("CREATE TABLE r(");
        QString insert = QStringLiteral("INSERT INTO r VALUES(");
        for (int i = 0; i < m_names.size(); ++i) {
            create += (i ? QStringLiteral(", c") : QStringLiteral("c")) + QString::number(i);
            insert += i ? QStringLiteral(", ?") : QStringLiteral("?");
        }
        create += QLatin1Char(')');
        insert += QLatin1Char(')');
        const qint64 pages = m_scratchLimit / 4096;
        if (!exec(m_store, QStringLiteral("PRAGMA page_size = 4096"))
            || !exec(m_store, QStringLiteral("PRAGMA journal_mode = MEMORY"))
            || !exec(m_store, QStringLiteral("PRAGMA max_page_count = %1").arg(pages)) || !exec(m_store, create)
            || sqlite3_prepare_v2(m_store, insert.toUtf8().constData(), -1, &m_insert, nullptr) != SQLITE_OK)
            return Error{storeFailure(sqlite3_errcode(m_store))};
    }
    if (!m_pendingError.isEmpty()) {
        m_atEnd = true;
        return Error{m_pendingError};
    }
    // One batch is one transaction: it is kept whole or not at all, so that
    // the rows counted are always the rows that can be read back.
    const bool firstBatch = m_rowsRead == 0;
    const qint64 before = m_rowsRead;
    const auto giveUp = [&](int code) -> Error {
        const QString reason = storeFailure(code);
        if (!sqlite3_get_autocommit(m_store))
            exec(m_store, QStringLiteral("ROLLBACK"));
        m_rowsRead = before;
        m_atEnd = true;
        return Error{reason};
    };
    if (m_scratchFloor > 0) {
        const qint64 free = freeSpace(m_scratchFolder);
        const qint64 room = free < 0 ? m_scratchLimit : free - m_scratchFloor;
        if (room <= 0)
            return giveUp(SQLITE_FULL);
        sqlite3_stmt *size = nullptr;
        qint64 pages = 0;
        if (sqlite3_prepare_v2(m_store, "PRAGMA page_count", -1, &size, nullptr) == SQLITE_OK
            && sqlite3_step(size) == SQLITE_ROW)
            pages = sqlite3_column_int64(size, 0);
        sqlite3_finalize(size);
        exec(m_store, QStringLiteral("PRAGMA max_page_count = %1").arg(qMin(m_scratchLimit, pages * 4096 + room) / 4096));
    }
    if (!exec(m_store, QStringLiteral("BEGIN")))
        return giveUp(sqlite3_extended_errcode(m_store));
    int got = 0;
    while (!m_atEnd && got < count) {
        bool done = false;
        const Result<bool> row = next(&done);
        if (!row.ok()) {
            if (!exec(m_store, QStringLiteral("COMMIT")))
                return giveUp(sqlite3_extended_errcode(m_store));
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
        const int inserted = sqlite3_step(m_insert);
        sqlite3_reset(m_insert);
        if (inserted != SQLITE_DONE)
            return giveUp(inserted);
        ++got;
        ++m_rowsRead;
    }
    if (!exec(m_store, QStringLiteral("COMMIT")))
        return giveUp(sqlite3_extended_errcode(m_store));
    return got;
}

Result<QList<QVariantList>> Statement::rows(qint64 first, int count, QList<QBitArray> *numbers)
{
    QList<QVariantList> result;
    if (!m_store || count <= 0)
        return result;
    sqlite3_stmt *select = nullptr;
    if (sqlite3_prepare_v2(m_store, "SELECT * FROM r WHERE rowid > ? ORDER BY rowid LIMIT ?", -1, &select, nullptr)
        != SQLITE_OK)
        return Error{storeFailure(sqlite3_extended_errcode(m_store))};
    sqlite3_bind_int64(select, 1, first);
    sqlite3_bind_int(select, 2, count);
    int rc;
    while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
        QVariantList row;
        QBitArray shown(numbers ? m_names.size() : 0);
        for (int i = 0; i < m_names.size(); ++i) {
            const QVariant value = columnValue(select, i);
            row.append(text(value, i));
            if (numbers && jetsql::showsNumber(value, m_kinds.value(i, jetsql::ValueKind::Variant)))
                shown.setBit(i);
        }
        result.append(row);
        if (numbers)
            numbers->append(shown);
    }
    // Rows that cannot be read back are an error, never a shorter page.
    const int code = sqlite3_extended_errcode(m_store);
    sqlite3_finalize(select);
    if (rc != SQLITE_DONE)
        return Error{storeFailure(code)};
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
