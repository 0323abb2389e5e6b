#include "jetwriter.h"
#include "jetwriter_p.h"

#include "rc4.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QUuid>

#include <cstring>
#include <memory>

namespace kolta::jetwriter {

namespace {

using detail::put16;
using detail::put32;

constexpr int PageSize = 4096;
constexpr int DataHeader = 14;             // type, 1, free space, owner, 4 unknown, row count
constexpr int MaxRowsPerPage = 255;        // a row pointer keeps the row number in one byte
constexpr int MaxRowSize = PageSize - DataHeader - 2;
constexpr int InlineLongValueLimit = 256;  // longer memo/OLE values go to LVAL pages
constexpr int LvalChunk = 4000;            // bytes of a long value per LVAL page
constexpr int MaxNameLength = 64;
constexpr quint32 TablesContainerId = 0x0F000001;
constexpr quint32 DatabasesContainerId = 0x0F000002;
constexpr quint32 RelationshipsContainerId = 0x0F000003;
constexpr quint32 RootContainerId = 0x0F000000;
constexpr quint32 SystemObjectFlags = 0x80000000;
constexpr quint16 GeneralSortOrder = 0x0409;
constexpr quint32 DefinitionMarker = 0x0659;  // appears in every Jet 4 tdef and column entry
constexpr quint32 RealIndexMarker = 0x0783;   // heads each real index entry in Access files
constexpr int MaxIndexes = 32;
constexpr int MaxIndexColumns = 10;
// Index flags: 0x80 is set on every index Access 2000 and later writes.
constexpr quint8 IndexUnique = 0x01;
constexpr quint8 IndexIgnoreNulls = 0x02;
constexpr quint8 IndexRequired = 0x08;
constexpr quint8 IndexAlways = 0x80;

void append16(QByteArray &b, quint16 v)
{
    char t[2];
    put16(t, v);
    b.append(t, 2);
}

void append32(QByteArray &b, quint32 v)
{
    char t[4];
    put32(t, v);
    b.append(t, 4);
}

void append64(QByteArray &b, quint64 v)
{
    append32(b, quint32(v & 0xffffffffu));
    append32(b, quint32(v >> 32));
}

void appendDouble(QByteArray &b, double d)
{
    quint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    append64(b, bits);
}

QByteArray ucs2(const QString &s)
{
    QByteArray out;
    out.reserve(s.size() * 2);
    for (QChar c : s)
        append16(out, c.unicode());
    return out;
}

// Jet 4 "compressed unicode": FF FE, then one byte per character while all
// of them fit in Latin-1. Mixed strings are stored as plain UCS-2, which
// every reader accepts as well.
QByteArray jetText(const QString &s, bool allowCompression)
{
    bool narrow = allowCompression && !s.isEmpty();
    for (QChar c : s) {
        if (c.unicode() == 0 || c.unicode() > 0xff) {
            narrow = false;
            break;
        }
    }
    if (!narrow)
        return ucs2(s);
    QByteArray out("\xff\xfe", 2);
    for (QChar c : s)
        out.append(char(c.unicode()));
    return out;
}

double jetDate(const QDateTime &dt)
{
    static const QDate epoch(1899, 12, 30);
    const qint64 days = epoch.daysTo(dt.date());
    const QTime t = dt.time();
    const double frac = (t.msecsSinceStartOfDay()) / 86400000.0;
    // Before the epoch Jet keeps the time of day as a positive fraction
    // subtracted from the (negative) day number.
    return days >= 0 ? double(days) + frac : double(days) - frac;
}

quint8 jetTypeCode(ColumnType t)
{
    switch (t) {
    case ColumnType::YesNo: return 0x01;
    case ColumnType::Byte: return 0x02;
    case ColumnType::Integer: return 0x03;
    case ColumnType::Long: return 0x04;
    case ColumnType::Currency: return 0x05;
    case ColumnType::Single: return 0x06;
    case ColumnType::Double: return 0x07;
    case ColumnType::DateTime: return 0x08;
    case ColumnType::Binary: return 0x09;
    case ColumnType::Text: return 0x0A;
    case ColumnType::Ole: return 0x0B;
    case ColumnType::Memo: return 0x0C;
    case ColumnType::Guid: return 0x0F;
    case ColumnType::Decimal: return 0x10;
    }
    return 0;
}

// Bytes a fixed column takes in the row; -1 for variable columns.
int fixedWidth(ColumnType t)
{
    switch (t) {
    case ColumnType::YesNo: return 0;  // lives in the null mask
    case ColumnType::Byte: return 1;
    case ColumnType::Integer: return 2;
    case ColumnType::Long:
    case ColumnType::Single: return 4;
    case ColumnType::Currency:
    case ColumnType::Double:
    case ColumnType::DateTime: return 8;
    case ColumnType::Guid: return 16;
    case ColumnType::Decimal: return 17;
    case ColumnType::Binary:
    case ColumnType::Text:
    case ColumnType::Ole:
    case ColumnType::Memo: return -1;
    }
    return -1;
}

// Parses "[-]digits[.digits]" into a 128-bit magnitude scaled by 10^scale.
bool parseDecimal(const QString &text, int scale, bool &negative, quint64 &hi, quint64 &lo)
{
    QString s = text.trimmed();
    negative = s.startsWith(u'-');
    if (negative || s.startsWith(u'+'))
        s.remove(0, 1);
    QString intPart = s;
    QString fracPart;
    const qsizetype dot = s.indexOf(u'.');
    if (dot >= 0) {
        intPart = s.left(dot);
        fracPart = s.mid(dot + 1);
    }
    if (intPart.isEmpty() && fracPart.isEmpty())
        return false;
    if (fracPart.size() > scale) {
        // Jet rounds surplus digits away; tests pass exact values, so refuse.
        for (qsizetype i = scale; i < fracPart.size(); ++i) {
            if (fracPart.at(i) != u'0')
                return false;
        }
        fracPart.truncate(scale);
    }
    fracPart = fracPart.leftJustified(scale, u'0');
    hi = 0;
    lo = 0;
    for (QChar c : intPart + fracPart) {
        if (!c.isDigit())
            return false;
        const unsigned d = unsigned(c.digitValue());
        unsigned __int128 v = (static_cast<unsigned __int128>(hi) << 64) | lo;
        v = v * 10 + d;
        hi = quint64(v >> 64);
        lo = quint64(v);
    }
    return true;
}

struct ColumnLayout
{
    Column column;
    quint8 code = 0;
    int colNum = 0;
    bool fixed = false;
    int fixedOffset = 0;
    int varIndex = 0;
    int length = 0;  // col_len in the tdef
};

struct IndexLayout
{
    Index index;
    QList<int> columns;  // positions in TableLayout::columns
};

struct TableLayout
{
    QList<ColumnLayout> columns;
    int numVar = 0;
    int fixedSize = 0;
    QList<IndexLayout> indexes;
};

QString checkName(const QString &name, const QString &what)
{
    if (name.isEmpty())
        return QStringLiteral("%1 without a name").arg(what);
    if (name.size() > MaxNameLength)
        return QStringLiteral("%1 name longer than %2 characters: %3").arg(what).arg(MaxNameLength).arg(name);
    return {};
}

bool indexable(ColumnType t)
{
    switch (t) {
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
    case ColumnType::Currency:
    case ColumnType::Single:
    case ColumnType::Double:
    case ColumnType::DateTime:
    case ColumnType::Text:
        return true;
    default:
        return false;
    }
}

QString layoutIndexes(const Table &t, TableLayout &out)
{
    if (t.indexes.size() > MaxIndexes)
        return QStringLiteral("table %1 has more than %2 indexes").arg(t.name).arg(MaxIndexes);
    bool primarySeen = false;
    QStringList names;
    for (const Index &ix : t.indexes) {
        if (const QString e = checkName(ix.name, QStringLiteral("index")); !e.isEmpty())
            return e;
        if (names.contains(ix.name, Qt::CaseInsensitive))
            return QStringLiteral("table %1 has two indexes named %2").arg(t.name, ix.name);
        names.append(ix.name);
        if (ix.primary && primarySeen)
            return QStringLiteral("table %1 has two primary keys").arg(t.name);
        primarySeen = primarySeen || ix.primary;
        if (ix.columns.isEmpty() || ix.columns.size() > MaxIndexColumns)
            return QStringLiteral("index %1 needs 1..%2 columns").arg(ix.name).arg(MaxIndexColumns);
        IndexLayout l;
        l.index = ix;
        for (const IndexColumn &ic : ix.columns) {
            qsizetype at = -1;
            for (qsizetype i = 0; i < out.columns.size(); ++i) {
                if (out.columns.at(i).column.name == ic.name)
                    at = i;
            }
            if (at < 0)
                return QStringLiteral("index %1: no column %2").arg(ix.name, ic.name);
            if (!indexable(out.columns.at(at).column.type))
                return QStringLiteral("index %1: column %2 is of a type not indexed here").arg(ix.name, ic.name);
            l.columns.append(int(at));
        }
        out.indexes.append(l);
    }
    return {};
}

QString layoutTable(const Table &t, TableLayout &out)
{
    if (const QString e = checkName(t.name, QStringLiteral("table")); !e.isEmpty())
        return e;
    if (t.columns.size() > 255)
        return QStringLiteral("table %1 has more than 255 columns").arg(t.name);
    out = {};
    int colNum = 0;
    for (const Column &c : t.columns) {
        if (const QString e = checkName(c.name, QStringLiteral("column")); !e.isEmpty())
            return e;
        ColumnLayout l;
        l.column = c;
        l.code = jetTypeCode(c.type);
        l.colNum = colNum++;
        const int w = fixedWidth(c.type);
        l.fixed = w >= 0;
        if (l.fixed) {
            l.fixedOffset = out.fixedSize;
            out.fixedSize += w;
            l.length = c.type == ColumnType::YesNo ? 1 : w;
        } else {
            l.varIndex = out.numVar++;
            switch (c.type) {
            case ColumnType::Text:
                if (c.size < 1 || c.size > 255)
                    return QStringLiteral("text column %1 needs a length of 1..255").arg(c.name);
                l.length = c.size * 2;
                break;
            case ColumnType::Binary:
                if (c.size < 1 || c.size > 510)
                    return QStringLiteral("binary column %1 needs a length of 1..510").arg(c.name);
                l.length = c.size;
                break;
            default:
                l.length = 0;
                break;
            }
        }
        if (c.type == ColumnType::Decimal
            && (c.precision < 1 || c.precision > 28 || c.scale < 0 || c.scale > c.precision))
            return QStringLiteral("decimal column %1 has a bad precision or scale").arg(c.name);
        out.columns.append(l);
    }
    return layoutIndexes(t, out);
}

// The output file, written page by page.
class PageFile
{
public:
    bool open(const QString &path)
    {
        m_file.setFileName(path);
        return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    }
    quint32 allocate() { return m_next++; }
    void write(quint32 page, const QByteArray &data)
    {
        Q_ASSERT(data.size() == PageSize);
        if (!m_error.isEmpty())
            return;
        if (m_file.pos() != qint64(page) * PageSize && !m_file.seek(qint64(page) * PageSize)) {
            m_error = m_file.errorString();
            return;
        }
        if (m_file.write(data) != PageSize)
            m_error = m_file.errorString();
    }
    QString finish()
    {
        // Pages are allocated before they are written; make sure the file
        // covers every page even if the last one was reserved but unused.
        if (m_error.isEmpty() && m_file.size() < qint64(m_next) * PageSize && !m_file.resize(qint64(m_next) * PageSize))
            m_error = m_file.errorString();
        if (m_error.isEmpty() && !m_file.flush())
            m_error = m_file.errorString();
        m_file.close();
        return m_error;
    }
    QString error() const { return m_error; }

private:
    QFile m_file;
    quint32 m_next = 0;
    QString m_error;
};

// A page of rows (data page or LVAL page) being filled from the end down.
class RowPage
{
public:
    RowPage(quint32 owner, bool lval)
        : m_buf(PageSize, '\0')
    {
        m_buf[0] = 0x01;
        m_buf[1] = 0x01;
        if (lval)
            std::memcpy(m_buf.data() + 4, "LVAL", 4);
        else
            put32(m_buf.data() + 4, owner);
        update();
    }
    int rows() const { return m_rows; }
    int freeSpace() const { return m_top - (DataHeader + 2 * m_rows); }
    bool fits(int size) const { return m_rows < MaxRowsPerPage && freeSpace() >= size + 2; }
    int add(const QByteArray &row)
    {
        m_top -= int(row.size());
        std::memcpy(m_buf.data() + m_top, row.constData(), size_t(row.size()));
        put16(m_buf.data() + DataHeader + 2 * m_rows, quint16(m_top));
        const int index = m_rows++;
        update();
        return index;
    }
    const QByteArray &bytes() const { return m_buf; }

private:
    void update()
    {
        put16(m_buf.data() + 2, quint16(freeSpace()));
        put16(m_buf.data() + 12, quint16(m_rows));
    }
    QByteArray m_buf;
    int m_rows = 0;
    int m_top = PageSize;
};

// Shared store for long values and for usage-map rows: rows go on the
// current page until it is full.
class RowStore
{
public:
    // firstPage: a page number reserved for the first page, 0 for none.
    RowStore(PageFile &file, bool lval, quint32 owner, quint32 firstPage = 0)
        : m_file(file), m_lval(lval), m_owner(owner), m_reserved(firstPage) {}
    // Returns the row pointer (page << 8 | row).
    quint32 add(const QByteArray &row)
    {
        if (!m_page || !m_page->fits(int(row.size()))) {
            flush();
            m_page = std::make_unique<RowPage>(m_owner, m_lval);
            m_pageNo = m_reserved ? m_reserved : m_file.allocate();
            m_reserved = 0;
        }
        const int r = m_page->add(row);
        return (m_pageNo << 8) | quint32(r);
    }
    void flush()
    {
        if (m_page)
            m_file.write(m_pageNo, m_page->bytes());
        m_page.reset();
    }

private:
    PageFile &m_file;
    bool m_lval;
    quint32 m_owner;
    quint32 m_reserved;
    std::unique_ptr<RowPage> m_page;
    quint32 m_pageNo = 0;
};

struct Stores
{
    RowStore *lval = nullptr;
    RowStore *maps = nullptr;
};

QByteArray emptyUsageMap()
{
    QByteArray map;
    map.append('\0');
    append32(map, 0);
    map.append(QByteArray(64, '\0'));
    return map;
}

// A map of the pages a table owns: inline bits after a start page while the
// pages lie close together, else a list of bitmap pages (type 0x05).
QByteArray usageMap(const QList<quint32> &pages, PageFile &file)
{
    if (pages.isEmpty())
        return emptyUsageMap();
    QByteArray map;
    const quint32 first = pages.first();
    const quint32 span = pages.last() - first + 1;
    if (span <= 3000 * 8) {
        map.append('\0');
        append32(map, first);
        QByteArray bits(qMax<int>(64, int((span + 7) / 8)), '\0');
        for (quint32 p : pages)
            bits[int((p - first) / 8)] = char(bits[int((p - first) / 8)] | (1 << ((p - first) % 8)));
        map.append(bits);
        return map;
    }
    // Indirect map: each 0x05 page covers a fixed stretch of the file.
    constexpr quint32 perPage = (PageSize - 4) * 8;
    const quint32 last = pages.last();
    const quint32 mapPages = last / perPage + 1;
    map.append('\x01');
    QList<QByteArray> bitmaps(qsizetype{mapPages});
    for (quint32 p : pages) {
        QByteArray &b = bitmaps[int(p / perPage)];
        if (b.isEmpty()) {
            b = QByteArray(PageSize, '\0');
            b[0] = 0x05;
            b[1] = 0x01;
        }
        const quint32 bit = p % perPage;
        b[int(4 + bit / 8)] = char(b[int(4 + bit / 8)] | (1 << (bit % 8)));
    }
    for (const QByteArray &b : bitmaps) {
        if (b.isEmpty()) {
            append32(map, 0);
            continue;
        }
        const quint32 pg = file.allocate();
        file.write(pg, b);
        append32(map, pg);
    }
    return map;
}

// Writes one table: rows to data pages as they come, the definition last.
class TableWriter
{
public:
    TableWriter(PageFile &file, Stores stores, const TableLayout &layout, quint32 tdefPage, bool system)
        : m_file(file), m_stores(stores), m_layout(layout), m_tdefPage(tdefPage), m_system(system) {}

