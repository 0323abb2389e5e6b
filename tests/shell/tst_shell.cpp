#include "fonts.h"
#include "frmmain.h"
#include "module1.h"
#include "testapp.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

using namespace kolta;

class tst_Shell : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installClassicFonts(); }

    void variantText();
    void sessionStartsEmpty();
    void fieldLabelsGrowAndShrink();

    void mainWindowDesign();
    void controls_data();
    void controls();
    void menuTree();
    void menuStartStates();
    void accessKeysOpenMenus();
    void exitEndsProgram();
    void frameCloseEndsProgram();
    void helpAndVersionWithoutDisplay();
};

void tst_Shell::variantText()
{
    const VariantText unset;
    QVERIFY(unset.isUnset());
    QVERIFY(unset.isEmpty());
    QCOMPARE(unset.text(), QString());
    QVERIFY(unset == QString());
    QVERIFY(unset == VariantText(QString()));

    const VariantText empty(QString{});
    QVERIFY(!empty.isUnset());
    QVERIFY(empty.isEmpty());

    const VariantText blanks(QStringLiteral("  "));
    QVERIFY(!blanks.isEmpty());
    QVERIFY(!(blanks == QString()));
    QCOMPARE(blanks.text(), QStringLiteral("  "));
}

void tst_Shell::sessionStartsEmpty()
{
    const Module1 s;
    QVERIFY(!s.gFieldLabels.isSized());
    QCOMPARE(s.gFieldLabels.upperBound(), -1);
    QVERIFY(!s.gFieldLabels.at(0));
    for (const VariantText *v : {&s.gSqlQuery, &s.gDataSource, &s.gSystemDatabase, &s.gUserId, &s.gPassword})
        QVERIFY(v->isUnset());
    QCOMPARE(s.gPageHeader, QString());
    QVERIFY(!s.gDatabase);
    QCOMPARE(s.gLoginCancelled, qint16(0));
    QCOMPARE(s.gFieldCount, qint16(0));
}

void tst_Shell::fieldLabelsGrowAndShrink()
{
    FieldLabels labels;
    QVERIFY(!labels.set(0, QStringLiteral("x")));
    labels.redimPreserve(5);
    QCOMPARE(labels.upperBound(), 5);
    for (int i = 0; i <= 5; ++i)
        QCOMPARE(labels.at(i), std::optional<QString>(QString()));
    QVERIFY(labels.set(0, QStringLiteral("a")));
    QVERIFY(labels.set(4, QStringLiteral("e")));
    QVERIFY(!labels.set(6, QStringLiteral("out")));
    QVERIFY(!labels.set(-1, QStringLiteral("out")));

    labels.redimPreserve(3);
    QCOMPARE(labels.upperBound(), 3);
    QCOMPARE(*labels.at(0), QStringLiteral("a"));
    QVERIFY(!labels.at(4));

    labels.redimPreserve(5);
    QCOMPARE(*labels.at(4), QString()); // dropped, then new again
    QCOMPARE(*labels.at(0), QStringLiteral("a"));

    labels.redimPreserve(0);
    QVERIFY(labels.isSized());
    QCOMPARE(labels.upperBound(), 0);
}

void tst_Shell::mainWindowDesign()
{
    test::App app;
    app.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&app.window));
    QCOMPARE(app.window.objectName(), QStringLiteral("frmmain"));
    QCOMPARE(app.window.windowTitle(), QStringLiteral("KOLTA - Main"));
    QWidget *client = app.window.centralWidget();
    QCOMPARE(client->size(), QSize(467, 332));
    QCOMPARE(app.window.minimumSize(), app.window.maximumSize());
    const Qt::WindowFlags flags = app.window.windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
}

void tst_Shell::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("twips");

    QTest::newRow("Label6") << "Label6" << "QLabel" << "" << QRect(210, 135, 6210, 255);
    QTest::newRow("Label2") << "Label2" << "QLabel" << "Tables in Database:" << QRect(255, 540, 1485, 180);
    QTest::newRow("Combo1") << "Combo1" << "QComboBox" << "" << QRect(1830, 510, 2820, 315);
    QTest::newRow("Label3") << "Label3" << "QLabel" << "Fields in selected Table:" << QRect(255, 1035, 1755, 195);
    QTest::newRow("Label4") << "Label4" << "QLabel" << "Name" << QRect(285, 1335, 570, 225);
    QTest::newRow("Label5") << "Label5" << "QLabel" << "Type               Size" << QRect(4920, 1335, 1515, 225);
    QTest::newRow("List1") << "List1" << "QListWidget" << "" << QRect(240, 1620, 6555, 2790);
    QTest::newRow("Label1") << "Label1" << "QLabel" << "Total:" << QRect(3615, 4470, 2565, 240);
}

