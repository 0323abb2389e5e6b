#include "acecolumns.h"

#include "jetpages.h"

#include <QDate>
#include <QtEndian>

#include <cstring>
#include <memory>

namespace kolta::jet::engine {

namespace {

// A calculated value: 16 bytes of unknown use, the data's length, the data,
// then 3 bytes of padding.
constexpr int CalculatedLengthOffset = 16;
constexpr int CalculatedDataOffset = 20;
// Access 2010 marks a calculated column in the byte after the column flags.
constexpr unsigned char CalculatedFlags = 0xC0;
// An extended date/time: two numbers of 19 digits and the precision,
// separated by colons, and a zero byte.
constexpr int ExtendedDateLength = 42;

struct Clone
{
    explicit Clone(MdbHandle *from) : mdb(mdb_clone_handle(from)) {}
    ~Clone()
    {
        if (mdb)
            mdb_close(mdb);
    }
    MdbHandle *mdb;
};

struct Table
{
    ~Table()
    {
        if (table)
            mdb_free_tabledef(table);
    }
    MdbCatalogEntry entry;
    MdbTableDef *table = nullptr;
};

// The table's properties (kept with its MSysObjects row, whose Id is the
// page of the table's definition) by column name.
QHash<QString, AceColumn> propertiesOf(MdbHandle *from, quint32 tablePage)
{
    QHash<QString, AceColumn> result;
    Clone clone(from);
    MdbHandle *mdb = clone.mdb;
    if (!mdb)
        return result;
    Table catalog;
    catalog.table = readTableAt(mdb, 2, &catalog.entry);
    if (!catalog.table)
        return result;
    // libmdb copies a long value's pieces into the bound buffer a page at a
    // time.
    const size_t bufferSize = qMax<size_t>(mdb->bind_size, size_t(mdb->fmt->pg_size)) + 1;
    QByteArray id(qsizetype(bufferSize), '\0');
    QByteArray props(qsizetype(bufferSize), '\0');
    int propsLength = 0;
    if (mdb_bind_column_by_name(catalog.table, const_cast<char *>("Id"), id.data(), nullptr) <= 0)
        return result;
    const int propsColumn = mdb_bind_column_by_name(catalog.table, const_cast<char *>("LvProp"), props.data(),
                                                    &propsLength);
    if (propsColumn <= 0)
        return result;
    auto *column = static_cast<MdbColumn *>(g_ptr_array_index(catalog.table->columns, propsColumn - 1));
    mdb_rewind_table(catalog.table);
    const qint64 rowLimit = 1 << 22;
    for (qint64 rows = 0; rows < rowLimit && mdb_fetch_row(catalog.table); ++rows) {
        if ((quint32(std::atoll(id.constData())) & 0x00FFFFFF) != tablePage || propsLength <= 0)
            continue;
        size_t length = 0;
        void *kkd = mdb_ole_read_full(mdb, column, &length);
        if (!kkd)
            break;
        GPtrArray *all = mdb_kkd_to_props(mdb, kkd, length);
        std::free(kkd);
        if (!all)
            break;
        for (guint i = 0; i < all->len; ++i) {
            auto *one = static_cast<MdbProperties *>(g_ptr_array_index(all, i));
            if (one->name) {
                AceColumn ace;
                const auto *type = static_cast<const char *>(g_hash_table_lookup(one->hash, "ResultType"));
                const auto *expression = static_cast<const char *>(g_hash_table_lookup(one->hash, "Expression"));
                ace.resultType = type ? std::atoi(type) : 0;
                ace.expression = QString::fromUtf8(expression ? expression : "");
                result.insert(QString::fromUtf8(one->name), ace);
            }
            mdb_free_props(one);
        }
        g_ptr_array_free(all, TRUE);
        break;
    }
    return result;
}

QString dateText(qint64 day)
{
    // Day 0 is 1 January of year 1 in the proleptic Gregorian calendar,
    // which QDate counts from as well.
    const QDate date = QDate(1, 1, 1).addDays(day);
    return QStringLiteral("%1/%2/%3").arg(date.month()).arg(date.day()).arg(date.year());
}

} // namespace

QList<AceColumn> readAceColumns(MdbHandle *mdb, MdbTableDef *table)
{
    QList<AceColumn> columns(qsizetype(table->columns->len));
    if (mdb->f->jet_version < MDB_VER_ACCDB_2010 || table->num_cols != table->columns->len)
        return columns;
    const MdbFormatConstants *fmt = mdb->fmt;
    // The count of real indexes as stored: libmdb lowers its own copy when it
    // reads the indexes, and the column blocks follow the stored count.
    const QByteArray bytes = definitionBytes(mdb, table->entry->table_pg, -1);
    if (bytes.size() < fmt->tab_cols_start_offset)
        return columns;
    const quint32 realCount = qFromLittleEndian<quint32>(bytes.constData() + fmt->tab_num_ridxs_offset);
    const qsizetype start = fmt->tab_cols_start_offset + qsizetype(realCount) * fmt->tab_ridx_entry_size;
    if (start + qsizetype(table->num_cols) * fmt->tab_col_entry_size > bytes.size())
        return columns;
    bool anyCalculated = false;
    for (guint d = 0; d < table->num_cols; ++d) {
        const char *descriptor = bytes.constData() + start + qsizetype(d) * fmt->tab_col_entry_size;
        const int number = static_cast<unsigned char>(descriptor[fmt->col_num_offset]);
        const bool calculated = (static_cast<unsigned char>(descriptor[fmt->col_flags_offset + 1])
                                 & CalculatedFlags) != 0;
        for (guint i = 0; i < table->columns->len; ++i) {
            const auto *column = static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, i));
            if (column->col_num == number)
                columns[i].calculated = calculated;
        }
        anyCalculated |= calculated;
    }
    if (!anyCalculated)
        return columns;
    const QHash<QString, AceColumn> properties = propertiesOf(mdb, table->entry->table_pg);
    for (guint i = 0; i < table->columns->len; ++i) {
        if (!columns.at(i).calculated)
            continue;
        const auto *column = static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, i));
        const AceColumn found = properties.value(QString::fromUtf8(column->name));
        // Without its properties a calculated column is read as its stored
        // type says.
        columns[i].resultType = found.resultType > 0 ? found.resultType : column->col_type;
        columns[i].expression = found.expression;
    }
    return columns;
}

