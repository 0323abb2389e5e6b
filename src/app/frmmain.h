#pragma once

#include "commondialog.h"
#include "module1.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>

namespace Ui { class frmmain; }

namespace kolta {

class frmAbout;
class frmLabels;
class frmLayout;
class frmPageOptions;
class frmSQL;
namespace browse { class DatabaseBrowser; }
namespace jet { class DBEngine; }

// The start-up window: the open database, its tables and fields, and the menu
// through which every command is reached. Each command lives with its feature.
class frmmain : public QMainWindow
{
    Q_OBJECT
public:
    frmmain(Module1 &session, Desktop &desktop, jet::DBEngine &engine, QWidget *parent = nullptr);
    // On the program's one database engine.
    frmmain(Module1 &session, Desktop &desktop, QWidget *parent = nullptr);
    ~frmmain() override;

    Ui::frmmain &ui() { return *m_ui; }
    CommonDialog &cmd() { return m_cmd; }
    browse::DatabaseBrowser &browser() { return *m_browser; }
    // The statement and labels windows, created at their first use.
    frmSQL &sqlWindow();
    frmLabels &labelsWindow();
    bool hasSqlWindow() const;
    bool hasLabelsWindow() const;

    void Form_Load();
    void Combo1_Click();
    void mnSetDatabase_Click();
    // The database named on the command line: Set Database without its file dialog.
    void openDatabase(const QString &file);
    // --sample: the lending library installed beside the program, opened
    // as an empty login would, without the login and file windows.
    void openSample(const QString &file);
    void mnPrintTableFields_Click();
    void mnGenerateASP_Click();
    void mnPreviewPage_Click();
    void mnOpenPage_Click();
    void mbAbout_Click();
    void mnExit_Click();
    void mnSQLStatement_Click();
    void mnLayout_Click();
    void mnPageOptions_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    frmAbout &aboutWindow();
    // Puts "Type" over the type column and "Size" over the sizes' right edge.
    void placeColumnHeadings();

    std::unique_ptr<Ui::frmmain> m_ui;
    Module1 &m_session;
    Desktop &m_desktop;
    CommonDialog m_cmd;
    jet::DBEngine &m_engine;
    std::unique_ptr<browse::DatabaseBrowser> m_browser;
    QPointer<frmSQL> m_sql;
    QPointer<frmAbout> m_about;
    QPointer<frmLayout> m_layout;
    QPointer<frmPageOptions> m_pageOptions;
    QPointer<frmLabels> m_labels;
    QString m_lastPageFolder;   // where the last page of this run was saved
};

} // namespace kolta
