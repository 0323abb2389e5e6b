#include "browser.h"
#include "fieldline.h"
#include "frmlogin.h"
#include "sampledb.h"
#include "jetwriter.h"
#include "dao.h"
#include "scripteddesktop.h"
#include "testapp.h"
#include "uitest.h"
#include "fonts.h"
#include "frmmain.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QStyle>
#include <QTimer>
#include <QtTest>

using namespace kolta;
namespace jw = kolta::jetwriter;

using test::child;
using test::pressOK;
using test::typeLogin;

namespace {

jw::Column col(const QString &name, jw::ColumnType type, int size = 0)
{
    return jw::Column{name, type, size};
}

void onLogin(std::function<void(frmLogin *)> action)
{
    test::onModal<frmLogin>(std::move(action));
}

struct App : test::App
{
    QComboBox *tables() { return window.findChild<QComboBox *>(QStringLiteral("Combo1")); }
    QListWidget *fields() { return window.findChild<QListWidget *>(QStringLiteral("List1")); }
    QString label(const char *name) { return window.findChild<QLabel *>(QLatin1String(name))->text(); }
    bool editEnabled() { return window.findChild<QMenu *>(QStringLiteral("mnEdit"))->menuAction()->isEnabled(); }

    QStringList tableNames()
    {
        QStringList names;
        for (int i = 0; i < tables()->count(); ++i)
            names << tables()->itemText(i);
        return names;
    }
    QStringList fieldLines()
    {
        QStringList lines;
        for (int i = 0; i < fields()->count(); ++i)
            lines << fields()->item(i)->text();
        return lines;
    }
};

} // namespace

class tst_Browse : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void fieldLines_data();
    void fieldLines();

    void loginDesign();
    void loginCancelChangesNothing_data();
    void loginCancelChangesNothing();
    void loginBrowseButton();

    void tableFilter();
    void fieldLinesAndTotal();
    void reselectingRebuilds();
    void headingsOverColumns_data();
    void headingsOverColumns();
    void totalPastSixteenBits();
    void systemTablesOnly();
    void loginValuesReachEngine();
    void secondSetDatabaseShowsEarlierValues();
    void failedOpenKeepsEarlierDatabase_data();
    void failedOpenKeepsEarlierDatabase();
    void cancelledFileDialogChangesNothing();
    void fileGivenSkipsFileDialog();
    void sampleOpensWithoutLogin();
    void missingSampleSaysSo();
    void buildWritesSample();
    void vanishedTableSaysWhy();
    void workgroupRefusesUnknownUser();
    void printoutAsText();
    void printEmptyList();
    void realWorldFiles();
    void accessTwentyTenFields_data();
    void accessTwentyTenFields();

private:
    QTemporaryDir m_dir;
    QString m_shop;      // a Books table, odd sizes and the filter cases
    QString m_system;    // only system tables
    QString m_workgroup; // accounts Admin and alice
    QString m_wide;      // sizes past 32767
};

