#pragma once

#include "desktop.h"
#include "dialog.h"
#include "module1.h"

#include <memory>

namespace Ui { class frmPageOptions; }

namespace kolta {

// Rows per page and the text for an empty result, for the pages written next.
class frmPageOptions : public Dialog
{
    Q_OBJECT
public:
    frmPageOptions(Module1 &session, Desktop &desktop, QWidget *parent = nullptr);
    ~frmPageOptions() override;

    Ui::frmPageOptions &ui() { return *m_ui; }

    void OKButton_Click();
    void CancelButton_Click();

private:
    std::unique_ptr<Ui::frmPageOptions> m_ui;
    Module1 &m_session;
    Desktop &m_desktop;
};

} // namespace kolta
