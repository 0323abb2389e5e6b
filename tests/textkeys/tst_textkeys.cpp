// Text index keys against the keys Access itself stored: every leaf entry
// of every index over text (and whole numbers) in the shared files is
// rebuilt from its row and compared byte for byte.

#include "jetfile.h"
#include "jetpages.h"
#include "jettext.h"
#include "sqlfunctions.h"
#include "textkeys.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

using namespace kolta;
using namespace kolta::jet::engine;

Q_DECLARE_METATYPE(kolta::jet::engine::TextOrder)

namespace {

// What one file gives.
struct Tally
{
    int checked = 0;    // entries whose every text value textKey accepts
    int refused = 0;    // entries with a text value textKey refuses
    int unread = 0;     // entries whose row is deleted or cannot be read
    QList<QPair<QString, QByteArray>> refusedEntries;  // the refused text, the stored entry
    QStringList mismatches;
    QMap<TextOrder, int> byOrder;  // text values checked, by order
};

QString orderName(TextOrder order)
{
    switch (order) {
    case TextOrder::Jet3General: return QStringLiteral("Jet3General");
    case TextOrder::Jet4General: return QStringLiteral("Jet4General");
    case TextOrder::Access2010General: return QStringLiteral("Access2010General");
    case TextOrder::Unknown: break;
    }
    return QStringLiteral("Unknown");
}

class LeafReader
{
public:
    explicit LeafReader(JetFile &file)
        : m_mdb(file.handle()), m_jet3(file.header().jetVersion == 0),
          m_pageSize(int(m_mdb->fmt->pg_size)), m_page(m_pageSize, 0)
    {
    }

    // Every leaf entry of the index rooted at root, in stored order, as
    // the full entry bytes with the 4-byte row pointer still on the end.
    bool entries(quint32 root, const std::function<void(const QByteArray &)> &entry)
    {
        quint32 page = root;
        for (int depth = 0; depth < 16; ++depth) {
            if (!read(page))
                return false;
            if (m_page[0] == MDB_PAGE_LEAF)
                break;
            if (m_page[0] != MDB_PAGE_INDEX)
                return false;
            // A node page: down its first entry, whose last 4 bytes name the child.
            QByteArray first;
            onPage([&](const QByteArray &e) {
                if (first.isEmpty())
                    first = e;
            });
            if (first.size() < 4)
                return false;
            page = qFromBigEndian<quint32>(first.constData() + first.size() - 4);
        }
        // Along the leaves, tail pages included.
        for (int leaves = 0; page != 0 && leaves < 100000; ++leaves) {
            if (!read(page) || m_page[0] != MDB_PAGE_LEAF)
                return false;
            onPage(entry);
            page = qFromLittleEndian<quint32>(m_page.data() + (m_jet3 ? 12 : 16));
        }
        return true;
    }

    // The table definition's bytes, its pages joined as libmdb joins them.
    QByteArray definition(quint32 page)
    {
        QByteArray bytes;
        for (int links = 0; page != 0 && links < 64; ++links) {
            if (!read(page) || m_page[0] != MDB_PAGE_TABLE)
                return {};
            const int skip = bytes.isEmpty() ? 0 : 8;
            bytes.append(reinterpret_cast<const char *>(m_page.data()) + skip, m_pageSize - skip);
            page = qFromLittleEndian<quint32>(m_page.data() + 4);
        }
        return bytes;
    }

private:
    bool read(quint32 page) { return readPage(m_mdb, page, m_page.data()); }