void tst_Browse::initTestCase()
{
    installClassicFonts();
    QVERIFY(m_dir.isValid());

    jw::Database shop;
    jw::Table books{QStringLiteral("Books"), false,
                    {col(QStringLiteral("ID"), jw::ColumnType::Long),
                     col(QStringLiteral("Title"), jw::ColumnType::Text, 50),
                     col(QStringLiteral("Notes"), jw::ColumnType::Memo)},
                    {{1, QStringLiteral("Dune"), QStringLiteral("sand")}}};
    shop.tables << books;
    // MSysObjects is in every file already, written by the writer itself.
    for (const char *name : {"msysQueries", "Msys", "USysRibbons", "usysX", "MSy", "UserSys", "XMSYS", "Sys"})
        shop.tables << jw::Table{QLatin1String(name), false, {col(QStringLiteral("A"), jw::ColumnType::Long)}, {}};
    jw::Table odd{QStringLiteral("Odd sizes"), false,
                  {col(QString(44, QLatin1Char('N')), jw::ColumnType::Long),
                   col(QStringLiteral("Picture"), jw::ColumnType::Ole),
                   col(QStringLiteral("When"), jw::ColumnType::DateTime),
                   col(QStringLiteral("Long text"), jw::ColumnType::Text, 255),
                   col(QStringLiteral("Id"), jw::ColumnType::Guid),
                   col(QStringLiteral("Amount"), jw::ColumnType::Decimal),
                   col(QStringLiteral("Raw"), jw::ColumnType::Binary, 16)},
                  {}};
    shop.tables << odd;
    m_shop = m_dir.filePath(QStringLiteral("shop.mdb"));
    QCOMPARE(jw::write(m_shop, shop), QString());

    jw::Database system;
    system.tables << jw::Table{QStringLiteral("USysSettings"), false, {col(QStringLiteral("A"), jw::ColumnType::Long)}, {}};
    m_system = m_dir.filePath(QStringLiteral("system-only.mdb"));
    QCOMPARE(jw::write(m_system, system), QString());

    jw::Database workgroup;
    workgroup.accounts << jw::Account{QStringLiteral("Admin"), QString(), false}
                       << jw::Account{QStringLiteral("alice"), QStringLiteral("pw"), false};
    m_workgroup = m_dir.filePath(QStringLiteral("system.mdw"));
    QCOMPARE(jw::write(m_workgroup, workgroup), QString());

    jw::Database wide;
    jw::Table big{QStringLiteral("Wide"), false, {}, {}};
    for (int i = 0; i < 140; ++i)
        big.columns << col(QStringLiteral("T%1").arg(i), jw::ColumnType::Text, 255);
    wide.tables << big;
    m_wide = m_dir.filePath(QStringLiteral("wide.mdb"));
    QCOMPARE(jw::write(m_wide, wide), QString());
}

void tst_Browse::fieldLines_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("line");

    const QString pad42(42, QLatin1Char(' '));
    const QString pad39(39, QLatin1Char(' '));
    const QString pad43(43, QLatin1Char(' '));
    QTest::newRow("long 4") << "ID" << 4 << 4 << "ID" + pad42 + "long       4";
    QTest::newRow("string 50") << "Title" << 10 << 50 << "Title" + pad39 + "string    50";
    QTest::newRow("memo 0") << "Notes" << 12 << 0 << "Notes" + pad39 + "memo       0";
    QTest::newRow("OLE object fills 12") << "P" << 11 << 0 << "P" + pad43 + "OLE object 0";
    QTest::newRow("date/time one blank") << "D" << 8 << 8 << "D" + pad43 + "date/time  8";
    QTest::newRow("string 255") << "S" << 10 << 255 << "S" + pad43 + "string   255";
    QTest::newRow("name of 44") << QString(44, QLatin1Char('n')) << 4 << 4 << QString(44, QLatin1Char('n')) + "long       4";
    QTest::newRow("name of 50") << QString(50, QLatin1Char('n')) << 4 << 4 << QString(50, QLatin1Char('n')) + " long       4";
    QTest::newRow("binary, own text") << "B" << 9 << 16 << "B" + pad43 + "binary    16";
    QTest::newRow("bigint") << "B" << 16 << 8 << "B" + pad43 + "bigint     8";
    QTest::newRow("attachment") << "A" << 101 << 0 << "A" + pad43 + "attachment 0";
    QTest::newRow("multi-valued long") << "C" << 104 << 4 << "C" + pad43 + "mv long    4";
    QTest::newRow("extended date/time") << "X" << 1014 << 42 << "X" + pad43 + "ext. date 42";
    QTest::newRow("unknown code") << "U" << 13 << 1 << "U" + pad43 + "unknown    1";
    QTest::newRow("too wide: no filling") << "W" << 11 << 123456 << "W" + pad43 + "OLE object 123456";
    QTest::newRow("rep. id") << "G" << 15 << 16 << "G" + pad43 + "rep. id   16";
    QTest::newRow("decimal") << "M" << 20 << 16 << "M" + pad43 + "decimal   16";
}

void tst_Browse::fieldLines()
{
    QFETCH(QString, name);
    QFETCH(int, type);
    QFETCH(int, size);
    QFETCH(QString, line);
    QCOMPARE(browse::fieldLine(name, qint16(type), size), line);
    QVERIFY(browse::typeText(qint16(type)).size() <= 10);
}

