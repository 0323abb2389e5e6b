#include "jetsql.h"

#include "vba.h"

#include <QRegularExpression>

#include <sqlite3.h>

#include <cmath>

namespace kolta::jetsql {

namespace {

Error notA(const QString &text, const char *what)
{
    return Error{QStringLiteral("'%1' is not %2.").arg(text, QLatin1String(what))};
}

Result<QVariant> whole(const QString &text, double low, double high, const char *what)
{
    const std::optional<double> n = vba::parseNumber(text);
    if (!n)
        return notA(text, "a number");
    const double r = vba::roundBankers(*n);
    if (r < low || r > high)
        return Error{QStringLiteral("%1 is too large for %2 (%3 to %4).")
                         .arg(text, QLatin1String(what), QString::number(low, 'f', 0), QString::number(high, 'f', 0))};
    return QVariant(qlonglong(r));
}

} // namespace

Result<QVariant> parameterValue(const Parameter &parameter, const QString &typed)
{
    const QString text = typed.trimmed();
    // Access's parameter box gives Null when nothing is typed.
    if (text.isEmpty())
        return QVariant();
    switch (parameter.daoType) {
    case 1: {
        static const char *const truths[] = {"True", "Yes", "On"};
        static const char *const falsehoods[] = {"False", "No", "Off"};
        for (const char *t : truths)
            if (text.compare(QLatin1String(t), Qt::CaseInsensitive) == 0)
                return QVariant(qlonglong(-1));
        for (const char *f : falsehoods)
            if (text.compare(QLatin1String(f), Qt::CaseInsensitive) == 0)
                return QVariant(qlonglong(0));
        if (const std::optional<double> n = vba::parseNumber(text))
            return QVariant(qlonglong(*n != 0 ? -1 : 0));
        return notA(text, "Yes or No (True, False or a number)");
    }
    case 2:
        return whole(text, 0, 255, "a Byte");
    case 3:
        return whole(text, -32768, 32767, "an Integer");
    case 4:
        return whole(text, -2147483648.0, 2147483647.0, "a Long Integer");
    case 5: {
        const std::optional<double> n = vba::parseNumber(text);
        if (!n)
            return notA(text, "a number");
        const double units = vba::roundBankers(*n * 10000.0);
        if (std::fabs(units) > 9.2233720368547e18)
            return Error{QStringLiteral("%1 is too large for Currency.").arg(text)};
        return QVariant(qlonglong(units));
    }
    case 6:
    case 7: {
        const std::optional<double> n = vba::parseNumber(text);
        if (!n || !std::isfinite(*n))
            return notA(text, "a number");
        if (parameter.daoType == 6 && std::fabs(*n) > 3.402823466e38)
            return Error{QStringLiteral("%1 is too large for a Single.").arg(text)};
        return QVariant(*n);
    }
    case DaoDecimal: {
        static const QRegularExpression plain(QStringLiteral("^-?\\d{1,28}(\\.\\d{1,28})?$"));
        if (plain.match(text).hasMatch())
            return QVariant(text);
        const std::optional<double> n = vba::parseNumber(text);
        if (!n || !std::isfinite(*n))
            return notA(text, "a number");
        return QVariant(QString::number(*n, 'f', 10).remove(QRegularExpression(QStringLiteral("\\.?0+$"))));
    }
    case 8: {
        const std::optional<double> d = vba::parseDate(text);
        if (!d)
            return notA(text, "a date");
        return QVariant(*d);
    }
    default:
        return QVariant(typed);
    }
}

int bindValue(sqlite3_stmt *statement, int index, const QVariant &value)
{
    if (value.isNull())
        return sqlite3_bind_null(statement, index);
    if (value.typeId() == QMetaType::LongLong)
        return sqlite3_bind_int64(statement, index, value.toLongLong());
    if (value.typeId() == QMetaType::Double)
        return sqlite3_bind_double(statement, index, value.toDouble());
    const QByteArray text = value.toString().toUtf8();
    return sqlite3_bind_text(statement, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

} // namespace kolta::jetsql
