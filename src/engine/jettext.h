#pragma once

// Text as Jet stores it, into UTF-8 for SQLite.

#include <QByteArray>
#include <QString>

#include <mdbtools.h>

namespace kolta::jet::engine {

// Jet 3 text in the file's code page, Jet 4 UCS-2, compressed or not. Into
// buffer, which grows as needed and is reused from value to value; the
// length of the text.
int utf8Text(MdbHandle *mdb, const char *bytes, qsizetype size, QByteArray &buffer);

// A Replication ID as Access shows it: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
QString guidText(const unsigned char *bytes);

} // namespace kolta::jet::engine