    void onPage(const std::function<void(const QByteArray &)> &entry)
    {
        const int maskStart = m_jet3 ? 0x16 : 0x1B;
        const int entriesStart = m_jet3 ? 0xF8 : 0x1E0;
        const int prefixLength = qFromLittleEndian<quint16>(m_page.data() + (m_jet3 ? 20 : 24));
        const auto *page = reinterpret_cast<const char *>(m_page.data());
        QByteArray first;
        int start = entriesStart;
        // Bit n of the mask marks an entry ending n bytes past the first.
        for (int bit = 1; entriesStart + bit <= m_pageSize && maskStart + bit / 8 < entriesStart; ++bit) {
            if (!(m_page[maskStart + bit / 8] & (1 << (bit % 8))))
                continue;
            const int end = entriesStart + bit;
            QByteArray e;
            if (!first.isEmpty())
                e = first.left(prefixLength);
            e.append(page + start, end - start);
            if (first.isEmpty())
                first = e;
            entry(e);
            start = end;
        }
    }

    MdbHandle *m_mdb;
    bool m_jet3;
    int m_pageSize;
    std::vector<unsigned char> m_page;
};

// The entry a row should have in the index: nothing when a column is of a
// type this test does not rebuild; refused when a text value is one
// textKey refuses.
struct Expected
{
    bool supported = true;
    bool refused = false;
    QString refusedText;
    QByteArray bytes;
    QList<TextOrder> orders;
};

class FileCheck
{
public:
    FileCheck(JetFile &file, Tally &tally) : m_file(file), m_mdb(file.handle()), m_tally(tally), m_reader(file) {}

    void run()
    {
        mdb_read_catalog(m_mdb, MDB_TABLE);
        for (guint i = 0; i < m_mdb->num_catalog; ++i) {
            auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(m_mdb->catalog, i));
            if (entry->object_type != MDB_TABLE)
                continue;
            MdbTableDef *table = mdb_read_table(entry);
            if (!table)
                continue;
            // mdb_read_indices returns nothing even when it read the indexes.
            if (mdb_read_columns(table)) {
                mdb_read_indices(table);
                if (table->indices)
                    checkTable(table);
            }
            mdb_free_tabledef(table);
        }
    }

private:
    void checkTable(MdbTableDef *table)
    {
        const QList<TextOrder> orders = columnOrders(table);
        QList<quint32> seen;
        for (guint i = 0; i < table->num_idxs; ++i) {
            const auto *index = static_cast<const MdbIndex *>(g_ptr_array_index(table->indices, i));
            if (index->first_pg == 0 || seen.contains(index->first_pg) || index->num_keys == 0)
                continue;
            seen.append(index->first_pg);
            bool hasText = false;
            for (unsigned k = 0; k < index->num_keys; ++k) {
                const int column = index->key_col_num[k] - 1;
                if (column < 0 || column >= int(table->columns->len))
                    return;
                hasText |= columnAt(table, column)->col_type == MDB_TEXT;
            }
            if (!hasText)
                continue;
            m_reader.entries(index->first_pg, [&](const QByteArray &entry) { checkEntry(table, index, orders, entry); });
        }
    }