    QString addRow(const Row &row)
    {
        if (row.size() > m_layout.columns.size())
            return QStringLiteral("row %1 has more values than columns").arg(m_rowCount);
        if (m_layout.columns.isEmpty())
            return QStringLiteral("a table without columns cannot hold rows");
        QByteArray packed;
        if (QString e = packRow(row, packed); !e.isEmpty())
            return e;
        if (packed.size() > MaxRowSize)
            return QStringLiteral("row %1 is too large for a page (%2 bytes)").arg(m_rowCount).arg(packed.size());
        QList<QByteArray> keys;
        QList<int> nulls;
        if (QString e = indexKeys(row, keys, nulls); !e.isEmpty())
            return e;
        if (!m_page || !m_page->fits(int(packed.size()))) {
            flushPage();
            m_page = std::make_unique<RowPage>(m_tdefPage, false);
            m_pageNo = m_file.allocate();
            m_dataPages.append(m_pageNo);
        }
        const int rowNo = m_page->add(packed);
        for (qsizetype i = 0; i < keys.size(); ++i) {
            const IndexLayout &ix = m_layout.indexes.at(i);
            if (ix.index.ignoreNulls && nulls.at(i) == ix.columns.size())
                continue;
            m_entries[size_t(i)].add(keys.at(i), nulls.at(i) > 0, m_pageNo, quint8(rowNo));
        }
        ++m_rowCount;
        return {};
    }

