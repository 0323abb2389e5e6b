#pragma once

// Writes real Jet 4 database files (and workgroup files) for the tests and
// benchmarks. Test-only: never linked into the program.

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

// Values by column type: bool, int, qint64, double, QDateTime, QString,
// QByteArray (Ole, Binary), QUuid (Guid), QString with a decimal number
// (Decimal, Currency may also be double). A null QVariant is Null.
using Row = QList<QVariant>;

struct Table
{
    QString name;
    bool system = false;   // written with the system flag, like Jet's MSys tables
    QList<Column> columns;
    QList<Row> rows;
};

struct SavedQuery
{
    QString name;
    QString sql;           // a SELECT statement, stored in MSysQueries
};

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

// Writes db to path (replacing it). Returns an error text, empty on success.
QString write(const QString &path, const Database &db);

// Streams rows into one big table without holding them in memory; for the
// benchmark front end. rowAt(i) returns row i.
QString writeLarge(const QString &path, const Table &shape, qint64 rowCount,
                   const std::function<Row(qint64)> &rowAt);

} // namespace kolta::jetwriter
