#include "platform/qtdesktop.h"
#include "shell/fonts.h"
#include "shell/frmmain.h"
#include "shell/module1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KOLTA"));
    kolta::installClassicFonts();

    kolta::Module1 session;
    kolta::QtDesktop desktop;
    kolta::frmmain window(session, desktop);
    window.Form_Load();
    window.show();
    return app.exec();
}
