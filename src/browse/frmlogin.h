#pragma once

#include "commondialog.h"
#include "dialog.h"
#include "module1.h"

#include <memory>

namespace Ui { class frmLogin; }

namespace kolta {

// The workgroup login asked for by Set Database. It is kept (hidden) between
// uses, so its boxes show what was typed last time.
class frmLogin : public Dialog
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

protected:
    // Escape and the frame's close box count as Cancel.
    void reject() override;

private:
    std::unique_ptr<Ui::frmLogin> m_ui;
    Module1 &m_session;
    CommonDialog m_cmd;
};

} // namespace kolta
