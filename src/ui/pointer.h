#pragma once

#include <QPointer>
#include <QWidget>

namespace kolta {

// Shows the hourglass over a window for the lifetime of the guard, so the
// default pointer comes back on every way out of a handler.
class Hourglass
{
public:
    explicit Hourglass(QWidget *window) : m_window(window)
    {
        if (m_window)
            m_window->setCursor(Qt::WaitCursor);
    }
    ~Hourglass()
    {
        if (m_window)
            m_window->unsetCursor();
    }
    Hourglass(const Hourglass &) = delete;
    Hourglass &operator=(const Hourglass &) = delete;

private:
    QPointer<QWidget> m_window;
};

} // namespace kolta