void tst_Browse::loginDesign()
{
    Module1 session;
    test::ScriptedDesktop desktop;
    frmLogin login(session, desktop);
    QCOMPARE(login.windowTitle(), QStringLiteral("KOLTA - Login to Database"));
    QCOMPARE(login.size(), QSize(409, 154));
    QCOMPARE(login.minimumSize(), login.maximumSize());
    QVERIFY(!(login.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

    QVERIFY(test::controlsAsDesigned(&login, {
        {"lblLabels_2", {90, 405, 1080, 390}, "System Database:"},
        {"Text1", {1290, 405, 4080, 285}, ""},
        {"Command1", {5475, 420, 315, 285}, "..."},
        {"lblLabels_0", {105, 870, 1080, 270}, "&User Name:"},
        {"txtUserName", {1290, 855, 4080, 285}, ""},
        {"lblLabels_1", {105, 1260, 1080, 270}, "&Password:"},
        {"txtPassword", {1290, 1245, 4080, 285}, ""},
        {"cmdOK", {1815, 1785, 1140, 390}, "OK"},
        {"cmdCancel", {3405, 1785, 1140, 390}, "Cancel"},
    }));
    for (const char *box : {"Text1", "txtUserName", "txtPassword"})
        QCOMPARE(child<QLineEdit>(&login, box)->text(), QString());
    auto *password = login.findChild<QLineEdit *>(QStringLiteral("txtPassword"));
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QCOMPARE(password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, password), int('*'));
    QVERIFY(login.findChild<QPushButton *>(QStringLiteral("cmdOK"))->isDefault());

    login.show();
    QVERIFY(QTest::qWaitForWindowActive(&login));
    QCOMPARE(test::tabOrder(child<QWidget>(&login, "Text1"), 6),
             (QStringList{"Text1", "Command1", "txtUserName", "txtPassword", "cmdOK", "cmdCancel"}));
    QTest::keyClick(&login, Qt::Key_P, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), password);
    QTest::keyClick(&login, Qt::Key_U, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("txtUserName"));
}

void tst_Browse::loginCancelChangesNothing_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Cancel button") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("frame close") << 2;
}

