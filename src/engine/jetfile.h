#pragma once

// Reading Jet 3 / Jet 4 files through libmdb, read-only. Everything here runs
// inside the kolta-engine process: a damaged file may still crash or hang
// libmdb, and the process boundary turns that into an error for the caller.

#include "result.h"
#include "schema.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include <mdbtools.h>

namespace kolta::jet::engine {

struct AceColumn;

// MSysObjects types of the objects that are table definitions, and of saved
// queries.
enum CatalogType { LocalTable = 1, OdbcLink = 4, SavedQuery = 5, LinkedTable = 6 };

struct CatalogEntry
{
    QString name;
    int type = 0;
    quint32 flags = 0;
    quint32 id = 0;          // for a local table, the page of its definition
    QString linkedDatabase;  // linked tables: the file and the table there
    QString foreignName;
};

// What the first page of a file says, read without libmdb.
struct FileHeader
{
    int jetVersion = 0;      // 0 Jet 3, 1 Jet 4, 2.. ACE
    int pageSize = 0;
    quint32 dbKey = 0;       // non-zero: pages are RC4-encoded
    bool hasPassword = false;
    qint64 fileSize = 0;
};

// Checks that path names a readable, complete Jet file; empty on success,
// else the reason in plain words.
QString checkFile(const QString &path, FileHeader *header);

class JetFile
{
public:
    // Opens path read-only; nullptr with *reason set when it cannot be read.
    static std::unique_ptr<JetFile> open(const QString &path, QString *reason);
    ~JetFile();
    JetFile(const JetFile &) = delete;
    JetFile &operator=(const JetFile &) = delete;

    QString path() const { return m_path; }
    const FileHeader &header() const { return m_header; }

    // The table definitions of MSysObjects in stored order (other objects
    // left out); the saved queries too when queries is given.
    bool readCatalog(QList<CatalogEntry> *entries, QString *reason, QList<CatalogEntry> *queries = nullptr);
    // A local table's columns in column order, with their Jet types when
    // jetTypes is given and what ACE files add when ace is given.
    bool readColumns(const CatalogEntry &entry, QList<Field> *fields, QString *reason,
                     QList<int> *jetTypes = nullptr, QList<AceColumn> *ace = nullptr);
    // The libmdb handle, for readers that clone it.
    MdbHandle *handle() const { return m_mdb; }
    // Calls row with the text of the named columns for every row of a local
    // table until it returns false. Columns missing from the table give "".
    // With bytes, each call also finds there the columns' stored bytes
    // (binary values whole, zero bytes included).
    bool scanRows(const CatalogEntry &entry, const QStringList &columns,
                  const std::function<bool(const QStringList &)> &row, QString *reason,
                  QList<QByteArray> *bytes = nullptr);

private:
    JetFile(MdbHandle *mdb, QString path, FileHeader header);
    MdbHandle *m_mdb;
    QString m_path;
    FileHeader m_header;
};

// Whether libmdb can scan the table's rows without tripping over its page
// usage map (it dereferences a missing one).
bool usageMapIsSound(const MdbTableDef *table);

// DAO type code and size of a Jet column.
qint16 daoType(int jetType);
// DAO type code of an attachment or multi-valued column from the name of its
// template table in MSysObjects ("MSysComplexType_Long" ...).
qint16 complexDaoType(const QString &templateName);
qint32 daoSize(int jetType, int storedSize, bool jet3);

// The login check done before a database is opened: the account must exist,
// and a password must be typed exactly when the account has one. Whether a
// typed password is the right one is left to the server.
Result<PasswordCheck> checkLogin(const QString &systemDb, const QString &user, const QString &password);

// A database as the engine holds it open. Every request first looks at the
// file: when it was changed or replaced since the last one, it is opened and
// its catalog read again; a table's definition is read from the file at
// every request. Messages name the file and the reason.
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
    // only when the file changed); null with *message set when unreadable.
    std::shared_ptr<JetFile> current(QList<CatalogEntry> *tables, QList<CatalogEntry> *queries, QString *message);

private:
    struct Stamp
    {
        qint64 device = 0, inode = 0, size = 0, modified = 0, changed = 0;
        bool operator==(const Stamp &) const = default;
    };
    QString refresh();
    void resolveComplexTypes(const CatalogEntry &table, const QList<int> &jetTypes, QList<Field> *fields);

    QString m_path;
    std::shared_ptr<JetFile> m_file;   // a statement may hold it past a refresh
    Stamp m_stamp;
    QList<CatalogEntry> m_catalog;
    QList<CatalogEntry> m_queries;
};

} // namespace kolta::jet::engine
