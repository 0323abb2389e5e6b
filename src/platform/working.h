#pragma once

#include <QPointer>
#include <QTimer>
#include <memory>

class QDialog;
class QWidget;

namespace kolta {

// The small "Working..." window with Stop that stands over the program while
// the database engine takes more than a moment. Install it as the engine's
// wait hook: it is called every few milliseconds while a request waits.
class WorkingIndicator
{
public:
    static constexpr int ShowAfterMs = 500;

    explicit WorkingIndicator(QWidget *owner = nullptr);
    ~WorkingIndicator();

    // The hook: shows the window once the wait is long enough and keeps it
    // responsive; false once the user pressed Stop.
    bool wait(int elapsedMs);

    // The window while it is up (for tests), else null.
    QDialog *window() const;

private:
    void finish();

    QPointer<QWidget> m_owner;
    std::unique_ptr<QDialog> m_window;
    QTimer m_idle;   // no hook call for a while: the request has ended
    bool m_stopped = false;
};

} // namespace kolta