void tst_Shell::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, text);
    QFETCH(QRect, twips);

    test::App app;
    QWidget *widget = app.window.centralWidget()->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    const QRect designed(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
    // The type and size heading follows the list font across (tst_browse checks where).
    if (name == QLatin1String("Label5"))
        QCOMPARE(QPoint(widget->y(), widget->height()), QPoint(designed.y(), designed.height()));
    else
        QCOMPARE(widget->geometry(), designed);
    if (auto *label = qobject_cast<QLabel *>(widget))
        QCOMPARE(label->text(), text);
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        QVERIFY(!combo->isEditable());
        QCOMPARE(combo->count(), 0);
    }
    if (auto *list = qobject_cast<QListWidget *>(widget)) {
        QCOMPARE(list->count(), 0);
        QVERIFY(QFontInfo(list->font()).fixedPitch());
        QCOMPARE(list->font().pointSizeF(), 8.25);
    }
    if (name == QLatin1String("Label6")) {
        QVERIFY(widget->font().bold());
        QCOMPARE(widget->font().family(), QStringLiteral("MS Sans Serif"));
    }
}

void tst_Shell::menuTree()
{
    test::App app;
    const QList<QAction *> bar = app.window.menuBar()->actions();
    QCOMPARE(bar.size(), 2);
    QCOMPARE(bar.at(0)->text(), QStringLiteral("&File"));
    QCOMPARE(bar.at(1)->text(), QStringLiteral("&Edit"));
    QCOMPARE(bar.at(0)->menu()->objectName(), QStringLiteral("mnFile"));
    QCOMPARE(bar.at(1)->menu()->objectName(), QStringLiteral("mnEdit"));

    QStringList file;
    for (QAction *a : bar.at(0)->menu()->actions())
        file << a->objectName() + QLatin1Char('=') + (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(file, (QStringList{"mnSetDatabase=&Set Database...", "mnPrintTableFields=&Print Table Fields",
                                "mnGenerateASP=&Generate ASP...", "mnPreviewPage=Pre&view Page...", "mnOpenPage=&Open Page...", "sep1=-", "mbAbout=About...", "sep2=-",
                                "mnExit=E&xit"}));
    QStringList edit;
    for (QAction *a : bar.at(1)->menu()->actions())
        edit << a->objectName() + QLatin1Char('=') + a->text();
    QCOMPARE(edit, (QStringList{"mnSQLStatement=S&QL Statement...", "mnLayout=&Layout...",
                                "mnPageOptions=Page &Options..."}));
}

void tst_Shell::menuStartStates()
{
    test::App app;
    QVERIFY(app.action("mnSetDatabase")->isEnabled());
    QVERIFY(app.action("mnPrintTableFields")->isEnabled());
    QVERIFY(!app.action("mnGenerateASP")->isEnabled());
    QVERIFY(!app.action("mnPreviewPage")->isEnabled());
    QVERIFY(app.action("mbAbout")->isEnabled());
    QVERIFY(app.action("mnExit")->isEnabled());
    QMenu *edit = app.window.findChild<QMenu *>(QStringLiteral("mnEdit"));
    QVERIFY(!edit->menuAction()->isEnabled());
    // The entries themselves are enabled; the whole menu is what is off.
    QVERIFY(app.action("mnSQLStatement")->isEnabled());
    QVERIFY(app.action("mnLayout")->isEnabled());
    QVERIFY(app.action("mnPageOptions")->isEnabled());
}

void tst_Shell::accessKeysOpenMenus()
{
    test::App app;
    app.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&app.window));
    QMenu *file = app.window.findChild<QMenu *>(QStringLiteral("mnFile"));
    QTest::keyClick(&app.window, Qt::Key_F, Qt::AltModifier);
    QTRY_VERIFY(file->isVisible());
    file->close();
    QMenu *edit = app.window.findChild<QMenu *>(QStringLiteral("mnEdit"));
    QTest::keyClick(&app.window, Qt::Key_E, Qt::AltModifier);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QVERIFY(!edit->isVisible()); // disabled until a database is open
}

void tst_Shell::exitEndsProgram()
{
    test::App app;
    app.window.show();
    QTimer::singleShot(0, &app.window, [&app] { app.action("mnExit")->trigger(); });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(10000);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(app.desktop.messages.isEmpty());
}

void tst_Shell::frameCloseEndsProgram()
{
    test::App app;
    app.window.show();
    QWidget hiddenSibling; // a window kept loaded but hidden must not keep the program alive
    QTimer::singleShot(0, &app.window, [&app] { app.window.close(); });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(10000);
    QCOMPARE(QCoreApplication::exec(), 0);
}

void tst_Shell::helpAndVersionWithoutDisplay()
{
    // As from a terminal with no desktop: no display and no platform chosen.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    const auto run = [&environment](const QString &option, QByteArray *output) {
        QProcess kolta;
        kolta.setProcessEnvironment(environment);
        kolta.start(QStringLiteral(KOLTA_BIN_DIR "/kolta"), {option});
        if (!kolta.waitForFinished(30000))
            return -1;
        *output = kolta.readAllStandardOutput();
        return kolta.exitStatus() == QProcess::NormalExit ? kolta.exitCode() : -1;
    };
    QByteArray output;
    QCOMPARE(run(QStringLiteral("--version"), &output), 0);
    QVERIFY2(QRegularExpression(QStringLiteral("^kolta \\d+(\\.\\d+)*\n$")).match(QString::fromUtf8(output)).hasMatch(),
             output.constData());
    QCOMPARE(run(QStringLiteral("--help"), &output), 0);
    QVERIFY2(output.contains("[FILE]"), output.constData());
}

QTEST_MAIN(tst_Shell)
#include "tst_shell.moc"
