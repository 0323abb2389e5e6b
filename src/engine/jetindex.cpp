#include "jetindex.h"

#include "jetpages.h"

#include "reasons.h"

#include <QHash>
#include <QVarLengthArray>
#include <QtEndian>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace kolta::jet::engine {

namespace {

constexpr int MaxIndexColumns = 10;
constexpr int MaxDepth = 32;
constexpr unsigned char AscendingFlag = 0x7f;
constexpr unsigned char NullFlag = 0x00;

// Where the parts of a table definition lie, by format.
struct DefinitionLayout
{
    int realIndexSize;      // one physical index's columns, pages and flags
    int realIndexColumns;   // where its ten column slots start
    int realIndexRoot;      // its first page
    int realIndexFlags;
    int logicalSize;
    int logicalNumber;      // the physical index it uses
    int logicalType;
    int nameLengthSize;     // of column and index names
    int entryRowsOffset;    // the index's entry count within its count block
};

const DefinitionLayout Jet3Layout{39, 0, 34, 38, 20, 4, 19, 1, 4};
const DefinitionLayout Jet4Layout{52, 4, 38, 46, 28, 8, 23, 2, 4};

quint32 le32(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

quint16 le16(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

int compareBytes(const QByteArray &a, const QByteArray &b, qsizetype length)
{
    return length > 0 ? std::memcmp(a.constData(), b.constData(), size_t(length)) : 0;
}

// The key of a sortable integer: big-endian with the sign bit flipped, so
// that the bytes order as the numbers do.
QByteArray signedKey(qint64 value, int size)
{
    QByteArray key(size + 1, Qt::Uninitialized);
    key[0] = char(AscendingFlag);
    const quint64 bits = quint64(value) ^ (quint64(1) << (size * 8 - 1));
    for (int i = 0; i < size; ++i)
        key[1 + i] = char(bits >> (8 * (size - 1 - i)));
    return key;
}

// IEEE numbers order as their bytes once positives have the sign bit
// flipped and negatives every bit.
QByteArray floatingKey(quint64 bits, int size)
{
    const quint64 sign = quint64(1) << (size * 8 - 1);
    const quint64 mask = size == 8 ? ~quint64(0) : (quint64(1) << (size * 8)) - 1;
    bits = (bits & sign) ? (~bits & mask) : (bits | sign);
    QByteArray key(size + 1, Qt::Uninitialized);
    key[0] = char(AscendingFlag);
    for (int i = 0; i < size; ++i)
        key[1 + i] = char(bits >> (8 * (size - 1 - i)));
    return key;
}

struct IntegerRange
{
    qint64 min;
    qint64 max;
    int size;
};

std::optional<IntegerRange> integerRange(int jetType)
{
    switch (jetType) {
    case MDB_BYTE:
        return IntegerRange{0, 255, 1};
    case MDB_INT:
        return IntegerRange{-32768, 32767, 2};
    case MDB_LONGINT:
        return IntegerRange{std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), 4};
    case MDB_MONEY:
        return IntegerRange{std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(), 8};
    default:
        return std::nullopt;
    }
}

QByteArray integerKeyOf(int jetType, qint64 value)
{
    // A Byte is unsigned: its one byte orders as it stands.
    if (jetType == MDB_BYTE)
        return QByteArray(1, char(AscendingFlag)) + char(quint8(value));
    return signedKey(value, integerRange(jetType)->size);
}

} // namespace

QList<IndexDefinition> readIndexes(MdbHandle *mdb, const MdbTableDef *table)
{
    const MdbFormatConstants *fmt = mdb->fmt;
    const bool jet3 = IS_JET3(mdb);
    const DefinitionLayout &layout = jet3 ? Jet3Layout : Jet4Layout;
    // The counts come first; how much to read follows from them.
    QByteArray bytes = definitionBytes(mdb, table->entry->table_pg, fmt->tab_cols_start_offset);
    if (bytes.isEmpty())
        return {};
    const quint32 columnCount = le16(bytes, fmt->tab_num_cols_offset);
    const quint32 logicalCount = le32(bytes, fmt->tab_num_idxs_offset);
    const quint32 realCount = le32(bytes, fmt->tab_num_ridxs_offset);
    if (realCount == 0 || realCount > 1000 || logicalCount > 1000 || columnCount != table->num_cols)
        return {};
    // Column names sit between the columns and the indexes; their lengths
    // are read as they come, so read the definition whole.
    bytes = definitionBytes(mdb, table->entry->table_pg, -1);
    qsizetype at = fmt->tab_cols_start_offset;
    const qsizetype countsAt = at;
    at += qsizetype(realCount) * fmt->tab_ridx_entry_size + qsizetype(columnCount) * fmt->tab_col_entry_size;
    for (quint32 c = 0; c < columnCount; ++c) {
        if (at + layout.nameLengthSize > bytes.size())
            return {};
        at += layout.nameLengthSize + (jet3 ? quint8(bytes.at(at)) : le16(bytes, at));
    }
    const qsizetype realAt = at;
    const qsizetype logicalAt = realAt + qsizetype(realCount) * layout.realIndexSize;
    if (logicalAt + qsizetype(logicalCount) * layout.logicalSize > bytes.size())
        return {};

    // How each text column's keys are made, by the column's number.
    QHash<quint16, TextOrder> textOrders;
    const qsizetype blocksAt = countsAt + qsizetype(realCount) * fmt->tab_ridx_entry_size;
    for (quint32 c = 0; c < columnCount; ++c) {
        const auto *block = reinterpret_cast<const unsigned char *>(bytes.constData() + blocksAt
                                                                    + qsizetype(c) * fmt->tab_col_entry_size);
        if (block[0] == MDB_TEXT)
            textOrders.insert(qFromLittleEndian<quint16>(block + fmt->col_num_offset),
                              textOrder(jet3 ? 0 : 1, block));
    }

    QList<IndexDefinition> indexes(realCount);
    QList<bool> named(realCount, false);
    for (quint32 r = 0; r < realCount; ++r) {
        IndexDefinition &index = indexes[r];
        const qsizetype base = realAt + qsizetype(r) * layout.realIndexSize;
        for (int k = 0; k < MaxIndexColumns; ++k) {
            const qsizetype slot = base + layout.realIndexColumns + 3 * k;
            const quint16 number = le16(bytes, slot);
            if (number == 0xffff)
                continue;
            IndexColumn column;
            for (guint i = 0; i < table->columns->len; ++i)
                if (static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, i))->col_num == number)
                    column.column = int(i);
            if (column.column < 0)
                return {};
            // 1 ascending; Access writes 0 for descending.
            column.descending = quint8(bytes.at(slot + 2)) != 0x01;
            column.text = textOrders.value(number, TextOrder::Unknown);
            index.columns.append(column);
        }
        index.root = le32(bytes, base + layout.realIndexRoot);
        index.flags = quint8(bytes.at(base + layout.realIndexFlags));
        index.entries = le32(bytes, countsAt + qsizetype(r) * fmt->tab_ridx_entry_size + layout.entryRowsOffset);
    }
    at = logicalAt + qsizetype(logicalCount) * layout.logicalSize;
    for (quint32 l = 0; l < logicalCount; ++l) {
        const qsizetype base = logicalAt + qsizetype(l) * layout.logicalSize;
        const quint32 real = le32(bytes, base + layout.logicalNumber);
        const quint8 type = quint8(bytes.at(base + layout.logicalType));
        QString name;
        if (at + layout.nameLengthSize <= bytes.size()) {
            const int length = jet3 ? quint8(bytes.at(at)) : le16(bytes, at);
            at += layout.nameLengthSize;
            if (at + length <= bytes.size()) {
                name = jet3 ? QString::fromLatin1(bytes.constData() + at, length)
                            : QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + at),
                                                 length / 2);
            }
            at += length;
        }
        if (real >= realCount)
            continue;
        if (type == 0x01)
            indexes[real].primary = true;
        // A foreign key's logical index shares the physical one it rests on;
        // the name users gave is the other's.
        if (!named.at(real) || (type != 0x02 && indexes[real].name.isEmpty())) {
            if (type != 0x02 || !named.at(real))
                indexes[real].name = name;
            named[real] = true;
        }
    }
    return indexes;
}

