#include "aspwriter.h"
#include "frmlayout.h"
#include "frmpageoptions.h"
#include "pageheader.h"
#include "scripteddesktop.h"
#include "testapp.h"
#include "uitest.h"
#include "fonts.h"
#include "frmmain.h"
#include "ui_frmlayout.h"
#include "ui_frmpageoptions.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QtTest>

#include <functional>

using namespace kolta;

namespace {

const QString EveryField = QStringLiteral(
    "<HTML><TITLE>Orders</TITLE><H1><P ALIGN=LEFT>Orders</P></H1>"
    "<BODY BGCOLOR=FFFFFF BACKGROUND=\"bg.gif\">"
    "<TABLE ALIGN=CENTER BORDER=1 BORDERCOLOR=FF RULES=ALL CELLPADDING=2 CELLSPACING=3>");

QRect twips(int left, int top, int width, int height)
{
    return QRect(qRound(left / 15.0), qRound(top / 15.0), qRound(width / 15.0), qRound(height / 15.0));
}

// Layout... of the main window's Edit menu; script runs while the window is up.
void whileModal(frmmain &main, const std::function<void(frmLayout &)> &script)
{
    test::whileModal<frmLayout>([&main] { main.mnLayout_Click(); }, script);
}

void flushDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void stepUp(UpDown *upDown, int times)
{
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(upDown->upButton(), Qt::LeftButton);
}

void pick(QComboBox *combo, const QString &item)
{
    combo->setFocus();
    QTest::keyClicks(combo, item);
}

// Types and picks a value in each of the nine fields; the colour dialog must
// answer white, then red.
void enterEveryField(const Ui::frmLayout &f)
{
    QTest::keyClicks(f.Text1, QStringLiteral("Orders"));
    QTest::mouseClick(f.Command1, Qt::LeftButton);
    QTest::keyClicks(f.Text3, QStringLiteral("bg.gif"));
    pick(f.Combo1, QStringLiteral("CENTER"));
    stepUp(f.UpDown1, 1);
    QTest::mouseClick(f.Command2, Qt::LeftButton);
    pick(f.Combo2, QStringLiteral("ALL"));
    stepUp(f.UpDown2, 2);
    stepUp(f.UpDown3, 3);
}

} // namespace

class tst_Layout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installClassicFonts(); }

    void pageHeader_data();
    void pageHeader();
    void colorToText_data();
    void colorToText();

    void windowDesign();
    void controls_data();
    void controls();
    void tabOrder();
    void keysBoundToNoButton();
    void readOnlyBoxesTakeNoTyping();
    void upDownBinding();

    void everyFieldThroughTheWindow();
    void okTwiceGivesSameHeader();
    void cancelKeepsHeaderAndValues();
    void colorCarriesOverBetweenButtons();
    void cancelledColorDialogChangesNothing();
    void frameCloseDiscardsWindow();
    void headerIsFirstLineOfPage();

    void pageOptionsDesign();
    void pageOptionsButtons_data();
    void pageOptionsButtons();
};

