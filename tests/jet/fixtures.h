#pragma once

// Database files for the engine tests, made with the fixture writer.

#include "jetwriter.h"

#include <QByteArray>
#include <QString>

namespace fixtures {

// One table of every column type, one row.
kolta::jetwriter::Database everyType();
// Two user tables beside the system ones.
kolta::jetwriter::Database small();
// A workgroup file with the accounts Admin, Bob and the group Users.
kolta::jetwriter::Database workgroup();

// Writes db to path; the writer's error, empty on success.
QString write(const QString &path, const kolta::jetwriter::Database &db);

QByteArray readAll(const QString &path);
bool writeAll(const QString &path, const QByteArray &bytes);

// The first page's masked region, decoded or encoded in place (RC4 is its
// own inverse).
void toggleHeaderMask(QByteArray &file);
// Encodes every page after the first with the database key, as Jet's
// "encrypt database" does, and records the key in the header.
void encodePages(QByteArray &file, quint32 key);

// Changes the MSysObjects type of the named object in the file at path (to
// make a table look linked: 4 through ODBC, 6 to another Jet file).
bool setCatalogType(const QString &path, const QString &name, qint16 type);

} // namespace fixtures
