#include "protocol.h"

#include <QtEndian>

namespace kolta::jet::protocol {

namespace {

// A count read from the stream is trusted only as far as the bytes left
// could hold that many items, so a garbled count cannot demand memory.
bool plausibleCount(QDataStream &in, quint32 count, int minItemBytes)
{
    const qint64 left = in.device()->bytesAvailable();
    return in.status() == QDataStream::Ok && qint64(count) * minItemBytes <= left;
}

} // namespace

QByteArray frame(const QByteArray &payload)
{
    QByteArray out(4, Qt::Uninitialized);
    qToLittleEndian<quint32>(quint32(payload.size()), out.data());
    out.append(payload);
    return out;
}

FrameReader::Outcome FrameReader::next(QByteArray *payload)
{
    if (m_buffer.size() < 4)
        return Outcome::Incomplete;
    const quint32 length = qFromLittleEndian<quint32>(m_buffer.constData());
    if (length > MaxPayloadBytes)
        return Outcome::Garbled;
    if (m_buffer.size() < qsizetype(4 + length))
        return Outcome::Incomplete;
    *payload = m_buffer.mid(4, length);
    m_buffer.remove(0, 4 + length);
    return Outcome::Complete;
}

Writer::Writer(quint32 id, quint16 kindOrStatus)
    : m_stream(&m_bytes, QIODevice::WriteOnly)
{
    m_stream.setVersion(StreamVersion);
    m_stream << id << kindOrStatus;
}

Reader::Reader(const QByteArray &payload)
    : m_bytes(payload), m_stream(m_bytes)
{
    m_stream.setVersion(StreamVersion);
    m_stream >> m_id >> m_kind;
}

bool Reader::finish()
{
    return m_stream.status() == QDataStream::Ok && m_stream.atEnd();
}

void writeTableDefs(QDataStream &out, const QList<TableDef> &tables)
{
    out << quint32(tables.size());
    for (const TableDef &table : tables)
        out << table;
}

void readTableDefs(QDataStream &in, QList<TableDef> *tables)
{
    quint32 count = 0;
    in >> count;
    tables->clear();
    if (!plausibleCount(in, count, 16)) {
        in.setStatus(QDataStream::ReadCorruptData);
        return;
    }
    tables->reserve(count);
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        TableDef table;
        in >> table;
        tables->append(table);
    }
}

QDataStream &operator<<(QDataStream &out, const OpenArgs &args)
{
    return out << args.path << args.systemDb << args.user << args.password;
}

QDataStream &operator>>(QDataStream &in, OpenArgs &args)
{
    return in >> args.path >> args.systemDb >> args.user >> args.password;
}

QDataStream &operator<<(QDataStream &out, const ParameterValue &value)
{
    return out << value.name << value.value;
}

QDataStream &operator>>(QDataStream &in, ParameterValue &value)
{
    return in >> value.name >> value.value;
}

QDataStream &operator<<(QDataStream &out, const StatementParameter &parameter)
{
    return out << parameter.name << parameter.type << parameter.size;
}

QDataStream &operator>>(QDataStream &in, StatementParameter &parameter)
{
    return in >> parameter.name >> parameter.type >> parameter.size;
}

} // namespace kolta::jet::protocol

namespace kolta::jet {

QDataStream &operator<<(QDataStream &out, const Field &field)
{
    return out << field.Name << field.Type << field.Size << field.Expression;
}

QDataStream &operator>>(QDataStream &in, Field &field)
{
    return in >> field.Name >> field.Type >> field.Size >> field.Expression;
}

QDataStream &operator<<(QDataStream &out, const TableDef &table)
{
    out << table.Name << qint32(table.catalogType) << table.flags
        << quint32(table.Fields.size());
    for (const Field &field : table.Fields)
        out << field;
    return out;
}

QDataStream &operator>>(QDataStream &in, TableDef &table)
{
    qint32 catalogType = 0;
    quint32 count = 0;
    in >> table.Name >> catalogType >> table.flags >> count;
    table.catalogType = catalogType;
    table.Fields.clear();
    // A field takes at least its name's length, its type and its size.
    if (!protocol::plausibleCount(in, count, 10)) {
        in.setStatus(QDataStream::ReadCorruptData);
        return in;
    }
    table.Fields.reserve(count);
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        Field field;
        in >> field;
        table.Fields.append(field);
    }
    return in;
}

} // namespace kolta::jet