void tst_Layout::pageHeader_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("expected");

    const QString emptyStart = QStringLiteral("<HTML><TITLE></TITLE><H1><P ALIGN=LEFT></P></H1>");
    QTest::newRow("every field given")
        << QStringList{"Orders", "FFFFFF", "bg.gif", "CENTER", "1", "FF", "ALL", "2", "3"} << EveryField;
    QTest::newRow("no border, border colour or rules")
        << QStringList{"Orders", "FFFFFF", "bg.gif", "CENTER", "", "", "", "2", "3"}
        << QStringLiteral("<HTML><TITLE>Orders</TITLE><H1><P ALIGN=LEFT>Orders</P></H1>"
                          "<BODY BGCOLOR=FFFFFF BACKGROUND=\"bg.gif\"><TABLE ALIGN=CENTER CELLPADDING=2 CELLSPACING=3>");
    QTest::newRow("nothing given") << QStringList(9, QString()) << emptyStart + QStringLiteral("<BODY><TABLE>");
    QTest::newRow("caption unescaped")
        << QStringList{"A<B", "", "", "", "", "", "", "", ""}
        << QStringLiteral("<HTML><TITLE>A<B</TITLE><H1><P ALIGN=LEFT>A<B</P></H1><BODY><TABLE>");
    QTest::newRow("quote in background")
        << QStringList{"", "", "a\"b.gif", "", "", "", "", "", ""}
        << emptyStart + QStringLiteral("<BODY BACKGROUND=\"a\"b.gif\"><TABLE>");
    QTest::newRow("blank background is given")
        << QStringList{"", "", " ", "", "", "", "", "", ""}
        << emptyStart + QStringLiteral("<BODY BACKGROUND=\" \"><TABLE>");
    QTest::newRow("only background colour")
        << QStringList{"", "FF", "", "", "", "", "", "", ""} << emptyStart + QStringLiteral("<BODY BGCOLOR=FF><TABLE>");
    QTest::newRow("zeros are given")
        << QStringList{"", "", "", "", "0", "", "", "0", "0"}
        << emptyStart + QStringLiteral("<BODY><TABLE BORDER=0 CELLPADDING=0 CELLSPACING=0>");
    QTest::newRow("table attributes without alignment")
        << QStringList{"", "", "", "", "4", "FF00", "ROWS", "", ""}
        << emptyStart + QStringLiteral("<BODY><TABLE BORDER=4 BORDERCOLOR=FF00 RULES=ROWS>");
    QTest::newRow("only alignment") << QStringList{"", "", "", "RIGHT", "", "", "", "", ""}
                                    << emptyStart + QStringLiteral("<BODY><TABLE ALIGN=RIGHT>");
    QTest::newRow("blank caption is written twice")
        << QStringList{"  ", "", "", "", "", "", "", "", ""}
        << QStringLiteral("<HTML><TITLE>  </TITLE><H1><P ALIGN=LEFT>  </P></H1><BODY><TABLE>");
}

void tst_Layout::pageHeader()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, expected);
    QCOMPARE(fields.size(), 9);
    QCOMPARE(pagegen::BuildPageHeader(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5],
                                      fields[6], fields[7], fields[8]),
             expected);
}

void tst_Layout::colorToText_data()
{
    QTest::addColumn<quint32>("color");
    QTest::addColumn<QString>("expected");
    QTest::newRow("red") << quint32(0x0000FF) << QStringLiteral("FF");
    QTest::newRow("green") << quint32(0x00FF00) << QStringLiteral("FF00");
    QTest::newRow("blue") << quint32(0xFF0000) << QStringLiteral("FF0000");
    QTest::newRow("white") << quint32(0xFFFFFF) << QStringLiteral("FFFFFF");
    QTest::newRow("black") << quint32(0) << QStringLiteral("0");
    QTest::newRow("red 12 green 34 blue 56") << quint32(0x563412) << QStringLiteral("563412");
    QTest::newRow("no padding") << quint32(0x000A0B) << QStringLiteral("A0B");
    QTest::newRow("all bits") << quint32(0xFFFFFFFF) << QStringLiteral("FFFFFFFF");
}

void tst_Layout::colorToText()
{
    QFETCH(quint32, color);
    QFETCH(QString, expected);
    QCOMPARE(pagegen::ColorToText(color), expected);
}

