#include "jetvalues.h"

#include "acecolumns.h"
#include "jetpages.h"
#include "jettext.h"

#include "decimal.h"
#include "reasons.h"

#include <QString>
#include <QtEndian>

#include <sqlite3.h>

#include <charconv>
#include <string>

namespace kolta::jet::engine {

namespace {

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

} // namespace

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

std::optional<qint32> resultField(sqlite3_context *context, MdbHandle *mdb, const MdbColumn *column,
                                  const MdbField *field, bool calculated, int type, QByteArray &buffer)
{
    if (column->col_type == MDB_BOOL && !calculated) {
        // Yes/No lives in the null mask: a set bit is Yes.
        sqlite3_result_int(context, field && !field->is_null ? -1 : 0);
        return std::nullopt;
    }
    const int pageSize = int(mdb->fmt->pg_size);
    if (!field || field->is_null || field->start < 0 || field->siz < 0 || field->start + field->siz > pageSize) {
        sqlite3_result_null(context);
        return std::nullopt;
    }
    const unsigned char *data = mdb->pg_buf + field->start;
    int size = field->siz;
    if (calculated && type == MDB_MEMO) {
        // The long value holds the wrapped text.
        const std::optional<QByteArray> bytes = longValue(mdb, field->start, field->siz);
        const auto *inner = bytes ? reinterpret_cast<const unsigned char *>(bytes->constData()) : nullptr;
        int innerSize = bytes ? int(bytes->size()) : 0;
        if (!bytes || !unwrapCalculated(&inner, &innerSize)) {
            sqlite3_result_null(context);
            return std::nullopt;
        }
        const int length = utf8Text(mdb, reinterpret_cast<const char *>(inner), innerSize, buffer);
        sqlite3_result_text(context, buffer.constData(), length, SQLITE_TRANSIENT);
        return std::nullopt;
    }
    if (calculated && !unwrapCalculated(&data, &size)) {
        sqlite3_result_null(context);
        return std::nullopt;
    }
    if (calculated && (type == MDB_BOOL || type == MDB_NUMERIC)) {
        if (type == MDB_BOOL) {
            sqlite3_result_int(context, data[0] != 0 ? -1 : 0);
        } else {
            resultDecimal(context, calculatedDecimalText(data, size).toStdString());
        }
        return std::nullopt;
    }
    if (size < fixedWidth(type)) {
        sqlite3_result_null(context);
        return std::nullopt;
    }
    switch (type) {
    case MDB_COMPLEX:
        return qFromLittleEndian<qint32>(data);
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
        char *text = mdb_numeric_to_string(mdb, field->start, column->col_scale, column->col_prec);
        resultDecimal(context, text ? std::string(text) : std::string());
        g_free(text);
        break;
    }
    case MDB_REPID:
        sqlite3_result_text(context, guidText(data).toUtf8().constData(), -1, SQLITE_TRANSIENT);
        break;
    case MDB_TEXT: {
        const int length = utf8Text(mdb, reinterpret_cast<const char *>(data), size, buffer);
        sqlite3_result_text(context, buffer.constData(), length, SQLITE_TRANSIENT);
        break;
    }
    case MDB_MEMO:
    case MDB_OLE: {
        const std::optional<QByteArray> bytes = longValue(mdb, field->start, field->siz);
        if (!bytes) {
            // A memo cut short is damage, never a shorter text.
            const QByteArray reason =
                QString(reasons::LongValueMissing).arg(QString::fromUtf8(column->name)).toUtf8();
            sqlite3_result_error(context, reason.constData(), int(reason.size()));
            sqlite3_result_error_code(context, SQLITE_CORRUPT);
            break;
        }
        if (type == MDB_OLE) {
            sqlite3_result_blob(context, bytes->constData(), int(bytes->size()), SQLITE_TRANSIENT);
            break;
        }
        const int length = utf8Text(mdb, bytes->constData(), bytes->size(), buffer);
        sqlite3_result_text(context, buffer.constData(), length, SQLITE_TRANSIENT);
        break;
    }
    case MDB_BINARY:
    default:
        sqlite3_result_blob(context, data, size, SQLITE_TRANSIENT);
        break;
    }
    return std::nullopt;
}

} // namespace kolta::jet::engine
