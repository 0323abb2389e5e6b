#pragma once

// The databases the benchmarks read, as `jetwrite` writes them, and the same
// rows as plain SQLite tables to compare with. Each writer returns an error
// text, empty on success.

#include "jetwriter.h"

#include <QList>
#include <QString>

struct sqlite3;

namespace kolta::bench {

// The table Big of `jetwrite big`: ID, Name, Amount, When, Flag.
QString writeBig(const QString &path, qint64 rows);
// The rows of Big in a plain SQLite table (no index, as the Jet file has none).
QString writeBigSqlite(const QString &path, qint64 rows);

struct JoinData
{
    QList<jetwriter::Row> customers, orders;
};

// The rows of Customers (10,000) and Orders (100,000) of `jetwrite join`.
JoinData joinData();
QString writeJoin(const QString &path, const JoinData &d);
// The same rows in plain tables (no index, as the Jet file has none); dates
// as Julian day numbers, money as REAL.
QString writeSqlite(const QString &path, const JoinData &d);

// Runs sql on db; false, with the failure reported, when it fails.
bool sqliteExec(sqlite3 *db, const char *sql);

} // namespace kolta::bench
