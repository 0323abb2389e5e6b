#pragma once

// Jet tables as read-only SQLite virtual tables, read row by row through
// libmdb as SQLite steps. Values arrive as the Jet SQL executor expects them:
//   Yes/No                  INTEGER -1 or 0
//   Byte, Integer, Long     INTEGER
//   Currency                INTEGER, the count of ten-thousandths
//   Single, Double, Decimal REAL
//   Date/Time               REAL, Jet's own day number (days since
//                           1899-12-30, the fraction the time of day)
//   Text, Memo              TEXT
//   Replication ID          TEXT "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
//   Binary, OLE Object      BLOB
//   Null                    NULL

#include "jetfile.h"
#include "result.h"

#include <QString>
#include <QStringList>

struct sqlite3;

namespace kolta::jet::engine {

// Registers the module "jet" on db; file must outlive every table of it.
// Returns an SQLite result code.
int registerJetModule(sqlite3 *db, JetFile *file);

// Creates the virtual table sqliteName in db's temp schema over the local
// table entry. With jetCollation (db has the Jet SQL functions), its text
// columns are declared to sort as Jet sorts.
Result<void> createJetTable(sqlite3 *db, const QString &sqliteName, const CatalogEntry &entry,
                            bool jetCollation = false);

// The columns of a local table that lead an index the engine can use.
QStringList indexedColumns(JetFile &file, const CatalogEntry &entry);
// The column of the table's one-column primary key, or empty.
QString primaryKeyColumn(JetFile &file, const CatalogEntry &entry);

} // namespace kolta::jet::engine