bool unwrapCalculated(const unsigned char **data, int *size)
{
    if (*size < CalculatedDataOffset)
        return false;
    const qint32 length = qFromLittleEndian<qint32>(*data + CalculatedLengthOffset);
    if (length <= 0)
        return false;
    *data += CalculatedDataOffset;
    *size = qMin(*size - CalculatedDataOffset, length);
    return true;
}

QString calculatedDecimalText(const unsigned char *data, int size)
{
    // The data's length, the scale, a sign byte, then the digits as an
    // unsigned integer in whole 4-byte words: a leading odd word, then
    // 8-byte halves, each little-endian.
    if (size < 8)
        return {};
    const int declared = qFromLittleEndian<qint16>(data);
    const int scale = data[2];
    const bool negative = data[3] != 0;
    int length = (declared > 0 ? declared : size - 2) - 2;
    length = qMin((length / 4) * 4, qMin(16, ((size - 4) / 4) * 4));
    if (length <= 0 || scale > 28)
        return {};
    unsigned __int128 value = 0;
    const unsigned char *digits = data + 4;
    int at = 0;
    const auto takeLittleEndian = [&](int count) {
        for (int i = count - 1; i >= 0; --i)
            value = (value << 8) | digits[at + i];
        at += count;
    };
    if (length % 8 != 0)
        takeLittleEndian(4);
    while (at < length)
        takeLittleEndian(8);
    QString text;
    do {
        text.prepend(QChar(u'0' + int(value % 10)));
        value /= 10;
    } while (value != 0);
    if (scale > 0) {
        if (text.size() <= scale)
            text = QString(scale - text.size() + 1, u'0') + text;
        text.insert(text.size() - scale, u'.');
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    if (negative && text != QLatin1String("0"))
        text.prepend(u'-');
    return text;
}

QString extendedDateText(const unsigned char *data, int size)
{
    if (size < ExtendedDateLength - 1)
        return {};
    const QByteArray text(reinterpret_cast<const char *>(data), ExtendedDateLength - 1);
    const QList<QByteArray> parts = text.split(':');
    bool dayOk = false;
    bool ticksOk = false;
    if (parts.size() != 3 || parts.at(0).size() != 19 || parts.at(1).size() != 19)
        return {};
    const qint64 day = parts.at(0).toLongLong(&dayOk);
    const qint64 ticks = parts.at(1).toLongLong(&ticksOk);
    constexpr qint64 TicksPerSecond = 10000000;
    constexpr qint64 TicksPerDay = 86400 * TicksPerSecond;
    if (!dayOk || !ticksOk || day < 0 || day > 3652058 || ticks < 0 || ticks >= TicksPerDay)
        return {};
    // The general date form: the time left out at midnight, the date left
    // out on day 0 of Access's own dates (30 December 1899).
    constexpr qint64 AccessDayZero = 693593;
    if (ticks == 0)
        return dateText(day);
    const qint64 seconds = ticks / TicksPerSecond;
    const int hour = int(seconds / 3600);
    const QString time = QStringLiteral("%1:%2:%3.%4 %5")
                             .arg((hour + 11) % 12 + 1)
                             .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                             .arg(seconds % 60, 2, 10, QLatin1Char('0'))
                             .arg(ticks % TicksPerSecond, 7, 10, QLatin1Char('0'))
                             .arg(hour < 12 ? QLatin1String("AM") : QLatin1String("PM"));
    return day == AccessDayZero ? time : dateText(day) + QLatin1Char(' ') + time;
}

QHash<qint32, QString> readComplexValues(JetFile &file, quint32 tablePage, const QString &column)
{
    QHash<qint32, QString> values;
    const Result<QList<CatalogEntry>> read = file.readCatalog();
    if (!read.ok())
        return values;
    const QList<CatalogEntry> &catalog = read.value();
    const auto byId = [&catalog](quint32 id) -> const CatalogEntry * {
        for (const CatalogEntry &entry : catalog) {
            if (entry.id == id)
                return &entry;
        }
        return nullptr;
    };
    const CatalogEntry *complexColumns = nullptr;
    for (const CatalogEntry &entry : catalog) {
        if (entry.name.compare(QLatin1String("MSysComplexColumns"), Qt::CaseInsensitive) == 0)
            complexColumns = &entry;
    }
    if (!complexColumns)
        return values;
    quint32 flatId = 0;
    quint32 templateId = 0;
    const QStringList links = {QStringLiteral("ColumnName"), QStringLiteral("ConceptualTableID"),
                               QStringLiteral("FlatTableID"), QStringLiteral("ComplexTypeObjectID")};
    // A failed scan finds no column, so no values.
    static_cast<void>(file.scanRows(*complexColumns, links, [&](const QStringList &row) {
        if ((quint32(row.at(1).toLongLong()) & 0x00FFFFFF) != tablePage
            || row.at(0).compare(column, Qt::CaseInsensitive) != 0)
            return true;
        flatId = quint32(row.at(2).toLongLong());
        templateId = quint32(row.at(3).toLongLong());
        return false;
    }));
    const CatalogEntry *flat = byId(flatId);
    const CatalogEntry *kind = byId(templateId);
    if (!flat)
        return values;
    // The hidden table holds the row's number in "_<column>", its own
    // number in "<table>_<column>", and between them the template's columns.
    const Result<QList<Field>> fields = file.readColumns(*flat);
    if (!fields.ok())
        return values;
    const QString key = QLatin1Char('_') + column;
    QString shown;
    const bool attachment = kind && kind->name.compare(QLatin1String("MSysComplexType_Attachment"),
                                                       Qt::CaseInsensitive) == 0;
    for (const Field &field : fields.value()) {
        const bool link = field.Name.compare(key, Qt::CaseInsensitive) == 0
            || field.Name.endsWith(key, Qt::CaseInsensitive);
        if (attachment ? field.Name.compare(QLatin1String("FileName"), Qt::CaseInsensitive) == 0 : !link) {
            shown = field.Name;
            break;
        }
    }
    if (shown.isEmpty())
        return values;
    // The values read before a failure are kept.
    static_cast<void>(file.scanRows(*flat, {key, shown}, [&](const QStringList &row) {
        bool ok = false;
        const qint32 owner = row.at(0).toInt(&ok);
        if (!ok)
            return true;
        QString &joined = values[owner];
        if (!joined.isEmpty())
            joined += QLatin1String("; ");
        joined += row.at(1);
        return true;
    }));
    return values;
}

QList<quint32> complexValueTables(JetFile &file, const QList<CatalogEntry> &catalog)
{
    QList<quint32> ids;
    for (const CatalogEntry &entry : catalog) {
        if (entry.name.compare(QLatin1String("MSysComplexColumns"), Qt::CaseInsensitive) != 0)
            continue;
        // The ids read before a failure are kept.
        static_cast<void>(file.scanRows(entry, {QStringLiteral("FlatTableID")}, [&ids](const QStringList &row) {
            ids.append(quint32(row.at(0).toLongLong()));
            return true;
        }));
    }
    return ids;
}

} // namespace kolta::jet::engine
