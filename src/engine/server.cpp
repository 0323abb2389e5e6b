#include "server.h"

#include "opendatabase.h"
#include "statement.h"
#include "reasons.h"

#include <cerrno>
#include <unistd.h>

namespace kolta::jet::engine {

using protocol::Reader;
using protocol::Request;
using protocol::Status;
using protocol::Writer;

namespace {

QByteArray errorAnswer(quint32 id, const QString &message)
{
    Writer answer(id, quint16(Status::Error));
    answer.stream() << message;
    return answer.payload();
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

} // namespace

Server::Server() = default;
Server::~Server() = default;

QByteArray Server::handle(const QByteArray &request)
{
    Reader in(request);
    const quint32 id = in.id();
    if (!in.ok())
        return errorAnswer(id, reasons::UnknownRequest);
    const auto kind = Request(in.kindOrStatus());

    qint32 handle = 0;
    const auto database = [&]() -> OpenDatabase * {
        auto it = m_databases.constFind(handle);
        return it == m_databases.constEnd() ? nullptr : it.value().get();
    };

    const auto opened = [&](Result<std::unique_ptr<Statement>> prepared) {
        if (!prepared.ok())
            return errorAnswer(id, prepared.error().message);
        const std::shared_ptr<Statement> statement = std::move(prepared.value());
        const qint32 cursor = m_nextCursor++;
        m_cursors.insert(cursor, statement);
        Writer answer(id, quint16(Status::Ok));
        answer.stream() << cursor << statement->names() << statement->serverNotes();
        return answer.payload();
    };

    switch (kind) {
    case Request::Hello: {
        if (!in.finish())
            break;
        Writer answer(id, quint16(Status::Ok));
        answer.stream() << protocol::Version;
        return answer.payload();
    }
    case Request::Open: {
        protocol::OpenArgs args;
        in.stream() >> args;
        if (!in.finish())
            break;
        auto added = std::make_shared<OpenDatabase>(args.path);
        const Result<PasswordCheck> login = added->open(args.systemDb, args.user, args.password);
        if (!login.ok())
            return errorAnswer(id, login.error().message);
        const qint32 opened = m_nextHandle++;
        m_databases.insert(opened, added);
        Writer answer(id, quint16(Status::Ok));
        answer.stream() << opened << quint8(login.value());
        return answer.payload();
    }
    case Request::Close: {
        in.stream() >> handle;
        if (!in.finish())
            break;
        m_databases.remove(handle);
        return Writer(id, quint16(Status::Ok)).payload();
    }
    case Request::TableDefs: {
        in.stream() >> handle;
        if (!in.finish())
            break;
        if (!database())
            return errorAnswer(id, reasons::NotOpen);
        const Result<QList<TableDef>> tables = database()->tableDefs();
        if (!tables.ok())
            return errorAnswer(id, tables.error().message);
        Writer answer(id, quint16(Status::Ok));
        protocol::writeTableDefs(answer.stream(), tables.value());
        return answer.payload();
    }
    case Request::AllTableDefs: {
        in.stream() >> handle;
        if (!in.finish())
            break;
        if (!database())
            return errorAnswer(id, reasons::NotOpen);
        const Result<QList<TableDef>> tables = database()->allTableDefs();
        if (!tables.ok())
            return errorAnswer(id, tables.error().message);
        Writer answer(id, quint16(Status::Ok));
        protocol::writeTableDefs(answer.stream(), tables.value());
        return answer.payload();
    }
    case Request::TableDef: {
        QString name;
        in.stream() >> handle >> name;
        if (!in.finish())
            break;
        if (!database())
            return errorAnswer(id, reasons::NotOpen);
        const Result<TableDef> table = database()->tableDef(name);
        if (!table.ok())
            return errorAnswer(id, table.error().message);
        Writer answer(id, quint16(Status::Ok));
        answer.stream() << table.value();
        return answer.payload();
    }
    case Request::Query: {
        protocol::OpenArgs args;
        QString sql;
        quint8 mode = 0;
        Statement::Values values;
        in.stream() >> args >> sql >> mode >> values;
        if (!in.finish() || mode > quint8(StatementMode::Provider))
            break;
        const bool provider = mode == quint8(StatementMode::Provider);
        return opened(Statement::prepare(args, sql, provider ? Statement::Form::Page : Statement::Form::Display,
                                         provider ? jetsql::LikeWildcards::Ansi : jetsql::LikeWildcards::Dao,
                                         values));
    }
    case Request::Parameters: {
        protocol::OpenArgs args;
        QString sql;
        in.stream() >> handle >> args >> sql;
        if (!in.finish())
            break;
        if (handle != 0 && !database())
            return errorAnswer(id, reasons::NotOpen);
        const auto parameters = handle != 0 ? Statement::parameters(*database(), sql)
                                            : Statement::parameters(args, sql);
        if (!parameters.ok())
            return errorAnswer(id, parameters.error().message);
        Writer answer(id, quint16(Status::Ok));
        answer.stream() << parameters.value();
        return answer.payload();
    }
    case Request::QueryOpen: {
        QString sql;
        quint8 mode = 0;
        Statement::Values values;
        in.stream() >> handle >> sql >> mode >> values;
        if (!in.finish() || mode > quint8(StatementMode::Provider))
            break;
        if (!database())
            return errorAnswer(id, reasons::NotOpen);
        const bool provider = mode == quint8(StatementMode::Provider);
        return opened(Statement::prepare(*database(), sql,
                                         provider ? Statement::Form::Page : Statement::Form::Display,
                                         provider ? jetsql::LikeWildcards::Ansi : jetsql::LikeWildcards::Dao,
                                         values));
    }
    case Request::Fetch: {
        qint32 cursor = 0, count = 0;
        in.stream() >> cursor >> count;
        if (!in.finish())
            break;
        const auto statement = m_cursors.value(cursor);
        if (!statement)
            return errorAnswer(id, reasons::NotOpen);
        const Result<int> got = statement->fetch(count);
        if (!got.ok())
            return errorAnswer(id, got.error().message);
        Writer answer(id, quint16(Status::Ok));
        answer.stream() << qint32(got.value()) << statement->atEnd();
        return answer.payload();
    }
    case Request::Rows: {
        qint32 cursor = 0, count = 0;
        qint64 first = 0;
        in.stream() >> cursor >> first >> count;
        if (!in.finish())
            break;
        const auto statement = m_cursors.value(cursor);
        if (!statement)
            return errorAnswer(id, reasons::NotOpen);
        QList<QBitArray> numbers;
        const Result<QList<QVariantList>> rows = statement->rows(first, count, &numbers);
        if (!rows.ok())
            return errorAnswer(id, rows.error().message);
        Writer answer(id, quint16(Status::Ok));
        answer.stream() << rows.value() << numbers;
        return answer.payload();
    }
    case Request::CloseCursor: {
        qint32 cursor = 0;
        in.stream() >> cursor;
        if (!in.finish())
            break;
        m_cursors.remove(cursor);
        return Writer(id, quint16(Status::Ok)).payload();
    }
    }
    // Known kinds with a malformed body end up here as well.
    return errorAnswer(id, reasons::UnknownRequest);
}

int Server::run(int in, int out)
{
    protocol::FrameReader frames;
    char buffer[16 * 1024];
    for (;;) {
        QByteArray request;
        const auto outcome = frames.next(&request);
        if (outcome == protocol::FrameReader::Outcome::Garbled)
            return 2;
        if (outcome == protocol::FrameReader::Outcome::Complete) {
            if (!writeAll(out, protocol::frame(handle(request))))
                return 1;
            continue;
        }
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return 0;
        frames.append(QByteArray(buffer, got));
    }
}

} // namespace kolta::jet::engine
