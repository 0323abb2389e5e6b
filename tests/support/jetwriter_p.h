#pragma once

// Pieces of the Jet writer shared between its source files.

#include "jetwriter.h"

#include <functional>
#include <vector>

namespace kolta::jetwriter::detail {

// Little-endian numbers into page bytes, as Jet keeps them.
inline void put16(char *p, quint16 v)
{
    p[0] = char(v & 0xff);
    p[1] = char(v >> 8);
}

inline void put32(char *p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xff);
}

// The MSysQueries rows (ObjectId, Attribute, Order, Name1, Name2,
// Expression, Flag, LvExtra) that describe each query; ids are the queries'
// MSysObjects ids, in the same order.
QList<Row> queryRows(const QList<SavedQuery> &queries, const QList<quint32> &ids);

// The MSysObjects Flags Access gives a query of that kind (0 select, 16
// crosstab ... 128 union).
quint32 queryObjectFlags(const SavedQuery &query);

// Appends one column's part of an index key: a flag (0x7f ascending, 0x80
// descending; 0x00/0xFF for Null, with nothing after it) then the value's
// bytes in an order where comparing bytes compares values. stored is the
// value as the row keeps it (fixed types); Text uses value. An error when
// the value cannot be keyed.
QString appendIndexKey(ColumnType type, bool ascending, const QVariant &value, const QByteArray &stored,
                       QByteArray &key);

// The entries of one index, gathered as rows are written (a few bytes per
// row, kept in one buffer so a million rows stay cheap), then sorted and
// written as a tree of index pages.
class IndexEntries
{
public:
    void add(const QByteArray &key, bool hasNull, quint32 page, quint8 row);
    // Sorts; with unique, two equal keys without Null are an error.
    QString sortAndCheck(bool unique);
    qint64 count() const { return qint64(m_refs.size()); }
    qint64 distinctKeys() const { return m_distinct; }
    // Leaves first, then each level above, pages from allocate(); root is
    // the single page of the top level, pages every page written.
    void writeTree(quint32 tdefPage, bool sharePrefixes, const std::function<quint32()> &allocate,
                   const std::function<void(quint32, const QByteArray &)> &write, quint32 &root,
                   QList<quint32> &pages);

private:
    struct Ref
    {
        quint32 offset;  // the buffer stays below 2 GB
        quint16 keyLength;
        bool hasNull;
    };
    QByteArray m_arena;  // each entry: key, then 3-byte page and row number
    std::vector<Ref> m_refs;
    qint64 m_distinct = 0;
};

} // namespace kolta::jetwriter::detail
