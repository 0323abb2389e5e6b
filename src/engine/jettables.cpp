#include "jettables.h"

#include "acecolumns.h"

#include "decimal.h"
#include "rc4.h"
#include "reasons.h"

#include <QByteArray>
#include <QList>
#include <QStringDecoder>
#include <QtEndian>

#include <sqlite3.h>

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

namespace kolta::jet::engine {

namespace {

constexpr int OffsetMask = 0x1fff;
constexpr int LongValueHeader = 12;

struct JetTable : sqlite3_vtab
{
    JetFile *file = nullptr;
    quint32 page = 0;
    QString name;
    QList<int> columnTypes;   // in column order
    QList<AceColumn> ace;     // likewise
    // Texts of attachment and multi-valued columns by stored number, read
    // at their first use.
    QList<std::optional<QHash<qint32, QString>>> complexValues;
};

// Reading one table: its own libmdb handle (a clone sharing the file), so
// that cursors over several tables, or the same one twice, do not disturb
// each other's current page.
struct JetCursor : sqlite3_vtab_cursor
{
    ~JetCursor()
    {
        if (table)
            mdb_free_tabledef(table);
        if (mdb)
            mdb_close(mdb);
    }
    MdbHandle *mdb = nullptr;
    MdbCatalogEntry entry;
    MdbTableDef *table = nullptr;
    QList<MdbField> fields;          // of the current row, by column
    QList<quint32> pages;            // the table's data pages, in file order
    qsizetype pageIndex = 0;         // the next of them to read
    int rowsOnPage = 0;              // of the page in the handle's buffer
    int nextRow = 0;
    sqlite3_int64 rowid = 0;
    qint64 fetched = 0;
    qint64 rowLimit = 0;
    bool eof = true;
    QByteArray text;                 // decoded text, reused from value to value
};

QString quotedIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

const char *declaredType(int jetType)
{
    switch (jetType) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case JetBigInt:
    case MDB_MONEY:
        return "INTEGER";
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_DATETIME:
        return "REAL";
    case MDB_BINARY:
    case MDB_OLE:
        return "BLOB";
    default:
        return "TEXT";
    }
}

void setError(sqlite3_vtab *vtab, const QString &message)
{
    sqlite3_free(vtab->zErrMsg);
    vtab->zErrMsg = sqlite3_mprintf("%s", message.toUtf8().constData());
}

int connect(sqlite3 *db, void *aux, int argc, const char *const *argv, sqlite3_vtab **out, char **error)
{
    // argv: module, database, table name, then our arguments: the page of
    // the table's definition and, in hex, the name Jet knows it by.
    if (argc != 4 && argc != 5) {
        *error = sqlite3_mprintf("a jet table takes the page of its definition");
        return SQLITE_ERROR;
    }
    auto table = std::make_unique<JetTable>();
    std::memset(static_cast<sqlite3_vtab *>(table.get()), 0, sizeof(sqlite3_vtab));
    table->file = static_cast<JetFile *>(aux);
    table->page = QByteArray(argv[3]).toUInt();
    // (The hex comes after an "n": a bare number followed by letters is no token to SQLite.)
    table->name = QString::fromUtf8(argc > 4 ? QByteArray::fromHex(argv[4] + (argv[4][0] ? 1 : 0)) : QByteArray(argv[2]));

    CatalogEntry entry;
    entry.name = table->name;
    entry.id = table->page;
    QList<Field> fields;
    QList<int> types;
    QString reason;
    if (!table->file->readColumns(entry, &fields, &reason, &types, &table->ace)) {
        *error = sqlite3_mprintf("%s", reason.toUtf8().constData());
        return SQLITE_ERROR;
    }
    table->columnTypes = types;
    table->complexValues.resize(types.size());
    QString schema = QStringLiteral("CREATE TABLE x(");
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            schema += QLatin1String(", ");
        const int type = table->ace.at(i).calculated ? table->ace.at(i).resultType : types.at(i);
        schema += quotedIdentifier(fields.at(i).Name) + QLatin1Char(' ') + QLatin1String(declaredType(type));
    }
    schema += QLatin1Char(')');
    // Columns SQLite cannot take (the same name twice, thousands of them)
    // come only from a damaged definition; its own words are not for the user.
    const int rc = sqlite3_declare_vtab(db, schema.toUtf8().constData());
    if (rc != SQLITE_OK) {
        *error = sqlite3_mprintf("%.*s", int(reasons::Damaged.size()), reasons::Damaged.data());
        return rc;
    }
    *out = table.release();
    return SQLITE_OK;
}