    QString finish()
    {
        flushPage();
        QList<BuiltIndex> built;
        for (qsizetype i = 0; i < m_layout.indexes.size(); ++i) {
            const Index &ix = m_layout.indexes.at(i).index;
            detail::IndexEntries &entries = m_entries[size_t(i)];
            if (QString e = entries.sortAndCheck(ix.primary || ix.unique); !e.isEmpty())
                return QStringLiteral("index %1: %2").arg(ix.name, e);
            BuiltIndex b;
            QList<quint32> pages;
            entries.writeTree(
                m_tdefPage, ix.sharePrefixes, [this]() { return m_file.allocate(); },
                [this](quint32 page, const QByteArray &bytes) { m_file.write(page, bytes); }, b.root, pages);
            b.usageMap = m_stores.maps->add(usageMap(pages, m_file));
            b.entries = entries.count();
            b.distinct = entries.distinctKeys();
            entries = detail::IndexEntries();  // the next index may want the memory
            built.append(b);
        }
        const quint32 usedMap = m_stores.maps->add(usageMap(m_dataPages, m_file));
        const quint32 freeMap = m_stores.maps->add(emptyUsageMap());
        writeDefinition(usedMap, freeMap, built);
        return m_file.error();
    }

private:
    struct BuiltIndex
    {
        quint32 root = 0;
        quint32 usageMap = 0;
        qint64 entries = 0;
        qint64 distinct = 0;
    };