    static const MdbColumn *columnAt(MdbTableDef *table, int column)
    {
        return static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, guint(column)));
    }

    // Each column's text order, read from its block in the definition.
    QList<TextOrder> columnOrders(MdbTableDef *table)
    {
        const MdbFormatConstants *fmt = m_mdb->fmt;
        QList<TextOrder> orders(qsizetype(table->columns->len), TextOrder::Unknown);
        const QByteArray def = m_reader.definition(table->entry->table_pg);
        if (def.size() < fmt->tab_num_ridxs_offset + 4)
            return orders;
        // The count in the definition itself: libmdb's can fall short.
        const quint32 realIndexes = qFromLittleEndian<quint32>(def.constData() + fmt->tab_num_ridxs_offset);
        const qsizetype start = fmt->tab_cols_start_offset + qsizetype(realIndexes) * fmt->tab_ridx_entry_size;
        for (guint d = 0; d < table->num_cols; ++d) {
            const qsizetype at = start + qsizetype(d) * fmt->tab_col_entry_size;
            if (at + fmt->tab_col_entry_size > def.size())
                break;
            const auto *block = reinterpret_cast<const unsigned char *>(def.constData() + at);
            for (guint i = 0; i < table->columns->len; ++i) {
                if (columnAt(table, int(i))->col_num == block[fmt->col_num_offset])
                    orders[i] = textOrder(m_file.header().jetVersion, block);
            }
        }
        return orders;
    }

    void checkEntry(MdbTableDef *table, const MdbIndex *index, const QList<TextOrder> &orders, const QByteArray &entry)
    {
        if (entry.size() < 5)
            return;
        const quint32 page = qFromBigEndian<quint32>(entry.constData() + entry.size() - 4) >> 8;
        const int row = uchar(entry.at(entry.size() - 1));
        const QByteArray stored = entry.left(entry.size() - 4);
        std::vector<MdbField> fields(table->num_cols);
        if (!crackRow(table, page, row, fields)) {
            ++m_tally.unread;
            return;
        }
        const Expected expected = expect(table, index, orders, fields, stored);
        if (!expected.supported)
            return;
        if (expected.refused) {
            ++m_tally.refused;
            m_tally.refusedEntries.append({expected.refusedText, stored});
            return;
        }
        ++m_tally.checked;
        for (TextOrder order : expected.orders)
            ++m_tally.byOrder[order];
        if (expected.bytes != stored)
            m_tally.mismatches.append(QStringLiteral("%1.%2: stored %3, made %4")
                                          .arg(QString::fromUtf8(table->name), QString::fromUtf8(index->name),
                                               QString::fromLatin1(stored.toHex()),
                                               QString::fromLatin1(expected.bytes.toHex())));
    }

    // The row into the handle's page buffer and fields, following a row
    // that was moved to another page (its place then holds the new one's
    // row number and 3-byte page).
    bool crackRow(MdbTableDef *table, quint32 page, int row, std::vector<MdbField> &fields)
    {
        for (int hops = 0; hops < 4; ++hops) {
            if (!readPage(m_mdb, page, m_mdb->pg_buf))
                return false;
            m_mdb->cur_pg = page;
            int start = 0;
            size_t size = 0;
            // Some files keep entries of deleted rows (flag 0x4000), whose
            // values are gone.
            if (mdb_find_row(m_mdb, row, &start, &size) != 0 || size == 0 || (start & 0x4000))
                return false;
            const unsigned char *at = m_mdb->pg_buf + (start & 0x1FFF);
            if (start & 0x8000) {
                row = at[0];
                page = qFromLittleEndian<quint32>(at) >> 8;
                continue;
            }
            return mdb_crack_row(table, start & 0x1FFF, size, fields.data()) >= 0;
        }
        return false;
    }

    Expected expect(MdbTableDef *table, const MdbIndex *index, const QList<TextOrder> &orders,
                    const std::vector<MdbField> &fields, const QByteArray &stored)
    {
        Expected result;
        QByteArray &out = result.bytes;
        for (unsigned k = 0; k < index->num_keys; ++k) {
            const int column = index->key_col_num[k] - 1;
            const MdbColumn *col = columnAt(table, column);
            const MdbField *field = nullptr;
            for (const MdbField &f : fields) {
                if (f.colnum == column)
                    field = &f;
            }
            if (!field) {
                result.supported = false;
                return result;
            }
            // Whether the column is descending shows in the stored flag.
            const uchar flag = out.size() < stored.size() ? uchar(stored.at(out.size())) : 0x00;
            const bool ascending = flag == 0x7F || flag == 0x00;
            if (field->is_null) {
                out.append(char(ascending ? 0x00 : 0xFF));
                continue;
            }
            const auto *data = m_mdb->pg_buf + field->start;
            QByteArray key;
            switch (col->col_type) {
            case MDB_TEXT: {
                QByteArray utf8;
                const int length = utf8Text(m_mdb, reinterpret_cast<const char *>(data), field->siz, utf8);
                const TextOrder order = orders.value(column);
                const QString value = QString::fromUtf8(utf8.constData(), length);
                const std::optional<QByteArray> text = textKey(value, order);
                if (!text) {
                    result.refused = true;
                    result.refusedText = value;
                    return result;
                }
                result.orders.append(order);
                key = *text;
                break;
            }
            case MDB_LONGINT:
                key.resize(4);
                qToBigEndian<quint32>(qFromLittleEndian<quint32>(data) ^ 0x80000000u, key.data());
                break;
            case MDB_INT:
                key.resize(2);
                qToBigEndian<quint16>(quint16(qFromLittleEndian<quint16>(data) ^ 0x8000u), key.data());
                break;
            case MDB_BYTE:
                key.append(char(data[0]));
                break;
            default:
                result.supported = false;
                return result;
            }
            out.append(char(ascending ? 0x7F : 0x80));
            if (ascending) {
                out.append(key);
                continue;
            }
            for (char &b : key)
                b = char(~b);
            out.append(key);
            // A descending text key ends in one more 00 after Jet 3.
            if (col->col_type == MDB_TEXT && m_file.header().jetVersion != 0)
                out.append('\0');
        }
        return result;
    }

    JetFile &m_file;
    MdbHandle *m_mdb;
    Tally &m_tally;
    LeafReader m_reader;
};

