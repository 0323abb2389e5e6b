#include "aspwriter.h"
#include "generateasp.h"
#include "scripteddesktop.h"
#include "testapp.h"
#include "texts.h"

#include <QDir>
#include <QFile>
#include <QProcess>
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

QTEST_MAIN(tst_PageGen)
#include "tst_pagegen.moc"