bool keyTypeSupported(int jetType, const IndexColumn &column)
{
    switch (jetType) {
    case MDB_TEXT:
        // Descending text keys are known only as Jet 3 writes them.
        return column.text != TextOrder::Unknown && (!column.descending || column.text == TextOrder::Jet3General);
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_DATETIME:
        return true;
    default:
        return false;
    }
}

KeyBound integerBound(int jetType, qint64 value, BoundSide side)
{
    if (const auto range = integerRange(jetType)) {
        if (value < range->min)
            return side == BoundSide::Lower ? KeyBound{} : KeyBound{KeyBound::Nothing, {}};
        if (value > range->max)
            return side == BoundSide::Upper ? KeyBound{} : KeyBound{KeyBound::Nothing, {}};
        return {KeyBound::Key, integerKeyOf(jetType, value)};
    }
    return numberBound(jetType, double(value), side);
}

KeyBound numberBound(int jetType, double value, BoundSide side)
{
    if (std::isnan(value))
        return {};
    if (const auto range = integerRange(jetType)) {
        const double whole = side == BoundSide::Lower ? std::ceil(value) : std::floor(value);
        // Beyond what a 64-bit integer holds, the bound is open or shuts out all.
        if (whole < -9.2e18)
            return side == BoundSide::Lower ? KeyBound{} : KeyBound{KeyBound::Nothing, {}};
        if (whole > 9.2e18)
            return side == BoundSide::Upper ? KeyBound{} : KeyBound{KeyBound::Nothing, {}};
        return integerBound(jetType, qint64(whole), side);
    }
    switch (jetType) {
    case MDB_FLOAT: {
        // The stored Single nearest the bound on its outer side.
        float single = float(value);
        if (side == BoundSide::Lower && double(single) > value)
            single = std::nextafter(single, -std::numeric_limits<float>::infinity());
        if (side == BoundSide::Upper && double(single) < value)
            single = std::nextafter(single, std::numeric_limits<float>::infinity());
        quint32 bits;
        std::memcpy(&bits, &single, sizeof bits);
        return {KeyBound::Key, floatingKey(bits, 4)};
    }
    case MDB_DOUBLE:
    case MDB_DATETIME: {
        // Zero is stored as +0; a bound of -0 means the same number.
        const double number = value == 0 ? 0.0 : value;
        quint64 bits;
        std::memcpy(&bits, &number, sizeof bits);
        return {KeyBound::Key, floatingKey(bits, 8)};
    }
    default:
        return {};
    }
}