int compareJet(const QString &a, const QString &b)
{
    const QByteArray ua = a.toUtf8();
    const QByteArray ub = b.toUtf8();
    return kolta::jetsql::functions::compareJet(nullptr, int(ua.size()), ua.constData(), int(ub.size()),
                                                ub.constData());
}

int sign(int n)
{
    return (n > 0) - (n < 0);
}

// memcmp order, a prefix first.
int compareBytes(const QByteArray &a, const QByteArray &b)
{
    const int common = std::memcmp(a.constData(), b.constData(), size_t(std::min(a.size(), b.size())));
    return common != 0 ? sign(common) : sign(int(a.size() - b.size()));
}

QString safeCharacters(TextOrder order)
{
    QString safe;
    for (char16_t c = 0x20; c < 0x7F; ++c) {
        if (primaryKeyPart(QString(QChar(c)) + u'a', order))
            safe.append(QChar(c));
    }
    return safe;
}

} // namespace

class TextKeysTest : public QObject
{
    Q_OBJECT

private slots:
    void orderOfColumn();
    void knownKeys();
    void refused();
    void safeOrderAgreesWithCompareJet_data();
    void safeOrderAgreesWithCompareJet();
    void rangeHoldsEqualValues();
    void jet4WeightsOfAllAscii();
    void realFiles_data();
    void realFiles();
};

void TextKeysTest::orderOfColumn()
{
    QCOMPARE(textOrder(0, 0x0409, 0), TextOrder::Jet3General);
    QCOMPARE(textOrder(1, 0x0409, 0), TextOrder::Jet4General);
    QCOMPARE(textOrder(3, 0x0409, 0), TextOrder::Jet4General);
    QCOMPARE(textOrder(3, 0x0409, 1), TextOrder::Access2010General);
    QCOMPARE(textOrder(1, 0x0407, 0), TextOrder::Unknown);
    QCOMPARE(textOrder(3, 0x0409, 2), TextOrder::Unknown);
    // Column blocks as Access wrote them (testV1997.mdb, testV2010.accdb).
    const QByteArray jet3 = QByteArray::fromHex("0a02000000000001000904e404120001ff00");
    const QByteArray ace = QByteArray::fromHex("0a590600000400040000000904000102000000000000000001");
    QCOMPARE(textOrder(0, reinterpret_cast<const unsigned char *>(jet3.constData())), TextOrder::Jet3General);
    QCOMPARE(textOrder(3, reinterpret_cast<const unsigned char *>(ace.constData())), TextOrder::Access2010General);
}