void tst_Layout::windowDesign()
{
    Module1 session;
    test::ScriptedDesktop desktop;
    frmLayout window(session, desktop);
    QCOMPARE(window.objectName(), QStringLiteral("frmLayout"));
    QCOMPARE(window.windowTitle(), QStringLiteral("KOLTA - Edit Table Layout"));
    QCOMPARE(window.size(), twips(0, 0, 7620, 4830).size());
    QCOMPARE(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(flags.testFlag(Qt::Dialog));
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    const QRect screen = window.screen()->availableGeometry();
    QCOMPARE(window.pos(), screen.center() - window.rect().center());
    QVERIFY(!window.isVisible());

    // Nine rows, each label left of its field, top to bottom.
    const QStringList labels{"CAPTION", "BGCOLOR", "BACKGROUND", "ALIGN", "BORDER",
                             "BORDERCOLOR", "RULES", "CELLPADDING", "CELLSPACING"};
    const QStringList fields{"Text1", "Text2", "Text3", "Combo1", "Text4", "Text5", "Combo2", "Text6", "Text7"};
    int lastTop = -1;
    for (int row = 0; row < 9; ++row) {
        QWidget *field = window.findChild<QWidget *>(fields[row]);
        QVERIFY2(field, qPrintable(fields[row]));
        QLabel *label = nullptr;
        for (QLabel *candidate : window.findChildren<QLabel *>()) {
            if (candidate->text() == labels[row])
                label = candidate;
        }
        QVERIFY2(label, qPrintable(labels[row]));
        QVERIFY(label->geometry().right() < field->x());
        QVERIFY(qAbs(label->geometry().center().y() - field->geometry().center().y()) <= 2);
        QVERIFY(field->y() > lastTop);
        QVERIFY(qAbs(field->x() - 1550 / 15) <= 2);
        lastTop = field->y();
    }

    // The buttons stand at the right edge, level with the last two rows.
    const Ui::frmLayout &f = window.ui();
    QVERIFY(qAbs(f.OKButton->geometry().center().y() - f.Text6->geometry().center().y()) <= 2);
    QVERIFY(qAbs(f.CancelButton->geometry().center().y() - f.Text7->geometry().center().y()) <= 2);
    QVERIFY(window.width() - f.OKButton->geometry().right() <= 15);
    QCOMPARE(f.OKButton->x(), f.CancelButton->x());
    QCOMPARE(f.OKButton->size(), twips(0, 0, 1215, 375).size());
    QCOMPARE(f.CancelButton->size(), twips(0, 0, 1215, 375).size());
    QCOMPARE(f.OKButton->text(), QStringLiteral("OK"));
    QCOMPARE(f.CancelButton->text(), QStringLiteral("Cancel"));
    QCOMPARE(f.Command1->text(), QStringLiteral("..."));
    QCOMPARE(f.Command2->text(), QStringLiteral("..."));
    QVERIFY(!f.OKButton->isDefault() && !f.OKButton->autoDefault());
    QVERIFY(!f.CancelButton->isDefault() && !f.CancelButton->autoDefault());

    // Swatch and button follow their colour box; each up-down its number box.
    QVERIFY(f.Command1->x() > f.Text2->geometry().right() && f.Picture1->x() > f.Command1->geometry().right());
    QVERIFY(f.Command2->x() > f.Text5->geometry().right() && f.Picture2->x() > f.Command2->geometry().right());
    const QList<QPair<QLineEdit *, UpDown *>> bound{
        {f.Text4, f.UpDown1}, {f.Text6, f.UpDown2}, {f.Text7, f.UpDown3}};
    for (const auto &[box, upDown] : bound) {
        QCOMPARE(upDown->buddy(), box);
        QVERIFY(upDown->x() >= box->geometry().right());
        QCOMPARE(upDown->y(), box->y());
    }
    for (QFrame *swatch : {f.Picture1, f.Picture2}) {
        QVERIFY(swatch->autoFillBackground());
        QCOMPARE(swatch->palette().color(QPalette::Window), window.palette().color(QPalette::Window));
    }
}

void tst_Layout::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QStringList>("items");

    const auto tip = [](const char *t) { return QString::fromLatin1(t); };
    QTest::newRow("Text1") << "Text1" << 5850 << tip("Type a caption for your table") << false << QStringList();
    QTest::newRow("Text2") << "Text2" << 2130 << tip("Background color of your web page") << true << QStringList();
    QTest::newRow("Text3") << "Text3" << 5850 << tip("URL of the background image for your web page") << false
                           << QStringList();
    QTest::newRow("Combo1") << "Combo1" << 3645 << tip("Table alignment in your web page") << true
                            << QStringList{"CENTER", "LEFT", "RIGHT"};
    QTest::newRow("Text4") << "Text4" << 330 << tip("Border thickness in pixels") << true << QStringList();
    QTest::newRow("Text5") << "Text5" << 1890 << tip("Your table border color") << true << QStringList();
    QTest::newRow("Combo2") << "Combo2" << 3645 << tip("Interior borders of your table") << true
                            << QStringList{"ALL", "NONE", "COLS", "ROWS"};
    QTest::newRow("Text6") << "Text6" << 330 << tip("Distance between cell walls and data in pixels") << true
                           << QStringList();
    QTest::newRow("Text7") << "Text7" << 330 << tip("Distance between cells in pixels") << true << QStringList();
}

