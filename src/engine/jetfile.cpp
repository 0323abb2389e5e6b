#include "jetfile.h"

#include "acecolumns.h"
#include "daotypes.h"
#include "jetpages.h"
#include "jettext.h"

#include "reasons.h"

#include <QFile>
#include <QHash>
#include <QtEndian>

#include <cstdio>
#include <cstring>

namespace kolta::jet::engine {

namespace {

// libmdb spells a character outside the Basic Multilingual Plane in a name
// as "??"; the stored bytes spell it whole.
QString storedText(MdbHandle *mdb, const QByteArray &bytes, const QString &fallback)
{
    if (bytes.isEmpty())
        return fallback;
    QByteArray text;
    text.resize(utf8Text(mdb, bytes.constData(), bytes.size(), text));
    return QString::fromUtf8(text);
}

// The names of a Jet 4 table's columns as stored, by column number, where
// libmdb would have spelt one with "?".
QHash<int, QString> columnNames(MdbHandle *mdb, MdbTableDef *table)
{
    QHash<int, QString> names;
    bool questioned = false;
    for (guint i = 0; i < table->columns->len; ++i)
        questioned |= std::strchr(static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, i))->name, '?')
                      != nullptr;
    if (!questioned || IS_JET3(mdb))
        return names;
    const MdbFormatConstants *fmt = mdb->fmt;
    const QByteArray bytes = definitionBytes(mdb, table->entry->table_pg, -1);
    if (bytes.size() < fmt->tab_cols_start_offset)
        return names;
    const quint32 columnCount = qFromLittleEndian<quint16>(bytes.constData() + fmt->tab_num_cols_offset);
    const quint32 realCount = qFromLittleEndian<quint32>(bytes.constData() + fmt->tab_num_ridxs_offset);
    const qsizetype blocks = fmt->tab_cols_start_offset + qsizetype(realCount) * fmt->tab_ridx_entry_size;
    qsizetype at = blocks + qsizetype(columnCount) * fmt->tab_col_entry_size;
    for (quint32 c = 0; c < columnCount && at + 2 <= bytes.size(); ++c) {
        const int length = qFromLittleEndian<quint16>(bytes.constData() + at);
        at += 2;
        if (at + length > bytes.size())
            break;
        const int number =
            qFromLittleEndian<quint16>(bytes.constData() + blocks + qsizetype(c) * fmt->tab_col_entry_size + fmt->col_num_offset);
        names.insert(number, storedText(mdb, bytes.mid(at, length), QString()));
        at += length;
    }
    return names;
}

// Owns one MdbTableDef.
struct TableHandle
{
    ~TableHandle()
    {
        if (table)
            mdb_free_tabledef(table);
    }
    MdbTableDef *table = nullptr;
};

// Owns the bind buffers of a row scan.
struct BindBuffers
{
    explicit BindBuffers(int count, size_t size) : buffers(count)
    {
        for (QByteArray &buffer : buffers)
            buffer.fill('\0', qsizetype(size) + 1);
    }
    QList<QByteArray> buffers;
};

// Reads the definition and columns of the table whose definition is on page,
// into entry storage owned by the caller.
Result<void> loadTable(MdbHandle *mdb, qint64 fileSize, MdbCatalogEntry *entry, const QString &name,
                       quint32 page, TableHandle *handle)
{
    if (page == 0 || qint64(page) * mdb->fmt->pg_size >= fileSize)
        return Error{QStringLiteral("the database file is damaged (a table points outside the file)")};
    handle->table = readTableAt(mdb, page, entry, name.toUtf8());
    if (!handle->table)
        return Error{QString(reasons::Damaged)};
    return {};
}

} // namespace

bool usageMapIsSound(const MdbTableDef *table)
{
    const MdbHandle *mdb = table->entry->mdb;
    return table->usage_map && table->map_sz >= 1 && table->map_sz <= size_t(mdb->fmt->pg_size)
        && table->usage_map[0] <= 1;
}

