#pragma once

// The messages between the program and the kolta-engine process. A message
// is a 4-byte little-endian length followed by that many bytes of payload;
// the payload is a QDataStream: request id, kind (or answer status), body.

#include "result.h"
#include "schema.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QString>

namespace kolta::jet::protocol {

constexpr quint32 Version = 4;
constexpr QDataStream::Version StreamVersion = QDataStream::Qt_6_4;
// Far above any schema answer; a length beyond it means the stream is garbled.
constexpr qint64 MaxPayloadBytes = 64 * 1024 * 1024;

// New kinds are appended; numbers never change meaning.
enum class Request : quint16 {
    Hello = 1,        // -> quint32 version
    Open = 2,         // path, system db, user, password -> qint32 handle, quint8 PasswordCheck
    Close = 3,        // qint32 handle -> nothing
    TableDefs = 4,    // qint32 handle -> list of TableDef without fields
    TableDef = 5,     // qint32 handle, name -> TableDef with fields
    AllTableDefs = 6, // qint32 handle -> list of TableDef with fields
    Query = 7,        // OpenArgs, statement, quint8 StatementMode, QList<ParameterValue> -> qint32 cursor,
                      //   QStringList column names, QStringList server notes
    Fetch = 8,        // qint32 cursor, qint32 count -> qint32 rows read, bool at end
    Rows = 9,         // qint32 cursor, qint64 first, qint32 count -> QList<QVariantList>, QList<QBitArray>
    CloseCursor = 10, // qint32 cursor -> nothing
    QueryOpen = 11,   // qint32 handle, statement, quint8 StatementMode, QList<ParameterValue> -> as Query,
                      //   on a database open here
    Parameters = 12,  // qint32 handle (0: none), OpenArgs, statement -> QList<StatementParameter>, in
                      //   binding order; on the database open here when the handle is given
};

enum class Status : quint16 {
    Ok = 0,
    Error = 1,        // body: QString reason
};

struct OpenArgs
{
    QString path;
    QString systemDb;
    QString user;
    QString password;
};

// A value typed for a parameter, bound by name (as the statement writes it,
// without brackets; compared without case) and converted to its declared type.
struct ParameterValue
{
    QString name;
    QString value;
};

// A parameter a statement asks for: its name, declared DAO type (text when
// undeclared) and declared text size (0: none).
struct StatementParameter
{
    QString name;
    qint32 type = 10;
    qint32 size = 0;
};

QByteArray frame(const QByteArray &payload);

// The body of a request: the values in stream order.
template<typename... Values>
QByteArray pack(const Values &...values)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(StreamVersion);
    (out << ... << values);
    return bytes;
}

// Collects bytes from a stream and cuts them into payloads.
class FrameReader
{
public:
    enum class Outcome { Incomplete, Complete, Garbled };
    void append(const QByteArray &bytes) { m_buffer.append(bytes); }
    Outcome next(QByteArray *payload);
    bool isEmpty() const { return m_buffer.isEmpty(); }
    void clear() { m_buffer.clear(); }

private:
    QByteArray m_buffer;
};

// Builds one payload.
class Writer
{
public:
    Writer(quint32 id, quint16 kindOrStatus);
    QDataStream &stream() { return m_stream; }
    QByteArray payload() const { return m_bytes; }

private:
    QByteArray m_bytes;
    QDataStream m_stream;
};

// Reads one payload; ok() only when everything read was well-formed and
// finish() found nothing left over.
class Reader
{
public:
    explicit Reader(const QByteArray &payload);
    quint32 id() const { return m_id; }
    quint16 kindOrStatus() const { return m_kind; }
    QDataStream &stream() { return m_stream; }
    bool finish();
    bool ok() const { return m_stream.status() == QDataStream::Ok; }

private:
    QByteArray m_bytes;
    QDataStream m_stream;
    quint32 m_id = 0;
    quint16 m_kind = 0;
};

void writeTableDefs(QDataStream &out, const QList<TableDef> &tables);
void readTableDefs(QDataStream &in, QList<TableDef> *tables);

QDataStream &operator<<(QDataStream &out, const OpenArgs &args);
QDataStream &operator>>(QDataStream &in, OpenArgs &args);
QDataStream &operator<<(QDataStream &out, const ParameterValue &value);
QDataStream &operator>>(QDataStream &in, ParameterValue &value);
QDataStream &operator<<(QDataStream &out, const StatementParameter &parameter);
QDataStream &operator>>(QDataStream &in, StatementParameter &parameter);

} // namespace kolta::jet::protocol

namespace kolta::jet {
QDataStream &operator<<(QDataStream &out, const Field &field);
QDataStream &operator>>(QDataStream &in, Field &field);
QDataStream &operator<<(QDataStream &out, const TableDef &table);
QDataStream &operator>>(QDataStream &in, TableDef &table);
} // namespace kolta::jet
