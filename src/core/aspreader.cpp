#include "aspreader.h"

#include "aspwriter_p.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace kolta::pagegen {

namespace {

// A VBScript string expression as vbsLiteralBody writes it, from its opening quote.
std::optional<QString> vbsString(const QString &line, qsizetype from)
{
    QString out;
    qsizetype i = from;
    for (;;) {
        if (i >= line.size() || line.at(i) != u'"')
            return std::nullopt;
        for (++i;; ++i) {
            if (i >= line.size())
                return std::nullopt;
            if (line.at(i) == u'"') {
                if (i + 1 < line.size() && line.at(i + 1) == u'"') {
                    out += u'"';
                    ++i;
                    continue;
                }
                ++i;
                break;
            }
            out += line.at(i);
        }
        // What may follow a literal before the next one.
        static const QRegularExpression joint(QStringLiteral("\\G & (?:(vbCrLf|vbLf|vbCr)|ChrW\\((\\d+)\\)) & "));
        const QRegularExpressionMatch m = joint.match(line, i, QRegularExpression::NormalMatch,
                                                      QRegularExpression::AnchorAtOffsetMatchOption);
        if (m.hasMatch()) {
            const QString word = m.captured(1);
            out += word == QLatin1String("vbCrLf") ? QStringLiteral("\r\n")
                 : word == QLatin1String("vbLf")   ? QStringLiteral("\n")
                 : word == QLatin1String("vbCr")   ? QStringLiteral("\r")
                                                   : QString(QChar(char16_t(m.captured(2).toUInt())));
            i = m.capturedEnd();
            continue;
        }
        if (line.mid(i, 3) == QLatin1String(" & ")) {
            i += 3;
            continue;
        }
        return line.mid(i).startsWith(QLatin1Char(',')) || i == line.size() ? std::optional<QString>(out)
                                                                            : std::nullopt;
    }
}

// The values of a connection string as oledbValue writes them.
QHash<QString, QString> connectionValues(const QString &text)
{
    QHash<QString, QString> values;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype eq = text.indexOf(QLatin1Char('='), i);
        if (eq < 0)
            break;
        const QString key = text.mid(i, eq - i);
        QString value;
        qsizetype j = eq + 1;
        if (j < text.size() && (text.at(j) == u'"' || text.at(j) == u'\'')) {
            const QChar quote = text.at(j);
            for (++j; j < text.size(); ++j) {
                if (text.at(j) == quote) {
                    if (j + 1 < text.size() && text.at(j + 1) == quote) {
                        value += quote;
                        ++j;
                        continue;
                    }
                    ++j;
                    break;
                }
                value += text.at(j);
            }
        } else {
            const qsizetype end = text.indexOf(QLatin1Char(';'), j);
            value = text.mid(j, end < 0 ? -1 : end - j);
            j = end < 0 ? text.size() : end;
        }
        values.insert(key, value);
        i = j + 1;
    }
    return values;
}

// The text of HTML that htmlText(htmlEncode(...)) wrote.
QString htmlDecoded(const QString &html)
{
    static const QRegularExpression entity(QStringLiteral("&(amp|lt|gt|quot|#\\d+);"));
    QString out;
    qsizetype last = 0;
    for (QRegularExpressionMatchIterator it = entity.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += html.mid(last, m.capturedStart() - last);
        const QString name = m.captured(1);
        if (name.startsWith(QLatin1Char('#'))) {
            const char32_t code = name.mid(1).toUInt();
            out += QString::fromUcs4(&code, 1);
        } else {
            out += name == QLatin1String("amp") ? QStringLiteral("&")
                 : name == QLatin1String("lt")  ? QStringLiteral("<")
                 : name == QLatin1String("gt")  ? QStringLiteral(">")
                                                : QStringLiteral("\"");
        }
        last = m.capturedEnd();
    }
    return out + html.mid(last);
}

jet::DaoType daoTypeOf(const QString &adoType)
{
    static const QHash<QString, jet::DaoType> types{
        {QStringLiteral("adBoolean"), jet::dbBoolean}, {QStringLiteral("adUnsignedTinyInt"), jet::dbByte},
        {QStringLiteral("adSmallInt"), jet::dbInteger}, {QStringLiteral("adInteger"), jet::dbLong},
        {QStringLiteral("adCurrency"), jet::dbCurrency}, {QStringLiteral("adSingle"), jet::dbSingle},
        {QStringLiteral("adDouble"), jet::dbDouble},   {QStringLiteral("adDate"), jet::dbDate},
        {QStringLiteral("adNumeric"), jet::dbDecimal}, {QStringLiteral("adLongVarWChar"), jet::dbMemo}};
    return types.value(adoType, jet::dbText);
}

Error unreadable(const QString &what)
{
    return Error{QStringLiteral("It is not a page written by KOLTA: %1.").arg(what)};
}

} // namespace

