#include "jetfile.h"

#include "acecolumns.h"

#include "rc4.h"
#include "reasons.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kolta::jet::engine {

namespace {

constexpr int HeaderBytes = 4096;
constexpr int HeaderKeyOffset = 0x18;
constexpr int DbKeyOffset = 0x3e;
constexpr int PasswordOffset = 0x42;
constexpr int CreationDateOffset = 0x72;
constexpr int VersionOffset = 0x14;


QString systemReason(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("the file does not exist");
    case EACCES:
    case EPERM:
        return QStringLiteral("permission to read it is denied");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

// Office wraps password-encrypted Access files into a compound document
// whose directory names the streams "EncryptionInfo" and "EncryptedPackage".
bool isEncryptedPackage(const QByteArray &start, int fd)
{
    static const unsigned char compoundMagic[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (start.size() < 8 || std::memcmp(start.constData(), compoundMagic, 8) != 0)
        return false;
    QByteArray head(64 * 1024, '\0');
    const ssize_t got = ::pread(fd, head.data(), size_t(head.size()), 0);
    if (got <= 0)
        return false;
    head.truncate(got);
    const QString name = QStringLiteral("EncryptedPackage");
    const QByteArray utf16(reinterpret_cast<const char *>(name.utf16()), name.size() * 2);
    return head.contains(utf16);
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
bool loadTable(MdbHandle *mdb, qint64 fileSize, MdbCatalogEntry *entry, const QString &name,
               quint32 page, TableHandle *handle, QString *reason)
{
    std::memset(entry, 0, sizeof(*entry));
    entry->mdb = mdb;
    entry->object_type = MDB_TABLE;
    entry->table_pg = page;
    const QByteArray utf8 = name.toUtf8();
    std::snprintf(entry->object_name, sizeof(entry->object_name), "%s", utf8.constData());
    if (page == 0 || qint64(page) * mdb->fmt->pg_size >= fileSize) {
        *reason = QStringLiteral("the database file is damaged (a table points outside the file)");
        return false;
    }
    handle->table = mdb_read_table(entry);
    if (!handle->table || !mdb_read_columns(handle->table)) {
        *reason = reasons::Damaged;
        return false;
    }
    return true;
}

} // namespace

bool usageMapIsSound(const MdbTableDef *table)
{
    const MdbHandle *mdb = table->entry->mdb;
    return table->usage_map && table->map_sz >= 1 && table->map_sz <= size_t(mdb->fmt->pg_size)
        && table->usage_map[0] <= 1;
}

QString checkFile(const QString &path, FileHeader *header)
{
    if (path.isEmpty())
        return QStringLiteral("no file name was given");
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    if (::stat(native.constData(), &info) != 0)
        return systemReason(errno);
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("it is a folder, not a database file");
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("it is not a regular file");

    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return systemReason(errno);
    QByteArray page(HeaderBytes, '\0');
    const ssize_t got = ::pread(fd, page.data(), HeaderBytes, 0);
    const int readError = errno;
    const bool encrypted = got > 0 && isEncryptedPackage(page.left(got), fd);
    ::close(fd);
    if (got < 0)
        return systemReason(readError);
    if (got == 0)
        return QStringLiteral("the file is empty, not an Access database");
    if (encrypted)
        return QStringLiteral("the database is encrypted with a password, which cannot be read");

    static const char magic[] = {0, 1, 0, 0};
    // A workgroup file is a Jet database under its own name, padded with blanks.
    const bool jet = std::memcmp(page.constData() + 4, "Standard Jet DB", 16) == 0
        || std::memcmp(page.constData() + 4, "Standard ACE DB", 16) == 0
        || std::memcmp(page.constData() + 4, "Jet System DB  ", 16) == 0;
    if (got < 0x100 || std::memcmp(page.constData(), magic, 4) != 0 || !jet)
        return QStringLiteral("it is not an Access (Jet) database");

    FileHeader result;
    result.fileSize = info.st_size;
    result.jetVersion = static_cast<unsigned char>(page.at(VersionOffset));
    if (result.jetVersion > MDB_VER_ACCDB_2019)
        return QStringLiteral("its format version (%1) is not known").arg(result.jetVersion);
    result.pageSize = result.jetVersion == MDB_VER_JET3 ? 2048 : 4096;
    // Page 0 describes the file, page 1 maps free pages, page 2 is the catalog.
    if (result.fileSize < 3 * result.pageSize)
        return QStringLiteral("the file is truncated (it is too short to hold a database)");
    if (result.fileSize % result.pageSize != 0)
        return QStringLiteral("the file is truncated (it ends in the middle of a page)");

    auto *bytes = reinterpret_cast<unsigned char *>(page.data());
    static const unsigned char headerKey[] = {0xC7, 0xDA, 0x39, 0x6B};
    rc4(headerKey, 4, bytes + HeaderKeyOffset, result.jetVersion == MDB_VER_JET3 ? 126 : 128);
    result.dbKey = qFromLittleEndian<quint32>(bytes + DbKeyOffset);
    if (result.jetVersion == MDB_VER_JET3) {
        for (int i = 0; i < 20; ++i)
            result.hasPassword |= bytes[PasswordOffset + i] != 0;
    } else {
        // Jet 4 masks the password once more with the creation date's whole
        // days; a file written without the mask has all zeros there.
        const double created = qFromLittleEndian<double>(bytes + CreationDateOffset);
        const qint32 days = (created > -2e9 && created < 2e9) ? qint32(created) : 0;
        unsigned char mask[4];
        qToLittleEndian<qint32>(days, mask);
        bool masked = false;
        bool raw = false;
        for (int i = 0; i < 40; ++i) {
            masked |= (bytes[PasswordOffset + i] ^ mask[i % 4]) != 0;
            raw |= bytes[PasswordOffset + i] != 0;
        }
        result.hasPassword = masked && raw;
    }
    if (result.hasPassword)
        return QStringLiteral("the database is protected by a database password");
    // Access 2007 and later encrypt every page after the first when a file
    // has a database password; the key's place then holds a value.
    if (result.jetVersion >= MDB_VER_ACCDB_2007 && result.dbKey != 0)
        return QStringLiteral("the database is encrypted with a database password, which cannot be read");
    *header = result;
    return {};
}

std::unique_ptr<JetFile> JetFile::open(const QString &path, QString *reason)
{
    FileHeader header;
    *reason = checkFile(path, &header);
    if (!reason->isEmpty())
        return nullptr;
    MdbHandle *mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb) {
        *reason = reasons::Damaged;
        return nullptr;
    }
    std::unique_ptr<JetFile> file(new JetFile(mdb, path, header));
    // The catalog's definition must be readable; when it is not and pages
    // are encoded, the encoding is one libmdb does not undo.
    if (mdb_read_pg(mdb, 2) != mdb->fmt->pg_size || mdb->pg_buf[0] != 0x02) {
        *reason = header.dbKey != 0 || header.jetVersion >= MDB_VER_ACCDB_2007
            ? QStringLiteral("the database is encrypted in a way that cannot be read")
            : QStringLiteral("the database file is damaged (its catalog is missing)");
        return nullptr;
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

bool JetFile::scanRows(const CatalogEntry &entry, const QStringList &columns,
                       const std::function<bool(const QStringList &)> &row, QString *reason,
                       QList<QByteArray> *bytes)
{
    MdbCatalogEntry storage;
    TableHandle handle;
    if (!loadTable(m_mdb, m_header.fileSize, &storage, entry.name, entry.id & 0x00FFFFFF, &handle, reason))
        return false;
    MdbTableDef *table = handle.table;
    if (!usageMapIsSound(table)) {
        *reason = reasons::Damaged;
        return false;
    }

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
        if (++rows > rowLimit) {
            *reason = reasons::PagesInCircle;
            return false;
        }
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
            return true;
    }
    // The definition counts the table's rows; fewer found means pages are
    // missing (a file cut short), never a shorter table.
    if (rows < qint64(table->num_rows)) {
        *reason = QString(reasons::RowsMissing).arg(entry.name);
        return false;
    }
    return true;
}

bool JetFile::readCatalog(QList<CatalogEntry> *entries, QString *reason, QList<CatalogEntry> *queries)
{
    entries->clear();
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
    const bool ok = scanRows(catalog, columns, [&](const QStringList &values) {
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
        entry.type = type;
        entry.flags = quint32(values.at(3).toLongLong());
        entry.id = quint32(values.at(0).toLongLong());
        if (type == LocalTable && qint64(entry.id & 0x00FFFFFF) * m_header.pageSize >= m_header.fileSize) {
            pastEnd = true;
            return false;
        }
        entry.linkedDatabase = values.at(4);
        entry.foreignName = values.at(5);
        (query ? queries : entries)->append(entry);
        return true;
    }, reason);
    if (ok && (!complete || pastEnd)) {
        *reason = pastEnd ? QString(reasons::CatalogPastEnd) : QString(reasons::CatalogDamaged);
        return false;
    }
    return ok;
}

bool JetFile::readColumns(const CatalogEntry &entry, QList<Field> *fields, QString *reason,
                          QList<int> *jetTypes, QList<AceColumn> *ace)
{
    MdbCatalogEntry storage;
    TableHandle handle;
    // libmdb keeps the last page it read; the definition comes from the file.
    m_mdb->cur_pg = 0;
    if (!loadTable(m_mdb, m_header.fileSize, &storage, entry.name, entry.id & 0x00FFFFFF, &handle, reason))
        return false;
    fields->clear();
    if (jetTypes)
        jetTypes->clear();
    const bool jet3 = m_header.jetVersion == MDB_VER_JET3;
    const QList<AceColumn> aceColumns = readAceColumns(m_mdb, handle.table);
    if (ace)
        *ace = aceColumns;
    for (guint i = 0; i < handle.table->columns->len; ++i) {
        const auto *column = static_cast<const MdbColumn *>(g_ptr_array_index(handle.table->columns, i));
        Field field;
        field.Name = QString::fromUtf8(column->name);
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
        fields->append(field);
        if (jetTypes)
            jetTypes->append(column->col_type);
    }
    return true;
}

qint16 daoType(int jetType)
{
    switch (jetType) {
    case MDB_BOOL: return dbBoolean;
    case MDB_BYTE: return dbByte;
    case MDB_INT: return dbInteger;
    case MDB_LONGINT: return dbLong;
    case MDB_MONEY: return dbCurrency;
    case MDB_FLOAT: return dbSingle;
    case MDB_DOUBLE: return dbDouble;
    case MDB_DATETIME: return dbDate;
    case MDB_BINARY: return dbBinary;
    case MDB_TEXT: return dbText;
    case MDB_OLE: return dbLongBinary;
    case MDB_MEMO: return dbMemo;
    case MDB_REPID: return dbGUID;
    case MDB_NUMERIC: return dbDecimal;
    // Attachment and multi-valued columns of ACE files; which kind a column
    // is lies in another system table, so they all report as attachments.
    case MDB_COMPLEX: return dbAttachment;
    case JetBigInt: return dbBigInt;   // Large Number
    case JetExtendedDate: return ExtendedDateTime;
    default: return 0;      // no DAO type; the browser names it by its code
    }
}

qint16 complexDaoType(const QString &templateName)
{
    static const QLatin1String prefix("MSysComplexType_");
    // Append-only memo columns keep their earlier texts in a column whose
    // template is named "MSysComplexTypeVH_" and a number.
    if (templateName.startsWith(QLatin1String("MSysComplexTypeVH_"), Qt::CaseInsensitive))
        return VersionHistory;
    static const struct { const char *kind; DaoType type; } kinds[] = {
        {"Attachment", dbAttachment}, {"UnsignedByte", dbComplexByte}, {"Short", dbComplexInteger},
        {"Long", dbComplexLong}, {"IEEESingle", dbComplexSingle}, {"IEEEDouble", dbComplexDouble},
        {"GUID", dbComplexGUID}, {"Decimal", dbComplexDecimal}, {"Text", dbComplexText},
    };
    if (templateName.startsWith(prefix, Qt::CaseInsensitive)) {
        const QStringView kind = QStringView(templateName).mid(prefix.size());
        for (const auto &known : kinds) {
            if (kind.compare(QLatin1String(known.kind), Qt::CaseInsensitive) == 0)
                return known.type;
        }
    }
    return daoType(MDB_COMPLEX);
}

qint32 daoSize(int jetType, int storedSize, bool jet3)
{
    switch (jetType) {
    case MDB_BOOL:
    case MDB_BYTE: return 1;
    case MDB_INT: return 2;
    case MDB_LONGINT:
    case MDB_FLOAT:
    case MDB_COMPLEX: return 4;
    case MDB_MONEY:
    case MDB_DOUBLE:
    case MDB_DATETIME:
    case JetBigInt: return 8;
    case MDB_REPID:
    case MDB_NUMERIC: return 16;
    case MDB_OLE:
    case MDB_MEMO: return 0;
    // Jet 4 stores text as UCS-2 and declares two bytes per character.
    case MDB_TEXT: return jet3 ? storedSize : storedSize / 2;
    default: return storedSize;
    }
}

namespace {

// An empty password as a workgroup file stores it in MSysAccounts: one 8-byte
// block of Jet's fixed-key cipher, twice. The same in every workgroup file,
// so an account's having a password is known even though the cipher is not.
bool storesEmptyPassword(const QByteArray &stored)
{
    static const char block[] = {'\x69', '\x52', '\xad', '\x67', '\xf3', '\xd5', '\xe1', '\xe6'};
    const QByteArray empty = QByteArray(block, 8).repeated(2);
    return stored.isEmpty() || stored == empty;
}

} // namespace

Result<PasswordCheck> checkLogin(const QString &systemDb, const QString &user, const QString &password)
{
    if (systemDb.isEmpty()) {
        // The default workgroup's password is not at hand; Jet's own holds
        // only Admin, with none.
        if (user.compare(QLatin1String("Admin"), Qt::CaseInsensitive) != 0)
            return Error{QStringLiteral("the user %1 is not an account of the default workgroup "
                                              "(set a workgroup file to log in as another user)")
                                   .arg(quoted(user))};
        return PasswordCheck::Checked;
    }
    const QString workgroup = QStringLiteral("the workgroup file %1").arg(quoted(systemDb));
    const auto unusable = [&](const QString &reason) {
        return Error{workgroup + QStringLiteral(" cannot be used: ") + reason};
    };
    QString reason;
    std::unique_ptr<JetFile> file = JetFile::open(systemDb, &reason);
    if (!file)
        return unusable(reason);
    QList<CatalogEntry> entries;
    if (!file->readCatalog(&entries, &reason))
        return unusable(reason);
    const CatalogEntry *accounts = nullptr;
    for (const CatalogEntry &entry : entries) {
        if (entry.type == LocalTable && entry.name.compare(QLatin1String("MSysAccounts"), Qt::CaseInsensitive) == 0)
            accounts = &entry;
    }
    if (!accounts)
        return Error{workgroup + QStringLiteral(" is not a workgroup file (it holds no accounts)")};
    bool found = false;
    QByteArray stored;
    const QStringList columns = {QStringLiteral("Name"), QStringLiteral("FGroup"), QStringLiteral("Password")};
    QList<QByteArray> bytes;
    if (!file->scanRows(*accounts, columns, [&](const QStringList &values) {
            // Jet compares account names without regard to case; groups
            // cannot log in.
            const bool group = !values.at(1).isEmpty() && values.at(1) != QLatin1String("0");
            found = !group && values.at(0).compare(user, Qt::CaseInsensitive) == 0;
            if (found)
                stored = bytes.at(2);
            return !found;
        }, &reason, &bytes))
        return unusable(reason);
    if (!found)
        return Error{QStringLiteral("the user %1 is not an account of %2").arg(quoted(user), workgroup)};
    if (storesEmptyPassword(stored) != password.isEmpty())
        return Error{QString(reasons::NotValidAccount)};
    return password.isEmpty() ? PasswordCheck::Checked : PasswordCheck::LeftToServer;
}

namespace {

// A linked table's definition lives in another file, named as Windows saw it;
// besides that path, the same file name next to the database is tried.
Result<TableDef> readLinkedTable(const QString &path, const CatalogEntry &entry)
{
    const auto failed = [&](const QString &reason) {
        return Error{(QString(reasons::CannotReadLinkedTable) + QLatin1String(": %3."))
                               .arg(quoted(entry.name), quoted(path), reason)};
    };
    if (entry.type == OdbcLink)
        return failed(QStringLiteral("it is linked through ODBC, which cannot be read"));
    QString target = entry.linkedDatabase;
    if (!QFileInfo::exists(target)) {
        const QString windowsName = target.section(QLatin1Char('\\'), -1);
        target = QFileInfo(path).absoluteDir().filePath(windowsName);
    }
    QString reason;
    std::unique_ptr<JetFile> file = JetFile::open(target, &reason);
    if (!file)
        return failed(QStringLiteral("its file %1 cannot be opened: %2")
                          .arg(quoted(entry.linkedDatabase), reason));
    QList<CatalogEntry> entries;
    if (!file->readCatalog(&entries, &reason))
        return failed(reason);
    const QString foreign = entry.foreignName.isEmpty() ? entry.name : entry.foreignName;
    for (const CatalogEntry &candidate : entries) {
        if (candidate.type == LocalTable && candidate.name.compare(foreign, Qt::CaseInsensitive) == 0) {
            TableDef table;
            table.Name = entry.name;
            table.catalogType = entry.type;
            table.flags = entry.flags;
            if (!file->readColumns(candidate, &table.Fields, &reason))
                return failed(reason);
            return table;
        }
    }
    return failed(QStringLiteral("%1 has no table %2").arg(quoted(target), quoted(foreign)));
}

} // namespace

QString OpenDatabase::refresh()
{
    struct stat info;
    Stamp stamp;
    if (::stat(QFile::encodeName(m_path).constData(), &info) == 0) {
        stamp.device = qint64(info.st_dev);
        stamp.inode = qint64(info.st_ino);
        stamp.size = qint64(info.st_size);
        stamp.modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        stamp.changed = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    }
    if (m_file && stamp == m_stamp)
        return {};
    m_file.reset();
    m_catalog.clear();
    m_queries.clear();
    QString reason;
    std::unique_ptr<JetFile> file = JetFile::open(m_path, &reason);
    if (!file)
        return reason;
    if (!file->readCatalog(&m_catalog, &reason, &m_queries))
        return reason;
    m_file = std::move(file);
    m_stamp = stamp;
    return {};
}

Result<PasswordCheck> OpenDatabase::open(const QString &systemDb, const QString &user, const QString &password)
{
    const Result<PasswordCheck> login = checkLogin(systemDb, user, password);
    const QString reason = login.ok() ? refresh() : login.error().message;
    if (reason.isEmpty())
        return login;
    return Error{(QString(reasons::CannotOpen) + QLatin1String(": %2.")).arg(quoted(m_path), reason)};
}

std::shared_ptr<JetFile> OpenDatabase::current(QList<CatalogEntry> *tables, QList<CatalogEntry> *queries,
                                               QString *message)
{
    const QString reason = refresh();
    if (!reason.isEmpty()) {
        *message = (QString(reasons::CannotOpen) + QLatin1String(": %2.")).arg(quoted(m_path), reason);
        return nullptr;
    }
    *tables = m_catalog;
    *queries = m_queries;
    return m_file;
}

Result<QList<TableDef>> OpenDatabase::tableDefs()
{
    const QString reason = refresh();
    if (!reason.isEmpty())
        return Error{(QString(reasons::CannotReadTables) + QLatin1String(": %2.")).arg(quoted(m_path), reason)};
    // Access keeps the values of attachment and multi-valued columns in
    // hidden tables of its own, which are no table definitions for DAO.
    const QList<quint32> hidden = complexValueTables(*m_file, m_catalog);
    QList<TableDef> tables;
    tables.reserve(m_catalog.size());
    for (const CatalogEntry &entry : std::as_const(m_catalog)) {
        if (entry.type == LocalTable && hidden.contains(entry.id))
            continue;
        TableDef table;
        table.Name = entry.name;
        table.catalogType = entry.type;
        table.flags = entry.flags;
        tables.append(table);
    }
    return tables;
}

Result<QList<TableDef>> OpenDatabase::allTableDefs()
{
    Result<QList<TableDef>> tables = tableDefs();
    if (!tables.ok())
        return tables;
    for (TableDef &table : tables.value()) {
        Result<TableDef> full = tableDef(table.Name);
        if (!full.ok())
            return full.error();
        table.Fields = full.value().Fields;
    }
    return tables;
}

// Which kind of attachment or multi-valued column each complex column is
// lies in MSysComplexColumns: the owning table's id, the column's name and
// the id of a template table named after the kind. Without it a column stays
// an attachment.
void OpenDatabase::resolveComplexTypes(const CatalogEntry &table, const QList<int> &jetTypes,
                                       QList<Field> *fields)
{
    const CatalogEntry *complexColumns = nullptr;
    QHash<quint32, QString> names;
    for (const CatalogEntry &entry : std::as_const(m_catalog)) {
        names.insert(entry.id, entry.name);
        if (entry.name.compare(QLatin1String("MSysComplexColumns"), Qt::CaseInsensitive) == 0)
            complexColumns = &entry;
    }
    if (!complexColumns)
        return;
    const QStringList columns = {QStringLiteral("ColumnName"), QStringLiteral("ConceptualTableID"),
                                 QStringLiteral("ComplexTypeObjectID")};
    QString reason;
    m_file->scanRows(*complexColumns, columns, [&](const QStringList &values) {
        if (quint32(values.at(1).toLongLong()) != table.id)
            return true;
        for (int i = 0; i < fields->size(); ++i) {
            if (jetTypes.at(i) == MDB_COMPLEX && (*fields)[i].Name.compare(values.at(0), Qt::CaseInsensitive) == 0)
                (*fields)[i].Type = complexDaoType(names.value(quint32(values.at(2).toLongLong())));
        }
        return true;
    }, &reason);
}

Result<TableDef> OpenDatabase::tableDef(const QString &name)
{
    const auto failed = [&](const QString &reason) {
        return Error{(QString(reasons::CannotReadTable) + QLatin1String(": %3."))
                               .arg(quoted(name), quoted(m_path), reason)};
    };
    QString reason = refresh();
    if (!reason.isEmpty())
        return failed(reason);
    for (const CatalogEntry &entry : std::as_const(m_catalog)) {
        if (entry.name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (entry.type != LocalTable)
            return readLinkedTable(m_path, entry);
        TableDef table;
        table.Name = entry.name;
        table.catalogType = entry.type;
        table.flags = entry.flags;
        QList<int> jetTypes;
        if (!m_file->readColumns(entry, &table.Fields, &reason, &jetTypes)) {
            // A damaged table may have left libmdb's state in any shape.
            m_file.reset();
            return failed(reason);
        }
        if (jetTypes.contains(MDB_COMPLEX))
            resolveComplexTypes(entry, jetTypes, &table.Fields);
        return table;
    }
    return failed(QStringLiteral("there is no table of that name"));
}

} // namespace kolta::jet::engine