void tst_Layout::controls()
{
    QFETCH(QString, name);
    QFETCH(int, width);
    QFETCH(QString, toolTip);
    QFETCH(bool, readOnly);
    QFETCH(QStringList, items);

    Module1 session;
    test::ScriptedDesktop desktop;
    frmLayout window(session, desktop);
    QWidget *control = window.findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->width(), qRound(width / 15.0));
    QCOMPARE(control->toolTip(), toolTip);
    if (auto *combo = qobject_cast<QComboBox *>(control)) {
        QVERIFY(!combo->isEditable());
        QStringList actual;
        for (int i = 0; i < combo->count(); ++i)
            actual << combo->itemText(i);
        QCOMPARE(actual, items);
        QCOMPARE(combo->currentIndex(), -1);
        QCOMPARE(combo->currentText(), QString());
    } else {
        auto *box = qobject_cast<QLineEdit *>(control);
        QVERIFY(box);
        QCOMPARE(box->isReadOnly(), readOnly);
        QCOMPARE(box->text(), QString());
    }
}

void tst_Layout::tabOrder()
{
    Module1 session;
    test::ScriptedDesktop desktop;
    frmLayout window(session, desktop);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(QApplication::focusWidget(), window.ui().OKButton);

    const QStringList expected{"OKButton", "CancelButton", "Text1", "Text2", "Text3", "Text5", "Text4",
                               "Text6", "Text7", "UpDown1", "UpDown2", "UpDown3", "Combo1", "Combo2",
                               "Command1", "Command2", "Picture1", "Picture2", "OKButton"};
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, expected);
}

void tst_Layout::keysBoundToNoButton()
{
    test::App app;
    whileModal(app.window, [&](frmLayout &window) {
        QTest::keyClicks(window.ui().Text1, QStringLiteral("T"));
        QTest::keyClick(window.ui().Text1, Qt::Key_Return);
        QTest::keyClick(window.ui().Text1, Qt::Key_Escape);
        window.ui().OKButton->setFocus();
        QTest::keyClick(window.ui().OKButton, Qt::Key_Return);
        QVERIFY(window.isVisible());
        QCOMPARE(app.session.gPageHeader, QString());
    });
}

void tst_Layout::readOnlyBoxesTakeNoTyping()
{
    Module1 session;
    test::ScriptedDesktop desktop;
    frmLayout window(session, desktop);
    const Ui::frmLayout &f = window.ui();
    for (QLineEdit *box : {f.Text2, f.Text4, f.Text5, f.Text6, f.Text7}) {
        QTest::keyClicks(box, QStringLiteral("12"));
        QCOMPARE(box->text(), QString());
    }
    QTest::keyClicks(f.Text1, QStringLiteral("Title"));
    QTest::keyClicks(f.Text3, QStringLiteral("bg.gif"));
    QCOMPARE(f.Text1->text(), QStringLiteral("Title"));
    QCOMPARE(f.Text3->text(), QStringLiteral("bg.gif"));
}

void tst_Layout::upDownBinding()
{
    Module1 session;
    test::ScriptedDesktop desktop;
    frmLayout window(session, desktop);
    const Ui::frmLayout &f = window.ui();
    for (UpDown *upDown : {f.UpDown1, f.UpDown2, f.UpDown3}) {
        QCOMPARE(upDown->minimum(), 0);
        QCOMPARE(upDown->maximum(), 20);
        QCOMPARE(upDown->singleStep(), 1);
        QCOMPARE(upDown->value(), 0);
    }

    // Down at the start value changes nothing, so the box stays empty.
    QTest::mouseClick(f.UpDown1->downButton(), Qt::LeftButton);
    QCOMPARE(f.Text4->text(), QString());
    stepUp(f.UpDown1, 1);
    QCOMPARE(f.Text4->text(), QStringLiteral("1"));
    QTest::mouseClick(f.UpDown1->downButton(), Qt::LeftButton);
    QCOMPARE(f.Text4->text(), QStringLiteral("0"));

    stepUp(f.UpDown2, 25);
    QCOMPARE(f.UpDown2->value(), 20);
    QCOMPARE(f.Text6->text(), QStringLiteral("20"));
    QCOMPARE(f.Text7->text(), QString());

    f.UpDown3->setFocus();
    QTest::keyClick(f.UpDown3, Qt::Key_Up);
    QTest::keyClick(f.UpDown3, Qt::Key_Up);
    QTest::keyClick(f.UpDown3, Qt::Key_Down);
    QCOMPARE(f.Text7->text(), QStringLiteral("1"));
    QCOMPARE(f.Text4->text(), QStringLiteral("0"));
}