void tst_Browse::loginCancelChangesNothing()
{
    QFETCH(int, how);
    App app;
    app.setDatabase(m_shop, QString(), QStringLiteral("Admin"));
    QCOMPARE(app.session.gDataSource.text(), m_shop);
    const QStringList tables = app.tableNames();

    onLogin([how](frmLogin *login) {
        typeLogin(login, QStringLiteral("x.mdw"), QStringLiteral("bob"), QStringLiteral("pw"));
        if (how == 0)
            QTest::mouseClick(login->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
        else if (how == 1)
            QTest::keyClick(login, Qt::Key_Escape);
        else
            login->close();
    });
    const int dialogsBefore = app.desktop.fileDialogs.size();
    app.window.mnSetDatabase_Click();
    QCOMPARE(app.session.gLoginCancelled, qint16(-1));
    QCOMPARE(app.desktop.fileDialogs.size(), dialogsBefore);
    QCOMPARE(app.session.gUserId.text(), QStringLiteral("Admin"));
    QCOMPARE(app.session.gSystemDatabase.text(), QString());
    QCOMPARE(app.session.gDataSource.text(), m_shop);
    QCOMPARE(app.tableNames(), tables);
    QVERIFY(app.desktop.messages.isEmpty());
    // Cancel keeps the window with what was typed; closed through its frame it comes back empty.
    QCOMPARE(app.window.browser().login().findChild<QLineEdit *>(QStringLiteral("txtUserName"))->text(),
             how == 2 ? QString() : QStringLiteral("bob"));
}

void tst_Browse::loginBrowseButton()
{
    Module1 session;
    test::ScriptedDesktop desktop;
    frmLogin login(session, desktop);
    auto *text1 = login.findChild<QLineEdit *>(QStringLiteral("Text1"));
    text1->setText(QStringLiteral("typed.mdw"));
    desktop.fileAnswers = {QStringLiteral("/w/system.mdw"), std::nullopt, QStringLiteral("/w/other.mdw")};
    login.Command1_Click();
    QCOMPARE(text1->text(), QStringLiteral("/w/system.mdw"));
    login.Command1_Click(); // cancelled
    QCOMPARE(text1->text(), QStringLiteral("/w/system.mdw"));
    login.Command1_Click();
    QCOMPARE(text1->text(), QStringLiteral("/w/other.mdw"));
    QCOMPARE(desktop.fileDialogs.at(0).filter, QStringLiteral("System Databases (*.mdw)|*.mdw"));
    QCOMPARE(desktop.fileDialogs.at(0).fileName, QString());
    QCOMPARE(desktop.fileDialogs.at(1).fileName, QStringLiteral("/w/system.mdw"));
    QCOMPARE(desktop.fileDialogs.at(2).fileName, QStringLiteral("/w/system.mdw"));
    QVERIFY(desktop.messages.isEmpty());
}

void tst_Browse::tableFilter()
{
    App app;
    QVERIFY(!app.action("mnGenerateASP")->isEnabled());
    QVERIFY(!app.editEnabled());
    app.setDatabase(m_shop);
    QCOMPARE(app.desktop.fileDialogs.constLast().filter, QStringLiteral("MS Access databases (*.mdb)|*.mdb|MS Access 2007 databases (*.accdb)|*.accdb"));
    QCOMPARE(app.desktop.fileDialogs.constLast().fileName, QString());
    const QStringList names = app.tableNames();
    for (const char *hidden : {"MSysObjects", "msysQueries", "Msys", "USysRibbons", "usysX"})
        QVERIFY2(!names.contains(QLatin1String(hidden)), hidden);
    for (const char *listed : {"Books", "MSy", "UserSys", "XMSYS", "Sys", "Odd sizes"})
        QVERIFY2(names.contains(QLatin1String(listed)), listed);
    QCOMPARE(app.tables()->currentIndex(), 0);
    QCOMPARE(app.label("Label6"), m_shop);
    QVERIFY(app.action("mnGenerateASP")->isEnabled());
    QVERIFY(app.action("mnPreviewPage")->isEnabled());
    QVERIFY(app.action("mnPrintTableFields")->isEnabled());
    QVERIFY(app.editEnabled());
    QVERIFY(app.desktop.messages.isEmpty());
}

void tst_Browse::fieldLinesAndTotal()
{
    App app;
    app.setDatabase(m_shop);
    QCOMPARE(app.tables()->currentText(), QStringLiteral("Books"));
    const QString pad42(42, QLatin1Char(' '));
    const QString pad39(39, QLatin1Char(' '));
    QCOMPARE(app.fieldLines(), (QStringList{"ID" + pad42 + "long       4", "Title" + pad39 + "string    50",
                                            "Notes" + pad39 + "memo       0"}));
    QCOMPARE(app.label("Label1"), QStringLiteral("Total:  54"));
    for (const QString &line : app.fieldLines())
        QCOMPARE(line.size(), 56);

    app.tables()->setCurrentIndex(app.tables()->findText(QStringLiteral("Odd sizes")));
    app.window.Combo1_Click();
    const QStringList odd = app.fieldLines();
    QCOMPARE(odd.size(), 7);
    QCOMPARE(odd.at(0), QString(44, QLatin1Char('N')) + QStringLiteral("long       4"));
    QCOMPARE(odd.at(1).mid(44), QStringLiteral("OLE object 0"));
    QCOMPARE(odd.at(2).mid(44), QStringLiteral("date/time  8"));
    QCOMPARE(odd.at(3).mid(44), QStringLiteral("string   255"));
    QCOMPARE(odd.at(4).mid(44), QStringLiteral("rep. id   16"));
    QCOMPARE(odd.at(5).mid(44), QStringLiteral("decimal   16"));
    QCOMPARE(odd.at(6).mid(44), QStringLiteral("binary    16"));
    QCOMPARE(app.label("Label1"), QStringLiteral("Total:  315"));
}

void tst_Browse::reselectingRebuilds()
{
    App app;
    app.setDatabase(m_shop);
    const QStringList first = app.fieldLines();
    app.fields()->addItem(QStringLiteral("stale"));
    // The user picks the entry that is already selected.
    emit app.tables()->activated(app.tables()->currentIndex());
    QCOMPARE(app.fieldLines(), first);
}

void tst_Browse::headingsOverColumns_data()
{
    QTest::addColumn<qreal>("points");
    QTest::newRow("as designed") << 8.25;
    QTest::newRow("10 pt") << 10.0;
    QTest::newRow("13 pt") << 13.0;
}

void tst_Browse::headingsOverColumns()
{
    QFETCH(qreal, points);
    App app;
    app.setDatabase(m_shop);
    QListWidget *list = app.fields();
    QFont font = list->font();
    font.setPointSizeF(points);
    list->setFont(font);
    app.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&app.window));

    // Where the list really draws the first line's characters.
    QListWidgetItem *item = list->item(0);
    const QString line = item->text();
    QCOMPARE(line.size(), 56);
    const int textMargin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    const qreal textLeft = list->viewport()->mapTo(&app.window, list->visualItemRect(item).topLeft()).x() + textMargin;
    const QFontMetricsF lineMetrics(list->font());
    const qreal typeLeft = textLeft + lineMetrics.horizontalAdvance(line.left(44));
    const qreal sizeRight = textLeft + lineMetrics.horizontalAdvance(line);

    auto *heading = app.window.findChild<QLabel *>(QStringLiteral("Label5"));
    QCOMPARE(heading->text(), QStringLiteral("Type               Size"));
    const qreal captionLeft = heading->mapTo(&app.window, heading->contentsRect().topLeft()).x();
    const qreal captionRight = captionLeft + QFontMetricsF(heading->font()).horizontalAdvance(heading->text());
    QVERIFY2(qAbs(captionLeft - typeLeft) <= 1, qPrintable(QStringLiteral("Type at %1, column at %2").arg(captionLeft).arg(typeLeft)));
    QVERIFY2(qAbs(captionRight - sizeRight) <= 1.5, qPrintable(QStringLiteral("Size ends at %1, sizes at %2").arg(captionRight).arg(sizeRight)));
    QVERIFY(heading->width() >= captionRight - captionLeft);
}

