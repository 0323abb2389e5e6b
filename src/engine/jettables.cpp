#include "jettables.h"

#include "jettable_p.h"
#include "jetpages.h"
#include "jetvalues.h"

#include "reasons.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QtEndian>

#include <sqlite3.h>

#include <cstring>
#include <memory>
#include <optional>
#include <utility>

namespace kolta::jet::engine {

namespace vtab {

QString quotedIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void setError(sqlite3_vtab *vtab, const QString &message)
{
    sqlite3_free(vtab->zErrMsg);
    vtab->zErrMsg = sqlite3_mprintf("%s", message.toUtf8().constData());
}

int connect(sqlite3 *db, void *aux, int argc, const char *const *argv, sqlite3_vtab **out, char **error)
{
    // argv: module, database, table name, then our arguments: the page of
    // the table's definition and, in hex, the name Jet knows it by.
    if (argc < 4 || argc > 6) {
        *error = sqlite3_mprintf("a jet table takes the page of its definition");
        return SQLITE_ERROR;
    }
    auto table = std::make_unique<JetTable>();
    std::memset(static_cast<sqlite3_vtab *>(table.get()), 0, sizeof(sqlite3_vtab));
    table->file = static_cast<JetFile *>(aux);
    table->page = QByteArray(argv[3]).toUInt();
    // (The hex comes after an "n": a bare number followed by letters is no token to SQLite.)
    table->name = QString::fromUtf8(argc > 4 ? QByteArray::fromHex(argv[4] + (argv[4][0] ? 1 : 0)) : QByteArray(argv[2]));

    CatalogEntry entry;
    entry.name = table->name;
    entry.id = table->page;
    QList<int> types;
    const Result<QList<Field>> read = table->file->readColumns(entry, &types, &table->ace);
    if (!read.ok()) {
        *error = sqlite3_mprintf("%s", read.error().message.toUtf8().constData());
        return SQLITE_ERROR;
    }
    const QList<Field> &fields = read.value();
    table->columnTypes = types;
    table->complexValues.resize(types.size());
    // (Only where the statement's functions are there to sort by.)
    const bool jetCollation = argc > 5 && std::strcmp(argv[5], "jetci") == 0;
    QString schema = QStringLiteral("CREATE TABLE x(");
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            schema += QLatin1String(", ");
        const int type = table->ace.at(i).calculated ? table->ace.at(i).resultType : types.at(i);
        schema += quotedIdentifier(fields.at(i).Name) + QLatin1Char(' ') + QLatin1String(declaredType(type));
        // Text sorts as Jet sorts it; declared so, an ORDER BY on the column
        // reaches the plan, which may then read it in an index's order.
        if (type == MDB_TEXT && jetCollation)
            schema += QLatin1String(" COLLATE JETCI");
    }
    schema += QLatin1Char(')');
    // Columns SQLite cannot take (the same name twice, thousands of them)
    // come only from a damaged definition; its own words are not for the user.
    const int rc = sqlite3_declare_vtab(db, schema.toUtf8().constData());
    if (rc != SQLITE_OK) {
        *error = sqlite3_mprintf("%.*s", int(reasons::Damaged.size()), reasons::Damaged.data());
        return rc;
    }
    *out = table.release();
    return SQLITE_OK;
}

int disconnect(sqlite3_vtab *vtab)
{
    sqlite3_free(vtab->zErrMsg);
    delete static_cast<JetTable *>(vtab);
    return SQLITE_OK;
}

int open(sqlite3_vtab *vtab, sqlite3_vtab_cursor **out)
{
    auto *table = static_cast<JetTable *>(vtab);
    auto cursor = std::make_unique<JetCursor>();
    std::memset(static_cast<sqlite3_vtab_cursor *>(cursor.get()), 0, sizeof(sqlite3_vtab_cursor));
    cursor->mdb = mdb_clone_handle(table->file->handle());
    if (!cursor->mdb) {
        setError(vtab, QStringLiteral("the database file cannot be read"));
        return SQLITE_CORRUPT;
    }
    cursor->table = readTableAt(cursor->mdb, table->page, &cursor->entry);
    if (!cursor->table || !usageMapIsSound(cursor->table) || int(cursor->table->num_cols) != table->columnTypes.size()) {
        setError(vtab, QStringLiteral("the table %1 is damaged or was changed").arg(table->name));
        return SQLITE_CORRUPT;
    }
    cursor->fields.resize(cursor->table->num_cols);
    const FileHeader &header = table->file->header();
    const qint64 pageCount = header.fileSize / header.pageSize + 1;
    cursor->rowLimit = pageCount * 512;
    cursor->pageCount = quint32(qMin<qint64>(pageCount, 0xffffffff));
    *out = cursor.release();
    return SQLITE_OK;
}

int close(sqlite3_vtab_cursor *base)
{
    delete static_cast<JetCursor *>(base);
    return SQLITE_OK;
}

int damagedPage(sqlite3_vtab_cursor *base)
{
    const auto *jetTable = static_cast<const JetTable *>(base->pVtab);
    setError(base->pVtab, QString(reasons::PageRowsDamaged).arg(jetTable->name));
    return SQLITE_CORRUPT;
}

void restartScan(JetCursor *cursor)
{
    cursor->walker.reset();
    cursor->pageIndex = 0;
    cursor->rowsOnPage = 0;
    cursor->nextRow = 0;
    cursor->rowid = 0;
    cursor->rowsRead = 0;
    cursor->fetched = 0;
}

// The next row of the table, read page by page in file order. Each row is
// cracked once, into fields that still tell Null apart from "".
int next(sqlite3_vtab_cursor *base)
{
    if (static_cast<JetCursor *>(base)->walker)
        return nextIndexed(base);
    auto *cursor = static_cast<JetCursor *>(base);
    MdbTableDef *table = cursor->table;
    MdbHandle *mdb = cursor->mdb;
    if (!cursor->pages)
        cursor->pages = dataPages(mdb, table, cursor->pageCount);
    const QList<quint32> &pages = *cursor->pages;
    for (;;) {
        if (cursor->nextRow >= cursor->rowsOnPage) {
            if (cursor->pageIndex >= pages.size()) {
                cursor->eof = true;
                // The definition counts the table's rows: fewer read means
                // pages are missing (a file cut short), never a shorter table.
                if (cursor->rowsRead < qint64(table->num_rows)) {
                    const auto *jetTable = static_cast<const JetTable *>(base->pVtab);
                    setError(base->pVtab, QString(reasons::RowsMissing).arg(jetTable->name));
                    return SQLITE_CORRUPT;
                }
                return SQLITE_OK;
            }
            const quint32 page = pages.at(cursor->pageIndex++);
            cursor->rowsOnPage = 0;
            cursor->nextRow = 0;
            if (!readPage(mdb, page, mdb->pg_buf)) {
                cursor->pageIndex = pages.size();
                continue;
            }
            mdb->cur_pg = page;
            mdb->cur_pos = 0;
            // Only the table's own data pages hold its rows.
            if (mdb->pg_buf[0] != MDB_PAGE_DATA || qFromLittleEndian<quint32>(mdb->pg_buf + 4) != cursor->entry.table_pg)
                continue;
            cursor->rowsOnPage = qFromLittleEndian<quint16>(mdb->pg_buf + mdb->fmt->row_count_offset);
            cursor->rowsStart = mdb->fmt->row_count_offset + 2 + 2 * cursor->rowsOnPage;
            if (cursor->rowsStart > int(mdb->fmt->pg_size))
                return damagedPage(base);
            continue;
        }
        const int row = cursor->nextRow++;
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb, row, &start, &size) != 0 || size == 0)
            continue;
        // A row inside the page's header or offset table: the page counts
        // more rows than it holds (its count is damaged).
        if ((start & OffsetMask) < cursor->rowsStart)
            return damagedPage(base);
        if (start & 0x4000)   // deleted
            continue;
        if (++cursor->fetched > cursor->rowLimit) {
            setError(base->pVtab, reasons::PagesInCircle);
            return SQLITE_CORRUPT;
        }
        start &= OffsetMask;
        if (mdb_crack_row(table, start, size, cursor->fields.data()) < 0)
            continue;
        cursor->eof = false;
        ++cursor->rowsRead;
        cursor->rowid = (sqlite3_int64(mdb->cur_pg) << 8) | row;
        return SQLITE_OK;
    }
}

