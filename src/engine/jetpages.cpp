#include "jetpages.h"

#include "rc4.h"

#include <QtEndian>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kolta::jet::engine {

namespace {

constexpr int LongValueHeader = 12;

} // namespace

bool readPage(MdbHandle *mdb, quint32 page, unsigned char *buffer)
{
    const int size = int(mdb->fmt->pg_size);
    const int fd = fileno(mdb->f->stream);
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, buffer + got, size_t(size - got), off_t(page) * size + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    if (got == 0)
        return false;
    std::memset(buffer + got, 0, size_t(size - got));
    if (page != 0 && mdb->f->db_key != 0) {
        const quint32 key = mdb->f->db_key ^ page;
        const unsigned char keyBytes[4] = {uchar(key), uchar(key >> 8), uchar(key >> 16), uchar(key >> 24)};
        rc4(keyBytes, 4, buffer, size);
    }
    return true;
}

MdbTableDef *readTableAt(MdbHandle *mdb, quint32 page, MdbCatalogEntry *entry, const QByteArray &name)
{
    std::memset(entry, 0, sizeof(*entry));
    entry->mdb = mdb;
    entry->object_type = MDB_TABLE;
    entry->table_pg = page;
    std::snprintf(entry->object_name, sizeof(entry->object_name), "%s", name.constData());
    mdb->cur_pg = 0;
    MdbTableDef *table = mdb_read_table(entry);
    if (table && !mdb_read_columns(table)) {
        mdb_free_tabledef(table);
        return nullptr;
    }
    return table;
}

QList<quint32> dataPages(MdbHandle *mdb, const MdbTableDef *table, quint32 pageCount)
{
    QList<quint32> pages;
    const unsigned char *map = table->usage_map;
    const quint32 size = quint32(table->map_sz);
    const auto addBits = [&](const unsigned char *bits, quint32 bitCount, quint64 first) {
        for (quint32 i = 0; i < bitCount; ++i) {
            if (!(bits[i / 8] & (1u << (i % 8))))
                continue;
            if (first + i >= pageCount)
                return;
            pages.append(quint32(first + i));
        }
    };
    if (map[0] == 0) {
        if (size >= 5)
            addBits(map + 5, (size - 5) * 8, qFromLittleEndian<quint32>(map + 1));
        return pages;
    }
    const quint32 bitsPerPage = quint32(mdb->fmt->pg_size - 4) * 8;
    QByteArray mapPage(mdb->fmt->pg_size, '\0');
    auto *buffer = reinterpret_cast<unsigned char *>(mapPage.data());
    for (quint32 index = 0; index < (size - 1) / 4; ++index) {
        const quint32 page = qFromLittleEndian<quint32>(map + 1 + index * 4);
        if (page == 0 || page >= pageCount || !readPage(mdb, page, buffer))
            continue;
        addBits(buffer + 4, bitsPerPage, quint64(index) * bitsPerPage);
    }
    return pages;
}

std::optional<QByteArray> longValue(MdbHandle *mdb, int start, int size)
{
    if (size < LongValueHeader)
        return QByteArray();
    const unsigned char *header = mdb->pg_buf + start;
    const quint32 word = qFromLittleEndian<quint32>(header);
    const quint32 length = word & 0x3fffffff;
    if (word & 0x80000000u)
        return QByteArray(reinterpret_cast<const char *>(header + LongValueHeader),
                          qMin<qsizetype>(size - LongValueHeader, length));
    qint32 pageRow = qFromLittleEndian<qint32>(header + 4);
    void *buffer = nullptr;
    int offset = 0;
    size_t rowSize = 0;
    if (word & 0x40000000u) {
        if (mdb_find_pg_row(mdb, pageRow, &buffer, &offset, &rowSize) != 0)
            return std::nullopt;
        return QByteArray(static_cast<const char *>(buffer) + offset, qMin<qsizetype>(qsizetype(rowSize), length));
    }
    QByteArray bytes;
    // Each link holds the next one's page and row, then data; a damaged
    // chain ends where the length says or after as many links as pages.
    for (int links = 0; pageRow != 0 && bytes.size() < qsizetype(length) && links < 1 << 20; ++links) {
        if (mdb_find_pg_row(mdb, pageRow, &buffer, &offset, &rowSize) != 0 || rowSize < 4)
            break;
        const auto *row = static_cast<const unsigned char *>(buffer) + offset;
        pageRow = qFromLittleEndian<qint32>(row);
        bytes.append(reinterpret_cast<const char *>(row + 4),
                     qMin<qsizetype>(qsizetype(rowSize) - 4, qsizetype(length) - bytes.size()));
    }
    if (bytes.size() < qsizetype(length))
        return std::nullopt;
    return bytes;
}

// The definition's bytes as libmdb reads them: the first page whole, then
// each following page of the chain without its 8-byte header.
QByteArray definitionBytes(MdbHandle *mdb, quint32 page, qsizetype needed)
{
    const bool whole = needed < 0;
    const qsizetype pageSize = mdb->fmt->pg_size;
    QByteArray bytes;
    for (int links = 0; page != 0 && (whole || bytes.size() < needed) && links < 256; ++links) {
        if (mdb_read_alt_pg(mdb, page) != pageSize)
            return {};
        const auto *data = reinterpret_cast<const char *>(mdb->alt_pg_buf);
        if (data[0] != 0x02)
            return {};
        const qsizetype skip = bytes.isEmpty() ? 0 : 8;
        bytes.append(data + skip, pageSize - skip);
        page = qFromLittleEndian<quint32>(data + 4);
    }
    return bytes.size() >= needed && !bytes.isEmpty() ? bytes : QByteArray();
}

} // namespace kolta::jet::engine
