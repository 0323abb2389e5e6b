#pragma once

#include "engineclient.h"

#include <QFile>
#include <QTemporaryDir>

namespace kolta::test {

// Puts kolta_gatedengine between a client and its engine. While the gate is
// closed every answer is held, so the program waits exactly as long as the
// test wants: the "Working..." window and a Stop come on any machine.
class EngineGate
{
public:
    explicit EngineGate(jet::EngineClient &client)
    {
        qputenv("KOLTA_GATED_ENGINE", QFile::encodeName(client.program()));
        qputenv("KOLTA_GATE", QFile::encodeName(m_file));
        client.stop();
        client.setProgram(QStringLiteral(KOLTA_BIN_DIR "/kolta_gatedengine"));
    }
    ~EngineGate() { open(); }
    EngineGate(const EngineGate &) = delete;
    EngineGate &operator=(const EngineGate &) = delete;

    void close()
    {
        QFile file(m_file);
        file.open(QIODevice::WriteOnly);
    }
    void open() { QFile::remove(m_file); }

private:
    QTemporaryDir m_dir;
    QString m_file = m_dir.filePath(QStringLiteral("gate"));
};

} // namespace kolta::test
