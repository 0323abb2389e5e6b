#include "opendatabase.h"

#include "acecolumns.h"
#include "daotypes.h"
#include "logincheck.h"
#include "reasons.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <sys/stat.h>

namespace kolta::jet::engine {

namespace {

Error cannotOpen(const QString &path, const Error &reason)
{
    return Error{(QString(reasons::CannotOpen) + QLatin1String(": %2.")).arg(quoted(path), reason.message)};
}

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
    const Result<std::unique_ptr<JetFile>> opened = JetFile::open(target);
    if (!opened.ok())
        return failed(QStringLiteral("its file %1 cannot be opened: %2")
                          .arg(quoted(entry.linkedDatabase), opened.error().message));
    JetFile &file = *opened.value();
    const Result<QList<CatalogEntry>> entries = file.readCatalog();
    if (!entries.ok())
        return failed(entries.error().message);
    const QString foreign = entry.foreignName.isEmpty() ? entry.name : entry.foreignName;
    for (const CatalogEntry &candidate : entries.value()) {
        if (candidate.type == LocalTable && candidate.name.compare(foreign, Qt::CaseInsensitive) == 0) {
            TableDef table;
            table.Name = entry.name;
            table.catalogType = entry.type;
            table.flags = entry.flags;
            const Result<QList<Field>> fields = file.readColumns(candidate);
            if (!fields.ok())
                return failed(fields.error().message);
            table.Fields = fields.value();
            return table;
        }
    }
    return failed(QStringLiteral("%1 has no table %2").arg(quoted(target), quoted(foreign)));
}

} // namespace

Result<void> OpenDatabase::refresh()
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
    Result<std::unique_ptr<JetFile>> opened = JetFile::open(m_path);
    if (!opened.ok())
        return opened.error();
    const Result<QList<CatalogEntry>> catalog = opened.value()->readCatalog(&m_queries);
    if (!catalog.ok())
        return catalog.error();
    m_catalog = catalog.value();
    m_file = std::move(opened.value());
    m_stamp = stamp;
    return {};
}

Result<PasswordCheck> OpenDatabase::open(const QString &systemDb, const QString &user, const QString &password)
{
    const Result<PasswordCheck> login = checkLogin(systemDb, user, password);
    const Result<void> refreshed = login.ok() ? refresh() : Result<void>(login.error());
    if (refreshed.ok())
        return login;
    return cannotOpen(m_path, refreshed.error());
}

Result<CurrentFile> OpenDatabase::current()
{
    const Result<void> refreshed = refresh();
    if (!refreshed.ok())
        return cannotOpen(m_path, refreshed.error());
    return CurrentFile{m_file, m_catalog, m_queries};
}

Result<QList<TableDef>> OpenDatabase::tableDefs()
{
    const Result<void> refreshed = refresh();
    if (!refreshed.ok())
        return Error{(QString(reasons::CannotReadTables) + QLatin1String(": %2."))
                         .arg(quoted(m_path), refreshed.error().message)};
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
    // Columns a failed scan did not reach stay attachments.
    static_cast<void>(m_file->scanRows(*complexColumns, columns, [&](const QStringList &values) {
        if (quint32(values.at(1).toLongLong()) != table.id)
            return true;
        for (int i = 0; i < fields->size(); ++i) {
            if (jetTypes.at(i) == MDB_COMPLEX && (*fields)[i].Name.compare(values.at(0), Qt::CaseInsensitive) == 0)
                (*fields)[i].Type = complexDaoType(names.value(quint32(values.at(2).toLongLong())));
        }
        return true;
    }));
}

Result<TableDef> OpenDatabase::tableDef(const QString &name)
{
    const auto failed = [&](const QString &reason) {
        return Error{(QString(reasons::CannotReadTable) + QLatin1String(": %3."))
                               .arg(quoted(name), quoted(m_path), reason)};
    };
    const Result<void> refreshed = refresh();
    if (!refreshed.ok())
        return failed(refreshed.error().message);
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
        const Result<QList<Field>> fields = m_file->readColumns(entry, &jetTypes);
        if (!fields.ok()) {
            // A damaged table may have left libmdb's state in any shape.
            m_file.reset();
            return failed(fields.error().message);
        }
        table.Fields = fields.value();
        if (jetTypes.contains(MDB_COMPLEX))
            resolveComplexTypes(entry, jetTypes, &table.Fields);
        return table;
    }
    return failed(QStringLiteral("there is no table of that name"));
}

} // namespace kolta::jet::engine
