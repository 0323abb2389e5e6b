#pragma once

// The pieces of work the user waits for, told to the windows through the
// wait hooks, and what has to wait until none is under way: the closes of
// databases and cursors, and callers that asked to run when the engine is
// idle.

#include "dao.h"
#include "transport.h"

#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <functional>

namespace kolta::jet {

class WorkTracker
{
public:
    explicit WorkTracker(Transport &transport) : m_transport(transport) {}
    WorkTracker(const WorkTracker &) = delete;
    WorkTracker &operator=(const WorkTracker &) = delete;

    void setHooks(WaitHooks hooks) { m_hooks = std::move(hooks); }

    // Pieces of work nest; the outermost one is what the user waits for.
    void begin();
    void end();
    bool busy() const { return m_depth > 0 || m_transport.inFlight(); }
    // A Stop ends the whole piece of work, not only the request it hit.
    bool stopped() const { return m_depth > 0 && m_stopped; }
    // What a request of the work under way waits with; empty outside of
    // work or without a waiting hook (closes are quick and nobody waits for
    // them).
    Transport::Wait wait();

    void whenIdle(QObject *context, std::function<void()> then);
    // Closes wait while another request is in flight and go after it.
    void closeLater(protocol::Request kind, const QByteArray &body);

private:
    // Asks the waiting hook; false (and the work stopped) on a Stop.
    bool keepWaiting();
    void close(protocol::Request kind, const QByteArray &body);

    Transport &m_transport;
    WaitHooks m_hooks;
    int m_depth = 0;
    QElapsedTimer m_timer;
    qint64 m_lastWaitAt = 0;
    bool m_stopped = false;
    QList<std::pair<protocol::Request, QByteArray>> m_closes;
    QList<std::pair<QPointer<QObject>, std::function<void()>>> m_idle;
};

} // namespace kolta::jet