    // Each index's key for the row; nulls: how many key columns are Null.
    QString indexKeys(const Row &row, QList<QByteArray> &keys, QList<int> &nulls)
    {
        for (const IndexLayout &ix : m_layout.indexes) {
            QByteArray key;
            int nullCount = 0;
            for (qsizetype k = 0; k < ix.columns.size(); ++k) {
                const ColumnLayout &c = m_layout.columns.at(ix.columns.at(k));
                const QVariant v = ix.columns.at(k) < row.size() ? row.at(ix.columns.at(k)) : QVariant();
                const bool isNull = v.isNull() || !v.isValid();
                QByteArray stored;
                if (isNull)
                    ++nullCount;
                else if (c.column.type != ColumnType::Text && !encode(c, v, stored).isEmpty())
                    return {};  // packRow has reported it already
                const QString e = detail::appendIndexKey(c.column.type, ix.index.columns.at(k).ascending,
                                                         isNull ? QVariant() : v, stored, key);
                if (!e.isEmpty())
                    return QStringLiteral("row %1, index %2: %3").arg(m_rowCount).arg(ix.index.name, e);
            }
            if (ix.index.primary && nullCount > 0)
                return QStringLiteral("row %1: Null in primary key %2").arg(m_rowCount).arg(ix.index.name);
            keys.append(key);
            nulls.append(nullCount);
        }
        return {};
    }

    void flushPage()
    {
        if (m_page)
            m_file.write(m_pageNo, m_page->bytes());
        m_page.reset();
    }

    QString longValue(const QByteArray &data, QByteArray &out)
    {
        out.clear();
        const quint32 len = quint32(data.size());
        if (len > 0x00ffffff)  // the top byte of the length holds flags
            return QStringLiteral("long value larger than 16 MB");
        if (data.size() <= InlineLongValueLimit) {
            append32(out, len | 0x80000000u);
            append32(out, 0);
            append32(out, 0);
            out.append(data);
        } else if (data.size() <= LvalChunk) {
            const quint32 ptr = m_stores.lval->add(data);
            append32(out, len | 0x40000000u);
            append32(out, ptr);
            append32(out, 0);
        } else {
            // Chained pieces, each led by the pointer to the next one; written
            // from the last piece back so every piece knows its successor.
            quint32 next = 0;
            const qsizetype pieces = (data.size() + LvalChunk - 1) / LvalChunk;
            for (qsizetype i = pieces - 1; i >= 0; --i) {
                QByteArray piece;
                append32(piece, next);
                piece.append(data.mid(i * LvalChunk, LvalChunk));
                next = m_stores.lval->add(piece);
            }
            append32(out, len);
            append32(out, next);
            append32(out, 0);
        }
        return {};
    }