std::optional<std::pair<QByteArray, QByteArray>> textEqualRange(const QString &text, TextOrder order)
{
    const std::optional<QByteArray> primary = primaryKeyPart(text, order);
    if (!primary)
        return std::nullopt;
    const KeyRange range = primaryRange(*primary, order);
    // The range's end is exclusive; as a bound over a key's leading bytes it
    // is the byte before.
    QByteArray upper = range.upper;
    upper[upper.size() - 1] = char(quint8(upper.back()) - 1);
    const QByteArray flag(1, char(AscendingFlag));
    return std::pair{flag + range.lower, flag + upper};
}

// The weights of the characters whose keys sort as the engine compares, and
// what follows a value made of them.
struct SafeText
{
    std::vector<quint8> weights; // by the weight's bytes read as a number
    int weightSize = 1;
    QByteArray ending;
    // Whether the ending's first weight is itself a safe one; when it is not,
    // a key can be read weight by weight up to the first unsafe one, where
    // only the ending may stand.
    bool endingStartsSafe = true;
};

namespace {

const SafeText &safeText(TextOrder order)
{
    static const auto build = [](TextOrder o) {
        SafeText safe;
        const std::optional<QByteArray> a = primaryKeyPart(QStringLiteral("a"), o);
        const std::optional<QByteArray> key = textKey(QStringLiteral("a"), o);
        if (!a || !key || a->isEmpty() || a->size() > 2)
            return safe;
        safe.weightSize = int(a->size());
        safe.weights.resize(safe.weightSize == 1 ? 0x100 : 0x10000, false);
        safe.ending = key->mid(a->size());
        for (char16_t c = 0x20; c < 0x7f; ++c) {
            const std::optional<QByteArray> weight = primaryKeyPart(QString(QChar(c)) + QLatin1Char('a'), o);
            if (!weight || !weight->endsWith(*a) || weight->size() != 2 * a->size())
                continue;
            const auto *w = reinterpret_cast<const uchar *>(weight->constData());
            safe.weights[safe.weightSize == 1 ? w[0] : (w[0] << 8) | w[1]] = true;
        }
        if (safe.ending.size() >= safe.weightSize) {
            const auto *e = reinterpret_cast<const uchar *>(safe.ending.constData());
            safe.endingStartsSafe = safe.weights[safe.weightSize == 1 ? e[0] : (e[0] << 8) | e[1]];
        }
        return safe;
    };
    static const SafeText jet3 = build(TextOrder::Jet3General);
    static const SafeText jet4 = build(TextOrder::Jet4General);
    static const SafeText access2010 = build(TextOrder::Access2010General);
    return order == TextOrder::Jet3General ? jet3 : order == TextOrder::Jet4General ? jet4 : access2010;
}

} // namespace

