#include "aspwriter.h"
#include "aspwriter_p.h"

#include "texts.h"

#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QUrl>

namespace kolta::pagegen {

namespace {

bool fitsWindows1252(char32_t ch)
{
    if (ch < 0x80)
        return true;
    if (ch > 0xFFFF)
        return false;
    QStringEncoder encoder("windows-1252");
    const QByteArray encoded = encoder.encode(QString(QChar(char16_t(ch))));
    return !encoder.hasError() && encoded.size() == 1;
}

} // namespace

QString vbsLiteralBody(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar ch = value.at(i);
        const char16_t u = ch.unicode();
        if (u == u'"') {
            out += QLatin1StringView("\"\"");
        } else if (u == u'\r' && i + 1 < value.size() && value.at(i + 1) == u'\n') {
            out += QLatin1StringView("\" & vbCrLf & \"");
            ++i;
        } else if (u == u'\n') {
            out += QLatin1StringView("\" & vbLf & \"");
        } else if (u == u'\r') {
            out += QLatin1StringView("\" & vbCr & \"");
        } else if (u == u'%' && i + 1 < value.size() && value.at(i + 1) == u'>') {
            // The page server ends a script block at "%>" even inside a string.
            out += QLatin1StringView("%\" & \">");
            ++i;
        } else if ((u < 0x20 && u != u'\t') || !fitsWindows1252(u)) {
            // VBScript strings are UTF-16, so each code unit goes through ChrW.
            out += QLatin1StringView("\" & ChrW(") + QString::number(u) + QLatin1StringView(") & \"");
        } else {
            out += ch;
        }
    }
    return out;
}

