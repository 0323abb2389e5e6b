#pragma once

// The request loop of the kolta-engine process.

#include "protocol.h"

#include <QByteArray>
#include <QHash>
#include <memory>

namespace kolta::jet::engine {

class OpenDatabase;
class Statement;

class Server
{
public:
    Server();
    ~Server();

    // Answers one request payload; the answer payload carries its id.
    QByteArray handle(const QByteArray &request);

    // Reads framed requests from in and writes framed answers to out until
    // in ends. Returns the process exit code.
    int run(int in, int out);

private:
    QHash<qint32, std::shared_ptr<OpenDatabase>> m_databases;
    qint32 m_nextHandle = 1;
    QHash<qint32, std::shared_ptr<Statement>> m_cursors;
    qint32 m_nextCursor = 1;
};

} // namespace kolta::jet::engine