TextKeyCheck::TextKeyCheck(TextOrder order, bool descending) : m_descending(descending)
{
    if (order == TextOrder::Unknown)
        return;
    const SafeText &safe = safeText(order);
    if (!safe.ending.isEmpty())
        m_safe = &safe;
}

bool TextKeyCheck::operator()(const uchar *key, qsizetype size) const
{
    if (!m_safe || size == 0)
        return false;
    const SafeText &safe = *m_safe;
    const bool descending = m_descending;
    const uchar flip = descending ? 0xff : 0x00;
    if (uchar(key[0] ^ flip) == NullFlag)
        return true;
    if (uchar(key[0] ^ flip) != AscendingFlag)
        return false;
    const auto *ending = reinterpret_cast<const uchar *>(safe.ending.constData());
    const qsizetype endingSize = safe.ending.size();
    qsizetype at = 1;
    if (!safe.endingStartsSafe && !descending) {
        // The common case, read once over the key: every index key of a
        // large text index passes through here.
        const quint8 *weights = safe.weights.data();
        if (safe.weightSize == 1) {
            while (at < size && weights[key[at]])
                ++at;
        } else {
            while (at + 1 < size && weights[(key[at] << 8) | key[at + 1]])
                at += 2;
        }
        if (at + endingSize > size)
            return false;
        for (qsizetype i = 0; i < endingSize; ++i) {
            if (key[at + i] != ending[i])
                return false;
        }
        return true;
    }
    while (at + endingSize <= size) {
        bool ends = true;
        for (qsizetype i = 0; i < endingSize && ends; ++i)
            ends = uchar(key[at + i] ^ flip) == ending[i];
        if (ends)
            return true;
        if (at + safe.weightSize > size)
            return false;
        const int weight = safe.weightSize == 1 ? (key[at] ^ flip) : (uchar(key[at] ^ flip) << 8) | uchar(key[at + 1] ^ flip);
        if (!safe.weights.at(weight))
            return false;
        at += safe.weightSize;
    }
    return false;
}

QByteArray inverted(QByteArray key)
{
    for (char &c : key)
        c = char(~c);
    return key;
}

bool keyAtLeast(const QByteArray &key, const QByteArray &lower)
{
    const int order = compareBytes(key, lower, qMin(key.size(), lower.size()));
    return order > 0 || (order == 0 && key.size() >= lower.size());
}

bool keyAtMost(const QByteArray &key, const QByteArray &upper)
{
    if (upper.isEmpty())
        return true;
    return compareBytes(key, upper, qMin(key.size(), upper.size())) <= 0;
}

