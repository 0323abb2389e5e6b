// Shows every window as the user sees it, on a database of our writer, and
// saves a picture of each: kolta_screenshots FOLDER [seconds to stay on screen].
#include "frmabout.h"
#include "browser.h"
#include "frmlogin.h"
#include "sampledb.h"
#include "frmlayout.h"
#include "frmpageoptions.h"
#include "pageheader.h"
#include "frmlabels.h"
#include "frmparameter.h"
#include "frmsql.h"
#include "scripteddesktop.h"
#include "testapp.h"
#include "fonts.h"
#include "frmmain.h"
#include "ui_frmlayout.h"
#include "ui_frmpageoptions.h"
#include "ui_frmlogin.h"
#include "ui_frmparameter.h"
#include "ui_frmsql.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

using namespace kolta;

namespace {

QString writeSample(const QString &folder)
{
    const QString path = folder + QStringLiteral("/library.mdb");
    const QString error = sample::writeLibrary(path);
    if (!error.isEmpty())
        qFatal("%s", qPrintable(error));
    return path;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installClassicFonts();
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath());
    const int seconds = argc > 2 ? QByteArray(argv[2]).toInt() : 0;
    // A plain path for the pictures, not the build machine's.
    QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/kolta-XXXXXX"));
    const QString database = writeSample(scratch.path());

    test::App program;
    Module1 &session = program.session;
    test::ScriptedDesktop &desktop = program.desktop;
    frmmain &main = program.window;
    desktop.colorAnswers = {0xFFFFFF, 0x0000FF};
    main.Form_Load();
    main.move(20, 20);
    main.show();

    // Set Database through the real login window.
    desktop.fileAnswers.push_back(database);
    QTimer::singleShot(0, &app, [&] {
        frmLogin &login = main.browser().login();
        login.ui().txtUserName->setText(QStringLiteral("Admin"));
        login.ui().txtPassword->setText(QStringLiteral("secret"));
        login.grab().save(folder.filePath(QStringLiteral("login.png")));
        login.ui().cmdOK->click();
    });
    main.mnSetDatabase_Click();

    main.mnSQLStatement_Click();
    frmSQL &sql = main.sqlWindow();
    sql.move(520, 20);
    sql.ui().Text1->setPlainText(QStringLiteral(
        "SELECT Title, Price, OnShelf, Acquired\nFROM Books\nWHERE Price > 10 AND Title Like 'T*'\nORDER BY Title"));
    sql.Form_Activate();
    sql.cmdSet_Click();

    frmLabels &labels = main.labelsWindow();
    labels.move(520, 480);
    labels.show();

    auto *layout = new frmLayout(session, desktop, &main);
    const Ui::frmLayout &f = layout->ui();
    f.Text1->setText(QStringLiteral("Our books"));
    f.Command1->click();
    f.Text3->setText(QStringLiteral("bg.gif"));
    f.Combo1->setCurrentIndex(0);
    f.UpDown1->stepBy(1);
    f.Command2->click();
    f.Combo2->setCurrentIndex(0);
    f.UpDown2->stepBy(2);
    f.UpDown3->stepBy(3);
    layout->move(20, 420);
    layout->show();

    auto *pageOptions = new frmPageOptions(session, desktop, &main);
    pageOptions->ui().txtRows->setText(QStringLiteral("25"));
    pageOptions->ui().txtNoRecords->setText(QStringLiteral("No books match your search."));
    pageOptions->move(540, 420);
    pageOptions->show();

    auto *parameter = new frmParameter(desktop, &main);
    parameter->ui().lblName->setText(QStringLiteral("Acquired since"));
    parameter->ui().txtValue->setText(QStringLiteral("4/1/2024"));
    parameter->move(540, 600);
    parameter->show();

    frmAbout *about = main.findChild<frmAbout *>();
    about->move(20, 760);
    about->show();

    QTimer::singleShot(800, &app, [&] {
        main.grab().save(folder.filePath(QStringLiteral("main.png")));
        sql.grab().save(folder.filePath(QStringLiteral("sql.png")));
        labels.grab().save(folder.filePath(QStringLiteral("labels.png")));
        layout->grab().save(folder.filePath(QStringLiteral("layout.png")));
        pageOptions->grab().save(folder.filePath(QStringLiteral("pageoptions.png")));
        parameter->grab().save(folder.filePath(QStringLiteral("parameter.png")));
        about->grab().save(folder.filePath(QStringLiteral("about.png")));

        // The same rows as the server gives them, previewed; the scripted
        // browser only names the file, for a real one to look at.
        sql.ui().Text1->setPlainText(QStringLiteral(
            "SELECT Title, Price, OnShelf, Acquired\nFROM Books\nWHERE Price > 10 AND Title ALike 'T%'\nORDER BY Title"));
        sql.cmdSet_Click();
        session.gPageHeader = pagegen::BuildPageHeader(QStringLiteral("Books"), QStringLiteral("FFFFFF"), QString(),
                                                       QStringLiteral("CENTER"), QStringLiteral("1"),
                                                       QStringLiteral("808080"), QStringLiteral("ALL"),
                                                       QStringLiteral("4"), QStringLiteral("0"));
        main.mnPreviewPage_Click();
        if (!desktop.browsed.isEmpty())
            qInfo("preview: %s", qPrintable(desktop.browsed.constLast().toLocalFile()));
        QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    });
    return app.exec();
}