Result<std::unique_ptr<JetFile>> JetFile::open(const QString &path)
{
    const Result<FileHeader> checked = checkFile(path);
    if (!checked.ok())
        return checked.error();
    const FileHeader &header = checked.value();
    MdbHandle *mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        return Error{QString(reasons::Damaged)};
    std::unique_ptr<JetFile> file(new JetFile(mdb, path, header));
    // The catalog's definition must be readable; when it is not and pages
    // are encoded, the encoding is one libmdb does not undo.
    if (mdb_read_pg(mdb, 2) != mdb->fmt->pg_size || mdb->pg_buf[0] != 0x02) {
        return Error{header.dbKey != 0 || header.jetVersion >= MDB_VER_ACCDB_2007
                         ? QStringLiteral("the database is encrypted in a way that cannot be read")
                         : QStringLiteral("the database file is damaged (its catalog is missing)")};
    }
    return file;
}

JetFile::JetFile(MdbHandle *mdb, QString path, FileHeader header)
    : m_mdb(mdb), m_path(std::move(path)), m_header(header)
{
}

JetFile::~JetFile()
{
    mdb_close(m_mdb);
}

Result<void> JetFile::scanRows(const CatalogEntry &entry, const QStringList &columns,
                               const std::function<bool(const QStringList &)> &row, QList<QByteArray> *bytes)
{
    MdbCatalogEntry storage;
    TableHandle handle;
    const Result<void> loaded =
        loadTable(m_mdb, m_header.fileSize, &storage, entry.name, entry.id & 0x00FFFFFF, &handle);
    if (!loaded.ok())
        return loaded;
    MdbTableDef *table = handle.table;
    if (!usageMapIsSound(table))
        return Error{QString(reasons::Damaged)};

    BindBuffers binds(int(columns.size()), m_mdb->bind_size);
    QList<int> bound(columns.size(), 0);   // 1-based column numbers, 0 when absent
    for (int i = 0; i < columns.size(); ++i) {
        QByteArray name = columns.at(i).toUtf8();
        bound[i] = qMax(0, mdb_bind_column_by_name(table, name.data(), binds.buffers[i].data(), nullptr));
    }
    if (bytes)
        *bytes = QList<QByteArray>(columns.size());
    mdb_rewind_table(table);
    // A damaged page chain can lead the scan in circles; no table holds more
    // rows than its file has room for.
    const qint64 rowLimit = (m_header.fileSize / m_header.pageSize + 1) * 512;
    qint64 rows = 0;
    QStringList values(columns.size());
    while (mdb_fetch_row(table)) {
        if (++rows > rowLimit)
            return Error{QString(reasons::PagesInCircle)};
        for (int i = 0; i < columns.size(); ++i)
            values[i] = bound.at(i) ? QString::fromUtf8(binds.buffers.at(i).constData()) : QString();
        if (bytes) {
            // The bound text stops at a zero byte; the stored bytes lie in the
            // page buffer where the fetch left them.
            for (int i = 0; i < columns.size(); ++i) {
                (*bytes)[i].clear();
                if (!bound.at(i))
                    continue;
                const auto *column = static_cast<const MdbColumn *>(g_ptr_array_index(table->columns, bound.at(i) - 1));
                const int start = column->cur_value_start;
                const int length = column->cur_value_len;
                if (start >= 0 && length > 0 && start + length <= int(m_mdb->fmt->pg_size))
                    (*bytes)[i] = QByteArray(reinterpret_cast<const char *>(m_mdb->pg_buf) + start, length);
            }
        }
        if (!row(values))
            return {};
    }
    // The definition counts the table's rows; fewer found means pages are
    // missing (a file cut short), never a shorter table.
    if (rows < qint64(table->num_rows))
        return Error{QString(reasons::RowsMissing).arg(entry.name)};
    return {};
}

