#pragma once

#include "desktop.h"
#include "dialog.h"
#include "module1.h"
#include "result.h"

#include <memory>

namespace Ui { class frmAbout; }

namespace kolta {

// The about box: the program's about text, formatted, and a button that hides it.
class frmAbout : public Dialog
{
    Q_OBJECT
public:
    frmAbout(Module1 &session, Desktop &desktop, QWidget *parent = nullptr);
    ~frmAbout() override;

    Ui::frmAbout &ui() { return *m_ui; }

    // Shows the rich text file in RichTextBox1. A file that cannot be read
    // leaves the box empty.
    Result<void> LoadFile(const QString &path);

    void OKButton_Click();

private:
    std::unique_ptr<Ui::frmAbout> m_ui;
};

} // namespace kolta
