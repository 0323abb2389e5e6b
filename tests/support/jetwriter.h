#pragma once

// Writes real Jet 4 database files (and workgroup files) for the tests and
// benchmarks. Test-only: never linked into the program.
//
// The files are what mdbtools/libmdb read: the catalog MSysObjects at page 2
// with MSysACEs, MSysQueries and MSysRelationships beside it, then the
// tables in the order given (that is the catalog order readers report).
// Indexes are written as Jet 4 keeps them (see Index below). Not written:
// relationships, properties (LvProp), so Access itself would want to repair
// the file. Limits as in Jet: names of 1..64
// characters; Text 1..255 characters; a row must fit one 4 KB page (memo
// and OLE values move to long value pages and take 12 bytes in the row).
// A table may have no columns (Jet would refuse it) but then no rows.
// Text is stored as Jet's compressed unicode when every character is in
// Latin-1, else as UCS-2.

#include <QList>
#include <QString>
#include <QVariant>
#include <functional>

namespace kolta::jetwriter {

enum class ColumnType {
    YesNo,      // Jet 0x01, DAO 1
    Byte,       // 0x02, DAO 2
    Integer,    // 0x03, DAO 3 (16-bit)
    Long,       // 0x04, DAO 4
    Currency,   // 0x05, DAO 5
    Single,     // 0x06, DAO 6
    Double,     // 0x07, DAO 7
    DateTime,   // 0x08, DAO 8
    Binary,     // 0x09, DAO 9
    Text,       // 0x0A, DAO 10; size = length in characters (1..255)
    Ole,        // 0x0B, DAO 11
    Memo,       // 0x0C, DAO 12
    Guid,       // 0x0F, DAO 15 (Replication ID)
    Decimal,    // 0x10, DAO 20 (Numeric; precision/scale below)
};

struct Column
{
    QString name;
    ColumnType type = ColumnType::Long;
    int size = 0;          // Text/Binary: declared length; ignored for fixed types
    int precision = 18;    // Decimal only
    int scale = 0;         // Decimal only
};

struct IndexColumn
{
    QString name;
    bool ascending = true;
};

// An index over up to 10 columns of Long, Integer, Byte, Currency, Single,
// Double, DateTime or Text. Text keys use Jet 4's "General" sort order for
// the characters whose weights were read off real Access files (printable
// ASCII but the apostrophe and the hyphen; case folds); a value with any
// other character, or ending in a space, in an indexed text column makes
// write() fail rather than write a wrong key.
// The index is built as a B-tree of leaf pages (0x04) and, when there is
// more than one leaf, intermediate pages (0x03) above them.
struct Index
{
    QString name;
    QList<IndexColumn> columns;
    bool primary = false;      // implies unique; Null is refused
    bool unique = false;       // several Nulls are still allowed, as in Access
    bool ignoreNulls = false;  // rows whose key columns are all Null get no entry
    // Entries after the first on a page leave out what they share with it
    // (as Access does on full pages); false writes every entry whole.
    bool sharePrefixes = true;
};

// Values by column type: bool, int, qint64, double, QDateTime or QDate,
// QString, QByteArray (Ole, Binary), QUuid (Guid), QString with a decimal
// number (Decimal; Currency takes one too, or a double). A null QVariant is
// Null (a Null Yes/No is stored as No); missing trailing values are Null.
using Row = QList<QVariant>;

struct Table
{
    QString name;
    // Catalog flags 0x80000000 and tdef type 'S', as Jet marks its MSys tables.
    bool system = false;
    QList<Column> columns;
    QList<Row> rows;
    // The initializer keeps brace lists that end at rows free of warnings.
    QList<Index> indexes = {};
};

// A catalog object of type 5 whose statement is taken apart into
// MSysQueries attribute rows as Access stores them. A SELECT: predicate
// (DISTINCT, DISTINCTROW, TOP [PERCENT]), tables with aliases, output
// columns, left-deep INNER/LEFT/RIGHT joins, WHERE, GROUP BY, HAVING, ORDER
// BY; "*" is kept as an output column. A UNION: its last UNION's two operands
// as text. A crosstab (TRANSFORM ... SELECT ... PIVOT column): the SELECT's
// rows with the value and the pivot beside them. Action queries (SELECT INTO,
// INSERT, UPDATE, DELETE), data-definition and pass-through queries (connect
// set): their type row only, with the target table or the text.
struct SavedQuery
{
    SavedQuery() = default;
    SavedQuery(QString name, QString sql, QString connect = QString())
        : name(std::move(name)), sql(std::move(sql)), connect(std::move(connect))
    {
    }
    QString name;
    QString sql;
    QString connect;   // not empty: a pass-through query to this connection
};

// A row of MSysAccounts (FGroup Byte, Name Text(20), Password Binary,
// SID Binary). The password is scrambled, though not as Jet does it.
struct Account
{
    QString name;
    QString password;
    bool group = false;
};

struct Database
{
    QList<Table> tables;
    QList<SavedQuery> queries;
    // Non-empty: the file is a workgroup file holding these in MSysAccounts.
    QList<Account> accounts;
};

// Writes db to path (replacing it). Returns an error text, empty on success;
// a value that does not fit its column is an error, never silently cut.
QString write(const QString &path, const Database &db);

// Streams rows into one big table without holding them in memory; for the
// benchmark front end. rowAt(i) returns row i, for i = 0..rowCount-1 in
// order; shape.rows, if any, come first.
QString writeLarge(const QString &path, const Table &shape, qint64 rowCount,
                   const std::function<Row(qint64)> &rowAt);

} // namespace kolta::jetwriter
