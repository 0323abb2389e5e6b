#pragma once

// Reading Jet 3 / Jet 4 files through libmdb, read-only. Everything here runs
// inside the kolta-engine process: a damaged file may still crash or hang
// libmdb, and the process boundary turns that into an error for the caller.

#include "fileheader.h"
#include "jetindex.h"
#include "result.h"
#include "schema.h"

#include <QHash>
#include <QList>
#include <QSet>
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

class JetFile
{
public:
    // Opens path read-only; the reason when it cannot be read.
    static Result<std::unique_ptr<JetFile>> open(const QString &path);
    ~JetFile();
    JetFile(const JetFile &) = delete;
    JetFile &operator=(const JetFile &) = delete;

    QString path() const { return m_path; }
    const FileHeader &header() const { return m_header; }

    // The table definitions of MSysObjects in stored order (other objects
    // left out); the saved queries go to queries when it is given.
    Result<QList<CatalogEntry>> readCatalog(QList<CatalogEntry> *queries = nullptr);
    // A local table's columns in column order, with their Jet types when
    // jetTypes is given and what ACE files add when ace is given.
    Result<QList<Field>> readColumns(const CatalogEntry &entry, QList<int> *jetTypes = nullptr,
                                     QList<AceColumn> *ace = nullptr);
    // The libmdb handle, for readers that clone it.
    MdbHandle *handle() const { return m_mdb; }
    // Whether statements may read the file's indexes (else they scan), and
    // what they used, for those who ask why a statement is slow.
    struct IndexUse
    {
        bool enabled = true;
        bool recording = false;
        QStringList used;
        // Text indexes looked at for whether their order is the engine's,
        // by table page and root page.
        QHash<quint64, bool> textOrderHolds;
        // Indexes found not to match their rows, likewise.
        QSet<quint64> damaged;
        // What a table's definition tells of its indexes, looked at once:
        // its row count and the indexes a plan may use; by table page.
        struct Usable
        {
            qint64 rowCount = 0;
            QList<IndexDefinition> indexes;
        };
        QHash<quint32, Usable> usable;
    };
    IndexUse &indexUse() { return m_indexUse; }
    // Calls row with the text of the named columns for every row of a local
    // table until it returns false. Columns missing from the table give "".
    // With bytes, each call also finds there the columns' stored bytes
    // (binary values whole, zero bytes included).
    Result<void> scanRows(const CatalogEntry &entry, const QStringList &columns,
                          const std::function<bool(const QStringList &)> &row, QList<QByteArray> *bytes = nullptr);

private:
    JetFile(MdbHandle *mdb, QString path, FileHeader header);
    MdbHandle *m_mdb;
    QString m_path;
    FileHeader m_header;
    IndexUse m_indexUse;
};

// Whether libmdb can scan the table's rows without tripping over its page
// usage map (it dereferences a missing one).
bool usageMapIsSound(const MdbTableDef *table);

} // namespace kolta::jet::engine
