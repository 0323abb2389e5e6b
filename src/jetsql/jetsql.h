#pragma once

// Jet (Access) SQL on SQLite: the translator from a Jet SELECT statement to
// SQLite SQL, the VBA functions Jet accepts outside Access, and the guard that
// keeps the executor read-only. Values travel as described in values.h.
//
// Use, per connection: registerJetFunctions(db); create the virtual tables;
// then sqlite3_set_authorizer(db, readOnlyAuthorizer, nullptr) (it refuses
// CREATE as well). For each statement: translate(), prepare sqliteSql, step.
// Run-time failures of our functions arrive as SQLite errors whose message is
// Jet's text ("Overflow", "Invalid use of Null", "Division by zero", ...).
//
// What the translation keeps of Jet:
// - text compares, sorts, groups and de-duplicates without case (collation
//   JETCI); Like takes * ? # [a-z] [!a]; True is -1 wherever a truth value
//   becomes a value.
// - TOP n keeps the rows tied with the n-th (as Jet does); DISTINCTROW gives
//   one row per combination of rows of the tables that supply output columns.
// - a crosstab has its row headings, then one column per pivot value (in
//   ascending order, or as its IN list says), Null values under "<>".
// - result names: a column keeps its name as written, an alias wins, other
//   expressions are Expr1000 + position; the same column twice: the earlier
//   ones become Expr1nnn; same-named columns of different tables become
//   Table.Column (by alias where one is given); a plain column whose name an
//   alias also takes becomes Expr1nnn.
// - an unknown name is a parameter, as is a PARAMETERS declaration (the
//   statement's or a saved query's): bound as SQLite parameters when the
//   caller binds them, else "Too few parameters. Expected n."; Jet's syntax,
//   missing-table, aggregate and type-mismatch errors in Jet's words.
// - statements that join or nest more than one table reference read every
//   table but the outer query's leftmost one into a materialised CTE, so that
//   SQLite joins on automatic indexes instead of nested scans of the virtual
//   tables; a one-table statement streams.

#include "result.h"
#include "values.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <optional>
#include <utility>

struct sqlite3;
struct sqlite3_stmt;

namespace kolta::jetsql {

struct CatalogColumn
{
    QString name;
    int daoType = 10;   // DAO type code, see kindForDaoType()
};

struct CatalogTable
{
    QString name;          // as Jet knows it, matched case-insensitively
    QString sqliteName;    // the SQLite (virtual) table; empty: same as name
    // Columns in table order; their kinds come from the DAO type codes.
    QList<CatalogColumn> columns;
    QString refusal = {};  // not empty: the table cannot be read, and why
};

struct CatalogQuery
{
    CatalogQuery() = default;
    CatalogQuery(QString name, QString jetSql, QString refusal = QString())
        : name(std::move(name)), jetSql(std::move(jetSql)), refusal(std::move(refusal))
    {
    }
    QString name;     // a saved query, usable wherever a table is
    QString jetSql;
    QString refusal;  // not empty: the query cannot be read, and why
};

struct Catalog
{
    QList<CatalogTable> tables;
    QList<CatalogQuery> queries;
    // A table that tables does not hold, looked up when a statement first
    // names it, so that a file of many tables is not read whole for each
    // statement; nullopt: no table of that name. None when not given.
    std::function<std::optional<CatalogTable>(const QString &name)> lookupTable = {};
    // The columns of a table whose rows an index of the file finds by value
    // (asked only for tables that are joined); none when not given.
    std::function<QStringList(const QString &table)> indexedColumns = {};
    // The column of a table's one-column primary key (no two rows share a
    // value, none is Null); empty when it has none or when not given.
    std::function<QString(const QString &table)> primaryKey = {};
};

// A value the statement asks for: declared by PARAMETERS (its own or a saved
// query's), or a name that is no field.
struct Parameter
{
    QString name;         // as the statement writes it, without brackets
    int daoType = 10;     // the declared DAO type; an undeclared one is text
    int size = 0;         // a declared text size, 0: none
    bool declared = false;
    QString sqliteName;   // the SQLite parameter (":p1") that takes its value
};

struct Translation
{
    QString sqliteSql;
    // In Jet's binding order: the declared ones as declared, then the others
    // in the order the statement uses them; each name once.
    QList<Parameter> parameters;
    QStringList columnNames;          // Jet's names for the result columns
    QList<ValueKind> columnKinds;     // how to show each column
    // With DAO's wildcards: each Like (saved queries included) whose pattern
    // the page's provider would read otherwise, and the ALike to write instead.
    QStringList serverNotes;
};

// How a plain Like reads its pattern: as DAO does (* ? # [!a]), or as the Jet
// OLE DB provider of a served page does (ANSI: % _ [^a]). ALike always reads
// ANSI wildcards.
enum class LikeWildcards { Dao, Ansi };

// Whether a statement may ask for values: the caller binds them (see
// parameterValue()); otherwise any parameter is "Too few parameters".
enum class Parameters { Refused, Bound };

// The SQLite statement for a Jet SELECT or crosstab (TRANSFORM), or Jet's
// error text for the user. A crosstab without IN (...) reads its column
// headings from db (set up as described above) while it is translated.
// values: the texts typed for the parameters (name, text), which a crosstab
// without IN (...) needs to read its headings.
using ParameterTexts = QList<std::pair<QString, QString>>;
Result<Translation> translate(const QString &jetSql, const Catalog &catalog, sqlite3 *db = nullptr,
                              LikeWildcards like = LikeWildcards::Dao, Parameters parameters = Parameters::Refused,
                              const ParameterTexts &values = {});

// The value to bind for a parameter from the text typed for it, converted to
// its declared type as Jet converts it (qlonglong, double or QString; Currency
// as ten-thousandths; an empty text is Null), or why it does not fit, in
// plain words.
Result<QVariant> parameterValue(const Parameter &parameter, const QString &text);
// Binds such a value to the SQLite parameter at index; an SQLite result code.
int bindValue(sqlite3_stmt *statement, int index, const QVariant &value);

// The pattern that matches with ANSI wildcards what daoPattern matches with DAO's.
QString ansiPattern(const QString &daoPattern);

// Registers the VBA functions, the First/Last/StDev/Var aggregates, Like and
// the case-insensitive text collation used by translated statements, and
// bounds the length of texts the connection makes ("Out of string space").
// Returns an SQLite result code.
int registerJetFunctions(sqlite3 *db);

// Jet's words for the error SQLite reports (code) on a translated statement:
// what our functions raise passes as it is, SQLite's bounds on a statement
// are "Query is too complex.", on a text "Out of string space". Empty for
// any other error; the caller words it in plain words about the file.
QString jetMessage(sqlite3 *db, int code);

// For sqlite3_set_authorizer: allows reading, our functions and the core
// functions translated statements use; denies everything else.
int readOnlyAuthorizer(void *userData, int action, const char *arg1, const char *arg2,
                       const char *database, const char *trigger);

} // namespace kolta::jetsql
