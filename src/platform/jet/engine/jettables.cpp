#include "jettables.h"

#include "acecolumns.h"

#include "platform/jet/reasons.h"

#include <QByteArray>
#include <QList>
#include <QStringDecoder>
#include <QtEndian>

#include <sqlite3.h>

#include <charconv>
#include <cmath>
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
    case MDB_NUMERIC:
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
    cursor->rowLimit = (header.fileSize / header.pageSize + 1) * 512;
    *out = cursor.release();
    return SQLITE_OK;
}

int close(sqlite3_vtab_cursor *base)
{
    delete static_cast<JetCursor *>(base);
    return SQLITE_OK;
}

int next(sqlite3_vtab_cursor *base)
{
    auto *cursor = static_cast<JetCursor *>(base);
    MdbTableDef *table = cursor->table;
    for (;;) {
        if (!mdb_fetch_row(table)) {
            cursor->eof = true;
            // The definition counts the table's rows: fewer read means pages
            // are missing (a file cut short), never a shorter table.
            if (cursor->rowid < sqlite3_int64(table->num_rows)) {
                const auto *jetTable = static_cast<const JetTable *>(base->pVtab);
                setError(base->pVtab, QString(reasons::RowsMissing).arg(jetTable->name));
                return SQLITE_CORRUPT;
            }
            return SQLITE_OK;
        }
        if (++cursor->fetched > cursor->rowLimit) {
            setError(base->pVtab, reasons::PagesInCircle);
            return SQLITE_CORRUPT;
        }
        // libmdb has just read this row from the page it holds; cracking it
        // once more gives what its bound values cannot: Null apart from "".
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(cursor->mdb, int(table->cur_row) - 1, &start, &size) != 0)
            continue;
        start &= OffsetMask;
        const int cracked = mdb_crack_row(table, start, size, cursor->fields.data());
        if (cracked < 0)
            continue;
        cursor->eof = false;
        ++cursor->rowid;
        return SQLITE_OK;
    }
}

int filter(sqlite3_vtab_cursor *base, int, const char *, int, sqlite3_value **)
{
    auto *cursor = static_cast<JetCursor *>(base);
    mdb_rewind_table(cursor->table);
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

// Text as Jet stores it: Jet 3 in the file's code page, Jet 4 UCS-2,
// compressed or not (libmdb decodes that).
// Into buffer, which grows as needed; the length of the text.
int utf8Text(MdbHandle *mdb, const char *bytes, qsizetype size, QByteArray &buffer)
{
    if (IS_JET3(mdb)) {
        buffer = jet3Text(mdb->f->code_page, bytes, size);
        return int(buffer.size());
    }
    // One source byte becomes at most three bytes of UTF-8.
    if (buffer.size() < size * 3 + 16)
        buffer.resize(size * 3 + 16);
    return mdb_unicode2ascii(mdb, bytes, size_t(size), buffer.data(), size_t(buffer.size()));
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
            const QString text = calculatedDecimalText(data, size);
            if (text.isEmpty())
                sqlite3_result_null(context);
            else
                sqlite3_result_double(context, text.toDouble());
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
        sqlite3_result_double(context, text ? std::strtod(text, nullptr) : 0.0);
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