void TextKeysTest::knownKeys()
{
    // Stored keys read from the files.
    QCOMPARE(textKey(QStringLiteral("Admin"), TextOrder::Jet4General), QByteArray::fromHex("4a4f6059620100"));
    QCOMPARE(textKey(QStringLiteral("-1"), TextOrder::Jet4General), QByteArray::fromHex("38010101018007068200"));
    QCOMPARE(textKey(QString(), TextOrder::Jet4General), QByteArray::fromHex("0100"));
    QCOMPARE(textKey(QStringLiteral("aBc"), TextOrder::Jet3General), QByteArray::fromHex("60616200"));
    QCOMPARE(textKey(QStringLiteral("Name 1"), TextOrder::Access2010General),
             QByteArray::fromHex("0e700e020e510e2107020d190100"));
    QCOMPARE(primaryKeyPart(QStringLiteral("Name 1"), TextOrder::Jet4General), QByteArray::fromHex("624a605107" "38"));
    QCOMPARE(textKey(QStringLiteral("a\U0001F600a"), TextOrder::Access2010General),
             QByteArray::fromHex("0e02b03fb6fc0e0201023f3f00"));
    QCOMPARE(textKey(QStringLiteral("a\U0001F604a"), TextOrder::Access2010General),
             QByteArray::fromHex("0e02b03fb7020e0201023f3f00"));
}