QString oledbValue(const QString &value)
{
    const bool hasSemicolon = value.contains(QLatin1Char(';'));
    const bool hasSingle = value.contains(QLatin1Char('\''));
    const bool hasDouble = value.contains(QLatin1Char('"'));
    const bool padded = !value.isEmpty() && (value.front().isSpace() || value.back().isSpace());
    if (!hasSemicolon && !hasSingle && !hasDouble && !padded)
        return value;
    if (!hasDouble)
        return QLatin1Char('"') + value + QLatin1Char('"');
    if (!hasSingle)
        return QLatin1Char('\'') + value + QLatin1Char('\'');
    QString doubled = value;
    doubled.replace(QLatin1StringView("\""), QLatin1StringView("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

QString htmlText(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar ch = value.at(i);
        char32_t code = ch.unicode();
        if (ch.isHighSurrogate() && i + 1 < value.size() && value.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(ch, value.at(i + 1));
            ++i;
        }
        if (code == U'<' && i + 1 < value.size() && value.at(i + 1) == u'%') {
            // "<%" would open a script block of the page.
            out += QLatin1StringView("&lt;");
        } else if (fitsWindows1252(code)) {
            out += ch;
        } else {
            out += QLatin1StringView("&#") + QString::number(code) + QLatin1Char(';');
        }
    }
    return out;
}

bool isAceDatabase(const QString &path)
{
    return path.endsWith(QLatin1StringView(".accdb"), Qt::CaseInsensitive);
}

QString connectionString(const Module1 &s)
{
    if (!isAceDatabase(s.gDataSource.text())) {
        return QLatin1StringView("Provider=Microsoft.Jet.OLEDB.4.0;")
            + QLatin1StringView("User ID=") + oledbValue(s.gUserId.text())
            + QLatin1StringView(";Password=") + oledbValue(s.gPassword.text()) + QLatin1Char(';')
            + QLatin1StringView("Data Source=") + oledbValue(s.gDataSource.text()) + QLatin1Char(';')
            + QLatin1StringView("Persist Security Info=True;")
            + QLatin1StringView("Jet OLEDB:System database=") + oledbValue(s.gSystemDatabase.text());
    }
    // Jet 4.0 cannot open an ".accdb"; ACE can, and a workgroup key written
    // empty would only name a login that such a file never uses.
    QString connection = QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;");
    const auto key = [&connection](QLatin1StringView name, const QString &value) {
        if (!value.isEmpty())
            connection += name + QLatin1Char('=') + oledbValue(value) + QLatin1Char(';');
    };
    key(QLatin1StringView("User ID"), s.gUserId.text());
    key(QLatin1StringView("Password"), s.gPassword.text());
    connection += QLatin1StringView("Data Source=") + oledbValue(s.gDataSource.text()) + QLatin1Char(';');
    connection += QLatin1StringView("Persist Security Info=True");
    if (!s.gSystemDatabase.isEmpty())
        connection += QLatin1StringView(";Jet OLEDB:System database=") + oledbValue(s.gSystemDatabase.text());
    return connection;
}

namespace {

QString headingLine(const QString &label)
{
    return QLatin1StringView("  <TD><B>") + htmlText(label) + QLatin1StringView("</B></TD>");
}

} // namespace

Result<QStringList> headings(const Module1 &s)
{
    // The last heading index is computed once, as a 16-bit value.
    const int lastIndex = int(s.gFieldCount) - 1;
    if (lastIndex < -32768)
        return Error{QStringLiteral("The field count is out of range.")};
    QStringList lines;
    for (int i = 0; i <= lastIndex; ++i) {
        const std::optional<QString> label = s.gFieldLabels.at(i);
        if (!label)
            return Error{QStringLiteral("There is no heading for column %1.").arg(i + 1)};
        lines << headingLine(*label);
    }
    return lines;
}

QString htmlEncode(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('&'), QLatin1StringView("&amp;"));
    out.replace(QLatin1Char('<'), QLatin1StringView("&lt;"));
    out.replace(QLatin1Char('>'), QLatin1StringView("&gt;"));
    out.replace(QLatin1Char('"'), QLatin1StringView("&quot;"));
    return out;
}

QString withBackgroundIn(const QString &header, const QString &folder)
{
    static const QRegularExpression background(QStringLiteral("(<BODY\\b[^>]*\\bBACKGROUND=\")([^\"]*)\""),
                                               QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = background.match(header);
    if (!m.hasMatch() || folder.isEmpty())
        return header;
    const QString image = m.captured(2);
    // A page's relative address may use either slash; a scheme or a rooted path stays.
    const QString relative = QString(image).replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QUrl url(relative);
    if (relative.isEmpty() || relative.startsWith(QLatin1Char('/')) || (url.isValid() && !url.isRelative()))
        return header;
    const QString address = QUrl::fromLocalFile(QDir(folder).absoluteFilePath(relative)).toString(QUrl::FullyEncoded);
    QString out = header;
    out.replace(m.capturedStart(2), m.capturedLength(2), address);
    return out;
}

QByteArray toWindows1252(const QString &text)
{
    QStringEncoder encoder("windows-1252");
    return encoder.encode(text);
}

QString cellCount(qint16 count)
{
    // The count in the form of a number converted to text: a sign place first.
    return count < 0 ? QString::number(count) : QLatin1Char(' ') + QString::number(count);
}

QStringList rowLines(qint16 count)
{
    return {RowStart,
            CellLoopIndent + QLatin1StringView("<% for i=0 to ") + cellCount(count) + QLatin1StringView("-1 %>"),
            CellStart + QLatin1StringView("<%= Server.HTMLEncode(rs.fields(i).value & \"\") %>") + CellEnd,
            CellLoopIndent + QLatin1StringView("<% next %>"),
            RowEnd};
}

Result<QByteArray> composeAspPage(const Module1 &s)
{
    if (hasPageOptions(s))
        return composeOptionsPage(s);
    const auto headingLines = headings(s);
    if (!headingLines.ok())
        return headingLines.error();

    QString page;
    auto line = [&page](const QString &text) { page += text + CrLf; };
    const QChar q(u'"');

    line(htmlText(s.gPageHeader));
    line(QStringLiteral("<% "));
    line(QStringLiteral("set db=server.createobject(\"ADODB.Connection\")"));
    line(QLatin1StringView("db.open ") + q + vbsLiteralBody(connectionString(s)) + q);
    line(QLatin1StringView("sqlquery=") + q + vbsLiteralBody(s.gSqlQuery.text()) + q);
    line(QStringLiteral("set rs=db.execute(sqlquery)"));
    line(QStringLiteral(" %>"));
    line(QStringLiteral("<TR>"));
    for (const QString &heading : headingLines.value())
        line(heading);
    line(QStringLiteral("</TR>"));
    line(QStringLiteral("<% do while not rs.eof %>"));
    for (const QString &row : rowLines(s.gFieldCount))
        line(row);
    line(QStringLiteral("<% "));
    line(QStringLiteral(" rs.movenext"));
    line(QStringLiteral(" loop"));
    line(QStringLiteral("db.close"));
    line(QStringLiteral(" %>"));
    line(PageEnd);
    return toWindows1252(page);
}

Result<QString> composePagePreview(const Module1 &s, const PageRows &result, const QString &imageFolder)
{
    if (hasPageOptions(s))
        return composeOptionsPreview(s, result, imageFolder);
    const auto headingLines = headings(s);
    if (!headingLines.ok())
        return headingLines.error();
    // What the page writes: its text outside the script blocks as it stands,
    // each line end included, and the encoded cells.
    QString html = withBackgroundIn(htmlText(s.gPageHeader), imageFolder) + CrLf;
    html += CrLf + QLatin1StringView("<TR>") + CrLf;
    for (const QString &heading : headingLines.value())
        html += heading + CrLf;
    html += QLatin1StringView("</TR>") + CrLf;
    for (const QVariantList &row : result.rows) {
        html += CrLf + RowStart + CrLf + CellLoopIndent;
        for (int i = 0; i < s.gFieldCount; ++i) {
            if (i >= row.size())
                return Error{QStringLiteral(
                    "The page reads %1 columns but its statement gives %2: press Set in the SQL statement window.")
                                            .arg(s.gFieldCount)
                                            .arg(result.columns)};
            html += CrLf + CellStart + htmlEncode(row.at(i).toString()) + CellEnd + CrLf + CellLoopIndent;
        }
        html += CrLf + RowEnd + CrLf;
    }
    if (result.moreRows > 0)
        html += QStringLiteral("<TR><TD COLSPAN=\"%1\"><I>").arg(qMax(1, int(s.gFieldCount)))
            + QString(texts::PreviewMoreRows).arg(QLocale(QLocale::English, QLocale::UnitedStates).toString(result.moreRows))
            + QLatin1StringView("</I></TD></TR>") + CrLf;
    html += CrLf + PageEnd + CrLf;
    return html;
}

} // namespace kolta::pagegen