int disconnect(sqlite3_vtab *vtab)
{
    sqlite3_free(vtab->zErrMsg);
    delete static_cast<JetTable *>(vtab);
    return SQLITE_OK;
}

int bestIndex(sqlite3_vtab *vtab, sqlite3_index_info *info)
{
    // Always a full scan in stored order; SQLite applies the conditions.
    Q_UNUSED(vtab);
    info->estimatedCost = 1e6;
    info->estimatedRows = 100000;
    return SQLITE_OK;
}

// One page into buffer, decoded when the file's pages are RC4-encoded.
// False for a page the file does not hold.
bool readPage(MdbHandle *mdb, quint32 page, unsigned char *buffer)
{
    const int size = int(mdb->fmt->pg_size);
    const int fd = fileno(mdb->f->stream);
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, buffer + got, size_t(size - got), off_t(page) * size + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    if (got == 0)
        return false;
    std::memset(buffer + got, 0, size_t(size - got));
    if (page != 0 && mdb->f->db_key != 0) {
        const quint32 key = mdb->f->db_key ^ page;
        const unsigned char keyBytes[4] = {uchar(key), uchar(key >> 8), uchar(key >> 16), uchar(key >> 24)};
        rc4(keyBytes, 4, buffer, size);
    }
    return true;
}

// The table's data pages in file order, from its usage map: a bitmap in the
// definition (type 0) or bitmaps on pages of their own (type 1). Pages past
// the end of the file are left out; the rows they would hold are then
// missing, which the row count reveals.
QList<quint32> dataPages(MdbHandle *mdb, const MdbTableDef *table, quint32 pageCount)
{
    QList<quint32> pages;
    const unsigned char *map = table->usage_map;
    const quint32 size = quint32(table->map_sz);
    const auto addBits = [&](const unsigned char *bits, quint32 bitCount, quint64 first) {
        for (quint32 i = 0; i < bitCount; ++i) {
            if (!(bits[i / 8] & (1u << (i % 8))))
                continue;
            if (first + i >= pageCount)
                return;
            pages.append(quint32(first + i));
        }
    };
    if (map[0] == 0) {
        if (size >= 5)
            addBits(map + 5, (size - 5) * 8, qFromLittleEndian<quint32>(map + 1));
        return pages;
    }
    const quint32 bitsPerPage = quint32(mdb->fmt->pg_size - 4) * 8;
    QByteArray mapPage(mdb->fmt->pg_size, '\0');
    auto *buffer = reinterpret_cast<unsigned char *>(mapPage.data());
    for (quint32 index = 0; index < (size - 1) / 4; ++index) {
        const quint32 page = qFromLittleEndian<quint32>(map + 1 + index * 4);
        if (page == 0 || page >= pageCount || !readPage(mdb, page, buffer))
            continue;
        addBits(buffer + 4, bitsPerPage, quint64(index) * bitsPerPage);
    }
    return pages;
}