void tst_Layout::everyFieldThroughTheWindow()
{
    test::App app;
    app.desktop.colorAnswers = {0xFFFFFF, 0x0000FF};
    whileModal(app.window, [&](frmLayout &window) {
        const Ui::frmLayout &f = window.ui();
        enterEveryField(f);
        QCOMPARE(f.Text2->text(), QStringLiteral("FFFFFF"));
        QCOMPARE(f.Text5->text(), QStringLiteral("FF"));
        QCOMPARE(f.Picture1->palette().color(QPalette::Window), QColor(255, 255, 255));
        QCOMPARE(f.Picture2->palette().color(QPalette::Window), QColor(255, 0, 0));
        QTest::mouseClick(f.OKButton, Qt::LeftButton);
        QVERIFY(!window.isVisible());
    });
    QCOMPARE(app.session.gPageHeader, EveryField);
    QCOMPARE(app.desktop.unexpectedDialogs, 0);
}

void tst_Layout::okTwiceGivesSameHeader()
{
    test::App app;
    whileModal(app.window, [&](frmLayout &window) {
        QTest::keyClicks(window.ui().Text1, QStringLiteral("Sales"));
        stepUp(window.ui().UpDown1, 2);
        QTest::mouseClick(window.ui().OKButton, Qt::LeftButton);
    });
    const QString first = app.session.gPageHeader;
    QCOMPARE(first, QStringLiteral("<HTML><TITLE>Sales</TITLE><H1><P ALIGN=LEFT>Sales</P></H1><BODY><TABLE BORDER=2>"));
    whileModal(app.window, [&](frmLayout &window) {
        QTest::mouseClick(window.ui().OKButton, Qt::LeftButton);
    });
    QCOMPARE(app.session.gPageHeader, first);
}

void tst_Layout::cancelKeepsHeaderAndValues()
{
    test::App app;
    frmLayout *firstWindow = nullptr;
    whileModal(app.window, [&](frmLayout &window) {
        firstWindow = &window;
        QTest::keyClicks(window.ui().Text1, QStringLiteral("Kept"));
        QTest::mouseClick(window.ui().OKButton, Qt::LeftButton);
    });
    const QString header = app.session.gPageHeader;

    whileModal(app.window, [&](frmLayout &window) {
        QCOMPARE(&window, firstWindow);
        QTest::keyClicks(window.ui().Text1, QStringLiteral(" edited"));
        pick(window.ui().Combo2, QStringLiteral("COLS"));
        QTest::mouseClick(window.ui().CancelButton, Qt::LeftButton);
        QVERIFY(!window.isVisible());
    });
    QCOMPARE(app.session.gPageHeader, header);

    whileModal(app.window, [&](frmLayout &window) {
        QCOMPARE(window.ui().Text1->text(), QStringLiteral("Kept edited"));
        QCOMPARE(window.ui().Combo2->currentText(), QStringLiteral("COLS"));
        QTest::mouseClick(window.ui().OKButton, Qt::LeftButton);
    });
    QCOMPARE(app.session.gPageHeader,
             QStringLiteral("<HTML><TITLE>Kept edited</TITLE><H1><P ALIGN=LEFT>Kept edited</P></H1>"
                            "<BODY><TABLE RULES=COLS>"));
}

