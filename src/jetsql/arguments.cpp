#include "sqlfunctions.h"

#include "vba.h"

#include <cmath>

namespace kolta::jetsql::functions {

QString textArg(sqlite3_value *v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        return QString::number(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
        return vba::numberText(sqlite3_value_double(v));
    case SQLITE_NULL:
        return QString();
    default:
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(v)), sqlite3_value_bytes(v));
    }
}

std::optional<double> numberArg(sqlite3_value *v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        return double(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
        return sqlite3_value_double(v);
    case SQLITE_TEXT:
        return vba::parseNumber(textArg(v));
    default:
        return std::nullopt;
    }
}

std::optional<double> dateArg(sqlite3_value *v)
{
    if (sqlite3_value_type(v) == SQLITE_TEXT) {
        QString t = textArg(v);
        if (std::optional<double> d = vba::parseDate(t))
            return d;
        return vba::parseNumber(t);
    }
    return numberArg(v);
}

void setText(sqlite3_context *ctx, const QString &s)
{
    QByteArray u = s.toUtf8();
    sqlite3_result_text(ctx, u.constData(), int(u.size()), SQLITE_TRANSIENT);
}

bool roomFor(sqlite3_context *ctx, double chars)
{
    if (chars <= double(texts::kMaxTextChars))
        return true;
    setError(ctx, texts::kOutOfStringSpace);
    return false;
}

void setJoined(sqlite3_context *ctx, const QString &a, const QString &b)
{
    if (roomFor(ctx, double(a.size()) + double(b.size())))
        setText(ctx, a + b);
}

void setNumber(sqlite3_context *ctx, double d)
{
    if (d == std::trunc(d) && std::fabs(d) < 9.0e15)
        sqlite3_result_int64(ctx, qint64(d));
    else
        sqlite3_result_double(ctx, d);
}

} // namespace kolta::jetsql::functions
