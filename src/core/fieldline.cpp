#include "fieldline.h"

#include "dao.h"

namespace kolta::browse {

QString typeText(qint16 type, bool calculated)
{
    if (calculated)
        return QLatin1Char('=') + typeText(type);
    switch (type) {
    case 1: return QStringLiteral("boolean");
    case 2: return QStringLiteral("byte");
    case 3: return QStringLiteral("integer");
    case 4: return QStringLiteral("long");
    case 5: return QStringLiteral("currency");
    case 6: return QStringLiteral("single");
    case 7: return QStringLiteral("double");
    case 8: return QStringLiteral("date/time");
    case 9: return QStringLiteral("binary");
    case 10: return QStringLiteral("string");
    case 11: return QStringLiteral("OLE object");
    case 12: return QStringLiteral("memo");
    case 15: return QStringLiteral("rep. id");
    case 16: return QStringLiteral("bigint");
    case 17: return QStringLiteral("varbinary");
    case 18: return QStringLiteral("char");
    case 19: return QStringLiteral("numeric");
    case 20: return QStringLiteral("decimal");
    case 21: return QStringLiteral("float");
    case 22: return QStringLiteral("time");
    case 23: return QStringLiteral("timestamp");
    case jet::dbAttachment: return QStringLiteral("attachment");
    // Multi-valued columns, by the type of their values.
    case 102: return QStringLiteral("mv byte");
    case 103: return QStringLiteral("mv integer");
    case 104: return QStringLiteral("mv long");
    case 105: return QStringLiteral("mv single");
    case 106: return QStringLiteral("mv double");
    case 107: return QStringLiteral("mv rep. id");
    case 108: return QStringLiteral("mv decimal");
    case jet::dbComplexText: return QStringLiteral("mv string");
    case jet::ExtendedDateTime: return QStringLiteral("ext. date");
    case jet::VersionHistory: return QStringLiteral("versions");
    default: return QStringLiteral("unknown");
    }
}

QString signedText(qint64 value)
{
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}

QString fieldLine(const QString &name, qint16 type, qint32 size, bool calculated)
{
    const QString type_ = typeText(type, calculated);
    const QString size_ = signedText(size);
    // A name too long for its column still keeps one blank before the type.
    QString line = name.size() > NameColumns ? name + QLatin1Char(' ')
                                             : name.leftJustified(NameColumns, QLatin1Char(' '));
    line += type_;
    line += QString(qMax<qsizetype>(0, TypeSizeColumns - type_.size() - size_.size()), QLatin1Char(' '));
    line += size_;
    return line;
}

} // namespace kolta::browse
