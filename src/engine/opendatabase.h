#pragma once

// A database as the engine holds it open between requests.

#include "jetfile.h"
#include "result.h"
#include "schema.h"

#include <QList>
#include <QString>
#include <memory>

namespace kolta::jet::engine {

// The file and its catalog as a statement reads them.
struct CurrentFile
{
    std::shared_ptr<JetFile> file;
    QList<CatalogEntry> tables;
    QList<CatalogEntry> queries;
};

// Every request first looks at the file: when it was changed or replaced
// since the last one, it is opened and its catalog read again; a table's
// definition is read from the file at every request. Messages name the file
// and the reason.
class OpenDatabase
{
public:
    explicit OpenDatabase(QString path) : m_path(std::move(path)) {}
    QString path() const { return m_path; }
    // The login check, then the file and its catalog; the message on failure.
    Result<PasswordCheck> open(const QString &systemDb, const QString &user, const QString &password);
    Result<QList<TableDef>> tableDefs();
    Result<TableDef> tableDef(const QString &name);
    // Every definition with its fields, in one pass.
    Result<QList<TableDef>> allTableDefs();
    // The file and its catalog for a statement, looked at afresh (read again
    // only when the file changed).
    Result<CurrentFile> current();

private:
    struct Stamp
    {
        qint64 device = 0, inode = 0, size = 0, modified = 0, changed = 0;
        bool operator==(const Stamp &) const = default;
    };
    // The reason alone, without the file's name.
    Result<void> refresh();
    void resolveComplexTypes(const CatalogEntry &table, const QList<int> &jetTypes, QList<Field> *fields);

    QString m_path;
    std::shared_ptr<JetFile> m_file;   // a statement may hold it past a refresh
    Stamp m_stamp;
    QList<CatalogEntry> m_catalog;
    QList<CatalogEntry> m_queries;
};

} // namespace kolta::jet::engine
