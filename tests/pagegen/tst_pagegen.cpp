#include "aspreader.h"
#include "aspwriter.h"
#include "frmsql.h"
#include "frmlogin.h"
#include "generateasp.h"
#include "scripteddesktop.h"
#include "testapp.h"
#include "uitest.h"
#include "texts.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace kolta;

namespace {

Module1 ordersSession()
{
    Module1 s;
    s.gUserId = QStringLiteral("Admin");
    s.gPassword = QString();
    s.gSystemDatabase = QString();
    s.gDataSource = QStringLiteral("C:\\db\\orders.mdb");
    s.gSqlQuery = QStringLiteral("SELECT Name, Price FROM Products");
    s.gFieldCount = 2;
    s.gFieldLabels.redimPreserve(2);
    s.gFieldLabels.set(0, QStringLiteral("Product"));
    s.gFieldLabels.set(1, QStringLiteral("Price"));
    return s;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

QByteArray composeAspPageOrFail(const Module1 &s)
{
    const auto page = pagegen::composeAspPage(s);
    if (!page.ok()) {
        qWarning("compose failed: %s", qPrintable(page.error().message));
        return QByteArray();
    }
    return page.value();
}

QList<QByteArray> linesOf(const QByteArray &page)
{
    QList<QByteArray> lines = page.split('\n');
    lines.removeLast(); // after the final line end
    for (QByteArray &line : lines)
        line.chop(1);   // the CR
    return lines;
}

} // namespace

class tst_PageGen : public QObject
{
    Q_OBJECT

private slots:
    void ordersPageByteForByte();
    void everyLineEndsWithCrLf();
    void noFieldsGivesEmptyHeadingRow();
    void literalEscapes_data();
    void literalEscapes();
    void connectionValues_data();
    void connectionValues();
    void aceConnection_data();
    void aceConnection();
    void htmlParts_data();
    void htmlParts();
    void unassignedLabelIsEmptyCell();
    void missingLabelFails();
    void sameSessionSameBytes();
    void optionsPageOnServer_data();
    void optionsPageOnServer();
    void optionsPreview();

    void generateWritesAndSaysDone();
    void generateRefusesEmptyStatement_data();
    void generateRefusesEmptyStatement();
    void generateCancelKeepsDefaultHeader();
    void generateKeepsOwnHeader();
    void generateReplacesExistingFile();
    void generateIntoReadOnlyFolder();
    void generateOnFullDisk();
    void generateWithWriteLimit();
    void generateThroughMainWindowMenu();

    void pageReadsBack_data();
    void pageReadsBack();
    void pageRefused_data();
    void pageRefused();
    void openPageThroughMenu();
};

void tst_PageGen::ordersPageByteForByte()
{
    Module1 s = ordersSession();
    s.gPageHeader = QStringLiteral("<HTML><BODY><TABLE>"); // as the command puts it
    QCOMPARE(composeAspPageOrFail(s), readAll(QStringLiteral(KOLTA_TEST_DATA "/orders.asp")));
}

void tst_PageGen::everyLineEndsWithCrLf()
{
    const QByteArray page = composeAspPageOrFail(ordersSession());
    QVERIFY(page.endsWith("\r\n"));
    QCOMPARE(page.count('\n'), page.count("\r\n"));
    QCOMPARE(page.count('\r'), page.count("\r\n"));
}

void tst_PageGen::noFieldsGivesEmptyHeadingRow()
{
    Module1 s;
    s.gSqlQuery = QStringLiteral("SELECT nonsense");
    const QList<QByteArray> lines = linesOf(composeAspPageOrFail(s));
    QCOMPARE(lines.size(), 21);
    QCOMPARE(lines.at(7), QByteArray("<TR>"));
    QCOMPARE(lines.at(8), QByteArray("</TR>"));
    QCOMPARE(lines.at(11), QByteArray("    <% for i=0 to  0-1 %>"));
    QCOMPARE(lines.at(3), QByteArray("db.open \"Provider=Microsoft.Jet.OLEDB.4.0;User ID=;Password=;Data Source=;"
                                     "Persist Security Info=True;Jet OLEDB:System database=\""));
}

void tst_PageGen::literalEscapes_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("plain") << "SELECT * FROM [Order Details]"
                           << QByteArray("sqlquery=\"SELECT * FROM [Order Details]\"");
    QTest::newRow("blanks only") << "   " << QByteArray("sqlquery=\"   \"");
    QTest::newRow("double quote") << "SELECT * FROM T WHERE Name = \"Bob\""
                                  << QByteArray("sqlquery=\"SELECT * FROM T WHERE Name = \"\"Bob\"\"\"");
    QTest::newRow("CR LF") << "SELECT *\r\nFROM T"
                           << QByteArray("sqlquery=\"SELECT *\" & vbCrLf & \"FROM T\"");
    QTest::newRow("lone LF and CR") << "A\nB\rC"
                                    << QByteArray("sqlquery=\"A\" & vbLf & \"B\" & vbCr & \"C\"");
    QTest::newRow("LF CR is not CR LF") << "A\n\rB"
                                        << QByteArray("sqlquery=\"A\" & vbLf & \"\" & vbCr & \"B\"");
    QTest::newRow("script end inside") << "SELECT '%>' FROM T"
                                       << QByteArray("sqlquery=\"SELECT '%\" & \">' FROM T\"");
    QTest::newRow("outside code page") << QString::fromUtf8("SELECT 'ş'")
                                       << QByteArray("sqlquery=\"SELECT '\" & ChrW(351) & \"'\"");
    QTest::newRow("euro and e acute stay") << QString::fromUtf8("SELECT '€é'")
                                           << QByteArray("sqlquery=\"SELECT '\x80\xE9'\"");
    QTest::newRow("astral plane") << QString::fromUtf8("\U0001F600")
                                  << QByteArray("sqlquery=\"\" & ChrW(55357) & \"\" & ChrW(56832) & \"\"");
    QTest::newRow("tab stays, NUL escaped") << QString::fromUtf8("a\tb") + QChar(0)
                                            << QByteArray("sqlquery=\"a\tb\" & ChrW(0) & \"\"");
}