int open(sqlite3_vtab *vtab, sqlite3_vtab_cursor **out)
{
    auto *table = static_cast<JetTable *>(vtab);
    auto cursor = std::make_unique<JetCursor>();
    std::memset(static_cast<sqlite3_vtab_cursor *>(cursor.get()), 0, sizeof(sqlite3_vtab_cursor));
    cursor->mdb = mdb_clone_handle(table->file->handle());
    if (!cursor->mdb) {
        setError(vtab, QStringLiteral("the database file cannot be read"));
        return SQLITE_CORRUPT;
    }
    std::memset(&cursor->entry, 0, sizeof(cursor->entry));
    cursor->entry.mdb = cursor->mdb;
    cursor->entry.object_type = MDB_TABLE;
    cursor->entry.table_pg = table->page;
    cursor->mdb->cur_pg = 0;
    cursor->table = mdb_read_table(&cursor->entry);
    if (!cursor->table || !usageMapIsSound(cursor->table) || !mdb_read_columns(cursor->table)
        || int(cursor->table->num_cols) != table->columnTypes.size()) {
        setError(vtab, QStringLiteral("the table %1 is damaged or was changed").arg(table->name));
        return SQLITE_CORRUPT;
    }
    cursor->fields.resize(cursor->table->num_cols);
    const FileHeader &header = table->file->header();
    const qint64 pageCount = header.fileSize / header.pageSize + 1;
    cursor->rowLimit = pageCount * 512;
    cursor->pages = dataPages(cursor->mdb, cursor->table, quint32(qMin<qint64>(pageCount, 0xffffffff)));
    *out = cursor.release();
    return SQLITE_OK;
}

int close(sqlite3_vtab_cursor *base)
{
    delete static_cast<JetCursor *>(base);
    return SQLITE_OK;
}

// The next row of the table, read page by page in file order. Each row is
// cracked once, into fields that still tell Null apart from "".
int next(sqlite3_vtab_cursor *base)
{
    auto *cursor = static_cast<JetCursor *>(base);
    MdbTableDef *table = cursor->table;
    MdbHandle *mdb = cursor->mdb;
    for (;;) {
        if (cursor->nextRow >= cursor->rowsOnPage) {
            if (cursor->pageIndex >= cursor->pages.size()) {
                cursor->eof = true;
                // The definition counts the table's rows: fewer read means
                // pages are missing (a file cut short), never a shorter table.
                if (cursor->rowid < sqlite3_int64(table->num_rows)) {
                    const auto *jetTable = static_cast<const JetTable *>(base->pVtab);
                    setError(base->pVtab, QString(reasons::RowsMissing).arg(jetTable->name));
                    return SQLITE_CORRUPT;
                }
                return SQLITE_OK;
            }
            const quint32 page = cursor->pages.at(cursor->pageIndex++);
            cursor->rowsOnPage = 0;
            cursor->nextRow = 0;
            if (!readPage(mdb, page, mdb->pg_buf)) {
                cursor->pageIndex = cursor->pages.size();
                continue;
            }
            mdb->cur_pg = page;
            mdb->cur_pos = 0;
            // Only the table's own data pages hold its rows.
            if (mdb->pg_buf[0] != MDB_PAGE_DATA || qFromLittleEndian<quint32>(mdb->pg_buf + 4) != cursor->entry.table_pg)
                continue;
            cursor->rowsOnPage = qFromLittleEndian<quint16>(mdb->pg_buf + mdb->fmt->row_count_offset);
            continue;
        }
        const int row = cursor->nextRow++;
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb, row, &start, &size) != 0 || size == 0)
            continue;
        if (start & 0x4000)   // deleted
            continue;
        if (++cursor->fetched > cursor->rowLimit) {
            setError(base->pVtab, reasons::PagesInCircle);
            return SQLITE_CORRUPT;
        }
        start &= OffsetMask;
        if (mdb_crack_row(table, start, size, cursor->fields.data()) < 0)
            continue;
        cursor->eof = false;
        ++cursor->rowid;
        return SQLITE_OK;
    }
}

int filter(sqlite3_vtab_cursor *base, int, const char *, int, sqlite3_value **)
{
    auto *cursor = static_cast<JetCursor *>(base);
    cursor->pageIndex = 0;
    cursor->rowsOnPage = 0;
    cursor->nextRow = 0;
    cursor->rowid = 0;
    cursor->fetched = 0;
    return next(base);
}