    QString packRow(const Row &row, QByteArray &out)
    {
        const auto &cols = m_layout.columns;
        const int n = int(cols.size());
        QByteArray fixed(m_layout.fixedSize, '\0');
        QByteArray nullMask((n + 7) / 8, '\0');
        QList<QByteArray> vars(m_layout.numVar);
        for (int i = 0; i < n; ++i) {
            const ColumnLayout &c = cols.at(i);
            const QVariant v = i < row.size() ? row.at(i) : QVariant();
            const bool isNull = v.isNull() || !v.isValid();
            auto setBit = [&]() { nullMask[c.colNum / 8] = char(nullMask[c.colNum / 8] | (1 << (c.colNum % 8))); };
            if (c.column.type == ColumnType::YesNo) {
                if (!isNull && v.toBool())
                    setBit();
                continue;
            }
            if (isNull)
                continue;
            setBit();
            QByteArray bytes;
            QString e = encode(c, v, bytes);
            if (!e.isEmpty())
                return QStringLiteral("row %1, column %2: %3").arg(m_rowCount).arg(c.column.name, e);
            if (c.fixed)
                std::memcpy(fixed.data() + c.fixedOffset, bytes.constData(), size_t(bytes.size()));
            else
                vars[c.varIndex] = bytes;
        }
        out.clear();
        append16(out, quint16(n));
        out.append(fixed);
        if (m_layout.numVar > 0) {
            QList<quint16> offsets;
            for (int i = 0; i < m_layout.numVar; ++i) {
                offsets.append(quint16(out.size()));
                out.append(vars.at(i));
            }
            append16(out, quint16(out.size()));  // end of data
            for (int i = m_layout.numVar - 1; i >= 0; --i)
                append16(out, offsets.at(i));
            append16(out, quint16(m_layout.numVar));
        }
        out.append(nullMask);
        return {};
    }

    QString encode(const ColumnLayout &c, const QVariant &v, QByteArray &b)
    {
        bool ok = true;
        switch (c.column.type) {
        case ColumnType::YesNo:
            return {};
        case ColumnType::Byte: {
            const qint64 x = v.toLongLong(&ok);
            if (!ok || x < 0 || x > 255)
                return QStringLiteral("not a byte: %1").arg(v.toString());
            b.append(char(x));
            return {};
        }
        case ColumnType::Integer: {
            const qint64 x = v.toLongLong(&ok);
            if (!ok || x < -32768 || x > 32767)
                return QStringLiteral("not an integer: %1").arg(v.toString());
            append16(b, quint16(qint16(x)));
            return {};
        }
        case ColumnType::Long: {
            const qint64 x = v.toLongLong(&ok);
            if (!ok || x < INT32_MIN || x > INT32_MAX)
                return QStringLiteral("not a long: %1").arg(v.toString());
            append32(b, quint32(qint32(x)));
            return {};
        }
        case ColumnType::Currency: {
            qint64 units = 0;
            if (v.typeId() == QMetaType::QString) {
                bool neg = false;
                quint64 hi = 0, lo = 0;
                if (!parseDecimal(v.toString(), 4, neg, hi, lo) || hi != 0 || lo > quint64(INT64_MAX))
                    return QStringLiteral("not a currency amount: %1").arg(v.toString());
                units = neg ? -qint64(lo) : qint64(lo);
            } else {
                const double d = v.toDouble(&ok);
                if (!ok)
                    return QStringLiteral("not a currency amount: %1").arg(v.toString());
                units = qRound64(d * 10000.0);
            }
            append64(b, quint64(units));
            return {};
        }
        case ColumnType::Single: {
            const float f = float(v.toDouble(&ok));
            if (!ok)
                return QStringLiteral("not a number: %1").arg(v.toString());
            quint32 bits;
            std::memcpy(&bits, &f, sizeof bits);
            append32(b, bits);
            return {};
        }
        case ColumnType::Double: {
            const double d = v.toDouble(&ok);
            if (!ok)
                return QStringLiteral("not a number: %1").arg(v.toString());
            appendDouble(b, d);
            return {};
        }
        case ColumnType::DateTime: {
            QDateTime dt;
            if (v.typeId() == QMetaType::QDate)
                dt = QDateTime(v.toDate(), QTime(0, 0));
            else
                dt = v.toDateTime();
            if (!dt.isValid())
                return QStringLiteral("not a date: %1").arg(v.toString());
            appendDouble(b, jetDate(dt));
            return {};
        }
        case ColumnType::Guid: {
            const QUuid u = v.typeId() == QMetaType::QUuid ? v.toUuid() : QUuid::fromString(v.toString());
            if (u.isNull() && v.typeId() != QMetaType::QUuid)
                return QStringLiteral("not a GUID: %1").arg(v.toString());
            append32(b, u.data1);
            append16(b, u.data2);
            append16(b, u.data3);
            b.append(reinterpret_cast<const char *>(u.data4), 8);
            return {};
        }
        case ColumnType::Decimal: {
            bool neg = false;
            quint64 hi = 0, lo = 0;
            if (!parseDecimal(v.toString(), c.column.scale, neg, hi, lo))
                return QStringLiteral("not a decimal number: %1").arg(v.toString());
            b.append(neg ? '\x80' : '\0');
            // 128-bit magnitude as four little-endian words, most significant first.
            append32(b, quint32(hi >> 32));
            append32(b, quint32(hi));
            append32(b, quint32(lo >> 32));
            append32(b, quint32(lo));
            return {};
        }
        case ColumnType::Text: {
            const QString s = v.toString();
            if (s.size() > c.column.size)
                return QStringLiteral("text longer than %1 characters").arg(c.column.size);
            b = jetText(s, true);
            return {};
        }
        case ColumnType::Binary: {
            b = v.toByteArray();
            if (b.size() > c.column.size)
                return QStringLiteral("binary value longer than %1 bytes").arg(c.column.size);
            return {};
        }
        case ColumnType::Memo: {
            const QString s = v.toString();
            // Jet only compresses memo values of up to 1024 characters.
            return longValue(jetText(s, s.size() <= 1024), b);
        }
        case ColumnType::Ole:
            return longValue(v.toByteArray(), b);
        }
        return QStringLiteral("unknown column type");
    }

