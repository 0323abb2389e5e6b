#pragma once

// A Jet SQL statement run in the engine: the file's tables as SQLite virtual
// tables, the statement translated to SQLite, and the rows read so far kept
// in a scratch database on disk, so that neither process grows with the size
// of the result.

#include "result.h"
#include "schema.h"
#include "protocol.h"
#include "jetsql.h"
#include "values.h"

#include <QBitArray>
#include <QList>
#include <QStringList>
#include <QVariant>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace kolta::jet::engine {

class JetFile;
class OpenDatabase;

class Statement
{
public:
    enum class Form { Display, Raw, Page };   // Page: as a served page writes values

    using Values = QList<protocol::ParameterValue>;

    // Checks the login, opens the file and prepares jetSql with the values
    // of its parameters bound; the message (Jet's words, or what failed with
    // the file) when it cannot.
    static Result<std::unique_ptr<Statement>> prepare(const protocol::OpenArgs &args, const QString &jetSql,
                                                      Form form,
                                                      jetsql::LikeWildcards like = jetsql::LikeWildcards::Dao,
                                                      const Values &values = {});
    // The same on a database the engine holds open: its file and catalog as
    // they are, read again only when the file changed.
    static Result<std::unique_ptr<Statement>> prepare(OpenDatabase &database, const QString &jetSql, Form form,
                                                      jetsql::LikeWildcards like = jetsql::LikeWildcards::Dao,
                                                      const Values &values = {});
    // The parameters jetSql asks for, in binding order, or why it cannot run.
    static Result<QList<protocol::StatementParameter>> parameters(const protocol::OpenArgs &args,
                                                                  const QString &jetSql);
    static Result<QList<protocol::StatementParameter>> parameters(OpenDatabase &database, const QString &jetSql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    const QStringList &names() const { return m_names; }
    // Where the page's provider would read the statement otherwise (DAO wildcards only).
    const QStringList &serverNotes() const { return m_serverNotes; }
    bool atEnd() const { return m_atEnd; }
    qint64 rowsRead() const { return m_rowsRead; }

    // Reads up to count more rows of the result into the scratch store. A
    // run-time failure within the first call fails it; in a later call the
    // rows before the failing one come first and the error with the next.
    // A store that is full (its bound, or the disk) fails the call and keeps
    // the rows of the calls before; it ends the statement.
    Result<int> fetch(int count);
    // Rows already read, as texts (Null: a null QVariant); with numbers, a
    // bit per value that shows a number.
    Result<QList<QVariantList>> rows(qint64 first, int count, QList<QBitArray> *numbers = nullptr);
    // Steps through the whole result without keeping it (for the command line).
    Result<bool> each(const std::function<void(const QVariantList &)> &row);

private:
    Statement() = default;
    // values: nullptr only to learn the parameters; nothing is bound then.
    static Result<std::unique_ptr<Statement>> build(OpenDatabase &database, const QString &jetSql, Form form,
                                                    jetsql::LikeWildcards like, const Values *values);
    // Binds the typed values as the declared types.
    Result<void> bind(const Values &values);
    // Steps the statement; *done at its end.
    Result<bool> next(bool *done);
    Result<QVariantList> step(bool *done);
    // A value of the result as the caller's form shows it.
    QVariant text(const QVariant &value, int column) const;
    QString failure(const QString &reason) const;
    // The user's words for an error of the statement (code: SQLite's).
    QString sqlFailure(int code) const;
    // ... and for one of the scratch store.
    QString storeFailure(int code) const;

    Form m_form = Form::Display;
    std::shared_ptr<JetFile> m_file;
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    sqlite3 *m_store = nullptr;
    sqlite3_stmt *m_insert = nullptr;
    QStringList m_names;
    QStringList m_serverNotes;
    QList<jetsql::Parameter> m_parameters;
    QList<jetsql::ValueKind> m_kinds;
    qint64 m_rowsRead = 0;
    bool m_atEnd = false;
    QString m_pendingError;
    QByteArray m_scratchFolder;
    qint64 m_scratchLimit = 0;
    qint64 m_scratchFloor = 0;   // free space the rows leave on their disk
};

} // namespace kolta::jet::engine