void tst_PageGen::literalEscapes()
{
    QFETCH(QString, statement);
    QFETCH(QByteArray, line);
    Module1 s = ordersSession();
    s.gSqlQuery = statement;
    const QList<QByteArray> lines = linesOf(composeAspPageOrFail(s));
    QCOMPARE(lines.size(), 23);
    QCOMPARE(lines.at(4), line);
}

void tst_PageGen::connectionValues_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QByteArray>("line");

    const QByteArray head("db.open \"Provider=Microsoft.Jet.OLEDB.4.0;");
    QTest::newRow("plain") << "Admin" << "secret" << "C:\\w\\system.mdw"
                           << head + "User ID=Admin;Password=secret;Data Source=C:\\db\\orders.mdb;"
                                     "Persist Security Info=True;Jet OLEDB:System database=C:\\w\\system.mdw\"";
    QTest::newRow("semicolon in password") << "Admin" << "a;b" << ""
                           << head + "User ID=Admin;Password=\"\"a;b\"\";Data Source=C:\\db\\orders.mdb;"
                                     "Persist Security Info=True;Jet OLEDB:System database=\"";
    QTest::newRow("single quote") << "O'Brien" << "" << ""
                           << head + "User ID=\"\"O'Brien\"\";Password=;Data Source=C:\\db\\orders.mdb;"
                                     "Persist Security Info=True;Jet OLEDB:System database=\"";
    QTest::newRow("double quote only") << "Admin" << "x\"y" << ""
                           << head + "User ID=Admin;Password='x\"\"y';Data Source=C:\\db\\orders.mdb;"
                                     "Persist Security Info=True;Jet OLEDB:System database=\"";
    QTest::newRow("both quote kinds") << "Admin" << "a'b\"c;Data Source=evil" << ""
                           << head + "User ID=Admin;Password=\"\"a'b\"\"\"\"c;Data Source=evil\"\";"
                                     "Data Source=C:\\db\\orders.mdb;"
                                     "Persist Security Info=True;Jet OLEDB:System database=\"";
    QTest::newRow("leading and trailing blanks") << " Admin" << "pw " << ""
                           << head + "User ID=\"\" Admin\"\";Password=\"\"pw \"\";Data Source=C:\\db\\orders.mdb;"
                                     "Persist Security Info=True;Jet OLEDB:System database=\"";
    QTest::newRow("inner blank is fine") << "Jo Doe" << "" << ""
                           << head + "User ID=Jo Doe;Password=;Data Source=C:\\db\\orders.mdb;"
                                     "Persist Security Info=True;Jet OLEDB:System database=\"";
}

void tst_PageGen::connectionValues()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, system);
    QFETCH(QByteArray, line);
    Module1 s = ordersSession();
    s.gUserId = user;
    s.gPassword = password;
    s.gSystemDatabase = system;
    QCOMPARE(linesOf(composeAspPageOrFail(s)).at(3), line);
}

void tst_PageGen::aceConnection_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("no login") << "C:\\db\\orders.accdb" << "" << ""
        << QByteArray("db.open \"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=C:\\db\\orders.accdb;"
                      "Persist Security Info=True\"");
    QTest::newRow("login kept") << "C:\\db\\ORDERS.ACCDB" << "Admin" << "C:\\w\\system.mdw"
        << QByteArray("db.open \"Provider=Microsoft.ACE.OLEDB.12.0;User ID=Admin;Data Source=C:\\db\\ORDERS.ACCDB;"
                      "Persist Security Info=True;Jet OLEDB:System database=C:\\w\\system.mdw\"");
    QTest::newRow("an accdb folder holding an mdb") << "C:\\x.accdb\\orders.mdb" << "" << ""
        << QByteArray("db.open \"Provider=Microsoft.Jet.OLEDB.4.0;User ID=;Password=;Data Source=C:\\x.accdb\\orders.mdb;"
                      "Persist Security Info=True;Jet OLEDB:System database=\"");
}