void tst_Browse::totalPastSixteenBits()
{
    App app;
    app.setDatabase(m_wide);
    QCOMPARE(app.fields()->count(), 140);
    QCOMPARE(app.label("Label1"), QStringLiteral("Total:  35700"));
}

void tst_Browse::systemTablesOnly()
{
    App app;
    app.setDatabase(m_system);
    QCOMPARE(app.tables()->count(), 0);
    QCOMPARE(app.fields()->count(), 0);
    QVERIFY(app.session.gDatabase);
    QCOMPARE(app.label("Label6"), m_system);
    QVERIFY(!app.action("mnGenerateASP")->isEnabled());
    QVERIFY(!app.editEnabled());
    QVERIFY(app.desktop.messages.isEmpty());
    QCOMPARE(app.label("Label1"), QStringLiteral("Total:"));
}

void tst_Browse::sampleOpensWithoutLogin()
{
    const QString sample = m_dir.filePath(QStringLiteral("sample.mdb"));
    QCOMPARE(kolta::sample::writeLibrary(sample), QString());
    App app;
    app.window.openSample(sample);
    // The login window is made at its first use: never made, never shown.
    QVERIFY(app.window.findChildren<frmLogin *>().isEmpty());
    QVERIFY(app.desktop.fileDialogs.isEmpty());
    QVERIFY(app.desktop.messages.isEmpty());
    QCOMPARE(app.session.gSystemDatabase.text(), QString());
    QCOMPARE(app.session.gUserId.text(), QString());
    QCOMPARE(app.session.gPassword.text(), QString());
    QCOMPARE(app.session.gLoginCancelled, qint16(0));
    QCOMPARE(app.engine.SystemDB, QString());
    QCOMPARE(app.engine.DefaultUser, QStringLiteral("Admin"));
    QCOMPARE(app.engine.DefaultPassword, QString());
    QCOMPARE(app.session.gDataSource.text(), sample);
    QCOMPARE(app.label("Label6"), sample);
    QCOMPARE(app.tableNames(), (QStringList{QStringLiteral("Books"), QStringLiteral("Loans"), QStringLiteral("Members")}));
    QCOMPARE(app.fieldLines().size(), qsizetype(6));
    QVERIFY(app.action("mnGenerateASP")->isEnabled());
}

void tst_Browse::missingSampleSaysSo()
{
    App app;
    const QString missing = m_dir.filePath(QStringLiteral("no-sample.mdb"));
    app.window.openSample(missing);
    QVERIFY(app.window.findChildren<frmLogin *>().isEmpty());
    QCOMPARE(app.desktop.messages.size(), 1);
    QVERIFY(app.desktop.messages.constFirst().prompt.contains(missing));
    QVERIFY(!app.session.gDatabase);
}

