#pragma once

// What both processes know of a database's structure: fields and table
// definitions as DAO describes them, and the small vocabularies of a login
// and of how a statement runs.

#include <QList>
#include <QString>

namespace kolta::jet {

// DAO's type codes of fields, with those Access 2007 and later add, and two
// of our own for columns that DAO names no type for.
enum DaoType : qint16 {
    dbBoolean = 1,
    dbByte = 2,
    dbInteger = 3,
    dbLong = 4,
    dbCurrency = 5,
    dbSingle = 6,
    dbDouble = 7,
    dbDate = 8,
    dbBinary = 9,
    dbText = 10,
    dbLongBinary = 11,   // OLE Object
    dbMemo = 12,
    dbGUID = 15,
    dbBigInt = 16,
    dbDecimal = 20,
    dbAttachment = 101,
    dbComplexByte = 102,
    dbComplexInteger = 103,
    dbComplexLong = 104,
    dbComplexSingle = 105,
    dbComplexDouble = 106,
    dbComplexGUID = 107,
    dbComplexDecimal = 108,
    dbComplexText = 109,
    ExtendedDateTime = 1014,   // Date/Time Extended
    VersionHistory = 1015,     // the earlier texts of an append-only memo
};

// How far a login's password was checked: a password typed for an account
// that has one cannot be checked without Jet's cipher, so the server does.
enum class PasswordCheck : quint8 { Checked = 0, LeftToServer = 1 };

// How a statement runs: as the data control's DAO runs the try, or as the Jet
// OLE DB provider of a served page does (Like with ANSI wildcards % and _,
// values as the page's VBScript writes them).
enum class StatementMode : quint8 { Dao = 0, Provider = 1 };

struct Field
{
    QString Name;
    qint16 Type = 0;   // DAO type code
    qint32 Size = 0;   // DAO size in bytes (text: characters)
    QString Expression;   // a calculated column's expression, else empty
};

struct TableDef
{
    QString Name;
    QList<Field> Fields;
    int catalogType = 1;   // MSysObjects type: 1 local table, 4 ODBC link, 6 linked table
    quint32 flags = 0;     // MSysObjects flags (system tables have 0x80000000 or 0x2)
};

} // namespace kolta::jet
