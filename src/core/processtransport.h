#pragma once

// The kolta-engine process as a transport: started on demand, one framed
// request at a time on its standard input, the answer read from its standard
// output. A crash, a hang or a garbled answer ends the process.

#include "transport.h"

#include <memory>
#include <optional>

class QProcess;

namespace kolta::jet {

class ProcessTransport : public Transport
{
public:
    // A healthy engine reads the structure of even a large file in well
    // under a second (a 200-table catalog takes milliseconds); ten seconds
    // leaves room for slow disks and network shares while still ending a
    // libmdb loop on a damaged file before the user gives up on the program.
    static constexpr int DefaultTimeoutMs = 10000;
    // A statement may work as long as the user lets it (Stop); this only
    // ends one that runs far longer than anyone would wait.
    static constexpr int StatementTimeoutMs = 30 * 60 * 1000;

    explicit ProcessTransport(QString program);
    ~ProcessTransport() override;

    // $KOLTA_ENGINE when set, else kolta-engine beside the program.
    static QString defaultProgram();
    void setProgram(const QString &program) { m_program = program; }
    QString program() const { return m_program; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }

    Result<void> start(const Wait &wait) override;
    void stop() override;
    bool running() const override;
    qint64 processId() const override;
    bool diedInLastRequest() const override { return m_died; }

protected:
    Result<QByteArray> send(protocol::Request kind, const QByteArray &body, const QString &subject,
                            const Wait &wait) override;

private:
    // Ends the process and words why.
    Error fail(const QString &subject, const QString &reason);
    // Asks the wait; the error that ends the request when it gives up or
    // the windows stopped the engine meanwhile.
    std::optional<Error> pause(const Wait &wait, WaitPoint point, const QString &subject);
    // The payload of a successful answer to request id, or the engine's reason.
    Result<QByteArray> answerTo(quint32 id, const QByteArray &payload, const QString &subject);

    QString m_program;
    int m_timeoutMs = DefaultTimeoutMs;
    std::unique_ptr<QProcess> m_process;
    protocol::FrameReader m_frames;
    quint32 m_nextId = 1;
    bool m_died = false;
};

} // namespace kolta::jet
