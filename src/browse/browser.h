#pragma once

#include "commondialog.h"
#include "module1.h"

#include <QPointer>
#include <QSet>
#include <optional>

class QAction;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;

namespace kolta {

class frmLogin;
namespace jet { class DBEngine; }

namespace browse {

// The main window's controls that show the open database.
struct BrowserControls
{
    QWidget *window;
    QLabel *Label6;
    QComboBox *Combo1;
    QListWidget *List1;
    QLabel *Label1;
    QAction *mnPrintTableFields;
    QAction *mnGenerateASP;
    QMenu *mnEdit;
};

// Set Database, the table and field lists and their printout.
class DatabaseBrowser
{
public:
    DatabaseBrowser(Module1 &session, Desktop &desktop, jet::DBEngine &engine, CommonDialog &cmd,
                    const BrowserControls &controls);
    ~DatabaseBrowser();

    void setDatabase();        // File / Set Database...
    // As Set Database, with the file already chosen (the one named on the
    // command line) in place of the file dialog.
    void setDatabase(const QString &file);
    // As Set Database with the login window's OK pressed on empty boxes
    // (no workgroup file, Admin, no password), neither window shown.
    void openWithEmptyLogin(const QString &file);
    // Opens the database the session names, with its login, as a page read
    // back left it; the page commands stay on even when it cannot be opened.
    void openSessionDatabase();
    void tableChosen();        // a table picked in Combo1
    void printTableFields();   // File / Print Table Fields

    // The login window, created at its first use.
    frmLogin &login();

private:
    void openChosen(const std::optional<QString> &file);
    void useLogin();
    void openFile(const QString &file);
    bool showDatabase();

    Module1 &m_session;
    Desktop &m_desktop;
    jet::DBEngine &m_engine;
    CommonDialog &m_cmd;
    BrowserControls m_controls;
    QPointer<frmLogin> m_login;
    // Logins whose password was left to the server and the user told so.
    QSet<QString> m_passwordNoted;
};

} // namespace browse
} // namespace kolta
