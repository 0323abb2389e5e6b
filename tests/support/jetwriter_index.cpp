#include "jetwriter_p.h"

#include <algorithm>
#include <cstring>

// Index keys and index pages as Jet 4 writes them. Written from the public
// notes on the format and checked byte by byte against indexes Access wrote
// (indexTestV2003.mdb, compIndexTestV2003.mdb, testUnicodeCompV2003.mdb);
// deliberately shares nothing with the engine's index reader, so each checks
// the other.

namespace kolta::jetwriter::detail {

namespace {

constexpr int PageSize = 4096;
// Page header: type, 1, free space, tdef page, 4 unknown, prev, next, tail,
// prefix length (2), 1 unknown; then a bitmask marking where each entry
// ends, then the entries from 0x1e0 on. (Real files have prev at 0x0c and
// the prefix length at 0x18, four bytes later than older notes say.)
constexpr int PrevOffset = 0x0c;
constexpr int NextOffset = 0x10;
constexpr int PrefixOffset = 0x18;
constexpr int MaskOffset = 0x1b;
constexpr int EntriesOffset = 0x1e0;
constexpr int PageCapacity = PageSize - EntriesOffset;
constexpr char LeafPage = 0x04;
constexpr char NodePage = 0x03;

constexpr quint8 AscendingFlag = 0x7f;
constexpr quint8 DescendingFlag = 0x80;
constexpr quint8 AscendingNull = 0x00;
constexpr quint8 DescendingNull = 0xff;

void appendBigEndian32(QByteArray &b, quint32 v)
{
    const char t[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    b.append(t, 4);
}

// Jet 4 "General" sort order weights of printable ASCII, read off real
// Access files: a row of testUnicodeCompV2003.mdb holding every character
// from U+0001 on keeps these as one run in its key; letters, digits and
// space also in the catalog names of MSysObjects' indexes. Case folds; none
// of these adds anything after the end marker. The apostrophe and the
// hyphen weigh nothing and add codes after it instead, and letters with
// accents add extra codes: those are not written here (empty result).
QByteArray generalSortWeight(char16_t c)
{
    static const quint8 letters[26] = {0x4a, 0x4c, 0x4d, 0x4f, 0x51, 0x53, 0x55, 0x57, 0x59,
                                       0x5b, 0x5c, 0x5e, 0x60, 0x62, 0x64, 0x66, 0x68, 0x69,
                                       0x6b, 0x6d, 0x6f, 0x71, 0x73, 0x75, 0x76, 0x78};
    // U+0020..U+002F and U+003A..U+0040, U+005B..U+0060, U+007B..U+007E;
    // 0 marks the two without a weight.
    static const quint8 punctuation[16] = {0x07, 0x09, 0x0a, 0x0c, 0x0e, 0x10, 0x12, 0x00,
                                           0x14, 0x16, 0x18, 0x2c, 0x1a, 0x00, 0x1c, 0x1e};
    static const quint8 between[7] = {0x20, 0x22, 0x2e, 0x30, 0x32, 0x24, 0x26};
    if (c >= u' ' && c <= u'/')
        return punctuation[c - u' '] ? QByteArray(1, char(punctuation[c - u' '])) : QByteArray();
    if (c >= u'0' && c <= u'9')
        return QByteArray(1, char(0x36 + 2 * (c - u'0')));
    if (c >= u':' && c <= u'@')
        return QByteArray(1, char(between[c - u':']));
    if (c >= u'A' && c <= u'Z')
        return QByteArray(1, char(letters[c - u'A']));
    if (c >= u'a' && c <= u'z')
        return QByteArray(1, char(letters[c - u'a']));
    switch (c) {
    case u'[': return QByteArray(1, '\x27');
    case u'\\': return QByteArray(1, '\x29');
    case u']': return QByteArray(1, '\x2a');
    // The rest weigh two bytes.
    case u'^': return QByteArrayLiteral("\x2b\x02");
    case u'_': return QByteArrayLiteral("\x2b\x03");
    case u'`': return QByteArrayLiteral("\x2b\x07");
    case u'{': return QByteArrayLiteral("\x2b\x09");
    case u'|': return QByteArrayLiteral("\x2b\x0b");
    case u'}': return QByteArrayLiteral("\x2b\x0d");
    case u'~': return QByteArrayLiteral("\x2b\x0f");
    default: return {};
    }
}

void invert(char *p, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i)
        p[i] = char(~p[i]);
}

} // namespace

QString appendIndexKey(ColumnType type, bool ascending, const QVariant &value, const QByteArray &stored,
                       QByteArray &key)
{
    if (value.isNull() || !value.isValid()) {
        key.append(char(ascending ? AscendingNull : DescendingNull));
        return {};
    }
    key.append(char(ascending ? AscendingFlag : DescendingFlag));
    const qsizetype start = key.size();
    switch (type) {
    case ColumnType::Text: {
        const QString s = value.toString();
        // Access leaves trailing spaces out of keys, say the public notes;
        // no file here shows it, so such values are refused.
        if (s.endsWith(u' '))
            return QStringLiteral("a text ending in a space cannot be put in an index key yet");
        for (QChar c : s) {
            const QByteArray weight = generalSortWeight(c.unicode());
            if (weight.isEmpty())
                return QStringLiteral("the character U+%1 cannot be put in an index key yet")
                    .arg(c.unicode(), 4, 16, QLatin1Char('0'));
            key.append(weight);
        }
        key.append('\x01');  // end of the text
        if (ascending) {
            key.append('\0');  // end of the (here empty) extra codes
        } else {
            // As Access does it: the end of extra codes is inverted with the
            // rest, then a plain 0x00 follows.
            key.append('\0');
            invert(key.data() + start, key.size() - start);
            key.append('\0');
        }
        return {};
    }
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
    case ColumnType::Currency:
    case ColumnType::Single:
    case ColumnType::Double:
    case ColumnType::DateTime: {
        // The row keeps these little-endian; keys are big-endian so that
        // comparing bytes compares values.
        QByteArray be(stored.size(), '\0');
        for (qsizetype i = 0; i < stored.size(); ++i)
            be[i] = stored.at(stored.size() - 1 - i);
        const bool floating = type == ColumnType::Single || type == ColumnType::Double
                              || type == ColumnType::DateTime;
        if (floating && (quint8(be.at(0)) & 0x80))
            invert(be.data(), be.size());  // negative: larger magnitude sorts first
        else if (type != ColumnType::Byte)  // Byte is unsigned: kept as it is
            be[0] = char(be.at(0) ^ 0x80);
        if (!ascending)
            invert(be.data(), be.size());
        key.append(be);
        return {};
    }
    default:
        return QStringLiteral("columns of this type cannot be indexed here");
    }
}

void IndexEntries::add(const QByteArray &key, bool hasNull, quint32 page, quint8 row)
{
    Q_ASSERT(key.size() < 0xffff);
    Ref r;
    r.offset = quint32(m_arena.size());
    r.keyLength = quint16(key.size());
    r.hasNull = hasNull;
    m_arena.append(key);
    appendBigEndian32(m_arena, (page << 8) | row);  // 3-byte page, then row
    m_refs.push_back(r);
}

QString IndexEntries::sortAndCheck(bool unique)
{
    const char *base = m_arena.constData();
    // Whole entries (key, then row pointer) in byte order: equal keys stay
    // in row order, as Access keeps them.
    auto less = [base](const Ref &a, const Ref &b) {
        const int la = a.keyLength + 4, lb = b.keyLength + 4;
        const int c = std::memcmp(base + a.offset, base + b.offset, size_t(std::min(la, lb)));
        return c != 0 ? c < 0 : la < lb;
    };
    std::sort(m_refs.begin(), m_refs.end(), less);
    m_distinct = m_refs.empty() ? 0 : 1;
    for (size_t i = 1; i < m_refs.size(); ++i) {
        const Ref &a = m_refs[i - 1], &b = m_refs[i];
        const bool same = a.keyLength == b.keyLength
                          && std::memcmp(base + a.offset, base + b.offset, a.keyLength) == 0;
        if (!same)
            ++m_distinct;
        else if (unique && !b.hasNull)
            return QStringLiteral("two rows have the same key in a unique index");
    }
    return {};
}

namespace {

struct View
{
    const char *data;
    int length;     // whole entry
    int keyLength;  // the part a shared prefix may cover
};

struct PageRange
{
    size_t begin;
    size_t end;
    int prefix;
};

int commonPrefix(const View &a, const View &b)
{
    const int n = std::min(a.keyLength, b.keyLength);
    int i = 0;
    while (i < n && a.data[i] == b.data[i])
        ++i;
    return i;
}

// Fills pages in order. The entries are sorted, so what the first and the
// last entry of a page share, every entry between shares too; each entry
// after the first leaves that prefix out.
std::vector<PageRange> packPages(const std::vector<View> &entries, bool sharePrefixes)
{
    std::vector<PageRange> ranges;
    size_t i = 0;
    while (i < entries.size()) {
        const size_t begin = i;
        qint64 total = entries[i].length;
        int prefix = sharePrefixes ? entries[i].keyLength : 0;
        size_t j = i + 1;
        for (; j < entries.size(); ++j) {
            const int p = std::min(prefix, commonPrefix(entries[begin], entries[j]));
            const qint64 size = total + entries[j].length - qint64(j - begin) * p;
            if (size > PageCapacity)
                break;
            prefix = p;
            total += entries[j].length;
        }
        ranges.push_back({begin, j, j - begin > 1 ? prefix : 0});
        i = j;
    }
    return ranges;
}

QByteArray indexPage(bool leaf, quint32 tdefPage, quint32 prev, quint32 next, const std::vector<View> &entries,
                     const PageRange &r)
{
    QByteArray pg(PageSize, '\0');
    char *p = pg.data();
    p[0] = leaf ? LeafPage : NodePage;
    p[1] = 0x01;
    put32(p + 4, tdefPage);
    put32(p + PrevOffset, prev);
    put32(p + NextOffset, next);
    put16(p + PrefixOffset, quint16(r.prefix));
    int pos = 0;
    for (size_t i = r.begin; i < r.end; ++i) {
        const int skip = i == r.begin ? 0 : r.prefix;
        const int len = entries[i].length - skip;
        std::memcpy(p + EntriesOffset + pos, entries[i].data + skip, size_t(len));
        pos += len;
        // The bit of the offset where the entry ends (= the next begins).
        p[MaskOffset + pos / 8] = char(p[MaskOffset + pos / 8] | (1 << (pos % 8)));
    }
    put16(p + 2, quint16(PageCapacity - pos));
    return pg;
}

} // namespace

void IndexEntries::writeTree(quint32 tdefPage, bool sharePrefixes, const std::function<quint32()> &allocate,
                             const std::function<void(quint32, const QByteArray &)> &write, quint32 &root,
                             QList<quint32> &pages)
{
    std::vector<View> level;
    level.reserve(m_refs.size());
    for (const Ref &r : m_refs)
        level.push_back({m_arena.constData() + r.offset, r.keyLength + 4, r.keyLength});

    if (level.empty()) {
        // An empty index is one empty leaf.
        root = allocate();
        pages.append(root);
        write(root, indexPage(true, tdefPage, 0, 0, level, PageRange{0, 0, 0}));
        return;
    }

    QByteArray upper;  // the entries of the level being written, when not leaves
    bool leaf = true;
    for (;;) {
        const std::vector<PageRange> ranges = packPages(level, sharePrefixes);
        QList<quint32> numbers;
        for (size_t i = 0; i < ranges.size(); ++i)
            numbers.append(allocate());
        for (size_t i = 0; i < ranges.size(); ++i) {
            const quint32 prev = i > 0 ? numbers.at(qsizetype(i) - 1) : 0;
            const quint32 next = i + 1 < ranges.size() ? numbers.at(qsizetype(i) + 1) : 0;
            write(numbers.at(qsizetype(i)), indexPage(leaf, tdefPage, prev, next, level, ranges[i]));
        }
        pages.append(numbers);
        if (ranges.size() == 1) {
            root = numbers.first();
            return;
        }
        // One entry per page for the level above: the page's last entry
        // (key and row pointer) and the page number, big-endian.
        QByteArray next;
        std::vector<int> keyLengths;
        for (size_t i = 0; i < ranges.size(); ++i) {
            const View &last = level[ranges[i].end - 1];
            next.append(last.data, last.keyLength + 4);
            appendBigEndian32(next, numbers.at(qsizetype(i)));
            keyLengths.push_back(last.keyLength);
        }
        upper = next;
        level.clear();
        qsizetype offset = 0;
        for (int k : keyLengths) {
            level.push_back({upper.constData() + offset, k + 8, k});
            offset += k + 8;
        }
        leaf = false;
    }
}

} // namespace kolta::jetwriter::detail