void tst_PageGen::aceConnection()
{
    QFETCH(QString, source);
    QFETCH(QString, user);
    QFETCH(QString, system);
    QFETCH(QByteArray, line);
    Module1 s = ordersSession();
    s.gDataSource = source;
    s.gUserId = user;
    s.gSystemDatabase = system;
    const QList<QByteArray> lines = linesOf(composeAspPageOrFail(s));
    QCOMPARE(lines.size(), 23);
    QCOMPARE(lines.at(3), line);
}

void tst_PageGen::htmlParts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("markup kept") << "<I>Price</I> & tax" << QByteArray("<I>Price</I> & tax");
    QTest::newRow("e acute") << QString::fromUtf8("Café") << QByteArray("Caf\xE9");
    QTest::newRow("euro") << QString::fromUtf8("€") << QByteArray("\x80");
    QTest::newRow("s cedilla") << QString::fromUtf8("Kişi") << QByteArray("Ki&#351;i");
    QTest::newRow("astral plane") << QString::fromUtf8("\U0001F600") << QByteArray("&#128512;");
    QTest::newRow("script opener") << "50<%" << QByteArray("50&lt;%");
}

void tst_PageGen::htmlParts()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, written);
    Module1 s = ordersSession();
    s.gFieldLabels.set(1, text);
    s.gPageHeader = QStringLiteral("<HTML><TITLE>") + text + QStringLiteral("</TITLE><BODY><TABLE>");
    const QList<QByteArray> lines = linesOf(composeAspPageOrFail(s));
    QCOMPARE(lines.at(9), "  <TD><B>" + written + "</B></TD>");
    QCOMPARE(lines.at(0), "<HTML><TITLE>" + written + "</TITLE><BODY><TABLE>");
}

void tst_PageGen::unassignedLabelIsEmptyCell()
{
    Module1 s = ordersSession();
    s.gFieldCount = 3;
    s.gFieldLabels.redimPreserve(3);
    const QList<QByteArray> lines = linesOf(composeAspPageOrFail(s));
    QCOMPARE(lines.at(10), QByteArray("  <TD><B></B></TD>"));
    QCOMPARE(lines.at(14), QByteArray("    <% for i=0 to  3-1 %>"));
}

void tst_PageGen::missingLabelFails()
{
    Module1 s = ordersSession();
    s.gFieldCount = 4; // more columns than headings
    const auto missing = pagegen::composeAspPage(s);
    QVERIFY(!missing.ok());
    QCOMPARE(missing.error().message, QStringLiteral("There is no heading for column 4."));
    Module1 unsized;
    unsized.gSqlQuery = QStringLiteral("x");
    unsized.gFieldCount = 1;
    const auto none = pagegen::composeAspPage(unsized);
    QVERIFY(!none.ok());
    QCOMPARE(none.error().message, QStringLiteral("There is no heading for column 1."));
}

void tst_PageGen::sameSessionSameBytes()
{
    Module1 s = ordersSession();
    s.gSqlQuery = QString::fromUtf8("SELECT \"ş\"\r\n");
    QCOMPARE(composeAspPageOrFail(s), composeAspPageOrFail(s));
}

namespace {

const QString SearchStatement =
    QStringLiteral("PARAMETERS [Who] Text(40), [Since] DateTime; "
                   "SELECT Name, Price FROM Products WHERE Name = [Who] AND Added >= [Since]");

Module1 optionsSession(int rowsPerPage, const QString &noRecords, bool search)
{
    Module1 s = ordersSession();
    s.gPageHeader = QStringLiteral("<HTML><BODY BGCOLOR=FFFFFF><table BORDER=1>");
    s.gRowsPerPage = rowsPerPage;
    s.gNoRecordsText = noRecords;
    if (search) {
        s.gSqlQuery = SearchStatement;
        s.gParameters = {{QStringLiteral("Who"), jet::dbText, 40, QString()},
                         {QStringLiteral("Since"), jet::dbDate, 0, QString()}};
    }
    return s;
}

} // namespace