int filter(sqlite3_vtab_cursor *base, int plan, const char *planText, int argc, sqlite3_value **argv)
{
    auto *cursor = static_cast<JetCursor *>(base);
    restartScan(cursor);
    if (!(plan & UsesIndex))
        return next(base);

    return filterIndexed(base, plan, planText, argc, argv);
}

int eof(sqlite3_vtab_cursor *base)
{
    return static_cast<JetCursor *>(base)->eof;
}

int rowid(sqlite3_vtab_cursor *base, sqlite3_int64 *out)
{
    *out = static_cast<JetCursor *>(base)->rowid;
    return SQLITE_OK;
}

int column(sqlite3_vtab_cursor *base, sqlite3_context *context, int index)
{
    auto *cursor = static_cast<JetCursor *>(base);
    if (index < 0 || index >= cursor->fields.size()) {
        sqlite3_result_null(context);
        return SQLITE_OK;
    }
    // libmdb cracks a row into one field per column, in column order.
    const MdbField *field = &cursor->fields.at(index);
    if (field->colnum != index)
        field = nullptr;
    const auto *col = static_cast<const MdbColumn *>(g_ptr_array_index(cursor->table->columns, index));
    auto *table = static_cast<JetTable *>(base->pVtab);
    const bool calculated = index < table->ace.size() && table->ace.at(index).calculated;
    const int type = calculated ? table->ace.at(index).resultType : col->col_type;
    const std::optional<qint32> complex = resultField(context, cursor->mdb, col, field, calculated, type, cursor->text);
    if (!complex)
        return SQLITE_OK;
    std::optional<QHash<qint32, QString>> &values = table->complexValues[index];
    if (!values)
        values = readComplexValues(*table->file, table->page, QString::fromUtf8(col->name));
    const auto found = values->constFind(*complex);
    if (found == values->constEnd()) {
        sqlite3_result_null(context);
    } else {
        const QByteArray text = found->toUtf8();
        sqlite3_result_text(context, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
    return SQLITE_OK;
}

sqlite3_module jetModule()
{
    sqlite3_module module;
    std::memset(&module, 0, sizeof(module));
    module.iVersion = 1;
    module.xCreate = connect;
    module.xConnect = connect;
    module.xBestIndex = bestIndex;
    module.xDisconnect = disconnect;
    module.xDestroy = disconnect;
    module.xOpen = open;
    module.xClose = close;
    module.xFilter = filter;
    module.xNext = next;
    module.xEof = eof;
    module.xColumn = column;
    module.xRowid = rowid;
    // No xUpdate: SQLite refuses every change to these tables.
    return module;
}

} // namespace vtab

int registerJetModule(sqlite3 *db, JetFile *file)
{
    static const sqlite3_module module = vtab::jetModule();
    return sqlite3_create_module(db, "jet", &module, file);
}

Result<void> createJetTable(sqlite3 *db, const QString &sqliteName, const CatalogEntry &entry, bool jetCollation)
{
    const QString sql = QStringLiteral("CREATE VIRTUAL TABLE temp.%1 USING jet(%2, n%3%4)")
                            .arg(vtab::quotedIdentifier(sqliteName), QString::number(entry.id & 0x00FFFFFF),
                                 QString::fromLatin1(entry.name.toUtf8().toHex()),
                                 jetCollation ? QStringLiteral(", jetci") : QString());
    char *error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString reason = QString::fromUtf8(error ? error : sqlite3_errmsg(db));
        sqlite3_free(error);
        return Error{reason};
    }
    return {};
}

} // namespace kolta::jet::engine
