#pragma once

// How a request reaches an engine and its answer comes back, whatever the
// engine is: the kolta-engine process behind a pipe (ProcessTransport), or
// a script in a test. The engine client above it knows requests and their
// values; a transport knows only kinds, bodies and payloads.

#include "protocol.h"
#include "result.h"

#include <QString>
#include <functional>

namespace kolta::jet {

class Transport
{
public:
    // How often a transport asks its wait while an answer is awaited.
    static constexpr int WaitSliceMs = 50;

    enum class WaitPoint {
        BeforeSending, // once, before the request goes out
        ForAnswer,     // again and again while its answer is awaited
    };
    // Asked while a request is under way (the windows stay alive inside it);
    // false gives up: the engine is stopped and the request fails with the
    // reason "stopped". An empty wait means nobody waits for the request.
    using Wait = std::function<bool(WaitPoint)>;

    Transport() = default;
    virtual ~Transport() = default;
    Transport(const Transport &) = delete;
    Transport &operator=(const Transport &) = delete;

    // Starts an engine, ending one that runs, and makes sure it speaks this
    // program's protocol. Every start begins a new generation.
    virtual Result<void> start(const Wait &wait) = 0;

    // Sends one request (its kind and packed body) to the running engine and
    // returns the whole payload of a successful answer, to be read with a
    // protocol::Reader. An answer with an error comes back as that error, the
    // engine still running. Any other failure (the engine died, fell silent,
    // garbled its answer, or the wait gave up) comes back as
    // "<subject>: <reason>." and leaves no engine running.
    // While one request waits, another is refused with reasons::Busy and
    // never sent: its answer would be read as the first one's.
    Result<QByteArray> exchange(protocol::Request kind, const QByteArray &body, const QString &subject,
                                const Wait &wait);
    // A request is waiting for its answer.
    bool inFlight() const { return m_inFlight; }

    // Ends the engine now; the next start begins another one.
    virtual void stop() = 0;
    // Whether an engine runs at this moment (it may have ended while idle).
    virtual bool running() const = 0;
    // The running engine's process id, 0 when none runs.
    virtual qint64 processId() const = 0;
    // Whether the last request sent failed because the engine ended by
    // itself in the middle of it (rather than being stopped, falling silent
    // or garbling its answer).
    virtual bool diedInLastRequest() const = 0;
    // How many engines were started so far; what an engine holds (a
    // cursor) belongs to the generation that made it.
    int generation() const { return m_generation; }

protected:
    // exchange() without the one-in-flight rule.
    virtual Result<QByteArray> send(protocol::Request kind, const QByteArray &body, const QString &subject,
                                    const Wait &wait) = 0;
    void newGeneration() { ++m_generation; }

private:
    bool m_inFlight = false;
    int m_generation = 0;
};

// "<subject>: <reason>."
Error withReason(const QString &subject, const QString &reason);
// Why the engine ended in the middle of a request, by what it was asked.
QLatin1String deathReason(protocol::Request kind);
// Why a request that got no answer within limitMs was given up.
QString silenceReason(protocol::Request kind, int limitMs);
// Whether the request runs or reads a statement (which may take as long as
// the user lets it).
bool isStatement(protocol::Request kind);

} // namespace kolta::jet