void tst_PageGen::optionsPageOnServer_data()
{
    QTest::addColumn<int>("rowsPerPage");
    QTest::addColumn<QString>("noRecords");
    QTest::addColumn<bool>("search");
    QTest::addColumn<int>("records");          // n1..nN; the first one's name is markup
    QTest::addColumn<QString>("get");
    QTest::addColumn<QStringList>("params");   // the #PARAM lines; none: the statement must not run
    QTest::addColumn<QStringList>("shown");    // in the page; "!" first: not in it

    const QString date = QStringLiteral("&p2=1%2F2%2F2024");
    const QString boundDate = QStringLiteral("#PARAM 1 [Since] 7 0 1/2/2024");
    const QString next2 = QStringLiteral("<A HREF=\"/page.asp?page=2\">Next</A>");
    QTest::newRow("page missing") << 2 << "" << false << 5 << "" << QStringList{"run"}
                                  << QStringList{"Page 1 of 3", "<TD>n2</TD>", "!<TD>n3</TD>", "First Previous", next2};
    QTest::newRow("middle page") << 2 << "" << false << 5 << "page=2" << QStringList{"run"}
        << QStringList{"Page 2 of 3", "<TD>n3</TD>", "<TD>n4</TD>", "!<TD>n2</TD>",
                       "<A HREF=\"/page.asp?page=1\">Previous</A>", "<A HREF=\"/page.asp?page=3\">Last</A>"};
    QTest::newRow("last page") << 2 << "" << false << 5 << "page=3" << QStringList{"run"}
                               << QStringList{"Page 3 of 3", "<TD>n5</TD>", "!<TD>n4</TD>", "Next Last"};
    QTest::newRow("beyond") << 2 << "" << false << 5 << "page=4" << QStringList{"run"} << QStringList{"Page 3 of 3"};
    QTest::newRow("abc") << 2 << "" << false << 5 << "page=abc" << QStringList{"run"} << QStringList{"Page 1 of 3"};
    QTest::newRow("1e5") << 2 << "" << false << 5 << "page=1e5" << QStringList{"run"} << QStringList{"Page 1 of 3"};
    QTest::newRow("&H2") << 2 << "" << false << 5 << "page=%26H2" << QStringList{"run"} << QStringList{"Page 1 of 3"};
    QTest::newRow("overflow") << 2 << "" << false << 5 << "page=99999999999" << QStringList{"run"}
                              << QStringList{"Page 3 of 3"};
    QTest::newRow("no records") << 0 << "Nothing <here> & co" << false << 0 << "" << QStringList{"run"}
        << QStringList{"<TR><TD COLSPAN=\"2\">Nothing &lt;here&gt; &amp; co</TD></TR>"};
    QTest::newRow("no records, paged") << 2 << "None" << false << 0 << "page=2" << QStringList{"run"}
                                       << QStringList{"<TD COLSPAN=\"2\">None</TD>", "!Page"};

    QTest::newRow("form before search") << 0 << "" << true << 1 << "" << QStringList{}
        << QStringList{"<BODY BGCOLOR=FFFFFF>\r\n\r\n<FORM METHOD=\"GET\" ACTION=\"/page.asp\">",
                       "<LABEL FOR=\"p1\">Who</LABEL> <INPUT TYPE=\"text\" NAME=\"p1\" ID=\"p1\" VALUE=\"\">",
                       "</FORM>\r\n\r\n<table BORDER=1>", "!<TD>", "!<LI>"};
    QTest::newRow("quotes") << 0 << "" << true << 1 << "search=1&p1=O%27Brien+%22Bob%22" + date
        << QStringList{"#PARAM 0 [Who] 202 40 \"O'Brien \"\"Bob\"\"\"", boundDate}
        << QStringList{"VALUE=\"O'Brien &quot;Bob&quot;\"", "<TD>&lt;b&gt;A&amp;B&lt;/b&gt;</TD>"};
    QTest::newRow("markup") << 0 << "" << true << 1 << "search=1&p1=%3Cscript%3Ex%26y%3C%2Fscript%3E" + date
        << QStringList{"#PARAM 0 [Who] 202 40 \"<script>x&y</script>\"", boundDate}
        << QStringList{"VALUE=\"&lt;script&gt;x&amp;y&lt;/script&gt;\"", "!<script>"};
    QTest::newRow("statement in a value") << 0 << "" << true << 1 << "search=1&p1=%27%3B+DROP+TABLE+x%3B+--" + date
        << QStringList{"#PARAM 0 [Who] 202 40 \"'; DROP TABLE x; --\"", boundDate}
        << QStringList{"VALUE=\"'; DROP TABLE x; --\""};
    QTest::newRow("non-ASCII") << 0 << "" << true << 1 << "search=1&p1=Zo%EB+%80" + date
        << QStringList{QString::fromUtf8("#PARAM 0 [Who] 202 40 \"Zo\u00eb \u20ac\""), boundDate}
        << QStringList{QString::fromUtf8("VALUE=\"Zo\u00eb \u20ac\"")};
    QTest::newRow("300 characters") << 0 << "" << true << 1 << "search=1&p1=" + QString(300, u'x') + date
        << QStringList{} << QStringList{"<LI>The box &quot;Who&quot; takes at most 40 characters.</LI>",
                                        "VALUE=\"" + QString(300, u'x') + "\""};
    QTest::newRow("empty box") << 0 << "" << true << 1 << "search=1&p1=" + date << QStringList{}
        << QStringList{"<LI>The box &quot;Who&quot; is empty: every box needs a value.</LI>", "!<TD>"};
    QTest::newRow("wrong date") << 0 << "" << true << 1 << "search=1&p1=Bob&p2=31%2F31%2F2024" << QStringList{}
        << QStringList{"<LI>The box &quot;Since&quot; needs a date.</LI>", "VALUE=\"31/31/2024\"", "!<TD>"};
    QTest::newRow("search paged") << 2 << "" << true << 5 << "search=1&p1=a%26b" + date + "&page=2"
        << QStringList{"#PARAM 0 [Who] 202 40 \"a&b\"", boundDate}
        << QStringList{"Page 2 of 3", "<TD>n3</TD>",
                       "<A HREF=\"/page.asp?page=1&amp;search=1&amp;p1=a%26b&amp;p2=1%2F2%2F2024\">First</A>"};
    QTest::newRow("search, no records") << 2 << "No match" << true << 0 << "search=1&p1=zz" + date
        << QStringList{"#PARAM 0 [Who] 202 40 \"zz\"", boundDate}
        << QStringList{"<TD COLSPAN=\"2\">No match</TD>", "!Page"};
}

