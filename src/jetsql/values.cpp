#include "values.h"

#include "decimal.h"
#include "vba.h"

#include <QDate>
#include <cmath>

namespace kolta::jetsql {

ValueKind kindForDaoType(int daoType)
{
    switch (daoType) {
    case 1: return ValueKind::Boolean;
    case 2: case 3: case 4: return ValueKind::Integer;
    case 5: return ValueKind::Currency;
    case 6: case 7: case 20: return ValueKind::Double;
    case 8: return ValueKind::Date;
    case 9: case 11: return ValueKind::Binary;
    case 10: case 12: case 15: return ValueKind::Text;
    default: return ValueKind::Variant;
    }
}

double oleDate(int year, int month, int day, int hour, int minute, int second)
{
    if (!QDate::isValid(year, month, day) || hour < 0 || hour > 23 || minute < 0 || minute > 59
        || second < 0 || second > 59)
        return std::nan("");
    qint64 n = QDate(year, month, day).toJulianDay() - QDate(1899, 12, 30).toJulianDay();
    return vba::fromDayAndSeconds(n, hour * 3600 + minute * 60 + second);
}

double oleDateFromDateTime(const QDateTime &dateTime)
{
    QDate d = dateTime.date();
    QTime t = dateTime.time();
    return oleDate(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

QDateTime dateTimeFromOle(double ole)
{
    vba::DateParts p = vba::dateParts(ole);
    return QDateTime(QDate(p.year, p.month, p.day), QTime(p.hour, p.minute, p.second), Qt::UTC);
}

namespace {

bool isNull(const QVariant &v) { return !v.isValid() || v.isNull(); }

// Jet's dates run from 1/1/100 to 12/31/9999; a number outside (a date moved
// too far) has no calendar form and shows as the number.
bool isDate(double n) { return n >= -657434.0 && n < 2958466.0; }

bool asNumber(const QVariant &v, double &out)
{
    switch (v.typeId()) {
    case QMetaType::LongLong: case QMetaType::Int: case QMetaType::UInt: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Float: case QMetaType::Bool:
        out = v.toDouble();
        return true;
    default:
        return false;
    }
}

// Currency kept exact: ten-thousandths as a decimal without trailing zeros.
QString currencyText(qint64 tenThousandths)
{
    const bool negative = tenThousandths < 0;
    const quint64 magnitude = negative ? 0 - quint64(tenThousandths) : quint64(tenThousandths);
    QString text = QString::number(magnitude / 10000);
    if (const quint64 fraction = magnitude % 10000) {
        QString digits = QStringLiteral("%1").arg(fraction, 4, 10, QLatin1Char('0'));
        while (digits.endsWith(QLatin1Char('0')))
            digits.chop(1);
        text += QLatin1Char('.') + digits;
    }
    return negative ? QLatin1Char('-') + text : text;
}

bool isInteger(const QVariant &v)
{
    return v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int;
}

QString plain(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::LongLong: case QMetaType::Int: case QMetaType::UInt: case QMetaType::ULongLong:
    case QMetaType::Bool:
        return QString::number(v.toLongLong());
    case QMetaType::Double: case QMetaType::Float:
        return vba::numberText(v.toDouble());
    case QMetaType::QByteArray:
        return QString::fromLatin1(v.toByteArray().toHex());
    default:
        return v.toString();
    }
}

} // namespace

QString displayText(const QVariant &value, ValueKind kind)
{
    if (isNull(value))
        return QString();
    double n = 0;
    switch (kind) {
    case ValueKind::Boolean:
        if (asNumber(value, n))
            return n != 0 ? QStringLiteral("True") : QStringLiteral("False");
        break;
    case ValueKind::Date:
        if (asNumber(value, n) && isDate(n))
            return vba::dateText(n);
        break;
    case ValueKind::Currency:
        if (isInteger(value))
            return currencyText(value.toLongLong());
        if (asNumber(value, n))
            return vba::numberText(vba::roundHalfAway(n, 4));
        break;
    case ValueKind::Binary:
        if (value.typeId() == QMetaType::QByteArray)
            return QStringLiteral("(binary data)");
        break;
    default:
        break;
    }
    if (value.typeId() == QMetaType::QByteArray)
        return QStringLiteral("(binary data)");
    return plain(value);
}

bool showsNumber(const QVariant &value, ValueKind kind)
{
    // A Decimal comes as its exact text.
    if (kind == ValueKind::Double && value.typeId() == QMetaType::QString)
        return parseDecimal(value.toString().toStdString()).has_value();
    double n = 0;
    if (isNull(value) || !asNumber(value, n))
        return false;
    return kind != ValueKind::Boolean && !(kind == ValueKind::Date && isDate(n));
}

QString pageText(const QVariant &value, ValueKind kind)
{
    if (isNull(value))
        return QString();
    double n = 0;
    if (kind == ValueKind::Date && asNumber(value, n) && n == 0)
        return QStringLiteral("12:00:00 AM");
    if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = value.toByteArray();
        QString text(bytes.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = QChar(char16_t(quint8(bytes.at(2 * i)) | (quint8(bytes.at(2 * i + 1)) << 8)));
        return text;
    }
    return displayText(value, kind);
}

QString rawText(const QVariant &value, ValueKind kind)
{
    if (isNull(value))
        return QString();
    double n = 0;
    if (kind == ValueKind::Date && asNumber(value, n) && isDate(n))
        return vba::dateText(n, true);
    if (kind == ValueKind::Boolean && asNumber(value, n))
        return n != 0 ? QStringLiteral("-1") : QStringLiteral("0");
    if (kind == ValueKind::Currency && isInteger(value))
        return currencyText(value.toLongLong());
    return plain(value);
}

} // namespace kolta::jetsql
