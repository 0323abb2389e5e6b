#pragma once

#include "transport.h"

#include <QList>
#include <deque>

namespace kolta::test {

// An engine that does, request by request, what the test wrote down: no
// process and no clock, so what the client makes of an answer, a death or a
// wait that gives up comes out the same on any machine. Starting always
// works; closes are answered without a step of their own.
class ScriptedTransport : public jet::Transport
{
public:
    // What the engine does with one request.
    struct Step
    {
        enum class Outcome { Answer, Death, Silence };
        Outcome outcome = Outcome::Answer;
        QByteArray body;   // an answer's values, packed
        int limitMs = 0;   // the limit a silence outlasted
        int waits = 0;

        // The client is asked to wait this many times before it happens.
        Step &after(int count)
        {
            waits = count;
            return *this;
        }
    };
    struct Sent
    {
        jet::protocol::Request kind;
        QByteArray body;
    };

    // The next request is answered with these values.
    template<typename... Values>
    Step &answer(const Values &...values)
    {
        return add(Step::Outcome::Answer, jet::protocol::pack(values...));
    }
    // ... with these table definitions (TableDefs, AllTableDefs).
    Step &answerTables(const QList<jet::TableDef> &tables);
    // ... with a few stray bytes, the values of no answer.
    Step &garble();
    // The engine ends in the middle of the next request.
    Step &die();
    // The next request gets no answer within limitMs and is given up.
    Step &fallSilent(int limitMs);
    // The engine ends now, while nobody asks it anything.
    void endNow() { m_running = false; }

    // Every request that reached the engine, closes included.
    const QList<Sent> &sent() const { return m_sent; }
    QList<jet::protocol::Request> kinds() const;
    // Steps written down and not yet played.
    int stepsLeft() const { return int(m_steps.size()); }

    Result<void> start(const Wait &wait) override;
    void stop() override { m_running = false; }
    bool running() const override { return m_running; }
    qint64 processId() const override { return m_running ? 1000 + generation() : 0; }
    bool diedInLastRequest() const override { return m_died; }

protected:
    Result<QByteArray> send(jet::protocol::Request kind, const QByteArray &body, const QString &subject,
                            const Wait &wait) override;

private:
    Step &add(Step::Outcome outcome, const QByteArray &body = {});
    std::optional<Error> pause(const Wait &wait, WaitPoint point, const QString &subject);

    std::deque<Step> m_steps;
    QList<Sent> m_sent;
    bool m_running = false;
    bool m_died = false;
};

} // namespace kolta::test