    void writeDefinition(quint32 usedMap, quint32 freeMap, const QList<BuiltIndex> &built)
    {
        const auto &cols = m_layout.columns;
        const auto &indexes = m_layout.indexes;
        QByteArray d(63, '\0');
        char *h = d.data();
        h[0] = 0x02;
        h[1] = 0x01;
        put32(h + 12, DefinitionMarker);
        put32(h + 16, quint32(m_rowCount));
        h[24] = 0x01;
        h[40] = m_system ? 0x53 : 0x4e;
        put16(h + 41, quint16(cols.size()));
        put16(h + 43, quint16(m_layout.numVar));
        put16(h + 45, quint16(cols.size()));
        put32(h + 47, quint32(indexes.size()));  // logical indexes
        put32(h + 51, quint32(indexes.size()));  // real indexes, one for each here
        put32(h + 55, usedMap);
        put32(h + 59, freeMap);
        for (const BuiltIndex &b : built) {
            // Entries, then distinct keys (what Access keeps there), then 0.
            append32(d, quint32(b.entries));
            append32(d, quint32(b.distinct));
            append32(d, 0);
        }
        for (const ColumnLayout &c : cols) {
            QByteArray e(25, '\0');
            char *p = e.data();
            p[0] = char(c.code);
            put32(p + 1, DefinitionMarker);
            put16(p + 5, quint16(c.colNum));
            put16(p + 7, quint16(c.fixed ? 0 : c.varIndex));
            put16(p + 9, quint16(c.colNum));
            if (c.column.type == ColumnType::Decimal) {
                p[11] = char(c.column.precision);
                p[12] = char(c.column.scale);
            } else {
                put16(p + 11, GeneralSortOrder);
            }
            p[15] = c.fixed ? 0x03 : 0x02;  // fixed, nullable
            if (c.column.type == ColumnType::Text || c.column.type == ColumnType::Memo)
                p[16] = 0x01;  // unicode compression
            put16(p + 21, quint16(c.fixed ? c.fixedOffset : 0));
            put16(p + 23, quint16(c.length));
            d.append(e);
        }
        for (const ColumnLayout &c : cols) {
            const QByteArray name = ucs2(c.column.name);
            append16(d, quint16(name.size()));
            d.append(name);
        }
        for (qsizetype i = 0; i < indexes.size(); ++i) {
            const IndexLayout &ix = indexes.at(i);
            QByteArray e(52, '\0');
            char *p = e.data();
            put32(p, RealIndexMarker);
            for (int k = 0; k < MaxIndexColumns; ++k) {
                char *slot = p + 4 + 3 * k;
                if (k < ix.columns.size()) {
                    put16(slot, quint16(cols.at(ix.columns.at(k)).colNum));
                    slot[2] = ix.index.columns.at(k).ascending ? 0x01 : 0x00;
                } else {
                    put16(slot, 0xffff);
                }
            }
            put32(p + 34, built.at(i).usageMap);  // row byte, then 3-byte page
            put32(p + 38, built.at(i).root);
            quint8 flags = IndexAlways;
            if (ix.index.primary || ix.index.unique)
                flags |= IndexUnique;
            if (ix.index.primary)
                flags |= IndexRequired;
            if (ix.index.ignoreNulls)
                flags |= IndexIgnoreNulls;
            p[46] = char(flags);
            d.append(e);
        }
        for (qsizetype i = 0; i < indexes.size(); ++i) {
            QByteArray e(28, '\0');
            char *p = e.data();
            put32(p, DefinitionMarker);
            put32(p + 4, quint32(i));      // logical index number
            put32(p + 8, quint32(i));      // its real index
            put32(p + 13, 0xffffffffu);   // not a foreign key: no related index
            p[21] = 0x04;                 // as Access fills the cascade bytes of plain indexes
            p[22] = 0x04;
            p[23] = indexes.at(i).index.primary ? 0x01 : 0x00;
            d.append(e);
        }
        for (const IndexLayout &ix : indexes) {
            const QByteArray name = ucs2(ix.index.name);
            append16(d, quint16(name.size()));
            d.append(name);
        }
        append16(d, 0xffff);  // no per-column long value maps follow
        // A definition that ends exactly on a page boundary would make
        // readers step onto a next page that does not exist.
        if (d.size() > PageSize && (d.size() - PageSize) % (PageSize - 8) == 0)
            d.append(2, '\0');
        else if (d.size() == PageSize)
            d.append(2, '\0');

        put32(d.data() + 8, quint32(d.size() - 8));
        // Split into the first page and continuation pages (8-byte header each).
        QList<QByteArray> pages;
        pages.append(d.left(PageSize));
        for (qsizetype pos = PageSize; pos < d.size(); pos += PageSize - 8) {
            QByteArray cont(8, '\0');
            cont[0] = 0x02;
            cont[1] = 0x01;
            cont.append(d.mid(pos, PageSize - 8));
            pages.append(cont);
        }
        QList<quint32> numbers{m_tdefPage};
        for (qsizetype i = 1; i < pages.size(); ++i)
            numbers.append(m_file.allocate());
        for (qsizetype i = 0; i < pages.size(); ++i) {
            QByteArray &pg = pages[i];
            const int used = int(pg.size());
            pg.append(PageSize - used, '\0');
            put16(pg.data() + 2, quint16(PageSize - used));
            put32(pg.data() + 4, i + 1 < pages.size() ? numbers.at(i + 1) : 0);
            m_file.write(numbers.at(i), pg);
        }
    }

