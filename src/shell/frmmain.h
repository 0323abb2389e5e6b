#pragma once

#include "platform/commondialog.h"
#include "shell/module1.h"

#include <QMainWindow>
#include <memory>

namespace Ui { class frmmain; }

namespace kolta {

// The start-up window: the open database, its tables and fields, and the menu
// through which every command is reached. Each command lives with its feature.
class frmmain : public QMainWindow
{
    Q_OBJECT
public:
    frmmain(Module1 &session, Desktop &desktop, QWidget *parent = nullptr);
    ~frmmain() override;

    Ui::frmmain &ui() { return *m_ui; }
    CommonDialog &cmd() { return m_cmd; }

    void Form_Load();
    void Combo1_Click();
    void mnSetDatabase_Click();
    void mnPrintTableFields_Click();
    void mnGenerateASP_Click();
    void mbAbout_Click();
    void mnExit_Click();
    void mnSQLStatement_Click();
    void mnLayout_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    std::unique_ptr<Ui::frmmain> m_ui;
    Module1 &m_session;
    Desktop &m_desktop;
    CommonDialog m_cmd;
};

} // namespace kolta