void tst_PageGen::optionsPageOnServer()
{
    QFETCH(int, rowsPerPage);
    QFETCH(QString, noRecords);
    QFETCH(bool, search);
    QFETCH(int, records);
    QFETCH(QString, get);
    QFETCH(QStringList, params);
    QFETCH(QStringList, shown);
    const QString runPage = QStringLiteral(KOLTA_SHARED_TOOLS "/asp/run_page.py");
    if (!QFile::exists(runPage))
        QSKIP("The page runner of ../shared/tools is not here.");

    const Module1 s = optionsSession(rowsPerPage, noRecords, search);
    QTemporaryDir dir;
    QFile page(dir.filePath(QStringLiteral("page.asp")));
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write(composeAspPageOrFail(s));
    page.close();
    QFile rows(dir.filePath(QStringLiteral("rows.tsv")));
    QVERIFY(rows.open(QIODevice::WriteOnly));
    rows.write("Name\tPrice\n");
    for (int i = 1; i <= records; ++i)
        rows.write((i == 1 ? QByteArray("<b>A&B</b>") : "n" + QByteArray::number(i)) + "\t" + QByteArray::number(i) + "\n");
    rows.close();

    QProcess run;
    // A Wine prefix of this suite's own: two suites setting one up at the
    // same time (ctest runs suites side by side) get in each other's way.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WINEPREFIX"), QStringLiteral(KOLTA_BIN_DIR "/../wine-pagegen"));
    run.setProcessEnvironment(environment);
    run.start(QStringLiteral("python3"), {runPage, page.fileName(), rows.fileName(), QStringLiteral("--get"), get});
    QVERIFY(run.waitForFinished(300000));
    const QString sent = QString::fromUtf8(run.readAllStandardOutput());
    QVERIFY2(run.exitCode() == 0 && !sent.contains(QLatin1String("#FAILED")),
             qPrintable(sent + QString::fromUtf8(run.readAllStandardError())));
    QVERIFY2(!sent.contains(QLatin1String("#WARN")), qPrintable(sent));

    // Input never reaches the statement's text: only the #PARAM lines carry it.
    const QStringList lines = sent.split(QStringLiteral("\r\n"));
    const QStringList ran = lines.filter(QRegularExpression(QStringLiteral("^#SQL ")));
    const QStringList bound = lines.filter(QRegularExpression(QStringLiteral("^#PARAM ")));
    if (params.isEmpty()) {
        QCOMPARE(ran, QStringList());
    } else {
        QCOMPARE(ran, QStringList{QStringLiteral("#SQL ") + s.gSqlQuery.text()});
        QCOMPARE(bound, params == QStringList{QStringLiteral("run")} ? QStringList() : params);
    }
    QString html = sent;
    html.remove(QRegularExpression(QStringLiteral("\r\n#[^\r]*")));
    for (const QString &part : shown) {
        if (part.startsWith(QLatin1Char('!')))
            QVERIFY2(!html.contains(part.mid(1)), qPrintable(part + QLatin1String(" in:\n") + html));
        else
            QVERIFY2(html.contains(part), qPrintable(part + QLatin1String(" not in:\n") + html));
    }
}