void tst_Browse::buildWritesSample()
{
    const QString sample = QStringLiteral(KOLTA_BIN_DIR "/sample.mdb");
    QVERIFY2(QFileInfo::exists(sample), qPrintable(sample));
    jet::DBEngine engine;
    auto opened = engine.OpenDatabase(sample);
    QVERIFY2(opened.ok(), qPrintable(opened.ok() ? QString() : opened.error().message));
    const auto tables = opened.value()->TableDefs();
    QVERIFY(tables.ok());
    QStringList names;
    for (const jet::TableDef &table : tables.value())
        names << table.Name;
    QVERIFY2(names.contains(QStringLiteral("Books")), qPrintable(names.join(QLatin1Char(','))));
}

void tst_Browse::loginValuesReachEngine()
{
    App app;
    app.setDatabase(m_shop, m_workgroup, QStringLiteral("alice"), QStringLiteral("pw"));
    QCOMPARE(app.engine.SystemDB, m_workgroup);
    QCOMPARE(app.engine.DefaultUser, QStringLiteral("alice"));
    QCOMPARE(app.engine.DefaultPassword, QStringLiteral("pw"));
    // The password cannot be checked here: said once for the login.
    QCOMPARE(app.desktop.messages.size(), 1);
    QVERIFY(app.desktop.messages.constLast().prompt.contains(QLatin1String("the web server checks it")));
    app.setDatabase(m_shop, m_workgroup, QStringLiteral("alice"), QStringLiteral("pw"));
    QCOMPARE(app.desktop.messages.size(), 1);

    // Empty boxes leave the system database and user as they were; the
    // password is always set, and alice has one.
    app.setDatabase(m_shop, QString(), QString(), QString());
    QCOMPARE(app.engine.SystemDB, m_workgroup);
    QCOMPARE(app.engine.DefaultUser, QStringLiteral("alice"));
    QCOMPARE(app.engine.DefaultPassword, QString());
    QCOMPARE(app.session.gUserId.text(), QString());
    QCOMPARE(app.desktop.messages.size(), 2);
    QVERIFY(app.desktop.messages.constLast().prompt.contains(QLatin1String("Not a valid account name or password")));
}

void tst_Browse::secondSetDatabaseShowsEarlierValues()
{
    App app;
    app.setDatabase(m_shop, m_workgroup, QStringLiteral("Admin"), QStringLiteral("secret"));
    QStringList seen;
    onLogin([&seen](frmLogin *login) {
        for (const char *name : {"Text1", "txtUserName", "txtPassword"})
            seen << login->findChild<QLineEdit *>(QLatin1String(name))->text();
        // OK took the focus last time; every showing starts in the first box.
        seen << QApplication::focusWidget()->objectName();
        pressOK(login);
    });
    app.desktop.fileAnswers.push_back(m_shop);
    app.window.mnSetDatabase_Click();
    QCOMPARE(seen, (QStringList{m_workgroup, "Admin", "secret", "Text1"}));
}

void tst_Browse::failedOpenKeepsEarlierDatabase_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("missing") << "missing.mdb";
    QTest::newRow("not a database") << "text.mdb";
    QTest::newRow("damaged") << "damaged.mdb";
    QTest::newRow("folder") << "";
}