IndexWalker::IndexWalker(MdbHandle *mdb, quint32 tablePage, quint32 root, quint32 pageCount)
    : m_mdb(mdb), m_tablePage(tablePage), m_root(root), m_pageCount(pageCount)
{
}

Error IndexWalker::damaged()
{
    return Error{QString::fromLatin1(reasons::IndexDamaged)};
}

Result<void> IndexWalker::readRaw(quint32 number, RawPage *page)
{
    const int size = int(m_mdb->fmt->pg_size);
    if (number == 0 || number >= m_pageCount)
        return damaged();
    // Walking a large index reads thousands of pages: one buffer for all.
    QByteArray &raw = m_raw;
    raw.resize(size);
    if (!readPage(m_mdb, number, reinterpret_cast<unsigned char *>(raw.data())))
        return damaged();
    page->number = number;
    page->type = quint8(raw.at(0));
    if ((page->type != 0x03 && page->type != 0x04) || (le32(raw, 4) & 0x00ffffff) != m_tablePage)
        return damaged();
    const bool jet3 = IS_JET3(m_mdb);
    // Jet 4 has four more bytes before the links than Jet 3.
    page->previous = le32(raw, jet3 ? 8 : 12);
    page->next = le32(raw, jet3 ? 12 : 16);
    // How many leading bytes every entry after the first shares with it.
    page->prefix = jet3 ? quint8(raw.at(20)) : le16(raw, 24);
    const int maskStart = jet3 ? 0x16 : 0x1b;
    const int entriesStart = jet3 ? 0xf8 : 0x1e0;
    page->offsets.clear();
    page->offsets.append(entriesStart);
    const auto *mask = reinterpret_cast<const uchar *>(raw.constData());
    for (int byte = maskStart; byte < entriesStart; ++byte) {
        // Each bit set marks where an entry ends, lowest bit first.
        for (unsigned bits = mask[byte]; bits; bits &= bits - 1) {
            const int offset = entriesStart + (byte - maskStart) * 8 + std::countr_zero(bits);
            if (offset > size)
                return damaged();
            page->offsets.append(offset);
        }
    }
    if (page->entryCount() > 0 && page->prefix > page->offsets.at(1) - page->offsets.at(0))
        return damaged();
    return {};
}

Result<IndexWalker::Page> IndexWalker::load(quint32 number)
{
    RawPage raw;
    if (Result<void> read = readRaw(number, &raw); !read.ok())
        return read.error();
    Page page;
    page.number = number;
    page.type = raw.type;
    page.previous = raw.previous;
    page.next = raw.next;
    const QVarLengthArray<int, 512> &offsets = raw.offsets;
    const int prefix = raw.prefix;
    const int pointerSize = page.type == 0x03 ? 8 : 4;
    const qsizetype entryCount = raw.entryCount();
    // Every entry whole: the shared prefix copied before all but the first.
    page.bytes.resize(offsets.last() - offsets.first() + prefix * qMax<qsizetype>(0, entryCount - 1));
    page.starts.reserve(offsets.size());
    page.starts.append(0);
    char *out = page.bytes.data();
    qsizetype at = 0;
    for (qsizetype e = 0; e < entryCount; ++e) {
        const int length = offsets.at(e + 1) - offsets.at(e);
        if (e > 0) {
            std::memcpy(out + at, out, size_t(prefix));
            at += prefix;
        }
        std::memcpy(out + at, m_raw.constData() + offsets.at(e), size_t(length));
        at += length;
        if (at - page.starts.last() < pointerSize + 1)
            return damaged();
        page.starts.append(int(at));
    }
    return page;
}

