#include "dao.h"
#include "qtdesktop.h"
#include "working.h"
#include "fonts.h"
#include "frmmain.h"
#include "module1.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <memory>

namespace {

void describeArguments(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Opens an Access database and writes a Classic ASP page that runs a query on it."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(
        QStringLiteral("sample"),
        QStringLiteral("Open the small sample database installed with the program, with no login.")));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The database to open (.mdb, .accdb)."),
                                 QStringLiteral("[FILE]"));
}

} // namespace

int main(int argc, char *argv[])
{
    // --help and --version answer without a display, which QApplication
    // would demand; Qt's own options (-platform ...) are left to it.
    {
        auto console = std::make_unique<QCoreApplication>(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("kolta"));
        QCoreApplication::setApplicationVersion(QStringLiteral(KOLTA_VERSION));
        QCommandLineParser parser;
        describeArguments(parser);
        parser.parse(QCoreApplication::arguments());
        if (parser.isSet(QStringLiteral("help")))
            parser.showHelp(0);
        if (parser.isSet(QStringLiteral("help-all")))
            parser.process(*console);
        if (parser.isSet(QStringLiteral("version")))
            parser.showVersion();
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KOLTA"));
    QApplication::setApplicationVersion(QStringLiteral(KOLTA_VERSION));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.kolta.Kolta"));

    QCommandLineParser parser;
    describeArguments(parser);
    parser.process(app);

    kolta::installClassicFonts();

    kolta::Module1 session;
    kolta::QtDesktop desktop;
    kolta::frmmain window(session, desktop);
    // Long engine work shows "Working..." with Stop over the program.
    kolta::WorkingIndicator working(&window);
    kolta::jet::dbEngine().setWaitHooks(working.hooks());

    window.Form_Load();
    window.show();
    // Once the window is up, as if File > Set Database had been chosen.
    if (parser.isSet(QStringLiteral("sample"))) {
        const QString file = QCoreApplication::applicationDirPath() + QStringLiteral("/sample.mdb");
        QTimer::singleShot(0, &window, [&window, file] { window.openSample(file); });
    } else if (!parser.positionalArguments().isEmpty()) {
        const QString file = QFileInfo(parser.positionalArguments().constFirst()).absoluteFilePath();
        QTimer::singleShot(0, &window, [&window, file] { window.openDatabase(file); });
    }
    const int status = app.exec();
    kolta::jet::dbEngine().setWaitHooks({});
    return status;
}