void tst_Layout::colorCarriesOverBetweenButtons()
{
    Module1 session;
    test::ScriptedDesktop desktop;
    desktop.colorAnswers = {0x563412, 0x00FF00};
    frmLayout window(session, desktop);
    QTest::mouseClick(window.ui().Command1, Qt::LeftButton);
    QTest::mouseClick(window.ui().Command2, Qt::LeftButton);
    QCOMPARE(desktop.colorDialogStarts, (QList<quint32>{0, 0x563412}));
    QCOMPARE(window.ui().Text2->text(), QStringLiteral("563412"));
    QCOMPARE(window.ui().Text5->text(), QStringLiteral("FF00"));
    QCOMPARE(window.ui().Picture1->palette().color(QPalette::Window), QColor(0x12, 0x34, 0x56));
    QCOMPARE(window.ui().Picture2->palette().color(QPalette::Window), QColor(0, 255, 0));
    QCOMPARE(window.cmd().Color, quint32(0x00FF00));
}

void tst_Layout::cancelledColorDialogChangesNothing()
{
    Module1 session;
    test::ScriptedDesktop desktop;
    desktop.colorAnswers = {std::nullopt, 0xFF0000, std::nullopt};
    frmLayout window(session, desktop);
    const QColor defaultBackground = window.palette().color(QPalette::Window);

    QTest::mouseClick(window.ui().Command1, Qt::LeftButton);
    QCOMPARE(window.ui().Text2->text(), QString());
    QCOMPARE(window.ui().Picture1->palette().color(QPalette::Window), defaultBackground);

    QTest::mouseClick(window.ui().Command1, Qt::LeftButton);
    QTest::mouseClick(window.ui().Command1, Qt::LeftButton);
    QCOMPARE(window.ui().Text2->text(), QStringLiteral("FF0000"));
    QCOMPARE(window.ui().Picture1->palette().color(QPalette::Window), QColor(0, 0, 255));
    QCOMPARE(window.cmd().Color, quint32(0xFF0000));
    QCOMPARE(desktop.colorDialogStarts, (QList<quint32>{0, 0, 0xFF0000}));
}

void tst_Layout::frameCloseDiscardsWindow()
{
    test::App app;
    app.session.gPageHeader = QStringLiteral("<HTML><BODY><TABLE>");
    app.desktop.colorAnswers = {0x0000FF};
    whileModal(app.window, [&](frmLayout &window) {
        QTest::keyClicks(window.ui().Text1, QStringLiteral("Lost"));
        QTest::mouseClick(window.ui().Command1, Qt::LeftButton);
        stepUp(window.ui().UpDown3, 4);
        QVERIFY(window.close());
    });
    flushDeferredDeletes();
    QVERIFY(!app.window.findChild<frmLayout *>());
    QCOMPARE(app.session.gPageHeader, QStringLiteral("<HTML><BODY><TABLE>"));

    whileModal(app.window, [&](frmLayout &window) {
        const Ui::frmLayout &f = window.ui();
        QCOMPARE(f.Text1->text(), QString());
        QCOMPARE(f.Text2->text(), QString());
        QCOMPARE(f.Text7->text(), QString());
        QCOMPARE(f.UpDown3->value(), 0);
        QCOMPARE(f.Picture1->palette().color(QPalette::Window), window.palette().color(QPalette::Window));
        QCOMPARE(window.cmd().Color, quint32(0));
        QTest::mouseClick(f.CancelButton, Qt::LeftButton);
    });
    QCOMPARE(app.window.findChildren<frmLayout *>().size(), 1);
}

void tst_Layout::headerIsFirstLineOfPage()
{
    test::App app;
    app.session.gSqlQuery = QStringLiteral("SELECT * FROM Orders");
    app.desktop.colorAnswers = {0xFFFFFF, 0x0000FF};
    whileModal(app.window, [&](frmLayout &window) {
        const Ui::frmLayout &f = window.ui();
        enterEveryField(f);
        QTest::mouseClick(f.OKButton, Qt::LeftButton);
    });
    const auto page = pagegen::composeAspPage(app.session);
    QVERIFY(page.ok());
    QVERIFY(page.value().startsWith(EveryField.toLatin1() + "\r\n"));
}

