#include "jettables.h"

#include "acecolumns.h"
#include "jetindex.h"
#include "jetpages.h"
#include "jettext.h"
#include "jetvalues.h"

#include "reasons.h"
#include "sqlfunctions.h"

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

namespace {

constexpr int OffsetMask = 0x1fff;

struct JetTable : sqlite3_vtab
{
    JetFile *file = nullptr;
    quint32 page = 0;
    QString name;
    QList<int> columnTypes;   // in column order
    QList<AceColumn> ace;     // likewise
    // Texts of attachment and multi-valued columns by stored number, read
    // at their first use.
    QList<std::optional<QHash<qint32, QString>>> complexValues;
    qint64 rowCount = 0;
    quint32 pageCount = 0;
    QList<IndexDefinition> indexes;   // those a plan may use
    bool indexesRead = false;         // at the first plan: most tables are never planned
};

// How a cursor reads: every row in stored order, or through an index.
enum PlanFlags {
    IndexMask = 0xff,
    UsesIndex = 0x100,
    Equal = 0x200,
    HasLower = 0x400,
    HasUpper = 0x800,
    Reverse = 0x1000,
    Ordered = 0x2000,
};

// Reading one table: its own libmdb handle (a clone sharing the file), so
// that cursors over several tables, or the same one twice, do not disturb
// each other's current page.
struct JetCursor : sqlite3_vtab_cursor
{
    ~JetCursor()
    {
        if (table)
            mdb_free_tabledef(table);
        if (mdb)
            mdb_close(mdb);
    }
    MdbHandle *mdb = nullptr;
    MdbCatalogEntry entry;
    MdbTableDef *table = nullptr;
    QList<MdbField> fields;          // of the current row, by column
    QList<quint32> pages;            // the table's data pages, in file order
    qsizetype pageIndex = 0;         // the next of them to read
    int rowsOnPage = 0;              // of the page in the handle's buffer
    int rowsStart = 0;               // where its rows may begin: after its offset table
    int nextRow = 0;
    sqlite3_int64 rowid = 0;         // the row's page and its number there: one id whichever way it was read
    qint64 rowsRead = 0;
    qint64 fetched = 0;
    qint64 rowLimit = 0;
    bool eof = true;
    QByteArray text;                 // decoded text, reused from value to value
    // Reading through an index: its walker, the key range in the index's
    // own order, and the page in the handle's buffer.
    std::unique_ptr<IndexWalker> walker;
    QByteArray lower;
    QByteArray upper;
    bool reverse = false;
    bool wholeIndex = false;         // every entry: they must count the rows
    quint32 rowPage = 0;
    // An ordered walk over text: each text is checked to follow the last in
    // the engine's own order (keys leave out what sets some texts apart).
    int textColumn = -1;
    bool descending = false;
    std::optional<QByteArray> lastText;   // nothing before the first row; Null is an empty optional inside
    bool lastWasNull = false;
    bool anyRow = false;
    quint64 indexId = 0;             // table page and root page
    int keyColumn = 0;               // the index's leading column
    int keyType = 0;
    TextOrder keyText = TextOrder::Unknown;
    bool keyDescending = false;
    bool ordered = false;            // the plan counts on the index's order
    bool indexFailed = false;
    qint64 rowsGiven = 0;            // since the filter
};

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

struct UsableIndexes
{
    qint64 rowCount = 0;
    QList<IndexDefinition> indexes;
};

// The indexes a plan may use: their leading column of a type whose keys we
// encode, their count of keys within the table's, their tree reachable. Any
// doubt leaves an index out, and the table is scanned instead.
UsableIndexes usableIndexes(JetFile *file, quint32 tablePage, const QList<int> &columnTypes,
                            const QList<AceColumn> &ace, quint32 pageCount)
{
    UsableIndexes usable;
    if (!file->indexUse().enabled)
        return usable;
    MdbHandle *mdb = mdb_clone_handle(file->handle());
    if (!mdb)
        return usable;
    MdbCatalogEntry entry;
    std::memset(&entry, 0, sizeof(entry));
    entry.mdb = mdb;
    entry.object_type = MDB_TABLE;
    entry.table_pg = tablePage;
    mdb->cur_pg = 0;
    MdbTableDef *definition = mdb_read_table(&entry);
    if (definition && mdb_read_columns(definition) && int(definition->num_cols) == columnTypes.size()
        && ace.size() == columnTypes.size()) {
        usable.rowCount = definition->num_rows;
        for (const IndexDefinition &index : readIndexes(mdb, definition)) {
            if (index.columns.isEmpty())
                continue;
            const int column = index.columns.first().column;
            if (ace.at(column).calculated || !keyTypeSupported(columnTypes.at(column), index.columns.first()))
                continue;
            // An index that leaves out Nulls counts fewer entries; over more
            // than one column it might leave out rows a lookup needs. (The
            // count the definition keeps is of distinct keys: the rows for a
            // unique index, never more.)
            const bool ignoresNulls = index.flags & 0x02;
            const bool unique = index.flags & 0x01;
            if ((ignoresNulls && index.columns.size() > 1) || index.entries > usable.rowCount
                || (unique && !ignoresNulls && index.entries != usable.rowCount))
                continue;
            if (file->indexUse().damaged.contains((quint64(tablePage) << 32) | index.root))
                continue;
            IndexWalker walker(mdb, tablePage, index.root, pageCount);
            if (!walker.seekFirst({}).ok())
                continue;
            usable.indexes.append(index);
        }
    }
    if (definition)
        mdb_free_tabledef(definition);
    mdb_close(mdb);
    return usable;
}

quint32 pageCountOf(const JetFile &file)
{
    const FileHeader &header = file.header();
    return quint32(qMin<qint64>(header.fileSize / header.pageSize, 0xffffffff));
}

void readUsableIndexes(JetTable *table)
{
    if (std::exchange(table->indexesRead, true))
        return;
    table->pageCount = pageCountOf(*table->file);
    UsableIndexes usable = usableIndexes(table->file, table->page, table->columnTypes, table->ace, table->pageCount);
    table->rowCount = usable.rowCount;
    table->indexes = std::move(usable.indexes);
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

// Whether a text index's order is the engine's: every key of it made of
// characters whose keys sort as the engine compares them. Looked at once per
// file, over the whole leaf level.
bool textOrderHolds(JetTable *table, const IndexDefinition &index)
{
    JetFile::IndexUse &use = table->file->indexUse();
    const quint64 id = (quint64(table->page) << 32) | index.root;
    const auto known = use.textOrderHolds.constFind(id);
    if (known != use.textOrderHolds.constEnd())
        return *known;
    const IndexColumn &column = index.columns.first();
    IndexWalker walker(table->file->handle(), table->page, index.root, table->pageCount);
    bool holds = walker.seekFirst({}).ok();
    while (holds) {
        const Result<bool> more = walker.next();
        if (!more.ok() || !more.value()) {
            holds = more.ok();
            break;
        }
        holds = textKeySortsAsCompared(walker.entry().key, column.text, column.descending);
    }
    use.textOrderHolds.insert(id, holds);
    return holds;
}

// SQLite weighs the plans by these costs: a scan reads every row in file
// order; an index reads a few pages down its tree, then a row per entry, each
// possibly on another page, so a row through it costs more than one scanned.
int bestIndex(sqlite3_vtab *vtab, sqlite3_index_info *info)
{
    auto *table = static_cast<JetTable *>(vtab);
    readUsableIndexes(table);
    const double rows = double(qMax<qint64>(table->rowCount, 1));
    double bestCost = rows + 10;
    info->estimatedCost = bestCost;
    info->estimatedRows = sqlite3_int64(rows);
    int bestPlan = 0;
    int bestArgs[3] = {-1, -1, -1};
    bool bestOrdered = false;
    QByteArray bestText;
    for (qsizetype i = 0; i < table->indexes.size(); ++i) {
        const IndexDefinition &index = table->indexes.at(i);
        const int column = index.columns.first().column;
        const bool text = table->columnTypes.at(column) == MDB_TEXT;
        int equal = -1;
        int lower = -1;
        int upper = -1;
        for (int c = 0; c < info->nConstraint; ++c) {
            const auto &constraint = info->aConstraint[c];
            if (!constraint.usable || constraint.iColumn != column)
                continue;
            // Text keys give only the values equal to one, under Jet's own
            // comparison or a stricter one.
            if (text) {
                const char *collation = sqlite3_vtab_collation(info, c);
                if (constraint.op == SQLITE_INDEX_CONSTRAINT_EQ && collation
                    && (sqlite3_stricmp(collation, "JETCI") == 0 || sqlite3_stricmp(collation, "BINARY") == 0))
                    equal = c;
                continue;
            }
            switch (constraint.op) {
            case SQLITE_INDEX_CONSTRAINT_EQ: equal = c; break;
            case SQLITE_INDEX_CONSTRAINT_GT:
            case SQLITE_INDEX_CONSTRAINT_GE: lower = c; break;
            case SQLITE_INDEX_CONSTRAINT_LT:
            case SQLITE_INDEX_CONSTRAINT_LE: upper = c; break;
            default: break;
            }
        }
        const bool ordered = equal < 0 && info->nOrderBy == 1 && info->aOrderBy[0].iColumn == column
                             && (lower >= 0 || upper >= 0 || !(index.flags & 0x02))
                             && (!text || textOrderHolds(table, index));
        const bool reverse = ordered && bool(info->aOrderBy[0].desc) != index.columns.first().descending;
        double found;
        int plan = UsesIndex | int(i);
        if (equal >= 0) {
            const bool unique = (index.flags & 0x01) && index.columns.size() == 1;
            found = unique ? 1 : qMax(1.0, rows / 100);
            plan |= Equal;
            lower = upper = -1;
        } else if (lower >= 0 && upper >= 0) {
            found = qMax(1.0, rows / 16);
        } else if (lower >= 0 || upper >= 0) {
            found = qMax(1.0, rows / 4);
        } else if (ordered) {
            found = rows;
        } else {
            continue;
        }
        plan |= (lower >= 0 ? HasLower : 0) | (upper >= 0 ? HasUpper : 0) | (reverse ? Reverse : 0)
                | (ordered ? Ordered : 0);
        const double cost = 10 + 2 * found;
        if (cost >= bestCost && !(ordered && !bestOrdered && cost < bestCost * 4))
            continue;
        bestCost = cost;
        bestPlan = plan;
        bestOrdered = ordered;
        bestArgs[0] = equal;
        bestArgs[1] = lower;
        bestArgs[2] = upper;
        info->estimatedRows = sqlite3_int64(found);
        bestText = index.name.toUtf8();
    }
    if (!(bestPlan & UsesIndex))
        return SQLITE_OK;
    info->idxNum = bestPlan;
    info->estimatedCost = bestCost;
    if (bestOrdered)
        info->orderByConsumed = 1;
    if ((bestPlan & Equal) && (table->indexes.at(bestPlan & IndexMask).flags & 0x01)
        && table->indexes.at(bestPlan & IndexMask).columns.size() == 1)
        info->idxFlags |= SQLITE_INDEX_SCAN_UNIQUE;
    int argument = 0;
    for (const int c : bestArgs)
        if (c >= 0)
            info->aConstraintUsage[c].argvIndex = ++argument;
    info->idxStr = sqlite3_mprintf("%s", bestText.constData());
    info->needToFreeIdxStr = 1;
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
    std::memset(&cursor->entry, 0, sizeof(cursor->entry));
    cursor->entry.mdb = cursor->mdb;
    cursor->entry.object_type = MDB_TABLE;
    cursor->entry.table_pg = table->page;
    cursor->mdb->cur_pg = 0;
    cursor->table = mdb_read_table(&cursor->entry);
    if (!cursor->table || !usageMapIsSound(cursor->table) || !mdb_read_columns(cursor->table)
        || int(cursor->table->num_cols) != table->columnTypes.size()) {
        setError(vtab, QStringLiteral("the table %1 is damaged or was changed").arg(table->name));
        return SQLITE_CORRUPT;
    }
    cursor->fields.resize(cursor->table->num_cols);
    const FileHeader &header = table->file->header();
    const qint64 pageCount = header.fileSize / header.pageSize + 1;
    cursor->rowLimit = pageCount * 512;
    cursor->pages = dataPages(cursor->mdb, cursor->table, quint32(qMin<qint64>(pageCount, 0xffffffff)));
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

int indexDamaged(sqlite3_vtab_cursor *base)
{
    static_cast<JetCursor *>(base)->indexFailed = true;
    setError(base->pVtab, reasons::IndexDamaged);
    return SQLITE_CORRUPT;
}

// Loads a data page of the table into the handle's buffer (unless there
// already) with its row count; false when it is none of the table's.
bool loadRowPage(JetCursor *cursor, quint32 page)
{
    MdbHandle *mdb = cursor->mdb;
    if (page == cursor->rowPage)
        return true;
    cursor->rowPage = 0;
    if (page == 0 || !readPage(mdb, page, mdb->pg_buf) || mdb->pg_buf[0] != MDB_PAGE_DATA
        || qFromLittleEndian<quint32>(mdb->pg_buf + 4) != cursor->entry.table_pg)
        return false;
    cursor->rowsOnPage = qFromLittleEndian<quint16>(mdb->pg_buf + mdb->fmt->row_count_offset);
    cursor->rowsStart = mdb->fmt->row_count_offset + 2 + 2 * cursor->rowsOnPage;
    if (cursor->rowsStart > int(mdb->fmt->pg_size))
        return false;
    cursor->rowPage = page;
    return true;
}

// The row an index entry names, cracked as a scan cracks it; its place goes
// to page and row. A row that grew out of its page left in its slot (marked
// as deleted) where it went: the index still names the slot. Anything else
// (no such row, a slot that names no moved row) means the index is damaged.
int readIndexedRow(JetCursor *cursor, quint32 *page, int *row)
{
    MdbHandle *mdb = cursor->mdb;
    for (int hop = 0; hop < 2; ++hop) {
        if (!loadRowPage(cursor, *page))
            return indexDamaged(cursor);
        mdb->cur_pg = *page;
        mdb->cur_pos = 0;
        int start = 0;
        size_t size = 0;
        if (*row >= cursor->rowsOnPage || mdb_find_row(mdb, *row, &start, &size) != 0 || size == 0
            || (start & OffsetMask) < cursor->rowsStart)
            return indexDamaged(cursor);
        if (start & 0x4000) {
            if (hop > 0 || size < 4)
                return indexDamaged(cursor);
            const unsigned char *moved = mdb->pg_buf + (start & OffsetMask);
            *row = moved[0];
            *page = moved[1] | (quint32(moved[2]) << 8) | (quint32(moved[3]) << 16);
            continue;
        }
        // A moved row is marked so in its new place, and is found only there.
        if (hop > 0 && !(start & 0x8000))
            return indexDamaged(cursor);
        if (mdb_crack_row(cursor->table, start & OffsetMask, size, cursor->fields.data()) < 0)
            return indexDamaged(cursor);
        return SQLITE_OK;
    }
    return indexDamaged(cursor);
}

// Whether the text of the row just read comes, in the engine's order, where
// the walk puts it: not before the one read last (after it, descending).
bool followsLastText(JetCursor *cursor)
{
    const MdbField &field = cursor->fields.at(cursor->textColumn);
    const bool isNull = field.colnum != cursor->textColumn || field.is_null;
    QByteArray text;
    if (!isNull)
        text.resize(utf8Text(cursor->mdb, static_cast<const char *>(field.value), field.siz, text));
    bool inOrder = true;
    if (cursor->anyRow) {
        int order;
        if (cursor->lastWasNull || isNull)
            order = int(!cursor->lastWasNull) - int(!isNull);
        else
            order = jetsql::functions::compareJet(nullptr, int(cursor->lastText->size()), cursor->lastText->constData(),
                                                  int(text.size()), text.constData());
        inOrder = cursor->descending ? order >= 0 : order <= 0;
    }
    cursor->anyRow = true;
    cursor->lastWasNull = isNull;
    cursor->lastText = text;
    return inOrder;
}

// Whether the row read holds the key its entry gives for the leading
// column: an entry that names another row means the index is damaged.
bool rowMatchesKey(JetCursor *cursor, const QByteArray &entryKey)
{
    const MdbField &field = cursor->fields.at(cursor->keyColumn);
    const auto *data = static_cast<const unsigned char *>(field.value);
    std::optional<QByteArray> key;
    if (field.colnum != cursor->keyColumn || field.is_null) {
        key = QByteArray(1, '\0');
    } else {
        switch (cursor->keyType) {
        case MDB_BYTE:
            key = integerBound(MDB_BYTE, data[0], BoundSide::Lower).key;
            break;
        case MDB_INT:
            key = integerBound(MDB_INT, qFromLittleEndian<qint16>(data), BoundSide::Lower).key;
            break;
        case MDB_LONGINT:
            key = integerBound(MDB_LONGINT, qFromLittleEndian<qint32>(data), BoundSide::Lower).key;
            break;
        case MDB_MONEY:
            key = integerBound(MDB_MONEY, qFromLittleEndian<qint64>(data), BoundSide::Lower).key;
            break;
        case MDB_FLOAT:
            key = numberBound(MDB_FLOAT, qFromLittleEndian<float>(data), BoundSide::Lower).key;
            break;
        case MDB_DOUBLE:
        case MDB_DATETIME:
            key = numberBound(cursor->keyType, qFromLittleEndian<double>(data), BoundSide::Lower).key;
            break;
        case MDB_TEXT: {
            QByteArray text;
            text.resize(utf8Text(cursor->mdb, reinterpret_cast<const char *>(data), field.siz, text));
            if (const std::optional<QByteArray> textual = textKey(QString::fromUtf8(text), cursor->keyText))
                key = QByteArray(1, '\x7f') + *textual;
            break;
        }
        default:
            break;
        }
    }
    // A value whose key we cannot make is left to the other checks.
    if (!key || key->isEmpty())
        return true;
    return entryKey.startsWith(cursor->keyDescending ? inverted(*key) : *key);
}

// The next row in the index's order within the key range.
int stepIndex(sqlite3_vtab_cursor *base)
{
    auto *cursor = static_cast<JetCursor *>(base);
    const Result<bool> more = cursor->reverse ? cursor->walker->previous() : cursor->walker->next();
    if (!more.ok())
        return indexDamaged(base);
    const IndexEntry &entry = cursor->walker->entry();
    if (!more.value() || (!cursor->reverse && !keyAtMost(entry.key, cursor->upper))
        || (cursor->reverse && !keyAtLeast(entry.key, cursor->lower))) {
        cursor->eof = true;
        // Walked whole, an index names every row once.
        // (The definition may count fewer rows than there are, never more.)
        if (cursor->wholeIndex && !more.value() && cursor->walker->count() < qint64(cursor->table->num_rows))
            return indexDamaged(base);
        return SQLITE_OK;
    }
    quint32 page = entry.page;
    int row = entry.row;
    const int read = readIndexedRow(cursor, &page, &row);
    if (read != SQLITE_OK)
        return read;
    if (!rowMatchesKey(cursor, entry.key) || (cursor->textColumn >= 0 && !followsLastText(cursor)))
        return indexDamaged(base);
    cursor->eof = false;
    cursor->rowid = (sqlite3_int64(page) << 8) | row;
    ++cursor->rowsGiven;
    return SQLITE_OK;
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

int next(sqlite3_vtab_cursor *base);

// An index found damaged is not used again in this file. Before the first
// row of a plan that does not count on its order, the table is read whole
// instead; after it, the statement fails (a retry reads the table whole).
int indexFailure(sqlite3_vtab_cursor *base, int rc)
{
    auto *cursor = static_cast<JetCursor *>(base);
    static_cast<JetTable *>(base->pVtab)->file->indexUse().damaged.insert(cursor->indexId);
    if (cursor->ordered || cursor->rowsGiven > 0)
        return rc;
    sqlite3_free(base->pVtab->zErrMsg);
    base->pVtab->zErrMsg = nullptr;
    restartScan(cursor);
    return next(base);
}

int nextIndexed(sqlite3_vtab_cursor *base)
{
    auto *cursor = static_cast<JetCursor *>(base);
    cursor->indexFailed = false;
    const int rc = stepIndex(base);
    return rc != SQLITE_OK && cursor->indexFailed ? indexFailure(base, rc) : rc;
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
    for (;;) {
        if (cursor->nextRow >= cursor->rowsOnPage) {
            if (cursor->pageIndex >= cursor->pages.size()) {
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
            const quint32 page = cursor->pages.at(cursor->pageIndex++);
            cursor->rowsOnPage = 0;
            cursor->nextRow = 0;
            if (!readPage(mdb, page, mdb->pg_buf)) {
                cursor->pageIndex = cursor->pages.size();
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

// A bound of the plan's constraint as a key of the index's leading column.
KeyBound boundOf(int jetType, sqlite3_value *value, BoundSide side)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return integerBound(jetType, sqlite3_value_int64(value), side);
    case SQLITE_FLOAT:
        return numberBound(jetType, sqlite3_value_double(value), side);
    default:
        // Text, a blob or Null: SQLite compares them its own way; the whole
        // index is read and SQLite keeps the rows that match.
        return {};
    }
}

int filter(sqlite3_vtab_cursor *base, int plan, const char *planText, int argc, sqlite3_value **argv)
{
    auto *cursor = static_cast<JetCursor *>(base);
    restartScan(cursor);
    if (!(plan & UsesIndex))
        return next(base);

    auto *table = static_cast<JetTable *>(base->pVtab);
    const IndexDefinition &index = table->indexes.at(plan & IndexMask);
    const int type = table->columnTypes.at(index.columns.first().column);
    KeyBound lower;
    KeyBound upper;
    int argument = 0;
    const IndexColumn &lead = index.columns.first();
    cursor->textColumn = -1;
    if (type == MDB_TEXT) {
        if ((plan & Equal) && argc > 0) {
            std::optional<std::pair<QByteArray, QByteArray>> range;
            if (sqlite3_value_type(argv[0]) == SQLITE_TEXT)
                range = textEqualRange(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(argv[0]))),
                                       lead.text);
            // A text whose keys are not known: every row, and SQLite picks.
            if (!range)
                return next(base);
            lower = {KeyBound::Key, range->first};
            upper = {KeyBound::Key, range->second};
        }
        if (plan & Ordered) {
            cursor->textColumn = lead.column;
            cursor->descending = bool(plan & Reverse) != lead.descending;
            cursor->anyRow = false;
        }
        plan &= ~(Equal | HasLower | HasUpper);
    }
    if ((plan & Equal) && argument < argc) {
        lower = boundOf(type, argv[argument], BoundSide::Lower);
        upper = boundOf(type, argv[argument++], BoundSide::Upper);
    }
    if ((plan & HasLower) && argument < argc)
        lower = boundOf(type, argv[argument++], BoundSide::Lower);
    if ((plan & HasUpper) && argument < argc)
        upper = boundOf(type, argv[argument++], BoundSide::Upper);
    if (lower.kind == KeyBound::Nothing || upper.kind == KeyBound::Nothing) {
        cursor->eof = true;
        return SQLITE_OK;
    }
    cursor->lower = lower.key;
    cursor->upper = upper.key;
    if (index.columns.first().descending) {
        cursor->lower = upper.key.isEmpty() ? QByteArray() : inverted(upper.key);
        cursor->upper = lower.key.isEmpty() ? QByteArray() : inverted(lower.key);
    }
    cursor->reverse = plan & Reverse;
    cursor->wholeIndex = cursor->lower.isEmpty() && cursor->upper.isEmpty() && !(index.flags & 0x02);
    cursor->rowPage = 0;
    cursor->indexId = (quint64(table->page) << 32) | index.root;
    cursor->keyColumn = lead.column;
    cursor->keyType = type;
    cursor->keyText = lead.text;
    cursor->keyDescending = lead.descending;
    cursor->ordered = plan & Ordered;
    cursor->rowsGiven = 0;
    cursor->walker = std::make_unique<IndexWalker>(cursor->mdb, table->page, index.root, table->pageCount);
    const Result<void> sought =
        cursor->reverse ? cursor->walker->seekLast(cursor->upper) : cursor->walker->seekFirst(cursor->lower);
    if (!sought.ok())
        return indexFailure(base, indexDamaged(base));
    JetFile::IndexUse &use = table->file->indexUse();
    if (use.recording) {
        const QString what = QStringLiteral("%1: index %2%3").arg(table->name, QString::fromUtf8(planText ? planText : ""),
                                                                   cursor->reverse ? QStringLiteral(" (backward)") : QString());
        if (!use.used.contains(what))
            use.used.append(what);
    }
    return next(base);
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

} // namespace

int registerJetModule(sqlite3 *db, JetFile *file)
{
    static const sqlite3_module module = jetModule();
    return sqlite3_create_module(db, "jet", &module, file);
}

QStringList indexedColumns(JetFile &file, const CatalogEntry &entry)
{
    QList<int> types;
    QList<AceColumn> ace;
    const Result<QList<Field>> fields = file.readColumns(entry, &types, &ace);
    if (!fields.ok())
        return {};
    QStringList names;
    for (const IndexDefinition &index :
         usableIndexes(&file, entry.id & 0x00ffffff, types, ace, pageCountOf(file)).indexes)
        names.append(fields.value().at(index.columns.first().column).Name);
    return names;
}

Result<void> createJetTable(sqlite3 *db, const QString &sqliteName, const CatalogEntry &entry, bool jetCollation)
{
    const QString sql = QStringLiteral("CREATE VIRTUAL TABLE temp.%1 USING jet(%2, n%3%4)")
                            .arg(quotedIdentifier(sqliteName), QString::number(entry.id & 0x00FFFFFF),
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
