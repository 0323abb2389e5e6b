#pragma once

// The indexes Jet keeps in the file: their definitions in the table's
// definition and their B-trees of index pages. Read only to find rows
// faster; every row found is still checked by SQLite against the statement,
// so an index may only ever give too many rows, never too few. Where an index
// cannot be trusted (a type whose keys we do not encode, a definition or page
// that looks damaged) it is not used and the table is scanned.

#include "result.h"
#include "textkeys.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVarLengthArray>

#include <mdbtools.h>

#include <cstring>
#include <optional>

namespace kolta::jet::engine {

struct IndexColumn
{
    int column = -1;          // in the table's column order
    bool descending = false;
    TextOrder text = TextOrder::Unknown;   // how a text column's keys are made
};

struct IndexDefinition
{
    QString name;             // of the first logical index that uses it
    QList<IndexColumn> columns;
    quint32 root = 0;         // the first page of its tree
    quint8 flags = 0;         // 0x01 unique, 0x02 ignore nulls, 0x08 required
    bool primary = false;
    qint64 entries = -1;      // the count the definition keeps
};

// The real (physical) indexes of a table whose columns libmdb has read.
// Empty where the definition holds none or cannot be read.
QList<IndexDefinition> readIndexes(MdbHandle *mdb, const MdbTableDef *table);

// Key bytes of a bound on an index's column, as an ascending index stores
// them (the flag byte first). Numbers come as SQLite gives them: a double or,
// exact, an integer; a bound between two storable values is widened to the
// nearer one outside, so the range only ever holds more rows.
bool keyTypeSupported(int jetType, const IndexColumn &column);
struct KeyBound
{
    enum Kind { Open, Key, Nothing } kind = Open;   // Nothing: no stored value can lie within
    QByteArray key;
};
enum class BoundSide { Lower, Upper };
KeyBound numberBound(int jetType, double value, BoundSide side);
KeyBound integerBound(int jetType, qint64 value, BoundSide side);
// The keys of the text values that sort equal to text: nothing when text
// holds characters whose keys are not known to sort as the engine compares.
std::optional<std::pair<QByteArray, QByteArray>> textEqualRange(const QString &text, TextOrder order);
struct SafeText;
// Whether a key of a text column's index sorts as the engine compares the
// texts (its characters are all ones whose keys do).
class TextKeyCheck
{
public:
    TextKeyCheck(TextOrder order, bool descending);
    bool operator()(const uchar *key, qsizetype size) const;

private:
    const SafeText *m_safe = nullptr;   // null: no key is known to
    bool m_descending = false;
};
// The bytes a descending index stores for the ascending key.
QByteArray inverted(QByteArray key);

// One entry of an index's leaf level: its key bytes and the row it names.
struct IndexEntry
{
    QByteArray key;           // until the walker reads another page
    quint32 page = 0;
    int row = 0;
};

// Walks the leaf level of one index in key order, either way, reading pages
// straight from the file into a buffer of its own.
class IndexWalker
{
public:
    IndexWalker(MdbHandle *mdb, quint32 tablePage, quint32 root, quint32 pageCount);

    // Before the first entry whose key is not below lower (the first entry
    // of all when lower is empty); next() then gives it.
    Result<void> seekFirst(const QByteArray &lower);
    // After the last entry whose key, cut to the length of upper, is not
    // above it (the last of all when upper is empty); previous() gives it.
    Result<void> seekLast(const QByteArray &upper);
    // The next (previous) entry; false past the end.
    Result<bool> next();
    Result<bool> previous();
    const IndexEntry &entry() const { return m_entry; }
    // Every key of the leaf level, first to last and without its row pointer,
    // to visit(key, size) until it answers false; whether none did. Faster
    // than next() for a look at every key.
    template<typename Visit>
    Result<bool> everyKey(Visit visit);
    // Entries given so far.
    qint64 count() const { return m_count; }

private:
    struct Page
    {
        quint32 number = 0;
        int type = 0;
        quint32 previous = 0;
        quint32 next = 0;
        QByteArray bytes;             // every entry whole, one after another
        QList<int> starts;            // where each begins in bytes, and the end
        int entryCount() const { return int(starts.size()) - 1; }
        // A leaf entry's key, without its row pointer: a view of bytes.
        QByteArray leafKey(int entry) const
        {
            return QByteArray::fromRawData(bytes.constData() + starts.at(entry),
                                           starts.at(entry + 1) - starts.at(entry) - 4);
        }
    };
    // A page as read into m_raw: its header, and where each entry begins
    // (the last offset is where the last one ends).
    struct RawPage
    {
        quint32 number = 0;
        int type = 0;
        quint32 previous = 0;
        quint32 next = 0;
        int prefix = 0;
        QVarLengthArray<int, 512> offsets;
        int entryCount() const { return int(offsets.size()) - 1; }
    };
    static Error damaged();
    Result<void> readRaw(quint32 page, RawPage *raw);
    Result<Page> load(quint32 page);
    Result<Page> descend(const QByteArray &key, bool last);
    Result<Page> linkedLeaf(quint32 number);
    void setEntry(int index);

    MdbHandle *m_mdb;
    quint32 m_tablePage;
    quint32 m_root;
    quint32 m_pageCount;
    Page m_page;
    QByteArray m_raw;         // the page being read, before its entries are whole
    int m_position = -1;      // the entry given last; -1 before the first
    qint64 m_count = 0;
    qint64 m_pagesRead = 0;
    IndexEntry m_entry;
};

template<typename Visit>
Result<bool> IndexWalker::everyKey(Visit visit)
{
    if (Result<void> first = seekFirst({}); !first.ok())
        return first.error();
    const auto *bytes = reinterpret_cast<const uchar *>(m_page.bytes.constData());
    for (int e = 0; e < m_page.entryCount(); ++e) {
        if (!visit(bytes + m_page.starts.at(e), qsizetype(m_page.starts.at(e + 1) - m_page.starts.at(e) - 4)))
            return false;
    }
    // The leaves after the first are read in place: each key is rebuilt in
    // one buffer over the prefix it shares with the page's first entry.
    QVarLengthArray<uchar, 4096> key;
    RawPage page;
    for (quint32 next = m_page.next; next != 0; next = page.next) {
        if (++m_pagesRead > qint64(m_pageCount))
            return damaged();
        if (Result<void> read = readRaw(next, &page); !read.ok())
            return read.error();
        if (page.type != 0x04)
            return damaged();
        key.resize(m_raw.size());
        const auto *raw = reinterpret_cast<const uchar *>(m_raw.constData());
        for (int e = 0; e < page.entryCount(); ++e) {
            const int at = e == 0 ? 0 : page.prefix;
            const int length = page.offsets.at(e + 1) - page.offsets.at(e);
            std::memcpy(key.data() + at, raw + page.offsets.at(e), size_t(length));
            if (at + length < 5)
                return damaged();
            if (!visit(key.constData(), qsizetype(at + length - 4)))
                return false;
        }
    }
    return true;
}

// Whether the key of an entry lies within [lower, upper] of a leading
// column: each bound compared over its own length; an empty bound is open.
bool keyAtLeast(const QByteArray &key, const QByteArray &lower);
bool keyAtMost(const QByteArray &key, const QByteArray &upper);

} // namespace kolta::jet::engine
