#pragma once

// The databases the benchmarks read, as `jetwrite` writes them, and the same
// rows as plain SQLite tables to compare with. Each writer returns an error
// text, empty on success.

#include "jetwriter.h"

#include <QList>
#include <QString>

struct sqlite3;

namespace kolta::bench {

enum class Indexes { None, Keys };

// The table Big: ID, Name, Amount, When, Flag. With Keys (as `jetwrite big`
// writes it) a primary key PrimaryKey on ID and an index Name on Name.
jetwriter::Table bigShape(Indexes indexes);
jetwriter::Row bigRow(qint64 i);
QString writeBig(const QString &path, qint64 rows, Indexes indexes = Indexes::None);
// The rows of Big in SQLite, with the same indexes as the Jet file.
QString writeBigSqlite(const QString &path, qint64 rows, Indexes indexes = Indexes::None);

struct JoinData
{
    QList<jetwriter::Row> customers, orders;
};

// The rows of Customers (10,000) and Orders (100,000) of `jetwrite join`.
JoinData joinData();
// With Keys (as `jetwrite join` writes them): primary keys on
// Customers.CustomerID and Orders.OrderID, an index on Orders.CustomerID.
QString writeJoin(const QString &path, const JoinData &d, Indexes indexes = Indexes::None);
// The same rows in SQLite, with the same indexes; dates as Julian day
// numbers, money as REAL.
QString writeSqlite(const QString &path, const JoinData &d, Indexes indexes = Indexes::None);

// Runs sql on db; false, with the failure reported, when it fails.
bool sqliteExec(sqlite3 *db, const char *sql);

} // namespace kolta::bench
