#pragma once

// Reading a table's pages past libmdb's own reader: straight from the file,
// decoded when the file's pages are RC4-encoded.

#include <QByteArray>
#include <QList>
#include <optional>

#include <mdbtools.h>

namespace kolta::jet::engine {

// One page into buffer. False for a page the file does not hold.
bool readPage(MdbHandle *mdb, quint32 page, unsigned char *buffer);

// The table's data pages in file order, from its usage map: a bitmap in the
// definition (type 0) or bitmaps on pages of their own (type 1). Pages past
// the end of the file are left out; the rows they would hold are then
// missing, which the row count reveals.
QList<quint32> dataPages(MdbHandle *mdb, const MdbTableDef *table, quint32 pageCount);

// The bytes of a memo or OLE value of the row in the handle's page buffer:
// inline in the row, on one page of long values, or in a chain of them.
// Nothing when pages it needs are missing.
std::optional<QByteArray> longValue(MdbHandle *mdb, int start, int size);

} // namespace kolta::jet::engine