Result<Module1> readAspPage(const QByteArray &bytes)
{
    QStringDecoder decoder("windows-1252");
    const QString text = decoder.decode(bytes);
    if (!text.endsWith(CrLf))
        return unreadable(QStringLiteral("its lines do not end as KOLTA writes them"));
    QStringList lines = text.split(CrLf);
    lines.removeLast();

    Module1 s;
    static const QRegularExpression open(QStringLiteral("^db\\.open \".*"));
    static const QRegularExpression statement(QStringLiteral("^sqlquery=\".*"));
    const qsizetype openAt = lines.indexOf(open);
    const qsizetype statementAt = lines.indexOf(statement);
    if (lines.isEmpty() || openAt < 0)
        return unreadable(QStringLiteral("the database connection could not be read"));
    const auto connection = vbsString(lines.at(openAt), 8);
    if (!connection)
        return unreadable(QStringLiteral("the database connection could not be read"));
    const QHash<QString, QString> values = connectionValues(*connection);
    s.gDataSource = values.value(QStringLiteral("Data Source"));
    s.gUserId = values.value(QStringLiteral("User ID"));
    s.gPassword = values.value(QStringLiteral("Password"));
    s.gSystemDatabase = values.value(QStringLiteral("Jet OLEDB:System database"));
    const auto sql = statementAt < 0 ? std::nullopt : vbsString(lines.at(statementAt), 9);
    if (!sql)
        return unreadable(QStringLiteral("the SQL statement could not be read"));
    s.gSqlQuery = *sql;

    static const QRegularExpression loop(QStringLiteral("^    <% for i=0 to (.*)-1 %>$"));
    const qsizetype loopAt = lines.indexOf(loop);
    bool counted = false;
    const int count = loopAt < 0 ? 0 : loop.match(lines.at(loopAt)).captured(1).trimmed().toInt(&counted);
    if (!counted || count > 32767)
        return unreadable(QStringLiteral("the column count could not be read"));
    s.gFieldCount = qint16(count);
    static const QRegularExpression heading(QStringLiteral("^  <TD><B>(.*)</B></TD>$"));
    QStringList labels;
    for (const QString &line : lines) {
        const QRegularExpressionMatch m = heading.match(line);
        if (m.hasMatch())
            labels << m.captured(1);
    }
    if (!labels.isEmpty())
        s.gFieldLabels.redimPreserve(int(labels.size()));
    for (int i = 0; i < labels.size(); ++i)
        s.gFieldLabels.set(i, labels.at(i));

    // Whole lines: QStringList::indexOf matches a pattern against all of one.
    // The header is the first line; a search form stands inside it, before its table.
    s.gPageHeader = lines.constFirst();
    const qsizetype problemAt = lines.indexOf(QStringLiteral("<% if problem <> \"\" then %><UL><%= problem %></UL><% end if %>"));
    if (problemAt >= 0 && problemAt + 1 < lines.size())
        s.gPageHeader += lines.at(problemAt + 1);

    static const QRegularExpression parameter(
        QStringLiteral("^set prm=cmd\\.CreateParameter\\((\".*), (\\w+), adParamInput, (\\d+), [^,]*\\)$"));
    for (const QString &line : lines) {
        const QRegularExpressionMatch m = parameter.match(line);
        if (!m.hasMatch())
            continue;
        const auto name = vbsString(line, m.capturedStart(1));
        if (!name)
            return unreadable(QStringLiteral("a parameter's name could not be read"));
        QueryParameter p;
        p.name = *name;
        p.type = daoTypeOf(m.captured(2));
        p.size = p.type == jet::dbText ? m.captured(3).toInt() : 0;
        s.gParameters << p;
    }
    static const QRegularExpression pageSize(QStringLiteral("^rs\\.PageSize=(\\d{1,4})$"));
    const qsizetype pageSizeAt = lines.indexOf(pageSize);
    if (pageSizeAt >= 0)
        s.gRowsPerPage = pageSize.match(lines.at(pageSizeAt)).captured(1).toInt();
    const qsizetype emptyAt = lines.indexOf(QStringLiteral("<% if shown = 0 then %>"));
    static const QRegularExpression emptyRow(QStringLiteral("^<TR><TD COLSPAN=\"\\d+\">(.*)</TD></TR>$"));
    if (emptyAt >= 0 && emptyAt + 1 < lines.size()) {
        const QRegularExpressionMatch m = emptyRow.match(lines.at(emptyAt + 1));
        if (!m.hasMatch())
            return unreadable(QStringLiteral("the text for no records could not be read"));
        s.gNoRecordsText = htmlDecoded(m.captured(1));
    }

    // What was read must write the same page again, or something was not understood.
    const auto again = composeAspPage(s);
    if (!again.ok())
        return unreadable(again.error().message);
    if (again.value() != bytes) {
        const QStringList written = QString(QStringDecoder("windows-1252").decode(again.value())).split(CrLf);
        qsizetype differs = 0;
        while (differs < lines.size() && differs < written.size() && lines.at(differs) == written.at(differs))
            ++differs;
        return unreadable(QStringLiteral("line %1 is not what KOLTA writes there").arg(differs + 1));
    }
    return s;
}

} // namespace kolta::pagegen