int eof(sqlite3_vtab_cursor *base)
{
    return static_cast<JetCursor *>(base)->eof;
}

int rowid(sqlite3_vtab_cursor *base, sqlite3_int64 *out)
{
    *out = static_cast<JetCursor *>(base)->rowid;
    return SQLITE_OK;
}

// The bytes of a memo or OLE value: inline in the row, on one page of long
// values, or in a chain of them. *ok false when pages it needs are missing.
QByteArray longValue(MdbHandle *mdb, int start, int size, bool *ok)
{
    *ok = true;
    if (size < LongValueHeader)
        return {};
    const unsigned char *header = mdb->pg_buf + start;
    const quint32 word = qFromLittleEndian<quint32>(header);
    const quint32 length = word & 0x3fffffff;
    if (word & 0x80000000u)
        return QByteArray(reinterpret_cast<const char *>(header + LongValueHeader),
                          qMin<qsizetype>(size - LongValueHeader, length));
    qint32 pageRow = qFromLittleEndian<qint32>(header + 4);
    void *buffer = nullptr;
    int offset = 0;
    size_t rowSize = 0;
    if (word & 0x40000000u) {
        if (mdb_find_pg_row(mdb, pageRow, &buffer, &offset, &rowSize) != 0) {
            *ok = false;
            return {};
        }
        return QByteArray(static_cast<const char *>(buffer) + offset, qMin<qsizetype>(qsizetype(rowSize), length));
    }
    QByteArray bytes;
    // Each link holds the next one's page and row, then data; a damaged
    // chain ends where the length says or after as many links as pages.
    for (int links = 0; pageRow != 0 && bytes.size() < qsizetype(length) && links < 1 << 20; ++links) {
        if (mdb_find_pg_row(mdb, pageRow, &buffer, &offset, &rowSize) != 0 || rowSize < 4)
            break;
        const auto *row = static_cast<const unsigned char *>(buffer) + offset;
        pageRow = qFromLittleEndian<qint32>(row);
        bytes.append(reinterpret_cast<const char *>(row + 4),
                     qMin<qsizetype>(qsizetype(rowSize) - 4, qsizetype(length) - bytes.size()));
    }
    *ok = bytes.size() >= qsizetype(length);
    return bytes;
}

// The name Qt knows a Jet 3 file's code page by; windows-1252 for codes it
// does not know, as libmdb does.
QByteArray codePageName(int codePage)
{
    switch (codePage) {
    case 874:
    case 1250: case 1251: case 1252: case 1253: case 1254: case 1255: case 1256: case 1257: case 1258:
        return "windows-" + QByteArray::number(codePage);
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 437: case 850: case 852: case 855: case 857: case 860: case 861: case 862: case 863: case 864:
    case 865: case 866: case 869:
        return "IBM" + QByteArray::number(codePage);
    default: return "windows-1252";
    }
}

// Jet 3 text in the file's code page, decoded as Windows does: a byte the
// code page leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D in windows-1252)
// becomes the control character of the same number, not "?" as libmdb
// makes it.
QByteArray jet3Text(int codePage, const char *bytes, qsizetype size)
{
    // Plain ASCII reads the same in every code page Jet 3 uses.
    qsizetype ascii = 0;
    while (ascii < size && uchar(bytes[ascii]) < 0x80)
        ++ascii;
    if (ascii == size)
        return QByteArray(bytes, size);
    thread_local int decoderPage = -1;
    thread_local QStringDecoder decoder;
    if (decoderPage != codePage) {
        decoder = QStringDecoder(codePageName(codePage).constData());
        if (!decoder.isValid())
            decoder = QStringDecoder("windows-1252");
        decoderPage = codePage;
    }
    decoder.resetState();
    const QString text = decoder.decode(QByteArrayView(bytes, size));
    return text.toUtf8();
}