void tst_Browse::failedOpenKeepsEarlierDatabase()
{
    QFETCH(QString, file);
    {
        QFile text(m_dir.filePath(QStringLiteral("text.mdb")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("just a line of text\n");
        QFile shop(m_shop);
        QVERIFY(shop.open(QIODevice::ReadOnly));
        QFile damaged(m_dir.filePath(QStringLiteral("damaged.mdb")));
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(shop.read(4096 + 100));
    }
    App app;
    app.setDatabase(m_shop);
    const QStringList tables = app.tableNames();
    const QStringList fields = app.fieldLines();
    const auto database = app.session.gDatabase;

    const QString path = file.isEmpty() ? m_dir.path() : m_dir.filePath(file);
    app.setDatabase(path);
    QCOMPARE(app.desktop.messages.size(), 1);
    const QString message = app.desktop.messages.constFirst().prompt + app.desktop.messages.constFirst().detail;
    QVERIFY2(message.contains(QFileInfo(path).fileName()), qPrintable(message));
    QCOMPARE(app.session.gDataSource.text(), m_shop);
    QCOMPARE(app.label("Label6"), m_shop);
    QCOMPARE(app.session.gDatabase, database);
    QCOMPARE(app.tableNames(), tables);
    QCOMPARE(app.fieldLines(), fields);
}

void tst_Browse::cancelledFileDialogChangesNothing()
{
    App app;
    app.setDatabase(std::nullopt);
    QVERIFY(app.session.gDataSource.isUnset());
    QCOMPARE(app.label("Label6"), QString());
    QVERIFY(!app.session.gDatabase);
    QVERIFY(!app.action("mnGenerateASP")->isEnabled());

    app.setDatabase(m_shop);
    const QStringList tables = app.tableNames();
    app.setDatabase(std::nullopt);
    QCOMPARE(app.session.gDataSource.text(), m_shop);
    QCOMPARE(app.tableNames(), tables);
    QVERIFY(app.desktop.messages.isEmpty());
}

void tst_Browse::fileGivenSkipsFileDialog()
{
    App app;
    QStringList seen;
    onLogin([&seen](frmLogin *login) {
        seen << login->objectName();
        typeLogin(login, QString(), QStringLiteral("Admin"), QString());
        pressOK(login);
    });
    app.window.openDatabase(m_shop);
    QCOMPARE(seen.size(), 1);
    QVERIFY(app.desktop.fileDialogs.isEmpty());
    QCOMPARE(app.session.gDataSource.text(), m_shop);
    QCOMPARE(app.label("Label6"), m_shop);
    QVERIFY(app.tableNames().contains(QStringLiteral("Books")));
    QVERIFY(app.action("mnGenerateASP")->isEnabled());
    QVERIFY(app.desktop.messages.isEmpty());

    // Cancelled at the login, the file is not opened.
    App other;
    onLogin([](frmLogin *login) { QTest::keyClick(login, Qt::Key_Escape); });
    other.window.openDatabase(m_shop);
    QVERIFY(other.session.gDataSource.isUnset());
    QVERIFY(other.desktop.fileDialogs.isEmpty());
    QVERIFY(!other.session.gDatabase);
}

void tst_Browse::vanishedTableSaysWhy()
{
    const QString path = m_dir.filePath(QStringLiteral("changing.mdb"));
    QFile::remove(path);
    QVERIFY(QFile::copy(m_shop, path));
    App app;
    app.setDatabase(path);
    QVERIFY(app.tableNames().contains(QStringLiteral("Odd sizes")));

    // Another program replaces the file by one without that table.
    jw::Database other;
    other.tables << jw::Table{QStringLiteral("Books"), false, {col(QStringLiteral("ID"), jw::ColumnType::Long)}, {}};
    QFile::remove(path);
    QCOMPARE(jw::write(path, other), QString());

    app.tables()->setCurrentIndex(app.tables()->findText(QStringLiteral("Odd sizes")));
    app.window.Combo1_Click();
    QCOMPARE(app.desktop.messages.size(), 1);
    QVERIFY2(app.desktop.messages.constFirst().prompt.contains(QStringLiteral("Odd sizes")),
             qPrintable(app.desktop.messages.constFirst().prompt));
    QCOMPARE(app.fields()->count(), 0);
}

void tst_Browse::workgroupRefusesUnknownUser()
{
    App app;
    app.setDatabase(m_shop, m_workgroup, QStringLiteral("mallory"), QString());
    QCOMPARE(app.desktop.messages.size(), 1);
    QVERIFY(!app.session.gDatabase);
    QVERIFY(app.session.gDataSource.isUnset());
    QCOMPARE(app.tables()->count(), 0);

    // Known users, in any letter case, get in.
    app.setDatabase(m_shop, m_workgroup, QStringLiteral("ALICE"), QStringLiteral("pw"));
    QVERIFY(app.session.gDatabase);
}

void tst_Browse::printoutAsText()
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed.");
    App app;
    app.setDatabase(m_shop);
    const QString pdf = m_dir.filePath(QStringLiteral("fields.pdf"));
    app.desktop.yesNoAnswers = {true};
    app.desktop.fileAnswers.push_back(pdf);
    app.window.mnPrintTableFields_Click();
    QVERIFY(app.desktop.messages.isEmpty());

    QProcess text;
    text.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(30000));
    QStringList printed;
    for (const QString &line : QString::fromUtf8(text.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty())
            printed << line.trimmed().simplified();
    }
    QStringList expected;
    for (const QString &line : app.fieldLines())
        expected << line.simplified();
    QCOMPARE(printed, expected);

    // With a printer: one document per command, the list's lines in Courier 12.
    app.desktop.printerName = QStringLiteral("Office");
    app.window.mnPrintTableFields_Click();
    app.window.mnPrintTableFields_Click();
    QCOMPARE(app.desktop.printed.size(), 2);
    QCOMPARE(app.desktop.printed.at(0).lines, app.fieldLines());
    QCOMPARE(app.desktop.printed.at(1).lines, app.fieldLines());
    QCOMPARE(app.desktop.printed.at(0).fontName, QStringLiteral("Courier"));
    QCOMPARE(app.desktop.printed.at(0).pointSize, 12.0);
}