void tst_PageGen::optionsPreview()
{
    Module1 s = optionsSession(2, QStringLiteral("None"), true);
    s.gParameters[0].value = QStringLiteral("O'Brien \"<b>\"");
    s.gParameters[1].value = QStringLiteral("1/2/2024");
    pagegen::PageRows result;
    result.columns = 2;
    result.rows = {{QStringLiteral("a<b"), 1}, {QStringLiteral("b"), 2}, {QStringLiteral("c"), 3}};
    result.moreRows = 2;
    const auto html = pagegen::composePagePreview(s, result, QString());
    QVERIFY(html.ok());
    const QString &h = html.value();
    QVERIFY2(h.contains(QLatin1String("VALUE=\"O'Brien &quot;&lt;b&gt;&quot;\"")), qPrintable(h));
    QVERIFY(h.indexOf(QLatin1String("</FORM>")) < h.indexOf(QLatin1String("<table BORDER=1>")));
    QVERIFY(h.contains(QLatin1String("<TD>a&lt;b</TD>")) && h.contains(QLatin1String("<TD>b</TD>")));
    QVERIFY(!h.contains(QLatin1String("<TD>c</TD>")));
    QVERIFY(h.contains(QLatin1String("Page 1 of 3")));
    QVERIFY(!h.contains(QLatin1String("<A ")) && !h.contains(QLatin1String("<%")));
    QVERIFY(!h.contains(QLatin1String("None")));

    result.rows.clear();
    result.moreRows = 0;
    const auto empty = pagegen::composePagePreview(s, result, QString());
    QVERIFY(empty.ok());
    QVERIFY(empty.value().contains(QLatin1String("<TR><TD COLSPAN=\"2\">None</TD></TR>")));
    QVERIFY(!empty.value().contains(QLatin1String("Page ")));
}

// The command itself, on a real window and real files, with scripted dialogs.
struct Harness
{
    Module1 session = ordersSession();
    test::ScriptedDesktop desktop;
    QWidget window;
    CommonDialog cmd{desktop, &window};

    Result<std::optional<QString>> run() { return pagegen::generateAsp(session, cmd, desktop, &window); }
};

void tst_PageGen::generateWritesAndSaysDone()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("orders.asp"));
    Harness h;
    h.cmd.FileName = QStringLiteral("left over");
    h.desktop.fileAnswers.push_back(target);
    const auto saved = h.run();
    QVERIFY(saved.ok());
    QCOMPARE(saved.value(), std::optional<QString>(target));

    QCOMPARE(h.desktop.fileDialogs.size(), 1);
    const auto &call = h.desktop.fileDialogs.constFirst();
    QCOMPARE(call.kind, Desktop::FileDialogKind::Save);
    QCOMPARE(call.filter, QStringLiteral("Active Server Pages (*.asp)|*.asp"));
    QCOMPARE(call.fileName, QString());
    QCOMPARE(call.ownerCursor, Qt::WaitCursor);
    QCOMPARE(h.desktop.prompts(), QStringList{QStringLiteral("Done!")});
    QCOMPARE(h.desktop.messages.constFirst().ownerCursor, Qt::WaitCursor);
    QCOMPARE(h.window.cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(h.session.gPageHeader, QStringLiteral("<HTML><BODY><TABLE>"));
    QCOMPARE(readAll(target), readAll(QStringLiteral(KOLTA_TEST_DATA "/orders.asp")));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("orders.asp")});
}

void tst_PageGen::generateRefusesEmptyStatement_data()
{
    QTest::addColumn<bool>("unset");
    QTest::newRow("unset") << true;
    QTest::newRow("empty text") << false;
}

void tst_PageGen::generateRefusesEmptyStatement()
{
    QFETCH(bool, unset);
    Harness h;
    h.session.gSqlQuery = unset ? VariantText() : VariantText(QString());
    QVERIFY(!h.run().ok());
    QCOMPARE(h.desktop.prompts(), QStringList{QStringLiteral("No SQL Statement!")});
    QVERIFY(h.desktop.fileDialogs.isEmpty());
    QCOMPARE(h.session.gPageHeader, QString());
}

void tst_PageGen::generateCancelKeepsDefaultHeader()
{
    Harness h;
    h.desktop.fileAnswers.push_back(std::nullopt);
    const auto cancelled = h.run();
    QVERIFY(cancelled.ok());
    QVERIFY(!cancelled.value());
    QCOMPARE(h.desktop.fileDialogs.size(), 1);
    QVERIFY(h.desktop.messages.isEmpty());
    QCOMPARE(h.session.gPageHeader, QStringLiteral("<HTML><BODY><TABLE>"));
    QCOMPARE(h.window.cursor().shape(), Qt::ArrowCursor);
}

void tst_PageGen::generateKeepsOwnHeader()
{
    QTemporaryDir dir;
    Harness h;
    h.session.gPageHeader = QStringLiteral("<HTML><TITLE>T</TITLE><BODY><TABLE BORDER=1>");
    h.desktop.fileAnswers.push_back(dir.filePath(QStringLiteral("p.asp")));
    QVERIFY(h.run().ok());
    QVERIFY(readAll(dir.filePath(QStringLiteral("p.asp"))).startsWith("<HTML><TITLE>T</TITLE><BODY><TABLE BORDER=1>\r\n<% \r\n"));
    QCOMPARE(h.session.gPageHeader, QStringLiteral("<HTML><TITLE>T</TITLE><BODY><TABLE BORDER=1>"));
}

