// Shows the layout window and the about box as the user sees them and saves
// a picture of each: screenshots <folder> [seconds to stay on screen].
#include "about/frmabout.h"
#include "pagegen/frmlayout.h"
#include "scripteddesktop.h"
#include "shell/fonts.h"
#include "shell/frmmain.h"
#include "ui_frmlayout.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

using namespace kolta;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installClassicFonts();
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath());
    const int seconds = argc > 2 ? QByteArray(argv[2]).toInt() : 0;

    Module1 session;
    test::ScriptedDesktop desktop;
    desktop.colorAnswers = {0xFFFFFF, 0x0000FF};
    frmmain main(session, desktop);
    main.Form_Load();
    frmAbout *about = main.findChild<frmAbout *>();

    // Owned by the main window, as in the program: a window closed at the end discards itself.
    auto *layout = new frmLayout(session, desktop, &main);
    const Ui::frmLayout &f = layout->ui();
    f.Text1->setText(QStringLiteral("Orders"));
    f.Command1->click();
    f.Text3->setText(QStringLiteral("bg.gif"));
    f.Combo1->setCurrentIndex(0);
    f.UpDown1->stepBy(1);
    f.Command2->click();
    f.Combo2->setCurrentIndex(0);
    f.UpDown2->stepBy(2);
    f.UpDown3->stepBy(3);

    layout->move(20, 20);
    about->move(20, 400);
    layout->show();
    about->show();

    QTimer::singleShot(500, &app, [&] {
        layout->grab().save(folder.filePath(QStringLiteral("layout.png")));
        about->grab().save(folder.filePath(QStringLiteral("about.png")));
        QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    });
    return app.exec();
}