void tst_Browse::printEmptyList()
{
    App app;
    app.desktop.printerName = QStringLiteral("Office");
    QVERIFY(app.action("mnPrintTableFields")->isEnabled());
    app.action("mnPrintTableFields")->trigger();
    QCOMPARE(app.desktop.printed.size(), 1);
    QVERIFY(app.desktop.printed.constFirst().lines.isEmpty());
}

void tst_Browse::realWorldFiles()
{
    const QDir corpus(QStringLiteral(KOLTA_SHARED_MDB));
    if (!corpus.exists())
        QSKIP("The real-world files are not here.");
    const QStringList broken{"zero-length.mdb", "truncated-testV2000.mdb", "not-a-database.mdb"};
    App app;
    for (const QString &name : corpus.entryList({QStringLiteral("*.mdb"), QStringLiteral("*.accdb")}, QDir::Files, QDir::Name)) {
        const int messagesBefore = app.desktop.messages.size();
        app.setDatabase(corpus.filePath(name));
        if (broken.contains(name)) {
            QVERIFY2(app.desktop.messages.size() == messagesBefore + 1, qPrintable(name));
            continue;
        }
        QVERIFY2(app.desktop.messages.size() == messagesBefore, qPrintable(name));
        QCOMPARE(app.session.gDataSource.text(), corpus.filePath(name));
        for (int i = 0; i < app.tables()->count(); ++i) {
            app.tables()->setCurrentIndex(i);
            app.window.Combo1_Click();
            QVERIFY2(app.desktop.messages.size() == messagesBefore,
                     qPrintable(name + QLatin1Char('/') + app.tables()->currentText()));
        }
    }
}

void tst_Browse::accessTwentyTenFields_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("tables");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("line");
    const auto pad = [](const char *name) { return QString::fromLatin1(name).leftJustified(44); };
    const QStringList one{QStringLiteral("Table1")};
    // The hidden tables that hold complex values are not listed.
    QTest::newRow("attachment") << "complexDataTestV2010.accdb" << one << 5 << pad("attach-data") + "attachment 4";
    QTest::newRow("multi-valued text") << "complexDataTestV2010.accdb" << one << 4 << pad("multi-value-data") + "mv string  4";
    QTest::newRow("version history") << "complexDataTestV2010.accdb" << one << 1
        << "VersionHistory_F5F8918F-0A3F-4DA9-AE71-184EE5012880 versions   4";
    QTest::newRow("calculated text") << "calcFieldTestV2010.accdb" << one << 3 << pad("LastFirst") + "=string  243";
    QTest::newRow("calculated currency") << "calcFieldTestV2010.accdb" << one << 7 << pad("MonthlySalary") + "=currency  8";
    QTest::newRow("calculated yes/no") << "calcFieldTestV2010.accdb" << one << 8 << pad("IsRich") + "=boolean   1";
    QTest::newRow("extended date/time") << "extDateTestV2019.accdb" << one << 2 << pad("DateExt") + "ext. date 42";
    QTest::newRow("plain date/time") << "extDateTestV2019.accdb" << one << 3 << pad("DateNormal") + "date/time  8";
}

void tst_Browse::accessTwentyTenFields()
{
    QFETCH(QString, file);
    QFETCH(QStringList, tables);
    QFETCH(int, index);
    QFETCH(QString, line);
    const QString path = QStringLiteral(KOLTA_SHARED_MDB "/") + file;
    if (!QFileInfo::exists(path))
        QSKIP("The real-world files are not here.");
    App app;
    app.setDatabase(path);
    QCOMPARE(app.desktop.messages.size(), 0);
    QCOMPARE(app.tableNames(), tables);
    QCOMPARE(app.fieldLines().value(index), line);
}

QTEST_MAIN(tst_Browse)
#include "tst_browse.moc"
