#include "jettable_p.h"

#include "jetpages.h"
#include "jettables.h"
#include "jettext.h"
#include "textkeys.h"

#include "reasons.h"
#include "sqlfunctions.h"

#include <QtEndian>

#include <cstring>
#include <utility>

namespace kolta::jet::engine {

namespace vtab {

namespace {

using UsableIndexes = JetFile::IndexUse::Usable;

UsableIndexes readUsable(JetFile *file, quint32 tablePage, const QList<int> &columnTypes, const QList<AceColumn> &ace,
                         quint32 pageCount);

// The indexes a plan may use: their leading column of a type whose keys we
// encode, their count of keys within the table's, their tree reachable. Any
// doubt leaves an index out, and the table is scanned instead. Looked at
// once per table; an index found damaged since drops out.
UsableIndexes usableIndexes(JetFile *file, quint32 tablePage, const QList<int> &columnTypes,
                            const QList<AceColumn> &ace, quint32 pageCount)
{
    JetFile::IndexUse &use = file->indexUse();
    if (!use.enabled)
        return {};
    auto known = use.usable.find(tablePage);
    if (known == use.usable.end())
        known = use.usable.insert(tablePage, readUsable(file, tablePage, columnTypes, ace, pageCount));
    UsableIndexes usable = *known;
    usable.indexes.removeIf([&](const IndexDefinition &index) {
        return use.damaged.contains((quint64(tablePage) << 32) | index.root);
    });
    return usable;
}

UsableIndexes readUsable(JetFile *file, quint32 tablePage, const QList<int> &columnTypes, const QList<AceColumn> &ace,
                         quint32 pageCount)
{
    UsableIndexes usable;
    MdbHandle *mdb = mdb_clone_handle(file->handle());
    if (!mdb)
        return usable;
    MdbCatalogEntry entry;
    MdbTableDef *definition = readTableAt(mdb, tablePage, &entry);
    if (definition && int(definition->num_cols) == columnTypes.size()
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

} // namespace

void readUsableIndexes(JetTable *table)
{
    if (std::exchange(table->indexesRead, true))
        return;
    table->pageCount = pageCountOf(*table->file);
    UsableIndexes usable = usableIndexes(table->file, table->page, table->columnTypes, table->ace, table->pageCount);
    table->rowCount = usable.rowCount;
    table->indexes = std::move(usable.indexes);
}

namespace {

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
    const Result<bool> every = walker.everyKey(TextKeyCheck(column.text, column.descending));
    // An index that cannot be walked is not trusted for order either.
    const bool holds = every.ok() && every.value();
    use.textOrderHolds.insert(id, holds);
    return holds;
}

} // namespace

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

namespace {

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

} // namespace

int nextIndexed(sqlite3_vtab_cursor *base)
{
    auto *cursor = static_cast<JetCursor *>(base);
    cursor->indexFailed = false;
    const int rc = stepIndex(base);
    return rc != SQLITE_OK && cursor->indexFailed ? indexFailure(base, rc) : rc;
}

namespace {

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


} // namespace

int filterIndexed(sqlite3_vtab_cursor *base, int plan, const char *planText, int argc, sqlite3_value **argv)
{
    auto *cursor = static_cast<JetCursor *>(base);
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

} // namespace vtab

namespace {

// The usable indexes of a table, each with the name of its leading column.
QList<std::pair<QString, IndexDefinition>> leadingColumns(JetFile &file, const CatalogEntry &entry)
{
    QList<int> types;
    QList<AceColumn> ace;
    const Result<QList<Field>> fields = file.readColumns(entry, &types, &ace);
    if (!fields.ok())
        return {};
    QList<std::pair<QString, IndexDefinition>> leading;
    for (const IndexDefinition &index :
         vtab::usableIndexes(&file, entry.id & 0x00ffffff, types, ace, vtab::pageCountOf(file)).indexes)
        leading.append({fields.value().at(index.columns.first().column).Name, index});
    return leading;
}

} // namespace

QStringList indexedColumns(JetFile &file, const CatalogEntry &entry)
{
    QStringList names;
    for (const auto &[name, index] : leadingColumns(file, entry))
        names.append(name);
    return names;
}

QString primaryKeyColumn(JetFile &file, const CatalogEntry &entry)
{
    for (const auto &[name, index] : leadingColumns(file, entry))
        if (index.primary && index.columns.size() == 1)
            return name;
    return {};
}

} // namespace kolta::jet::engine
