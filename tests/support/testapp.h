#pragma once

// The program as main() puts it together, for tests that drive it through
// its main window: the session, the scripted desktop, an engine of its own
// and the main window on them.

#include "dao.h"
#include "frmmain.h"
#include "module1.h"
#include "scripteddesktop.h"

#include <optional>

class QAction;

namespace kolta {

class frmLogin;

namespace test {

// Fills the login window's three boxes.
void typeLogin(frmLogin *login, const QString &system, const QString &user, const QString &password);
void pressOK(frmLogin *login);

struct App
{
    Module1 session;
    ScriptedDesktop desktop;
    jet::DBEngine engine;
    frmmain window{session, desktop, engine};

    QAction *action(const char *name);

    // Set Database: the login window filled as given and OK pressed, then the
    // file dialog answered with file (nothing: the user cancels it).
    void setDatabase(const std::optional<QString> &file, const QString &system = QString(),
                     const QString &user = QString(), const QString &password = QString());
};

} // namespace test
} // namespace kolta