void tst_PageGen::generateReplacesExistingFile()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("old.asp"));
    {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
    }
    Harness h;
    h.desktop.fileAnswers.push_back(target);
    QVERIFY(h.run().ok());
    const QByteArray first = readAll(target);
    QCOMPARE(first, readAll(QStringLiteral(KOLTA_TEST_DATA "/orders.asp")));
    h.desktop.fileAnswers.push_back(target);
    QVERIFY(h.run().ok());
    QCOMPARE(readAll(target), first);
    QCOMPARE(h.desktop.prompts(), (QStringList{QStringLiteral("Done!"), QStringLiteral("Done!")}));
}

namespace {

// A scratch tmpfs of the given size, mounted while the object lives; only
// where the test may mount (root).
class ScratchMount
{
public:
    ScratchMount(const QString &options)
    {
        if (::geteuid() != 0 || !m_dir.isValid())
            return;
        m_mounted = QProcess::execute(QStringLiteral("mount"),
                                      {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                       options, QStringLiteral("tmpfs"), m_dir.path()}) == 0;
    }
    ~ScratchMount()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {m_dir.path()});
    }
    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace

void tst_PageGen::generateIntoReadOnlyFolder()
{
    QString folder;
    std::unique_ptr<ScratchMount> mount;
    QTemporaryDir plain;
    if (::geteuid() == 0) {
        mount = std::make_unique<ScratchMount>(QStringLiteral("ro,size=64k"));
        if (!mount->mounted())
            QSKIP("Cannot mount a read-only folder here.");
        folder = mount->path();
    } else {
        folder = plain.path();
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    }
    Harness h;
    const QString target = folder + QStringLiteral("/page.asp");
    h.desktop.fileAnswers.push_back(target);
    const auto refused = h.run();
    QVERIFY(!refused.ok());
    QCOMPARE(h.desktop.messages.size(), 1);
    QVERIFY(h.desktop.messages.constFirst().prompt.contains(QStringLiteral("page.asp")));
    QCOMPARE(h.desktop.messages.constFirst().detail, refused.error().message);
    QVERIFY(!QFile::exists(target));
    QCOMPARE(h.window.cursor().shape(), Qt::ArrowCursor);
    if (!mount)
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void tst_PageGen::generateOnFullDisk()
{
    ScratchMount disk(QStringLiteral("size=12k"));
    if (!disk.mounted())
        QSKIP("Cannot mount a small file system here (needs root).");
    const QString target = disk.path() + QStringLiteral("/page.asp");
    const QByteArray old("old page\r\n");
    {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(old), old.size());
    }
    // Fill the rest of the disk.
    {
        QFile filler(disk.path() + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(1024, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
    Harness h;
    h.session.gSqlQuery = QString(20000, QLatin1Char('x'));
    h.desktop.fileAnswers.push_back(target);
    QVERIFY(!h.run().ok());
    QCOMPARE(h.desktop.messages.size(), 1);
    QVERIFY(h.desktop.messages.constFirst().prompt != QStringLiteral("Done!"));
    QCOMPARE(readAll(target), old);
    QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden).size(), 2); // no temporary left
}

void tst_PageGen::generateWithWriteLimit()
{
    // A write that fails part-way, on any file system: the file size limit.
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("page.asp"));
    const QByteArray old("old page\r\n");
    {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    Harness h;
    h.session.gSqlQuery = QString(20000, QLatin1Char('x'));
    h.desktop.fileAnswers.push_back(target);

    struct rlimit saved;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = h.run().ok();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!written);
    QCOMPARE(h.desktop.messages.size(), 1);
    QVERIFY(h.desktop.messages.constFirst().prompt.contains(QStringLiteral("page.asp")));
    QCOMPARE(readAll(target), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("page.asp")});
}

void tst_PageGen::generateThroughMainWindowMenu()
{
    QTemporaryDir dir;
    test::App app;
    app.session = ordersSession();
    const QString target = dir.filePath(QStringLiteral("menu.asp"));
    app.desktop.fileAnswers.push_back(target);
    app.window.mnGenerateASP_Click();
    QCOMPARE(app.desktop.prompts(), QStringList{QStringLiteral("Done!")});
    QCOMPARE(app.desktop.fileDialogs.constFirst().ownerCursor, Qt::WaitCursor);
    QCOMPARE(app.window.cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(readAll(target), readAll(QStringLiteral(KOLTA_TEST_DATA "/orders.asp")));
    QCOMPARE(app.window.cmd().FileName, target);
}

void tst_PageGen::pageReadsBack_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::newRow("orders") << readAll(QStringLiteral(KOLTA_TEST_DATA "/orders.asp"));
    QTest::newRow("products") << readAll(QStringLiteral(KOLTA_TEST_DATA "/products.asp"));

    Module1 odd = ordersSession();
    odd.gDataSource = QStringLiteral("C:\\db\\my orders;1.accdb");
    odd.gUserId = QStringLiteral("O'Brien");
    odd.gPassword = QStringLiteral("a'b\"c;d");
    odd.gSystemDatabase = QStringLiteral("C:\\w\\system.mdw");
    odd.gSqlQuery = QString::fromUtf8("SELECT \"%>\" & Name, 'ş😀'\r\nFROM T\nWHERE\tA\rAND B");
    odd.gFieldLabels.set(0, QString::fromUtf8("<I>Name</I> 50<% ş"));
    odd.gPageHeader = QString::fromUtf8("<HTML><TITLE>Café ş<%</TITLE><BODY><TABLE BORDER=1>");
    QTest::newRow("odd values") << composeAspPageOrFail(odd);

    Module1 all = optionsSession(25, QString::fromUtf8("None & <none> &amp; ş"), true);
    all.gParameters << QueryParameter{QStringLiteral("Say \"%>\", <x>"), jet::dbLong, 0, QString()}
                    << QueryParameter{QStringLiteral("Memo"), jet::dbMemo, 0, QString()}
                    << QueryParameter{QStringLiteral("Amount"), jet::dbDecimal, 0, QString()}
                    << QueryParameter{QStringLiteral("Yes"), jet::dbBoolean, 0, QString()};
    QTest::newRow("every option") << composeAspPageOrFail(all);
    QTest::newRow("paging only") << composeAspPageOrFail(optionsSession(3, QString(), false));
}

