#include "fixtures.h"

#include "rc4.h"

#include <QDateTime>
#include <QFile>
#include <QUuid>
#include <QtEndian>

#include <cstring>

#include <mdbtools.h>

using namespace kolta::jetwriter;

namespace fixtures {

Database everyType()
{
    Table table;
    table.name = QStringLiteral("Everything");
    table.columns = {
        {QStringLiteral("Flag"), ColumnType::YesNo},
        {QStringLiteral("Tiny"), ColumnType::Byte},
        {QStringLiteral("Small"), ColumnType::Integer},
        {QStringLiteral("Count"), ColumnType::Long},
        {QStringLiteral("Price"), ColumnType::Currency},
        {QStringLiteral("Ratio"), ColumnType::Single},
        {QStringLiteral("Measure"), ColumnType::Double},
        {QStringLiteral("When"), ColumnType::DateTime},
        {QStringLiteral("Blob"), ColumnType::Binary, 16},
        {QStringLiteral("Title"), ColumnType::Text, 40},
        {QStringLiteral("Picture"), ColumnType::Ole},
        {QStringLiteral("Notes"), ColumnType::Memo},
        {QStringLiteral("Guid"), ColumnType::Guid},
        {QStringLiteral("Amount"), ColumnType::Decimal, 0, 18, 4},
    };
    table.rows.append(Row{true, 7, 300, qint64(70000), 12.5, 0.5, 2.25,
                          QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)), QByteArray("\x01\x02", 2),
                          QStringLiteral("hello"), QByteArray("ole"), QStringLiteral("a memo"),
                          QUuid::fromString(QStringLiteral("{12345678-1234-1234-1234-123456789abc}")),
                          QStringLiteral("123.4567")});
    Database db;
    db.tables.append(table);
    return db;
}

Database small()
{
    Table customers;
    customers.name = QStringLiteral("Customers");
    customers.columns = {{QStringLiteral("ID"), ColumnType::Long},
                         {QStringLiteral("Name"), ColumnType::Text, 50}};
    customers.rows = {Row{1, QStringLiteral("Ann")}, Row{2, QStringLiteral("Bo")}};
    Table orders;
    orders.name = QStringLiteral("Orders");
    orders.columns = {{QStringLiteral("OrderID"), ColumnType::Long},
                      {QStringLiteral("CustomerID"), ColumnType::Long},
                      {QStringLiteral("Total"), ColumnType::Currency}};
    orders.rows = {Row{10, 1, 9.5}};
    Database db;
    db.tables = {customers, orders};
    return db;
}

Database workgroup()
{
    Database db;
    db.accounts = {{QStringLiteral("Admin"), QString(), false},
                   {QStringLiteral("Bob"), QStringLiteral("secret"), false},
                   {QStringLiteral("Users"), QString(), true}};
    return db;
}

QString write(const QString &path, const Database &db)
{
    return kolta::jetwriter::write(path, db);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

void toggleHeaderMask(QByteArray &file)
{
    static const unsigned char key[] = {0xC7, 0xDA, 0x39, 0x6B};
    const int length = file.at(0x14) == 0 ? 126 : 128;
    kolta::jet::rc4(key, 4, reinterpret_cast<unsigned char *>(file.data()) + 0x18, length);
}

void encodePages(QByteArray &file, quint32 key)
{
    const int pageSize = file.at(0x14) == 0 ? 2048 : 4096;
    toggleHeaderMask(file);
    qToLittleEndian<quint32>(key, file.data() + 0x3e);
    toggleHeaderMask(file);
    for (qsizetype page = 1; page * pageSize < file.size(); ++page) {
        unsigned char pageKey[4];
        qToLittleEndian<quint32>(key ^ quint32(page), pageKey);
        kolta::jet::rc4(pageKey, 4, reinterpret_cast<unsigned char *>(file.data()) + page * pageSize, pageSize);
    }
}

bool setCatalogType(const QString &path, const QString &name, qint16 type)
{
    MdbHandle *mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        return false;
    MdbCatalogEntry entry;
    std::memset(&entry, 0, sizeof(entry));
    entry.mdb = mdb;
    entry.object_type = MDB_TABLE;
    entry.table_pg = 2;
    MdbTableDef *table = mdb_read_table(&entry);
    qint64 where = -1;
    if (table && mdb_read_columns(table)) {
        QByteArray bound(int(mdb->bind_size) + 1, '\0');
        char column[] = "Name";
        mdb_bind_column_by_name(table, column, bound.data(), nullptr);
        int typeOffset = -1;
        for (guint i = 0; i < table->columns->len; ++i) {
            const auto *col = static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, i));
            if (QByteArray(col->name) == "Type")
                typeOffset = col->fixed_offset;
        }
        mdb_rewind_table(table);
        while (typeOffset >= 0 && mdb_fetch_row(table)) {
            if (QString::fromUtf8(bound.constData()) != name)
                continue;
            int start = 0;
            size_t size = 0;
            mdb_find_row(mdb, int(table->cur_row) - 1, &start, &size);
            // A Jet 4 row starts with its column count, then the fixed columns.
            where = qint64(table->cur_phys_pg) * mdb->fmt->pg_size + (start & 0x1fff) + 2 + typeOffset;
            break;
        }
    }
    if (table)
        mdb_free_tabledef(table);
    mdb_close(mdb);
    if (where < 0)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(where))
        return false;
    char bytes[2];
    qToLittleEndian<qint16>(type, bytes);
    return file.write(bytes, 2) == 2;
}

} // namespace fixtures