// Jet 4 text into UTF-8: UTF-16LE, or, after the marker FF FE, "compressed":
// each byte one character up to U+00FF; a zero byte switches to two-byte
// units and the next zero byte back. A surrogate without its
// partner becomes "?", and an odd last byte is dropped.
int jet4Text(const unsigned char *s, qsizetype size, QByteArray &buffer)
{
    // A source byte becomes at most two bytes of UTF-8.
    if (buffer.size() < size * 2 + 16)
        buffer.resize(size * 2 + 16);
    auto *out = reinterpret_cast<unsigned char *>(buffer.data());
    const auto *const begin = out;
    const auto put = [&out](char32_t c) {
        if (c < 0x80) {
            *out++ = uchar(c);
        } else if (c < 0x800) {
            *out++ = uchar(0xc0 | (c >> 6));
            *out++ = uchar(0x80 | (c & 0x3f));
        } else if (c < 0x10000) {
            *out++ = uchar(0xe0 | (c >> 12));
            *out++ = uchar(0x80 | ((c >> 6) & 0x3f));
            *out++ = uchar(0x80 | (c & 0x3f));
        } else {
            *out++ = uchar(0xf0 | (c >> 18));
            *out++ = uchar(0x80 | ((c >> 12) & 0x3f));
            *out++ = uchar(0x80 | ((c >> 6) & 0x3f));
            *out++ = uchar(0x80 | (c & 0x3f));
        }
    };
    const unsigned char *const end = s + size;
    const bool marked = size >= 2 && s[0] == 0xff && s[1] == 0xfe;
    bool compressed = marked;
    if (marked)
        s += 2;
    while (s < end) {
        if (marked && *s == 0) {
            compressed = !compressed;
            ++s;
            continue;
        }
        if (compressed) {
            put(*s++);
            continue;
        }
        if (end - s < 2)
            break;
        const char16_t unit = char16_t(s[0] | (s[1] << 8));
        if (QChar::isHighSurrogate(unit) && end - s >= 4) {
            const char16_t low = char16_t(s[2] | (s[3] << 8));
            if (QChar::isLowSurrogate(low)) {
                put(QChar::surrogateToUcs4(unit, low));
                s += 4;
                continue;
            }
        }
        put(QChar::isSurrogate(unit) ? U'?' : char32_t(unit));
        s += 2;
    }
    return int(out - begin);
}

// Text as Jet stores it: Jet 3 in the file's code page, Jet 4 UCS-2,
// compressed or not. Into buffer, which grows as needed; the length of the
// text.
int utf8Text(MdbHandle *mdb, const char *bytes, qsizetype size, QByteArray &buffer)
{
    if (IS_JET3(mdb)) {
        buffer = jet3Text(mdb->f->code_page, bytes, size);
        return int(buffer.size());
    }
    return jet4Text(reinterpret_cast<const unsigned char *>(bytes), size, buffer);
}

QString guidText(const unsigned char *bytes)
{
    return QStringLiteral("{%1-%2-%3-%4-%5}")
        .arg(qFromLittleEndian<quint32>(bytes), 8, 16, QLatin1Char('0'))
        .arg(qFromLittleEndian<quint16>(bytes + 4), 4, 16, QLatin1Char('0'))
        .arg(qFromLittleEndian<quint16>(bytes + 6), 4, 16, QLatin1Char('0'))
        .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(bytes + 8), 2).toHex()))
        .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(bytes + 10), 6).toHex()))
        .toUpper();
}

int fixedWidth(int type)
{
    switch (type) {
    case MDB_BYTE: return 1;
    case MDB_INT: return 2;
    case MDB_LONGINT:
    case MDB_COMPLEX:
    case MDB_FLOAT: return 4;
    case MDB_MONEY:
    case MDB_DOUBLE:
    case MDB_DATETIME:
    case JetBigInt: return 8;
    case MDB_REPID: return 16;
    case MDB_NUMERIC: return 17;
    default: return 0;
    }
}

