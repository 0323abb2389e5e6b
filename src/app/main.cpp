#include "dao.h"
#include "qtdesktop.h"
#include "working.h"
#include "fonts.h"
#include "frmmain.h"
#include "module1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KOLTA"));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("kolta"));
    kolta::installClassicFonts();

    kolta::Module1 session;
    kolta::QtDesktop desktop;
    kolta::frmmain window(session, desktop);
    // Long engine work shows "Working..." with Stop over the program.
    kolta::WorkingIndicator working(&window);
    kolta::jet::dbEngine().setWaitHooks(working.hooks());

    window.Form_Load();
    window.show();
    const int status = app.exec();
    kolta::jet::dbEngine().setWaitHooks({});
    return status;
}
