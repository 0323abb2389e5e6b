#include "pageheader.h"

namespace kolta::pagegen {

namespace {

void appendAttribute(QString &out, QLatin1StringView name, const QString &value)
{
    if (value.isEmpty())
        return;
    out += QLatin1Char(' ');
    out += name;
    out += QLatin1Char('=');
    out += value;
}

} // namespace

QString BuildPageHeader(const QString &caption, const QString &bgColor, const QString &background,
                        const QString &align, const QString &border, const QString &borderColor,
                        const QString &rules, const QString &cellPadding, const QString &cellSpacing)
{
    QString out;
    out += QLatin1StringView("<HTML><TITLE>") + caption + QLatin1StringView("</TITLE>");
    out += QLatin1StringView("<H1><P ALIGN=LEFT>") + caption + QLatin1StringView("</P></H1>");

    // The tags are opened even without a colour or an alignment, so that the
    // page still has a body and a table for the rows to go in.
    out += QLatin1StringView("<BODY");
    appendAttribute(out, QLatin1StringView("BGCOLOR"), bgColor);
    if (!background.isEmpty())
        out += QLatin1StringView(" BACKGROUND=\"") + background + QLatin1Char('"');
    out += QLatin1Char('>');

    out += QLatin1StringView("<TABLE");
    appendAttribute(out, QLatin1StringView("ALIGN"), align);
    appendAttribute(out, QLatin1StringView("BORDER"), border);
    appendAttribute(out, QLatin1StringView("BORDERCOLOR"), borderColor);
    appendAttribute(out, QLatin1StringView("RULES"), rules);
    appendAttribute(out, QLatin1StringView("CELLPADDING"), cellPadding);
    appendAttribute(out, QLatin1StringView("CELLSPACING"), cellSpacing);
    out += QLatin1Char('>');
    return out;
}

QString ColorToText(quint32 color)
{
    return QString::number(color, 16).toUpper();
}

} // namespace kolta::pagegen