void TextKeysTest::refused()
{
    QVERIFY(!textKey(QStringLiteral("a "), TextOrder::Jet4General));
    QVERIFY(!textKey(QStringLiteral("a\t"), TextOrder::Jet3General));
    QVERIFY(textKey(QStringLiteral("a\tb"), TextOrder::Jet3General));
    QVERIFY(!textKey(QStringLiteral("caf\u00e9"), TextOrder::Jet4General));
    QVERIFY(!textKey(QStringLiteral("zoo"), TextOrder::Access2010General));
    QVERIFY(!textKey(QStringLiteral("a-\U0001F600"), TextOrder::Access2010General));
    QVERIFY(!textKey(QStringLiteral("\U0001F650"), TextOrder::Access2010General));
    QVERIFY(!textKey(QStringLiteral("a\U0001F600").chopped(1), TextOrder::Access2010General));
    QVERIFY(!primaryKeyPart(QStringLiteral("\U0001F600"), TextOrder::Access2010General));
    QVERIFY(!textKey(QStringLiteral("a"), TextOrder::Unknown));
    QVERIFY(!textKey(QString(256, u'a'), TextOrder::Jet4General));
    QVERIFY(textKey(QString(255, u'a'), TextOrder::Jet4General));
    QVERIFY(!primaryKeyPart(QStringLiteral("a-b"), TextOrder::Jet4General));
    QVERIFY(primaryKeyPart(QStringLiteral("a-b"), TextOrder::Jet3General));
    QVERIFY(!primaryKeyPart(QStringLiteral("a:b"), TextOrder::Jet4General));
    QCOMPARE(safeCharacters(TextOrder::Jet4General),
             QStringLiteral(" !\"#$%&()*,./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    QCOMPARE(safeCharacters(TextOrder::Access2010General),
             QStringLiteral(" .0123456789ABCDEFGHIJKLMNOPQRSTUVWXYabcdefghijklmnopqrstuvwxy"));
    QCOMPARE(safeCharacters(TextOrder::Jet3General),
             QStringLiteral(" !\"#$%&'()*+,-./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
}

void TextKeysTest::safeOrderAgreesWithCompareJet_data()
{
    QTest::addColumn<TextOrder>("order");
    QTest::newRow("Jet3General") << TextOrder::Jet3General;
    QTest::newRow("Jet4General") << TextOrder::Jet4General;
    QTest::newRow("Access2010General") << TextOrder::Access2010General;
}

void TextKeysTest::safeOrderAgreesWithCompareJet()
{
    QFETCH(TextOrder, order);
    const QString safe = safeCharacters(order);
    // Every text of up to two safe characters, sorted as compareJet sorts.
    QStringList texts{QString()};
    for (QChar a : safe) {
        if (a != u' ')
            texts.append(QString(a));
        for (QChar b : safe) {
            if (b != u' ')
                texts.append(QString(a) + b);
        }
    }
    std::stable_sort(texts.begin(), texts.end(),
                     [](const QString &a, const QString &b) { return compareJet(a, b) < 0; });
    std::optional<QByteArray> previous;
    QString previousText;
    for (const QString &text : texts) {
        const std::optional<QByteArray> primary = primaryKeyPart(text, order);
        QVERIFY2(primary, qPrintable(text));
        if (previous) {
            const int keys = compareBytes(*previous, *primary);
            QVERIFY2(keys == sign(compareJet(previousText, text)), qPrintable(previousText + u'|' + text));
        }
        // The whole key starts with the primary part and the separator.
        const KeyRange range = primaryRange(*primary, order);
        const QByteArray key = *textKey(text, order);
        QVERIFY(key >= range.lower && key < range.upper);
        previous = primary;
        previousText = text;
    }
}

void TextKeysTest::rangeHoldsEqualValues()
{
    for (TextOrder order : {TextOrder::Jet3General, TextOrder::Jet4General, TextOrder::Access2010General}) {
        const KeyRange range = primaryRange(*primaryKeyPart(QStringLiteral("ab"), order), order);
        for (const QString &other : {QStringLiteral("AB"), QStringLiteral("aB"), QStringLiteral("Ab")})
            QVERIFY(*textKey(other, order) >= range.lower && *textKey(other, order) < range.upper);
        for (const QString &other : {QStringLiteral("a"), QStringLiteral("abc"), QStringLiteral("ac"),
                                     QStringLiteral("b"), QStringLiteral("aa")}) {
            const QByteArray key = *textKey(other, order);
            QVERIFY2(key < range.lower || key >= range.upper, qPrintable(other));
        }
    }
    // Apostrophes and hyphens leave the primary part as it is.
    const KeyRange range = primaryRange(*primaryKeyPart(QStringLiteral("ab"), TextOrder::Jet4General),
                                        TextOrder::Jet4General);
    const QByteArray hyphen = *textKey(QStringLiteral("a-b"), TextOrder::Jet4General);
    QVERIFY(hyphen >= range.lower && hyphen < range.upper);
}

void TextKeysTest::jet4WeightsOfAllAscii()
{
    // One value in this file holds every character from U+0001 up, among
    // them printable ASCII in a row; textKey refuses the whole value, but
    // the weights it gives that run must stand in the stored key as they are.
    const QString path = QDir(QStringLiteral(KOLTA_SHARED_MDB)).filePath(QStringLiteral("testUnicodeCompV2003.mdb"));
    if (!QFileInfo::exists(path))
        QSKIP("the shared Access files are not here");
    Result<std::unique_ptr<JetFile>> opened = JetFile::open(path);
    QVERIFY(opened.ok());
    Tally tally;
    FileCheck(*opened.value(), tally).run();
    QString ascii;
    for (char16_t c = 0x20; c < 0x7F; ++c)
        ascii.append(QChar(c));
    int found = 0;
    for (const auto &[text, stored] : std::as_const(tally.refusedEntries)) {
        if (!text.contains(ascii))
            continue;
        ++found;
        const QByteArray key = *textKey(ascii, TextOrder::Jet4General);
        const QByteArray weights = key.left(key.indexOf('\x01'));
        QVERIFY2(stored.contains(weights), qPrintable(QString::fromLatin1(stored.toHex())));
    }
    QCOMPARE(found, 1);
}

void TextKeysTest::realFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("checked");
    // The entries each file should yield whose text values textKey accepts.
    QTest::newRow("testIndexCodesV1997") << QStringLiteral("testIndexCodesV1997.mdb") << 2842;
    QTest::newRow("testV1997") << QStringLiteral("testV1997.mdb") << 27;
    QTest::newRow("test2V1997") << QStringLiteral("test2V1997.mdb") << 22;
    QTest::newRow("ContourBL") << QStringLiteral("ContourBL.mdb") << 33;
    QTest::newRow("testV2000") << QStringLiteral("testV2000.mdb") << 26;
    QTest::newRow("test2V2000") << QStringLiteral("test2V2000.mdb") << 18;
    QTest::newRow("fixedTextTestV2000") << QStringLiteral("fixedTextTestV2000.mdb") << 27;
    QTest::newRow("fixedNumericTestV2000") << QStringLiteral("fixedNumericTestV2000.mdb") << 21;
    QTest::newRow("overflowTestV2000") << QStringLiteral("overflowTestV2000.mdb") << 19;
    QTest::newRow("delColTestV2000") << QStringLiteral("delColTestV2000.mdb") << 19;
    QTest::newRow("indexTestV2003") << QStringLiteral("indexTestV2003.mdb") << 51;
    QTest::newRow("compIndexTestV2003") << QStringLiteral("compIndexTestV2003.mdb") << 43;
    QTest::newRow("testUnicodeCompV2003") << QStringLiteral("testUnicodeCompV2003.mdb") << 51;
    QTest::newRow("DateTestDatabase") << QStringLiteral("DateTestDatabase.mdb") << 54;
    QTest::newRow("emptyJet4") << QStringLiteral("emptyJet4.mdb") << 8;
    QTest::newRow("empty") << QStringLiteral("empty.mdb") << 18;
    QTest::newRow("ASampleDatabase") << QStringLiteral("ASampleDatabase.accdb") << 154;
    QTest::newRow("queryTestV2007") << QStringLiteral("queryTestV2007.accdb") << 61;
    QTest::newRow("testV2010") << QStringLiteral("testV2010.accdb") << 59;
    QTest::newRow("indexTestV2010") << QStringLiteral("indexTestV2010.accdb") << 64;
    QTest::newRow("compIndexTestV2010") << QStringLiteral("compIndexTestV2010.accdb") << 50;
    QTest::newRow("testIndexPropertiesV2010") << QStringLiteral("testIndexPropertiesV2010.accdb") << 134;
    QTest::newRow("testEmoticonsV2010") << QStringLiteral("testEmoticonsV2010.accdb") << 133;
    QTest::newRow("binIdxTestV2010") << QStringLiteral("binIdxTestV2010.accdb") << 53;
    QTest::newRow("complexDataTestV2010") << QStringLiteral("complexDataTestV2010.accdb") << 79;
    QTest::newRow("calcFieldTestV2010") << QStringLiteral("calcFieldTestV2010.accdb") << 64;
    QTest::newRow("extDateTestV2019") << QStringLiteral("extDateTestV2019.accdb") << 69;
}

void TextKeysTest::realFiles()
{
    QFETCH(QString, file);
    QFETCH(int, checked);
    const QString path = QDir(QStringLiteral(KOLTA_SHARED_MDB)).filePath(file);
    if (!QFileInfo::exists(path))
        QSKIP("the shared Access files are not here");
    Result<std::unique_ptr<JetFile>> opened = JetFile::open(path);
    QVERIFY2(opened.ok(), qPrintable(opened.ok() ? QString() : opened.error().message));
    Tally tally;
    FileCheck(*opened.value(), tally).run();
    QStringList orders;
    for (auto it = tally.byOrder.cbegin(); it != tally.byOrder.cend(); ++it)
        orders.append(QStringLiteral("%1 %2").arg(orderName(it.key())).arg(it.value()));
    qInfo("%s: %d entries checked (text values: %s), %d refused, %d rows not read", qPrintable(file),
          tally.checked, qPrintable(orders.join(u", ")), tally.refused, tally.unread);
    for (const QString &mismatch : std::as_const(tally.mismatches).mid(0, 10))
        qWarning("%s", qPrintable(mismatch));
    QCOMPARE(tally.mismatches.size(), 0);
    QCOMPARE(tally.checked, checked);
}

QTEST_GUILESS_MAIN(TextKeysTest)
#include "tst_textkeys.moc"
