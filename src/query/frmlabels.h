#pragma once

#include "dialog.h"
#include "module1.h"

#include <memory>

namespace Ui { class frmLabels; }

namespace kolta {

// Gives each result column the heading the page prints above it. The list is
// filled by the SQL statement window after each successful try.
class frmLabels : public Dialog
{
    Q_OBJECT
public:
    explicit frmLabels(Module1 &session, QWidget *parent = nullptr);
    ~frmLabels() override;

    Ui::frmLabels &ui() { return *m_ui; }

    void Combo1_Click();
    void cmdSet_Click();
    void cmdClose_Click();

    // What the SQL statement window does with the list.
    void clearFields();
    void addField(const QString &name);
    // Selects an entry, which shows its heading; false when there is none.
    bool selectField(int index);

    // Shows the window modally and returns when it is hidden again.
    void showModal();

private:
    std::unique_ptr<Ui::frmLabels> m_ui;
    Module1 &m_session;
    bool m_shownBefore = false;
};

} // namespace kolta