// Down the tree to the leaf that holds the first entry not below key, or
// with last, the leaf where entries cut to key's length first pass it.
Result<IndexWalker::Page> IndexWalker::descend(const QByteArray &key, bool last)
{
    quint32 number = m_root;
    for (int depth = 0; depth < MaxDepth; ++depth) {
        Result<Page> loaded = load(number);
        if (!loaded.ok())
            return loaded;
        ++m_pagesRead;
        Page page = std::move(loaded.value());
        if (page.type == 0x04)
            return page;
        if (page.entryCount() == 0)
            return Error{QString::fromLatin1(reasons::IndexDamaged)};
        int chosen = page.entryCount() - 1;
        for (int e = 0; e < page.entryCount(); ++e) {
            const QByteArray entryKey =
                page.bytes.mid(page.starts.at(e), page.starts.at(e + 1) - page.starts.at(e) - 8);
            if (key.isEmpty() ? !last : (last ? !keyAtMost(entryKey, key) : keyAtLeast(entryKey, key))) {
                chosen = e;
                break;
            }
        }
        number = qFromBigEndian<quint32>(page.bytes.constData() + page.starts.at(chosen + 1) - 4);
    }
    return Error{QString::fromLatin1(reasons::IndexDamaged)};
}

void IndexWalker::setEntry(int index)
{
    const int end = m_page.starts.at(index + 1);
    const auto *pointer = reinterpret_cast<const uchar *>(m_page.bytes.constData() + end - 4);
    m_entry.key = m_page.leafKey(index);
    m_entry.page = (quint32(pointer[0]) << 16) | (quint32(pointer[1]) << 8) | pointer[2];
    m_entry.row = pointer[3];
    m_position = index;
    ++m_count;
}

// A leaf reached by a link; the links of a damaged index may run in circles.
Result<IndexWalker::Page> IndexWalker::linkedLeaf(quint32 number)
{
    if (++m_pagesRead > qint64(m_pageCount))
        return Error{QString::fromLatin1(reasons::IndexDamaged)};
    Result<Page> page = load(number);
    if (page.ok() && page.value().type != 0x04)
        return Error{QString::fromLatin1(reasons::IndexDamaged)};
    return page;
}

Result<void> IndexWalker::seekFirst(const QByteArray &lower)
{
    m_count = 0;
    Result<Page> leaf = descend(lower, false);
    if (!leaf.ok())
        return leaf.error();
    m_page = std::move(leaf.value());
    m_position = -1;
    if (lower.isEmpty())
        return {};
    for (int e = 0; e < m_page.entryCount() && !keyAtLeast(m_page.leafKey(e), lower); ++e)
        m_position = e;
    return {};
}

Result<void> IndexWalker::seekLast(const QByteArray &upper)
{
    m_count = 0;
    Result<Page> leaf = descend(upper, true);
    if (!leaf.ok())
        return leaf.error();
    m_page = std::move(leaf.value());
    // Leaves added at the end after the tree was last balanced hang off the
    // last one by their links only.
    while (m_page.next != 0) {
        Result<Page> following = linkedLeaf(m_page.next);
        if (!following.ok())
            return following.error();
        if (following.value().entryCount() > 0 && !keyAtMost(following.value().leafKey(0), upper))
            break;
        m_page = std::move(following.value());
    }
    m_position = m_page.entryCount();
    for (int e = m_page.entryCount() - 1; e >= 0 && !keyAtMost(m_page.leafKey(e), upper); --e)
        m_position = e;
    return {};
}

Result<bool> IndexWalker::next()
{
    while (m_position + 1 >= m_page.entryCount()) {
        if (m_page.next == 0)
            return false;
        Result<Page> following = linkedLeaf(m_page.next);
        if (!following.ok())
            return following.error();
        m_page = std::move(following.value());
        m_position = -1;
    }
    setEntry(m_position + 1);
    return true;
}

Result<bool> IndexWalker::previous()
{
    while (m_position - 1 < 0) {
        if (m_page.previous == 0)
            return false;
        Result<Page> before = linkedLeaf(m_page.previous);
        if (!before.ok())
            return before.error();
        if (before.value().next != m_page.number)
            return Error{QString::fromLatin1(reasons::IndexDamaged)};
        m_page = std::move(before.value());
        m_position = m_page.entryCount();
    }
    setEntry(m_position - 1);
    return true;
}

} // namespace kolta::jet::engine