    PageFile &m_file;
    Stores m_stores;
    TableLayout m_layout;
    quint32 m_tdefPage;
    bool m_system;
    std::unique_ptr<RowPage> m_page;
    quint32 m_pageNo = 0;
    QList<quint32> m_dataPages;
    qint64 m_rowCount = 0;
    std::vector<detail::IndexEntries> m_entries = std::vector<detail::IndexEntries>(size_t(m_layout.indexes.size()));
};

struct CatalogEntry
{
    quint32 id;
    quint32 parentId;
    QString name;
    int type;
    quint32 flags;
};

Table catalogShape()
{
    Table t;
    t.name = QStringLiteral("MSysObjects");
    t.system = true;
    auto col = [&](const char *name, ColumnType type, int size = 0) {
        t.columns.append(Column{QString::fromLatin1(name), type, size});
    };
    col("Id", ColumnType::Long);
    col("ParentId", ColumnType::Long);
    col("Name", ColumnType::Text, 255);
    col("Type", ColumnType::Integer);
    col("DateCreate", ColumnType::DateTime);
    col("DateUpdate", ColumnType::DateTime);
    col("Owner", ColumnType::Binary, 255);
    col("Flags", ColumnType::Long);
    col("Database", ColumnType::Memo);
    col("Connect", ColumnType::Memo);
    col("ForeignName", ColumnType::Text, 255);
    col("RmtInfoShort", ColumnType::Binary, 255);
    col("RmtInfoLong", ColumnType::Ole);
    col("Lv", ColumnType::Ole);
    col("LvProp", ColumnType::Ole);
    col("LvModule", ColumnType::Ole);
    col("LvExtra", ColumnType::Ole);
    return t;
}

Table acesShape()
{
    Table t;
    t.name = QStringLiteral("MSysACEs");
    t.system = true;
    t.columns = {
        {QStringLiteral("ObjectId"), ColumnType::Long},
        {QStringLiteral("SID"), ColumnType::Binary, 255},
        {QStringLiteral("ACM"), ColumnType::Long},
        {QStringLiteral("FInheritable"), ColumnType::YesNo},
    };
    return t;
}

Table queriesShape()
{
    Table t;
    t.name = QStringLiteral("MSysQueries");
    t.system = true;
    t.columns = {
        {QStringLiteral("ObjectId"), ColumnType::Long},
        {QStringLiteral("Attribute"), ColumnType::Byte},
        {QStringLiteral("Order"), ColumnType::Binary, 255},
        {QStringLiteral("Name1"), ColumnType::Text, 255},
        {QStringLiteral("Name2"), ColumnType::Text, 255},
        {QStringLiteral("Expression"), ColumnType::Memo},
        {QStringLiteral("Flag"), ColumnType::Integer},
        {QStringLiteral("LvExtra"), ColumnType::Long},
    };
    return t;
}

Table relationshipsShape()
{
    Table t;
    t.name = QStringLiteral("MSysRelationships");
    t.system = true;
    t.columns = {
        {QStringLiteral("szRelationship"), ColumnType::Text, 255},
        {QStringLiteral("grbit"), ColumnType::Long},
        {QStringLiteral("ccolumn"), ColumnType::Long},
        {QStringLiteral("icolumn"), ColumnType::Long},
        {QStringLiteral("szObject"), ColumnType::Text, 255},
        {QStringLiteral("szColumn"), ColumnType::Text, 255},
        {QStringLiteral("szReferencedObject"), ColumnType::Text, 255},
        {QStringLiteral("szReferencedColumn"), ColumnType::Text, 255},
    };
    return t;
}

Table accountsShape()
{
    Table t;
    t.name = QStringLiteral("MSysAccounts");
    t.system = true;
    t.columns = {
        {QStringLiteral("FGroup"), ColumnType::Byte},
        {QStringLiteral("Name"), ColumnType::Text, 20},
        {QStringLiteral("Password"), ColumnType::Binary, 255},
        {QStringLiteral("SID"), ColumnType::Binary, 255},
    };
    return t;
}

// A security id for an account: stable per name, as Jet derives it from
// the name and a personal id.
// libmdb passes binary values on as C strings; keeping zero bytes out of
// these lets readers see them whole.
QByteArray withoutZeros(QByteArray b)
{
    for (char &c : b) {
        if (c == 0)
            c = 1;
    }
    return b;
}

QByteArray accountSid(const Account &a)
{
    return withoutZeros(QUuid::createUuidV5(QUuid(), a.name).toRfc4122());
}

QByteArray maskedPassword(const QString &password)
{
    // An empty password is stored as Access stores it: the cipher's block
    // of eight zero bytes, twice (read off real workgroup files).
    if (password.isEmpty())
        return QByteArray::fromHex("6952ad67f3d5e1e6").repeated(2);
    // Not Jet's real scrambling; enough that the text is not stored in clear.
    QByteArray b = ucs2(password);
    for (qsizetype i = 0; i < b.size(); ++i)
        b[i] = char(b.at(i) ^ char(0x5a + i));
    return withoutZeros(b);
}

QList<Row> accountRows(const QList<Account> &accounts)
{
    QList<Row> rows;
    for (const Account &a : accounts)
        rows.append(Row{a.group ? 1 : 0, a.name, maskedPassword(a.password), accountSid(a)});
    return rows;
}

QByteArray firstPage(bool workgroup)
{
    QByteArray p(PageSize, '\0');
    char *h = p.data();
    h[0] = 0x00;
    h[1] = 0x01;
    // Access names a workgroup file apart, padded with blanks.
    std::memcpy(h + 4, workgroup ? "Jet System DB  " : "Standard Jet DB", 15);
    h[0x14] = 0x01;  // Jet 4
    // The masked header region, in clear.
    put16(h + 0x3c, 1252);  // code page
    put32(h + 0x3e, 0);     // database key 0: pages are not encrypted
    put32(h + 0x6e, GeneralSortOrder);
    QByteArray date;
    appendDouble(date, jetDate(QDateTime(QDate(2024, 1, 1), QTime(12, 0))));
    std::memcpy(h + 0x72, date.constData(), 8);
    static const unsigned char key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    jet::rc4(key, 4, reinterpret_cast<unsigned char *>(h + 0x18), 128);
    return p;
}

class DatabaseWriter
{
public:
    QString run(const QString &path, const Database &db, const Table *large, qint64 largeCount,
                const std::function<Row(qint64)> *rowAt)
    {
        if (!m_file.open(path))
            return QStringLiteral("cannot create %1").arg(path);
        m_file.allocate();  // 0: header
        RowStore maps(m_file, false, 1, m_file.allocate());  // 1: usage maps, as in Access files
        RowStore lvals(m_file, true, 0);
        m_stores = {&lvals, &maps};
        const quint32 catalogPage = m_file.allocate();  // 2: MSysObjects, where readers look
        Q_ASSERT(catalogPage == 2);

        QList<Table> system{acesShape(), queriesShape(), relationshipsShape()};
        if (!db.accounts.isEmpty()) {
            Table acc = accountsShape();
            acc.rows = accountRows(db.accounts);
            system.append(acc);
        }

        // Access numbers the objects that are not tables from 0x80000000 on.
        QList<quint32> queryIds;
        for (qsizetype i = 0; i < db.queries.size(); ++i)
            queryIds.append(0x80000010u + quint32(i));
        for (Table &t : system) {
            if (t.name == QLatin1String("MSysQueries"))
                t.rows = detail::queryRows(db.queries, queryIds);
        }

        QList<CatalogEntry> catalog{
            {TablesContainerId, RootContainerId, QStringLiteral("Tables"), 3, SystemObjectFlags},
            {DatabasesContainerId, RootContainerId, QStringLiteral("Databases"), 3, SystemObjectFlags},
            {RelationshipsContainerId, RootContainerId, QStringLiteral("Relationships"), 3, SystemObjectFlags},
            {0x10000000, DatabasesContainerId, QStringLiteral("MSysDb"), 2, SystemObjectFlags},
            {2, TablesContainerId, QStringLiteral("MSysObjects"), 1, SystemObjectFlags},
        };

        for (const Table &t : system) {
            const quint32 page = m_file.allocate();
            if (QString e = writeTable(t, page, 0, nullptr); !e.isEmpty())
                return e;
            catalog.append({page, TablesContainerId, t.name, 1, SystemObjectFlags});
        }
        for (const Table &t : db.tables) {
            const quint32 page = m_file.allocate();
            if (QString e = writeTable(t, page, 0, nullptr); !e.isEmpty())
                return e;
            catalog.append({page, TablesContainerId, t.name, 1, t.system ? SystemObjectFlags : 0});
        }
        if (large) {
            const quint32 page = m_file.allocate();
            if (QString e = writeTable(*large, page, largeCount, rowAt); !e.isEmpty())
                return e;
            catalog.append({page, TablesContainerId, large->name, 1, large->system ? SystemObjectFlags : 0});
        }
        for (qsizetype i = 0; i < db.queries.size(); ++i) {
            if (QString e = checkName(db.queries.at(i).name, QStringLiteral("query")); !e.isEmpty())
                return e;
            catalog.append({queryIds.at(i), TablesContainerId, db.queries.at(i).name, 5,
                            detail::queryObjectFlags(db.queries.at(i))});
        }

        Table objects = catalogShape();
        const QDateTime stamp(QDate(2024, 1, 1), QTime(12, 0));
        for (const CatalogEntry &e : catalog) {
            objects.rows.append(Row{qint64(qint32(e.id)), qint64(qint32(e.parentId)), e.name, e.type, stamp, stamp,
                                    QVariant(), qint64(qint32(e.flags))});
        }
        if (QString e = writeTable(objects, catalogPage, 0, nullptr); !e.isEmpty())
            return e;

        lvals.flush();
        maps.flush();
        m_file.write(0, firstPage(!db.accounts.isEmpty()));
        return m_file.finish();
    }

private:
    QString writeTable(const Table &t, quint32 tdefPage, qint64 streamCount,
                       const std::function<Row(qint64)> *rowAt)
    {
        TableLayout layout;
        if (QString e = layoutTable(t, layout); !e.isEmpty())
            return e;
        TableWriter w(m_file, m_stores, layout, tdefPage, t.system);
        for (const Row &r : t.rows) {
            if (QString e = w.addRow(r); !e.isEmpty())
                return QStringLiteral("%1: %2").arg(t.name, e);
        }
        if (rowAt) {
            for (qint64 i = 0; i < streamCount; ++i) {
                if (QString e = w.addRow((*rowAt)(i)); !e.isEmpty())
                    return QStringLiteral("%1: %2").arg(t.name, e);
            }
        }
        if (QString e = w.finish(); !e.isEmpty())
            return QStringLiteral("%1: %2").arg(t.name, e);
        return {};
    }

    PageFile m_file;
    Stores m_stores;
};

} // namespace

QString write(const QString &path, const Database &db)
{
    DatabaseWriter w;
    return w.run(path, db, nullptr, 0, nullptr);
}

QString writeLarge(const QString &path, const Table &shape, qint64 rowCount,
                   const std::function<Row(qint64)> &rowAt)
{
    DatabaseWriter w;
    return w.run(path, Database{}, &shape, rowCount, &rowAt);
}

} // namespace kolta::jetwriter