Result<QList<CatalogEntry>> JetFile::readCatalog(QList<CatalogEntry> *queries)
{
    QList<CatalogEntry> entries;
    if (queries)
        queries->clear();
    CatalogEntry catalog;
    catalog.name = QStringLiteral("MSysObjects");
    catalog.id = 2;
    const QStringList columns = {QStringLiteral("Id"), QStringLiteral("Name"),
                                 QStringLiteral("Type"), QStringLiteral("Flags"),
                                 QStringLiteral("Database"), QStringLiteral("ForeignName")};
    bool complete = true;
    bool pastEnd = false;
    QList<QByteArray> stored;
    const Result<void> scanned = scanRows(catalog, columns, [&](const QStringList &values) {
        if (values.at(1).isEmpty() && values.at(2).isEmpty()) {
            complete = false;
            return false;
        }
        // Forms, reports, macros and modules carry the high bit (-32768 a
        // form, -32764 a report ...): with it masked off a report would
        // read as an ODBC link. Only the exact codes name tables.
        const int type = values.at(2).toInt();
        const bool query = type == SavedQuery && queries;
        if (type != LocalTable && type != OdbcLink && type != LinkedTable && !query)
            return true;
        CatalogEntry entry;
        entry.name = values.at(1);
        if (entry.name.contains(QLatin1Char('?')))
            entry.name = storedText(m_mdb, stored.at(1), entry.name);
        entry.type = type;
        entry.flags = quint32(values.at(3).toLongLong());
        entry.id = quint32(values.at(0).toLongLong());
        if (type == LocalTable && qint64(entry.id & 0x00FFFFFF) * m_header.pageSize >= m_header.fileSize) {
            pastEnd = true;
            return false;
        }
        entry.linkedDatabase = values.at(4);
        entry.foreignName = values.at(5);
        (query ? *queries : entries).append(entry);
        return true;
    }, &stored);
    if (!scanned.ok())
        return scanned.error();
    if (!complete || pastEnd)
        return Error{pastEnd ? QString(reasons::CatalogPastEnd) : QString(reasons::CatalogDamaged)};
    return entries;
}

Result<QList<Field>> JetFile::readColumns(const CatalogEntry &entry, QList<int> *jetTypes, QList<AceColumn> *ace)
{
    MdbCatalogEntry storage;
    TableHandle handle;
    const Result<void> loaded =
        loadTable(m_mdb, m_header.fileSize, &storage, entry.name, entry.id & 0x00FFFFFF, &handle);
    if (!loaded.ok())
        return loaded.error();
    QList<Field> fields;
    if (jetTypes)
        jetTypes->clear();
    const bool jet3 = m_header.jetVersion == MDB_VER_JET3;
    const QList<AceColumn> aceColumns = readAceColumns(m_mdb, handle.table);
    const QHash<int, QString> storedNames = columnNames(m_mdb, handle.table);
    if (ace)
        *ace = aceColumns;
    for (guint i = 0; i < handle.table->columns->len; ++i) {
        const auto *column = static_cast<const MdbColumn *>(g_ptr_array_index(handle.table->columns, i));
        Field field;
        field.Name = storedNames.value(column->col_num, QString::fromUtf8(column->name));
        field.Type = daoType(column->col_type);
        field.Size = daoSize(column->col_type, column->col_size, jet3);
        if (aceColumns.at(i).calculated) {
            // Fields of a calculated column are of its result's type; its
            // stored size also counts the wrapping of each value.
            const int type = aceColumns.at(i).resultType;
            field.Type = daoType(type);
            field.Size = daoSize(type, qMax(0, column->col_size - CalculatedOverhead), jet3);
            field.Expression = aceColumns.at(i).expression;
        }
        fields.append(field);
        if (jetTypes)
            jetTypes->append(column->col_type);
    }
    return fields;
}

} // namespace kolta::jet::engine
