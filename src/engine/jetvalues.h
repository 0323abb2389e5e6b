#pragma once

// Jet's stored values as SQLite values, as jettables.h lists them.

#include <QByteArray>
#include <optional>

#include <mdbtools.h>

struct sqlite3_context;

namespace kolta::jet::engine {

// The column type SQLite is told for a Jet type.
const char *declaredType(int jetType);

// Sets context to the value of one field of the row libmdb cracked into the
// handle's page buffer; field null when the row has none for the column.
// type is the column's Jet type, or a calculated column's result type;
// buffer is reused from value to value. The values of an attachment or
// multi-valued column live in other tables: for one, nothing is set and the
// number the row stores for them is returned.
std::optional<qint32> resultField(sqlite3_context *context, MdbHandle *mdb, const MdbColumn *column,
                                  const MdbField *field, bool calculated, int type, QByteArray &buffer);

} // namespace kolta::jet::engine
