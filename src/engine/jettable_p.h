#pragma once

// The Jet tables' virtual table and its cursor, shared by the scan
// (jettables.cpp) and the reads through the file's indexes (indexedreads.cpp).

#include "acecolumns.h"
#include "jetfile.h"
#include "jetindex.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <sqlite3.h>

#include <memory>
#include <optional>

namespace kolta::jet::engine::vtab {

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
    // The table's data pages, in file order; read from its usage map only
    // when a scan first needs them (a lookup through an index does not).
    std::optional<QList<quint32>> pages;
    quint32 pageCount = 0;           // of the file, when the cursor opened
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

void setError(sqlite3_vtab *vtab, const QString &message);
// A page of the table that counts more rows than it holds.
int damagedPage(sqlite3_vtab_cursor *base);
// Back to the table's first row in stored order.
void restartScan(JetCursor *cursor);
// The cursor's next row, scanned or through its index.
int next(sqlite3_vtab_cursor *base);

// The index side: which indexes a table's plans may use, the plan, and the
// rows through the chosen index.
void readUsableIndexes(JetTable *table);
int bestIndex(sqlite3_vtab *vtab, sqlite3_index_info *info);
int filterIndexed(sqlite3_vtab_cursor *base, int plan, const char *planText, int argc, sqlite3_value **argv);
int nextIndexed(sqlite3_vtab_cursor *base);

} // namespace kolta::jet::engine::vtab
