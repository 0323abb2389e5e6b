// The page with options: a search form for the statement's parameters,
// paging, and a text for an empty result.
#include "aspwriter_p.h"

#include "texts.h"

#include <QLocale>
#include <algorithm>
#include <QRegularExpression>

namespace kolta::pagegen {

namespace {

// How a value typed for a parameter is checked and bound.
enum class Check { Text, Number, Whole, Date, Boolean };

struct Binding
{
    QLatin1StringView adoType;   // the page's constant
    int adoValue = 0;
    Check check = Check::Text;
    QLatin1StringView convert;   // the VBScript conversion of the checked value
    qint64 low = 0;              // the range of a whole number
    qint64 high = 0;
};

Binding bindingOf(jet::DaoType type)
{
    using L = QLatin1StringView;
    switch (type) {
    case jet::dbBoolean: return {L("adBoolean"), 11, Check::Boolean, L("CBool"), 0, 0};
    case jet::dbByte: return {L("adUnsignedTinyInt"), 17, Check::Whole, L("CInt"), 0, 255};
    case jet::dbInteger: return {L("adSmallInt"), 2, Check::Whole, L("CInt"), -32768, 32767};
    case jet::dbLong: return {L("adInteger"), 3, Check::Whole, L("CLng"), -2147483647 - 1, 2147483647};
    case jet::dbCurrency: return {L("adCurrency"), 6, Check::Number, L("CCur"), 0, 0};
    case jet::dbSingle: return {L("adSingle"), 4, Check::Number, L("CSng"), 0, 0};
    case jet::dbDouble: return {L("adDouble"), 5, Check::Number, L("CDbl"), 0, 0};
    case jet::dbDate: return {L("adDate"), 7, Check::Date, L("CDate"), 0, 0};
    // VBScript has no decimal type: the provider converts the checked text.
    case jet::dbDecimal: return {L("adNumeric"), 131, Check::Number, L(""), 0, 0};
    case jet::dbMemo: return {L("adLongVarWChar"), 203, Check::Text, L(""), 0, 0};
    default: return {L("adVarWChar"), 202, Check::Text, L(""), 0, 0};
    }
}

int textSize(const QueryParameter &p)
{
    if (p.type == jet::dbMemo)
        return 1073741823;
    return p.size > 0 ? p.size : 255;
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + vbsLiteralBody(text) + QLatin1Char('"');
}

// A parameter's name as the page shows it.
QString shownName(const QueryParameter &p)
{
    return htmlText(htmlEncode(p.name));
}

QString boxName(int index)
{
    return QLatin1Char('p') + QString::number(index + 1);
}

// Where the header's table starts: the form goes before it.
qsizetype tableStart(const QString &header)
{
    static const QRegularExpression table(QStringLiteral("<TABLE(?=[\\s>/]|$)"),
                                          QRegularExpression::CaseInsensitiveOption);
    qsizetype at = -1;
    for (QRegularExpressionMatchIterator it = table.globalMatch(header); it.hasNext();)
        at = it.next().capturedStart();
    return at < 0 ? header.size() : at;
}

QString emptyRow(const Module1 &s)
{
    return QStringLiteral("<TR><TD COLSPAN=\"%1\">").arg(qMax(1, int(s.gFieldCount)))
        + htmlText(htmlEncode(s.gNoRecordsText)) + QLatin1StringView("</TD></TR>");
}

const QLatin1StringView FormEnd("<INPUT TYPE=\"submit\" VALUE=\"Search\">");

} // namespace

bool hasPageOptions(const Module1 &s)
{
    return !s.gParameters.isEmpty() || s.gRowsPerPage > 0 || !s.gNoRecordsText.isEmpty();
}

Result<QByteArray> composeOptionsPage(const Module1 &s)
{
    const auto headingLines = headings(s);
    if (!headingLines.ok())
        return headingLines.error();
    const bool search = !s.gParameters.isEmpty();
    const bool paged = s.gRowsPerPage > 0;

    QString page;
    auto line = [&page](const QString &text) { page += text + CrLf; };
    const QString header = s.gPageHeader;
    const qsizetype split = tableStart(header);

    if (search) {
        page += htmlText(header.left(split)) + CrLf;
        // The values are checked before the form shows them, so that what is
        // wrong stands under it.
        line(QStringLiteral("<% "));
        line(QStringLiteral("searched = (Request.QueryString(\"search\") = \"1\")"));
        line(QStringLiteral("problem = \"\""));
        for (int i = 0; i < s.gParameters.size(); ++i)
            line(boxName(i) + QLatin1StringView(" = Request.QueryString(\"") + boxName(i) + QLatin1StringView("\") & \"\""));
        const bool hasDate = std::any_of(s.gParameters.cbegin(), s.gParameters.cend(),
                                         [](const QueryParameter &p) { return bindingOf(p.type).check == Check::Date; });
        if (hasDate) {
            // What CDate takes, so that binding cannot fail.
            line(QStringLiteral("function isDateText(v)"));
            line(QStringLiteral(" on error resume next"));
            line(QStringLiteral(" d = CDate(v)"));
            line(QStringLiteral(" isDateText = (Err.Number = 0)"));
            line(QStringLiteral("end function"));
        }
        line(QStringLiteral("if searched then"));
        for (int i = 0; i < s.gParameters.size(); ++i) {
            const QueryParameter &p = s.gParameters.at(i);
            const Binding b = bindingOf(p.type);
            const QString v = boxName(i);
            const QString name = QLatin1StringView("&quot;") + shownName(p) + QLatin1StringView("&quot;");
            auto say = [&](const QString &what) {
                line(QLatin1StringView(" problem = problem & ") + quoted(QLatin1StringView("<LI>The box ") + name + QLatin1Char(' ') + what + QLatin1StringView("</LI>")));
            };
            line(QLatin1StringView(" if ") + v + QLatin1StringView(" = \"\" then"));
            say(QStringLiteral("is empty: every box needs a value."));
            switch (b.check) {
            case Check::Text:
                if (p.type != jet::dbMemo) {
                    line(QLatin1StringView(" elseif Len(") + v + QLatin1StringView(") > ") + QString::number(textSize(p)) + QLatin1StringView(" then"));
                    say(QStringLiteral("takes at most %1 characters.").arg(textSize(p)));
                }
                break;
            case Check::Number:
                line(QLatin1StringView(" elseif not IsNumeric(") + v + QLatin1StringView(") then"));
                say(QStringLiteral("needs a number."));
                break;
            case Check::Whole:
                line(QLatin1StringView(" elseif not IsNumeric(") + v + QLatin1StringView(") then"));
                say(QStringLiteral("needs a whole number."));
                line(QLatin1StringView(" elseif Round(CDbl(") + v + QLatin1StringView(")) < ") + QString::number(b.low)
                     + QLatin1StringView(" or Round(CDbl(") + v + QLatin1StringView(")) > ") + QString::number(b.high)
                     + QLatin1StringView(" then"));
                say(QStringLiteral("needs a whole number from %1 to %2.").arg(b.low).arg(b.high));
                break;
            case Check::Date:
                line(QLatin1StringView(" elseif IsNumeric(") + v + QLatin1StringView(") or not isDateText(") + v
                     + QLatin1StringView(") then"));
                say(QStringLiteral("needs a date."));
                break;
            case Check::Boolean:
                line(QLatin1StringView(" elseif not (IsNumeric(") + v + QLatin1StringView(") or LCase(") + v
                     + QLatin1StringView(") = \"true\" or LCase(") + v + QLatin1StringView(") = \"false\") then"));
                say(QStringLiteral("needs True or False."));
                break;
            }
            line(QStringLiteral(" end if"));
        }
        line(QStringLiteral("end if"));
        line(QStringLiteral("ran = searched and problem = \"\""));
        line(QStringLiteral(" %>"));
        line(QStringLiteral("<FORM METHOD=\"GET\" ACTION=\"<%= Server.HTMLEncode(Request.ServerVariables(\"SCRIPT_NAME\")) %>\">"));
        line(QStringLiteral("<INPUT TYPE=\"hidden\" NAME=\"search\" VALUE=\"1\">"));
        for (int i = 0; i < s.gParameters.size(); ++i) {
            const QString v = boxName(i);
            line(QLatin1StringView("<LABEL FOR=\"") + v + QLatin1StringView("\">") + shownName(s.gParameters.at(i))
                 + QLatin1StringView("</LABEL> <INPUT TYPE=\"text\" NAME=\"") + v + QLatin1StringView("\" ID=\"") + v
                 + QLatin1StringView("\" VALUE=\"<%= Server.HTMLEncode(") + v + QLatin1StringView(") %>\">"));
        }
        line(FormEnd);
        line(QStringLiteral("</FORM>"));
        line(QStringLiteral("<% if problem <> \"\" then %><UL><%= problem %></UL><% end if %>"));
        line(htmlText(header.mid(split)));
    } else {
        line(htmlText(header));
    }

    line(QStringLiteral("<% "));
    // VBScript knows none of ADO's constants.
    QStringList constants;
    if (paged)
        constants << QStringLiteral("adUseClient = 3") << QStringLiteral("adOpenStatic = 3")
                  << QStringLiteral("adLockReadOnly = 1");
    if (search) {
        constants << QStringLiteral("adCmdText = 1") << QStringLiteral("adParamInput = 1");
        QList<int> declared;
        for (const QueryParameter &p : s.gParameters) {
            const Binding b = bindingOf(p.type);
            if (!declared.contains(b.adoValue)) {
                declared << b.adoValue;
                constants << b.adoType + QLatin1StringView(" = ") + QString::number(b.adoValue);
            }
        }
    } else if (paged) {
        constants << QStringLiteral("adCmdText = 1");
    }
    for (const QString &c : constants)
        line(QLatin1StringView("Const ") + c);
    line(QStringLiteral("shown = 0"));
    if (search)
        line(QStringLiteral("if ran then"));
    line(QStringLiteral("set db=server.createobject(\"ADODB.Connection\")"));
    line(QLatin1StringView("db.open ") + quoted(connectionString(s)));
    line(QLatin1StringView("sqlquery=") + quoted(s.gSqlQuery.text()));
    if (search) {
        line(QStringLiteral("set cmd=server.createobject(\"ADODB.Command\")"));
        line(QStringLiteral("set cmd.ActiveConnection=db"));
        line(QStringLiteral("cmd.CommandText=sqlquery"));
        line(QStringLiteral("cmd.CommandType=adCmdText"));
        // Jet binds by position: appended in the statement's order.
        for (int i = 0; i < s.gParameters.size(); ++i) {
            const QueryParameter &p = s.gParameters.at(i);
            const Binding b = bindingOf(p.type);
            const QString v = boxName(i);
            const QString size = b.check == Check::Text ? QString::number(textSize(p)) : QStringLiteral("0");
            const QString value = b.convert.isEmpty() ? v : b.convert + QLatin1Char('(') + v + QLatin1Char(')');
            line(QLatin1StringView("set prm=cmd.CreateParameter(") + quoted(p.name) + QLatin1StringView(", ") + b.adoType
                 + QLatin1StringView(", adParamInput, ") + size + QLatin1StringView(", ") + value + QLatin1Char(')'));
            if (p.type == jet::dbDecimal) {
                line(QStringLiteral("prm.Precision=28"));
                line(QStringLiteral("prm.NumericScale=10"));
            }
            line(QStringLiteral("cmd.Parameters.Append prm"));
        }
    }
    if (paged) {
        line(QStringLiteral("set rs=server.createobject(\"ADODB.Recordset\")"));
        line(QStringLiteral("rs.CursorLocation=adUseClient"));
        line(QLatin1StringView("rs.PageSize=") + QString::number(s.gRowsPerPage));
        if (search)
            line(QStringLiteral("rs.Open cmd, , adOpenStatic, adLockReadOnly"));
        else
            line(QStringLiteral("rs.Open sqlquery, db, adOpenStatic, adLockReadOnly, adCmdText"));
        line(QStringLiteral("pageCount=rs.PageCount"));
        // IsNumeric takes "1e5" and "&H10", and CLng overflows past 9 digits.
        line(QStringLiteral("pg=1"));
        line(QStringLiteral("pgText=Request.QueryString(\"page\") & \"\""));
        line(QStringLiteral("digits=(Len(pgText) > 0)"));
        line(QStringLiteral("for k=1 to Len(pgText)"));
        line(QStringLiteral(" if InStr(\"0123456789\", Mid(pgText, k, 1)) = 0 then digits=false"));
        line(QStringLiteral("next"));
        line(QStringLiteral("if digits then"));
        line(QStringLiteral(" do while Len(pgText) > 1 and Left(pgText, 1) = \"0\""));
        line(QStringLiteral("  pgText=Mid(pgText, 2)"));
        line(QStringLiteral(" loop"));
        line(QStringLiteral(" if Len(pgText) <= 9 then pg=CLng(pgText) else pg=pageCount"));
        line(QStringLiteral("end if"));
        line(QStringLiteral("if pg > pageCount then pg=pageCount"));
        line(QStringLiteral("if pg < 1 then pg=1"));
        line(QStringLiteral("if pageCount > 0 then rs.AbsolutePage=pg"));
    } else if (search) {
        line(QStringLiteral("set rs=cmd.Execute"));
    } else {
        line(QStringLiteral("set rs=db.execute(sqlquery)"));
    }
    if (search)
        line(QStringLiteral("end if"));
    line(QStringLiteral(" %>"));
    if (search)
        line(QStringLiteral("<% if ran then %>"));
    line(QStringLiteral("<TR>"));
    for (const QString &heading : headingLines.value())
        line(heading);
    line(QStringLiteral("</TR>"));
    if (paged)
        line(QLatin1StringView("<% do while not rs.eof and shown < ") + QString::number(s.gRowsPerPage)
             + QLatin1StringView(" %>"));
    else
        line(QStringLiteral("<% do while not rs.eof %>"));
    for (const QString &row : rowLines(s.gFieldCount))
        line(row);
    line(QStringLiteral("<% "));
    line(QStringLiteral(" shown = shown + 1"));
    line(QStringLiteral(" rs.movenext"));
    line(QStringLiteral(" loop"));
    line(QStringLiteral("rs.close"));
    line(QStringLiteral("db.close"));
    line(QStringLiteral(" %>"));
    if (!s.gNoRecordsText.isEmpty()) {
        line(QStringLiteral("<% if shown = 0 then %>"));
        line(emptyRow(s));
        line(QStringLiteral("<% end if %>"));
    }
    if (search)
        line(QStringLiteral("<% end if %>"));
    if (!paged) {
        line(PageEnd);
        return toWindows1252(page);
    }
    line(QStringLiteral("</TABLE>"));
    line(QStringLiteral("<% if pageCount > 0 then"));
    line(QStringLiteral("here=Server.HTMLEncode(Request.ServerVariables(\"SCRIPT_NAME\")) & \"?page=\""));
    QString carried;
    for (int i = 0; i < s.gParameters.size(); ++i)
        carried += QLatin1StringView(" & \"&amp;") + boxName(i) + QLatin1StringView("=\" & Server.URLEncode(")
            + boxName(i) + QLatin1Char(')');
    line(QLatin1StringView("carried=\"") + (search ? QStringLiteral("&amp;search=1\"") : QStringLiteral("\"")) + carried);
    line(QStringLiteral(" %>"));
    line(QStringLiteral("<P>"));
    line(QStringLiteral("<% if pg > 1 then %><A HREF=\"<%= here & 1 & carried %>\">First</A> <A HREF=\"<%= here & (pg - 1) & carried %>\">Previous</A><% else %>First Previous<% end if %>"));
    line(QStringLiteral("Page <%= pg %> of <%= pageCount %>"));
    line(QStringLiteral("<% if pg < pageCount then %><A HREF=\"<%= here & (pg + 1) & carried %>\">Next</A> <A HREF=\"<%= here & pageCount & carried %>\">Last</A><% else %>Next Last<% end if %>"));
    line(QStringLiteral("</P>"));
    line(QStringLiteral("<% end if %>"));
    line(QStringLiteral("</BODY></HTML>"));
    return toWindows1252(page);
}

Result<QString> composeOptionsPreview(const Module1 &s, const PageRows &result, const QString &imageFolder)
{
    const auto headingLines = headings(s);
    if (!headingLines.ok())
        return headingLines.error();
    const QString header = withBackgroundIn(htmlText(s.gPageHeader), imageFolder);
    const qsizetype split = tableStart(header);
    QString html;
    if (!s.gParameters.isEmpty()) {
        // After a search with the values of the last try.
        html += header.left(split) + CrLf;
        html += QStringLiteral("<FORM METHOD=\"GET\" ACTION=\"\">") + CrLf;
        for (int i = 0; i < s.gParameters.size(); ++i) {
            const QueryParameter &p = s.gParameters.at(i);
            html += QLatin1StringView("<LABEL FOR=\"") + boxName(i) + QLatin1StringView("\">") + shownName(p)
                + QLatin1StringView("</LABEL> <INPUT TYPE=\"text\" NAME=\"") + boxName(i) + QLatin1StringView("\" ID=\"")
                + boxName(i) + QLatin1StringView("\" VALUE=\"") + htmlEncode(p.value) + QLatin1StringView("\">") + CrLf;
        }
        html += FormEnd + CrLf + QLatin1StringView("</FORM>") + CrLf;
        html += header.mid(split) + CrLf;
    } else {
        html += header + CrLf;
    }
    html += QLatin1StringView("<TR>") + CrLf;
    for (const QString &heading : headingLines.value())
        html += heading + CrLf;
    html += QLatin1StringView("</TR>") + CrLf;
    const qint64 total = result.rows.size() + result.moreRows;
    const int perPage = s.gRowsPerPage;
    const qsizetype shown = perPage > 0 ? qMin<qsizetype>(perPage, result.rows.size()) : result.rows.size();
    for (qsizetype r = 0; r < shown; ++r) {
        const QVariantList &row = result.rows.at(r);
        html += RowStart + CrLf;
        for (int i = 0; i < s.gFieldCount; ++i) {
            if (i >= row.size())
                return Error{QStringLiteral(
                    "The page reads %1 columns but its statement gives %2: press Set in the SQL statement window.")
                                 .arg(s.gFieldCount)
                                 .arg(result.columns)};
            html += CellStart + htmlEncode(row.at(i).toString()) + CellEnd + CrLf;
        }
        html += RowEnd + CrLf;
    }
    if (total == 0 && !s.gNoRecordsText.isEmpty())
        html += emptyRow(s) + CrLf;
    if (perPage <= 0 && result.moreRows > 0)
        html += QStringLiteral("<TR><TD COLSPAN=\"%1\"><I>").arg(qMax(1, int(s.gFieldCount)))
            + QString(texts::PreviewMoreRows).arg(QLocale(QLocale::English, QLocale::UnitedStates).toString(result.moreRows))
            + QLatin1StringView("</I></TD></TR>") + CrLf;
    if (perPage <= 0) {
        html += PageEnd + CrLf;
        return html;
    }
    html += QLatin1StringView("</TABLE>") + CrLf;
    const qint64 pages = (total + perPage - 1) / perPage;
    // The links need the server: the preview names them only.
    if (pages > 0)
        html += QStringLiteral("<P>First Previous Page 1 of %1 %2</P>")
                    .arg(pages)
                    .arg(pages > 1 ? QStringLiteral("<U>Next</U> <U>Last</U>") : QStringLiteral("Next Last"))
            + CrLf;
    html += QLatin1StringView("</BODY></HTML>") + CrLf;
    return html;
}

} // namespace kolta::pagegen
