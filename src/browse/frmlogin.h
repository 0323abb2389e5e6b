#pragma once

#include "commondialog.h"
#include "module1.h"

#include <QDialog>
#include <memory>

namespace Ui { class frmLogin; }

namespace kolta {

// The workgroup login asked for by Set Database. It is kept (hidden) between
// uses, so its boxes show what was typed last time.
class frmLogin : public QDialog
{
    Q_OBJECT
public:
    frmLogin(Module1 &session, Desktop &desktop, QWidget *parent = nullptr);
    ~frmLogin() override;

    Ui::frmLogin &ui() { return *m_ui; }
    CommonDialog &cmd() { return m_cmd; }

    void cmdOK_Click();
    void cmdCancel_Click();
    void Command1_Click();

    // Shows the window modally and returns when OK or Cancel has hidden it.
    // The focus starts in the first box of the tab order at every showing.
    void showModal();

    // Closed through its frame: the owner replaces it with a fresh window.
    bool discarded() const { return m_discarded; }

protected:
    // Escape counts as Cancel.
    void reject() override;
    // The frame's close box counts as Cancel and discards the window.
    void closeEvent(QCloseEvent *event) override;

private:
    std::unique_ptr<Ui::frmLogin> m_ui;
    Module1 &m_session;
    CommonDialog m_cmd;
    bool m_discarded = false;
};

} // namespace kolta