// A Decimal travels as its exact text; one that cannot be read is Null.
void resultDecimal(sqlite3_context *context, const std::string &text)
{
    const std::string exact = jetsql::canonicalDecimal(text);
    if (exact.empty())
        sqlite3_result_null(context);
    else
        sqlite3_result_text(context, exact.data(), int(exact.size()), SQLITE_TRANSIENT);
}

int column(sqlite3_vtab_cursor *base, sqlite3_context *context, int index)
{
    auto *cursor = static_cast<JetCursor *>(base);
    if (index < 0 || index >= cursor->fields.size()) {
        sqlite3_result_null(context);
        return SQLITE_OK;
    }
    // libmdb cracks a row into one field per column, in column order.
    const MdbField *field = &cursor->fields.at(index);
    if (field->colnum != index)
        field = nullptr;
    const auto *col = static_cast<const MdbColumn *>(g_ptr_array_index(cursor->table->columns, index));
    auto *table = static_cast<JetTable *>(base->pVtab);
    const bool calculated = index < table->ace.size() && table->ace.at(index).calculated;
    int type = calculated ? table->ace.at(index).resultType : col->col_type;
    if (col->col_type == MDB_BOOL && !calculated) {
        // Yes/No lives in the null mask: a set bit is Yes.
        sqlite3_result_int(context, field && !field->is_null ? -1 : 0);
        return SQLITE_OK;
    }
    MdbHandle *mdb = cursor->mdb;
    const int pageSize = int(mdb->fmt->pg_size);
    if (!field || field->is_null || field->start < 0 || field->siz < 0 || field->start + field->siz > pageSize) {
        sqlite3_result_null(context);
        return SQLITE_OK;
    }
    const unsigned char *data = mdb->pg_buf + field->start;
    int size = field->siz;
    if (calculated && type == MDB_MEMO) {
        // The long value holds the wrapped text.
        bool complete = true;
        const QByteArray bytes = longValue(mdb, field->start, field->siz, &complete);
        const auto *inner = reinterpret_cast<const unsigned char *>(bytes.constData());
        int innerSize = int(bytes.size());
        if (!complete || !unwrapCalculated(&inner, &innerSize)) {
            sqlite3_result_null(context);
            return SQLITE_OK;
        }
        const int length = utf8Text(mdb, reinterpret_cast<const char *>(inner), innerSize, cursor->text);
        sqlite3_result_text(context, cursor->text.constData(), length, SQLITE_TRANSIENT);
        return SQLITE_OK;
    }
    if (calculated && !unwrapCalculated(&data, &size)) {
        sqlite3_result_null(context);
        return SQLITE_OK;
    }
    if (calculated && (type == MDB_BOOL || type == MDB_NUMERIC)) {
        if (type == MDB_BOOL) {
            sqlite3_result_int(context, data[0] != 0 ? -1 : 0);
        } else {
            resultDecimal(context, calculatedDecimalText(data, size).toStdString());
        }
        return SQLITE_OK;
    }
    if (size < fixedWidth(type)) {
        sqlite3_result_null(context);
        return SQLITE_OK;
    }
    switch (type) {
    case MDB_COMPLEX: {
        std::optional<QHash<qint32, QString>> &values = table->complexValues[index];
        if (!values)
            values = readComplexValues(*table->file, table->page, QString::fromUtf8(col->name));
        const auto found = values->constFind(qFromLittleEndian<qint32>(data));
        if (found == values->constEnd()) {
            sqlite3_result_null(context);
        } else {
            const QByteArray text = found->toUtf8();
            sqlite3_result_text(context, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        }
        break;
    }
    case JetExtendedDate: {
        const QByteArray text = extendedDateText(data, size).toUtf8();
        if (text.isEmpty())
            sqlite3_result_null(context);
        else
            sqlite3_result_text(context, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        break;
    }
    case JetBigInt:
        sqlite3_result_int64(context, qFromLittleEndian<qint64>(data));
        break;
    case MDB_BYTE:
        sqlite3_result_int(context, data[0]);
        break;
    case MDB_INT:
        sqlite3_result_int(context, qFromLittleEndian<qint16>(data));
        break;
    case MDB_LONGINT:
        sqlite3_result_int(context, qFromLittleEndian<qint32>(data));
        break;
    case MDB_MONEY:
        // Currency is a count of ten-thousandths, and stays one: exact.
        sqlite3_result_int64(context, qFromLittleEndian<qint64>(data));
        break;
    case MDB_FLOAT: {
        // A Single is its shortest decimal, as Jet shows it: 0.1, not the
        // 0.100000001490116 of the widened binary value.
        char text[32];
        const auto written = std::to_chars(text, text + sizeof text, qFromLittleEndian<float>(data));
        double value = 0;
        std::from_chars(text, written.ptr, value);
        sqlite3_result_double(context, value);
        break;
    }
    case MDB_DOUBLE:
    case MDB_DATETIME:
        sqlite3_result_double(context, qFromLittleEndian<double>(data));
        break;
    case MDB_NUMERIC: {
        char *text = mdb_numeric_to_string(mdb, field->start, col->col_scale, col->col_prec);
        resultDecimal(context, text ? std::string(text) : std::string());
        g_free(text);
        break;
    }
    case MDB_REPID:
        sqlite3_result_text(context, guidText(data).toUtf8().constData(), -1, SQLITE_TRANSIENT);
        break;
    case MDB_TEXT: {
        const int length = utf8Text(mdb, reinterpret_cast<const char *>(data), size, cursor->text);
        sqlite3_result_text(context, cursor->text.constData(), length, SQLITE_TRANSIENT);
        break;
    }
    case MDB_MEMO:
    case MDB_OLE: {
        bool complete = true;
        const QByteArray bytes = longValue(mdb, field->start, field->siz, &complete);
        if (!complete) {
            // A memo cut short is damage, never a shorter text.
            const QByteArray reason = QString(reasons::LongValueMissing).arg(QString::fromUtf8(col->name)).toUtf8();
            sqlite3_result_error(context, reason.constData(), int(reason.size()));
            sqlite3_result_error_code(context, SQLITE_CORRUPT);
            break;
        }
        if (type == MDB_OLE) {
            sqlite3_result_blob(context, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        const int length = utf8Text(mdb, bytes.constData(), bytes.size(), cursor->text);
        sqlite3_result_text(context, cursor->text.constData(), length, SQLITE_TRANSIENT);
        break;
    }
    case MDB_BINARY:
    default:
        sqlite3_result_blob(context, data, size, SQLITE_TRANSIENT);
        break;
    }
    return SQLITE_OK;
}

sqlite3_module jetModule()
{
    sqlite3_module module;
    std::memset(&module, 0, sizeof(module));
    module.iVersion = 1;
    module.xCreate = connect;
    module.xConnect = connect;
    module.xBestIndex = bestIndex;
    module.xDisconnect = disconnect;
    module.xDestroy = disconnect;
    module.xOpen = open;
    module.xClose = close;
    module.xFilter = filter;
    module.xNext = next;
    module.xEof = eof;
    module.xColumn = column;
    module.xRowid = rowid;
    // No xUpdate: SQLite refuses every change to these tables.
    return module;
}

} // namespace

int registerJetModule(sqlite3 *db, JetFile *file)
{
    static const sqlite3_module module = jetModule();
    return sqlite3_create_module(db, "jet", &module, file);
}

QString createJetTable(sqlite3 *db, const QString &sqliteName, const CatalogEntry &entry)
{
    const QString sql = QStringLiteral("CREATE VIRTUAL TABLE temp.%1 USING jet(%2, n%3)")
                            .arg(quotedIdentifier(sqliteName), QString::number(entry.id & 0x00FFFFFF),
                                 QString::fromLatin1(entry.name.toUtf8().toHex()));
    char *error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString reason = QString::fromUtf8(error ? error : sqlite3_errmsg(db));
        sqlite3_free(error);
        return reason;
    }
    return {};
}

} // namespace kolta::jet::engine
