#include "worktracker.h"

namespace kolta::jet {

void WorkTracker::begin()
{
    if (m_depth++ > 0)
        return;
    m_stopped = false;
    m_timer.start();
    m_lastWaitAt = 0;
    if (m_hooks.begin)
        m_hooks.begin();
}

void WorkTracker::end()
{
    if (--m_depth > 0)
        return;
    if (m_hooks.end)
        m_hooks.end();
    for (const auto &[kind, body] : std::exchange(m_closes, {})) {
        if (m_transport.running())
            close(kind, body);
    }
    for (const auto &[context, then] : std::exchange(m_idle, {})) {
        if (context)
            QMetaObject::invokeMethod(context, then, Qt::QueuedConnection);
    }
}

Transport::Wait WorkTracker::wait()
{
    if (m_depth == 0 || !m_hooks.waiting)
        return {};
    return [this](Transport::WaitPoint point) {
        // Many quick requests make one long piece of work: the windows are
        // kept alive by the time the work has taken, not only within a slow
        // answer.
        if (point == Transport::WaitPoint::BeforeSending
            && m_timer.elapsed() - m_lastWaitAt < Transport::WaitSliceMs)
            return true;
        return keepWaiting();
    };
}

bool WorkTracker::keepWaiting()
{
    m_lastWaitAt = m_timer.elapsed();
    if (m_hooks.waiting(int(m_lastWaitAt)))
        return true;
    m_stopped = true;
    return false;
}

void WorkTracker::whenIdle(QObject *context, std::function<void()> then)
{
    if (busy())
        m_idle.append({QPointer<QObject>(context), std::move(then)});
    else
        QMetaObject::invokeMethod(context, std::move(then), Qt::QueuedConnection);
}

void WorkTracker::closeLater(protocol::Request kind, const QByteArray &body)
{
    if (busy())
        m_closes.append({kind, body});
    else
        close(kind, body);
}

void WorkTracker::close(protocol::Request kind, const QByteArray &body)
{
    // A close that fails leaves nothing behind that matters: the engine's
    // copy goes with its process.
    static_cast<void>(m_transport.exchange(kind, body, QStringLiteral("Cannot close"), {}));
}

} // namespace kolta::jet