void tst_PageGen::pageReadsBack()
{
    QFETCH(QByteArray, page);
    const auto read = pagegen::readAspPage(page);
    QVERIFY2(read.ok(), qPrintable(read.ok() ? QString() : read.error().message));
    QCOMPARE(composeAspPageOrFail(read.value()), page);
}

void tst_PageGen::pageRefused_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QString>("reason");
    const QByteArray orders = readAll(QStringLiteral(KOLTA_TEST_DATA "/orders.asp"));
    QTest::newRow("empty file") << QByteArray() << "its lines do not end as KOLTA writes them";
    QTest::newRow("line ends changed") << QByteArray(orders).replace("\r\n", "\n")
                                       << "its lines do not end as KOLTA writes them";
    QTest::newRow("another page") << QByteArray("<HTML><BODY><% Response.Write Now %></BODY></HTML>\r\n")
                                  << "the database connection could not be read";
    QTest::newRow("statement cut") << QByteArray(orders).replace("sqlquery=\"SELECT", "sqlquery=SELECT")
                                   << "the SQL statement could not be read";
    QTest::newRow("edited by hand") << QByteArray(orders).replace(" rs.movenext", " rs.MoveNext")
                                    << "line 19 is not what KOLTA writes there";
}

void tst_PageGen::pageRefused()
{
    QFETCH(QByteArray, page);
    QFETCH(QString, reason);
    const auto read = pagegen::readAspPage(page);
    QVERIFY(!read.ok());
    QCOMPARE(read.error().message, QStringLiteral("It is not a page written by KOLTA: ") + reason + QLatin1Char('.'));
}

void tst_PageGen::openPageThroughMenu()
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.asp"));
    const QString again = dir.filePath(QStringLiteral("again.asp"));
    {
        QFile file(first);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(composeAspPageOrFail(optionsSession(10, QStringLiteral("None"), true)));
    }
    test::App app;
    app.desktop.fileAnswers.push_back(dir.filePath(QStringLiteral("missing.asp")));
    app.window.mnOpenPage_Click();
    QCOMPARE(app.desktop.prompts().size(), 1);
    QVERIFY(app.desktop.prompts().constFirst().contains(QLatin1String("missing.asp")));
    QCOMPARE(app.session.gSqlQuery.text(), QString());

    app.desktop.messages.clear();
    app.desktop.fileAnswers.push_back(first);
    // The login comes first, filled from the page.
    QStringList login;
    test::onModal<frmLogin>([&login](frmLogin *window) {
        for (const char *name : {"Text1", "txtUserName", "txtPassword"})
            login << window->findChild<QLineEdit *>(QLatin1String(name))->text();
        test::pressOK(window);
    });
    app.window.mnOpenPage_Click();
    QCOMPARE(login, (QStringList{app.session.gSystemDatabase.text(), app.session.gUserId.text(),
                                 app.session.gPassword.text()}));
    QCOMPARE(app.session.gRowsPerPage, 10);
    QCOMPARE(app.session.gParameters.size(), 2);
    QCOMPARE(app.window.sqlWindow().findChild<QPlainTextEdit *>(QStringLiteral("Text1"))->toPlainText(),
             app.session.gSqlQuery.text());
    // The page's database is not on this machine: said, and the page can still be written.
    QCOMPARE(app.desktop.prompts().size(), 1);
    QVERIFY(app.action("mnGenerateASP")->isEnabled());
    app.desktop.messages.clear();
    app.desktop.fileAnswers.push_back(again);
    app.window.mnGenerateASP_Click();
    QCOMPARE(app.desktop.prompts(), QStringList{QStringLiteral("Done!")});
    QCOMPARE(readAll(again), readAll(first));
}

QTEST_MAIN(tst_PageGen)
#include "tst_pagegen.moc"
