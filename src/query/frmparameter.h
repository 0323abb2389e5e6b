#pragma once

#include "desktop.h"
#include "dialog.h"
#include "module1.h"

#include <memory>
#include <optional>

namespace Ui { class frmParameter; }

namespace kolta {

// Asks for the value of one parameter of a statement, as Access does when a
// query runs: the parameter's name above one text box. A value that does not
// fit the declared type is said so and asked again.
class frmParameter : public Dialog
{
    Q_OBJECT
public:
    explicit frmParameter(Desktop &desktop, QWidget *parent = nullptr);
    ~frmParameter() override;

    Ui::frmParameter &ui() { return *m_ui; }

    void cmdOK_Click();
    void cmdCancel_Click();

    // Shows the window modally, the box starting with parameter.value; the
    // value typed, or nothing when cancelled.
    std::optional<QString> ask(const QueryParameter &parameter);

protected:
    // Escape and the frame's close box count as Cancel.
    void reject() override;

private:
    std::unique_ptr<Ui::frmParameter> m_ui;
    Desktop &m_desktop;
    QueryParameter m_parameter;
    bool m_accepted = false;
};

} // namespace kolta
