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

// The definition and columns of the table whose definition starts on page,
// read from the file (not from libmdb's last page) into entry, which must
// outlive the table; null when they cannot be read. The caller frees the
// table with mdb_free_tabledef.
MdbTableDef *readTableAt(MdbHandle *mdb, quint32 page, MdbCatalogEntry *entry, const QByteArray &name = {});

// The table's data pages in file order, from its usage map: a bitmap in the
// definition (type 0) or bitmaps on pages of their own (type 1). Pages past
// the end of the file are left out; the rows they would hold are then
// missing, which the row count reveals.
QList<quint32> dataPages(MdbHandle *mdb, const MdbTableDef *table, quint32 pageCount);

// The bytes of a memo or OLE value of the row in the handle's page buffer:
// inline in the row, on one page of long values, or in a chain of them.
// Nothing when pages it needs are missing.
std::optional<QByteArray> longValue(MdbHandle *mdb, int start, int size);

// The bytes of a table's definition as libmdb reads them: the first page
// whole, then each following page of its chain without its 8-byte header;
// at least needed bytes, or the whole chain when needed is negative. Empty
// when the chain is broken or shorter.
QByteArray definitionBytes(MdbHandle *mdb, quint32 page, qsizetype needed);

} // namespace kolta::jet::engine
