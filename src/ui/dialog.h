#pragma once

#include <QDialog>

namespace kolta {

// A window of the program that stands over the main window. Its own buttons
// only hide it, so it keeps what was typed. Closed through its frame it is
// cancelled as by reject() and discarded: it deletes itself, and its owner
// makes a fresh one at the next use. A window without a cancel button
// ignores Escape.
class Dialog : public QDialog
{
    Q_OBJECT
public:
    enum class Escape { Cancels, Ignored };

    // Closed through its frame; deleted once the event loop runs again.
    bool discarded() const { return m_discarded; }

protected:
    Dialog(QWidget *parent, Escape escape);

    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    Escape m_escape;
    bool m_discarded = false;
};

} // namespace kolta
