#include "browser.h"

#include "fieldline.h"
#include "frmlogin.h"
#include "dao.h"
#include "reasons.h"
#include "printout.h"
#include "texts.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>

namespace kolta::browse {

DatabaseBrowser::DatabaseBrowser(Module1 &session, Desktop &desktop, jet::DBEngine &engine,
                                 CommonDialog &cmd, const BrowserControls &controls)
    : m_session(session)
    , m_desktop(desktop)
    , m_engine(engine)
    , m_cmd(cmd)
    , m_controls(controls)
{
}

DatabaseBrowser::~DatabaseBrowser() = default;

frmLogin &DatabaseBrowser::login()
{
    // A login window closed through its frame comes back empty.
    if (!m_login || m_login->discarded())
        m_login = new frmLogin(m_session, m_desktop, m_controls.window);
    return *m_login;
}

namespace {

bool isSystemTableName(const QString &name)
{
    const QString head = name.left(4).toUpper();
    return head == QLatin1String("MSYS") || head == QLatin1String("USYS");
}

} // namespace

void DatabaseBrowser::setDatabase()
{
    openChosen(std::nullopt);
}

void DatabaseBrowser::setDatabase(const QString &file)
{
    openChosen(file);
}

void DatabaseBrowser::openChosen(const std::optional<QString> &file)
{
    login().showModal();
    if (m_session.gLoginCancelled == -1)
        return;

    useLogin();

    QString chosen;
    if (file) {
        chosen = *file;
    } else {
        m_cmd.Filter = QString(texts::AccessFilter);
        m_cmd.FileName = QString();
        if (m_cmd.ShowOpen() != DialogResult::Ok)
            return;
        chosen = m_cmd.FileName;
    }
    openFile(chosen);
}

void DatabaseBrowser::openWithEmptyLogin(const QString &file)
{
    m_session.gSystemDatabase = QString();
    m_session.gUserId = QString();
    m_session.gPassword = QString();
    m_session.gLoginCancelled = 0;
    useLogin();
    openFile(file);
}

void DatabaseBrowser::openFile(const QString &file)
{
    const VariantText openBefore = m_session.gDataSource;
    m_session.gDataSource = file;
    m_controls.Label6->setText(m_session.gDataSource.text());

    if (!showDatabase()) {
        // The label keeps naming the database that is really open.
        m_session.gDataSource = openBefore;
        m_controls.Label6->setText(openBefore.text());
    }
}

void DatabaseBrowser::openSessionDatabase()
{
    // As Set Database does: the login first, filled from the page, which a
    // Cancel leaves unopened.
    frmLogin &window = login();
    window.fill(m_session.gSystemDatabase.text(), m_session.gUserId.text(), m_session.gPassword.text());
    window.showModal();
    if (m_session.gLoginCancelled == -1)
        return;
    useLogin();
    m_controls.Label6->setText(m_session.gDataSource.text());
    showDatabase();
    m_controls.mnGenerateASP->setEnabled(true);
    m_controls.mnEdit->setEnabled(true);
}

void DatabaseBrowser::useLogin()
{
    if (!m_session.gSystemDatabase.isEmpty())
        m_engine.SystemDB = m_session.gSystemDatabase.text();
    if (!m_session.gUserId.isEmpty())
        m_engine.DefaultUser = m_session.gUserId.text();
    m_engine.DefaultPassword = m_session.gPassword.text();
}

bool DatabaseBrowser::showDatabase()
{
    auto opened = m_engine.OpenDatabase(m_session.gDataSource.text());
    if (!opened.ok()) {
        m_desktop.messageBox(m_controls.window, opened.error().message);
        return false;
    }
    m_session.gDatabase = opened.value();
    if (m_session.gDatabase->passwordCheck() == jet::PasswordCheck::LeftToServer) {
        const QString login = m_engine.SystemDB + QLatin1Char('\n') + m_engine.DefaultUser.toLower();
        if (!m_passwordNoted.contains(login)) {
            m_passwordNoted.insert(login);
            m_desktop.messageBox(m_controls.window,
                                 QString(jet::reasons::PasswordLeftToServer).arg(m_engine.DefaultUser));
        }
    }

    m_controls.List1->clear();
    m_controls.Combo1->clear();
    const auto tables = m_session.gDatabase->TableDefs();
    if (!tables.ok()) {
        m_desktop.messageBox(m_controls.window, tables.error().message);
        return true;
    }
    for (const jet::TableDef &table : tables.value()) {
        if (!isSystemTableName(table.Name))
            m_controls.Combo1->addItem(table.Name);
    }
    // A database of system tables only stays open with empty lists.
    if (m_controls.Combo1->count() == 0)
        return true;
    m_controls.Combo1->setCurrentIndex(0);
    tableChosen();

    m_controls.mnPrintTableFields->setEnabled(true);
    m_controls.mnGenerateASP->setEnabled(true);
    m_controls.mnEdit->setEnabled(true);
    return true;
}

void DatabaseBrowser::tableChosen()
{
    m_controls.List1->clear();
    if (!m_session.gDatabase || m_controls.Combo1->currentIndex() < 0)
        return;
    const auto table = m_session.gDatabase->TableDefsItem(m_controls.Combo1->currentText());
    if (!table.ok()) {
        m_desktop.messageBox(m_controls.window, table.error().message);
        return;
    }
    QStringList lines;
    qint64 total = 0;
    for (const jet::Field &field : table.value().Fields) {
        lines << fieldLine(field.Name, field.Type, field.Size, !field.Expression.isEmpty());
        total += field.Size;
    }
    m_controls.List1->addItems(lines);
    m_controls.Label1->setText(QStringLiteral("Total: ") + signedText(total));
}

void DatabaseBrowser::printTableFields()
{
    Printer printer(m_desktop, m_controls.window);
    printer.setFontName(QStringLiteral("Courier"));
    printer.setFontSize(12);
    const int count = m_controls.List1->count();
    for (int i = 0; i < count; ++i)
        printer.printLine(m_controls.List1->item(i)->text());
    const auto printed = printer.endDoc();
    if (!printed.ok())
        m_desktop.messageBox(m_controls.window, QStringLiteral("The table fields could not be printed."),
                             printed.error().message);
}

} // namespace kolta::browse