void tst_Layout::pageOptionsDesign()
{
    test::App app;
    test::whileModal<frmPageOptions>([&app] { app.action("mnPageOptions")->trigger(); }, [](frmPageOptions &window) {
        QCOMPARE(window.windowTitle(), QStringLiteral("KOLTA - Page Options"));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QVERIFY(window.isModal());
        const Ui::frmPageOptions &f = window.ui();
        QCOMPARE(f.Label1->text(), QStringLiteral("&Rows per page:"));
        QCOMPARE(f.Label1->buddy(), f.txtRows);
        QCOMPARE(f.Label2->text(), QStringLiteral("&Text when there are no records:"));
        QCOMPARE(f.Label2->buddy(), f.txtNoRecords);
        QCOMPARE(f.OKButton->text(), QStringLiteral("&OK"));
        QCOMPARE(f.CancelButton->text(), QStringLiteral("&Cancel"));
        QCOMPARE(f.txtRows->text(), QStringLiteral("0"));
        QCOMPARE(test::tabOrder(f.txtRows, 5),
                 (QStringList{"txtRows", "txtNoRecords", "OKButton", "CancelButton", "txtRows"}));
        QTest::mouseClick(f.CancelButton, Qt::LeftButton);
    });
}

void tst_Layout::pageOptionsButtons_data()
{
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("button");   // OK, Cancel, Escape or Close
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("storedText");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("shownNext");   // rows in the window at its next showing

    QTest::newRow("ok") << "25" << "OK" << 25 << "No <b>records</b>" << false << "25";
    QTest::newRow("ok zero") << "0" << "OK" << 0 << "No <b>records</b>" << false << "0";
    QTest::newRow("ok most") << "9999" << "OK" << 9999 << "No <b>records</b>" << false << "9999";
    QTest::newRow("too many") << "10000" << "OK" << 5 << "" << true << "10000";
    QTest::newRow("negative") << "-1" << "OK" << 5 << "" << true << "-1";
    QTest::newRow("not a number") << "ten" << "OK" << 5 << "" << true << "ten";
    QTest::newRow("decimal") << "2.5" << "OK" << 5 << "" << true << "2.5";
    QTest::newRow("empty") << "" << "OK" << 5 << "" << true << "";
    QTest::newRow("cancel keeps typing") << "25" << "Cancel" << 5 << "" << false << "25";
    QTest::newRow("escape cancels") << "25" << "Escape" << 5 << "" << false << "25";
    QTest::newRow("frame close discards") << "25" << "Close" << 5 << "" << false << "5";
}

void tst_Layout::pageOptionsButtons()
{
    QFETCH(QString, rows);
    QFETCH(QString, button);
    QFETCH(int, stored);
    QFETCH(QString, storedText);
    QFETCH(bool, refused);
    QFETCH(QString, shownNext);
    test::App app;
    app.session.gRowsPerPage = 5;
    const auto command = [&app] { app.window.mnPageOptions_Click(); };
    test::whileModal<frmPageOptions>(command, [&](frmPageOptions &window) {
        const Ui::frmPageOptions &f = window.ui();
        f.txtRows->clear();
        QTest::keyClicks(f.txtRows, rows);
        QTest::keyClicks(f.txtNoRecords, QStringLiteral("No <b>records</b>"));
        if (button == QLatin1String("OK"))
            QTest::mouseClick(f.OKButton, Qt::LeftButton);
        else if (button == QLatin1String("Cancel"))
            QTest::mouseClick(f.CancelButton, Qt::LeftButton);
        else if (button == QLatin1String("Escape"))
            QTest::keyClick(f.txtNoRecords, Qt::Key_Escape);
        else
            QVERIFY(window.close());
        QCOMPARE(window.isVisible(), refused);
    });
    QCOMPARE(app.session.gRowsPerPage, stored);
    QCOMPARE(app.session.gNoRecordsText, storedText);
    QCOMPARE(app.desktop.prompts().size(), refused ? 1 : 0);
    if (refused)
        QVERIFY(app.desktop.prompts().constFirst().contains(QLatin1String("whole number from 0 to 9999")));
    flushDeferredDeletes();
    test::whileModal<frmPageOptions>(command, [&](frmPageOptions &window) {
        QCOMPARE(window.ui().txtRows->text(), shownNext);
    });
}

QTEST_MAIN(tst_Layout)
#include "tst_layout.moc"
