#pragma once

#include "dao.h"

#include <QPointer>
#include <memory>

class QDialog;
class QWidget;

namespace kolta {

// The small "Working..." window with Stop that stands over the program while
// the database engine takes more than a moment. Install hooks() as the
// engine's wait hooks: they are told where each piece of engine work begins
// and ends, and asked every few milliseconds in between.
class WorkingIndicator
{
public:
    static constexpr int ShowAfterMs = 500;

    // showAfterMs: how long work lasts before the window shows (tests use 0).
    explicit WorkingIndicator(QWidget *owner = nullptr, int showAfterMs = ShowAfterMs);
    ~WorkingIndicator();

    jet::WaitHooks hooks();

    // A piece of work begins: nothing is stopped yet.
    void begin();
    // Shows the window once the work has lasted long enough and keeps the
    // program responsive; false once the user pressed Stop.
    bool wait(int elapsedMs);
    // The work has ended: the window goes at once.
    void end();

    // The window while it is up (for tests), else null.
    QDialog *window() const;

private:
    QPointer<QWidget> m_owner;
    int m_showAfterMs;
    std::unique_ptr<QDialog> m_window;
    bool m_stopped = false;
};

} // namespace kolta
