#pragma once

// Inside the translator: the values it builds and its one class, whose
// members live in the files named beside them. Not part of the library's API.

#include "ast.h"
#include "jetsql.h"
#include "sqltexts.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <deque>
#include <utility>

namespace kolta::jetsql::translator {

// Jet's error text: ends the translation, which then returns it.
[[noreturn]] void fail(const QString &message);
[[noreturn]] void fail(const char *templ, const QString &arg);

QString quoteId(const QString &name);
QString quoteText(const QString &text);
QString realLiteral(double v);
inline bool sameName(const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

inline constexpr char kCollate[] = " COLLATE JETCI";

bool isNumericKind(ValueKind k);
ValueKind wider(ValueKind a, ValueKind b);

struct Value
{
    Value() = default;
    Value(QString s, ValueKind k, bool c = false) : sql(std::move(s)), kind(k), cond(c) {}

    QString sql;
    ValueKind kind = ValueKind::Variant;
    bool cond = false;        // an SQLite truth value (1/0/NULL), not yet Jet's -1/0
    bool aggregate = false;
    bool isNull = false;
    const Expr *textLiteral = nullptr;
    QString sourceRef;        // a plain table column: its source
    bool scaled = false;      // Currency as its exact count of ten-thousandths
    bool decimal = false;     // a Decimal as its exact text
    bool looseParameter = false;   // an undeclared parameter: text Jet converts where compared

    // As a Jet value: truths become -1/0, Currency a number of units, a
    // Decimal a Double.
    QString value() const
    {
        if (cond)
            return QStringLiteral("(-(%1))").arg(sql);
        if (decimal)
            return QStringLiteral("jet_decnum(%1)").arg(sql);
        return scaled ? QStringLiteral("(%1 / 10000.0)").arg(sql) : sql;
    }
    // For exact Decimal sums and comparisons: a Decimal's text, else the value.
    QString exact() const { return decimal ? sql : value(); }
    // As Currency, exact: a count of ten-thousandths.
    QString tenThousandths() const
    {
        if (scaled)
            return sql;
        if (!cond && (kind == ValueKind::Integer || kind == ValueKind::Boolean))
            return QStringLiteral("(%1 * 10000)").arg(sql);
        return QStringLiteral("jet_cur(%1)").arg(value());
    }
    // As a result column of the given kind: Currency leaves exact.
    QString output(ValueKind columnKind) const
    {
        return columnKind == ValueKind::Currency ? tenThousandths() : value();
    }
    // Computed truths show as -1/0, as in Jet; only Yes/No fields are Boolean.
    ValueKind valueKind() const { return cond ? ValueKind::Integer : kind; }
    QString truth() const { return cond ? sql : QStringLiteral("((%1) <> 0)").arg(sql); }
    QString condition() const { return cond ? sql : QStringLiteral("(%1)").arg(sql); }
    // As text for a text-taking function: dates in their general form, a
    // Decimal with all its digits.
    QString text() const
    {
        if (decimal)
            return sql;
        return kind == ValueKind::Date && !cond ? QStringLiteral("jet_dtext(%1)").arg(sql) : value();
    }
    bool needsCollation() const
    {
        ValueKind k = valueKind();
        return k == ValueKind::Text || k == ValueKind::Variant;
    }
};

struct Column
{
    QString name;
    ValueKind kind;
    bool decimal = false;   // holds a Decimal's exact text
};

struct Source
{
    QString ref;   // what columns are qualified with; also the SQLite alias
    QList<Column> columns;
    QString rowid;   // a stored table: what tells its rows apart
};

struct Scope
{
    QList<Source> sources;
    const Scope *parent = nullptr;
    // select-list aliases (name, expression) visible in this scope
    QList<std::pair<QString, ExprP>> aliases;
};

struct QueryOut
{
    QString sql;
    QStringList names;
    QList<ValueKind> kinds;
    QList<bool> exact;   // per column: a Decimal's exact text
    QStringList sqlNames;   // the columns' names in sql, where they differ from names
};

struct OutColumn
{
    Value value;
    QString name;
    bool plainColumn = false;
    QString sourceRef;
    bool hasAlias = false;
    bool exact = false;   // leaves as a Decimal's exact text
};

struct SelectOut
{
    QString selectList;      // "e1 AS n1, ..."
    QString rest;            // " FROM ... WHERE ... GROUP BY ... HAVING ..."
    QList<OutColumn> columns;
    Scope scope;
    QSet<QString> grouped;
    bool aggregateQuery = false;
    QStringList sqlNames;    // unique names for SQLite, in column order
    QString fromWhere;       // " FROM ... WHERE ..."
    QStringList groupKeys;
};

Value columnValue(const Source &src, const Column &c);
bool isAggregateName(const QString &name);

class Translator
{
public:
    Translator(const Catalog &catalog, sqlite3 *db, LikeWildcards like, Parameters parameters,
               const ParameterTexts &values)
        : m_catalog(catalog), m_db(db), m_like(like), m_bindParameters(parameters == Parameters::Bound),
          m_values(values)
    {
    }

    Translation run(const QString &jetSql);

private:
    // Expressions and queries being translated, one inside the other; with
    // saved queries and aliases put in, a statement the parser let through
    // may nest deeper still.
    class Deeper
    {
    public:
        explicit Deeper(int *depth) : m_depth(depth)
        {
            if (++*m_depth > texts::kMaxDepth)
                fail(QString::fromLatin1(texts::kTooComplex));
        }
        ~Deeper() { --*m_depth; }
        Deeper(const Deeper &) = delete;
        Deeper &operator=(const Deeper &) = delete;

    private:
        int *m_depth;
    };

    // sources.cpp: FROM, the tables materialised, names
    QString cteClause() const;
    QString derivedSql(const QueryOut &sub, const QString &alias);
    QString tableSql(const FromItem &f, const QString &sqliteName);
    const CatalogTable *findTable(const QString &name);
    const CatalogQuery *findQuery(const QString &name) const;
    QString from(const FromItem &f, Scope &scope);
    void declare(const QList<ParameterDecl> &declared);
    Value parameter(const QString &name);
    Value column(const Expr &e, const Scope &scope);

    // expressions.cpp
    void checkComparable(const Value &a, const Value &b);
    void dateFromText(Value &text, const Value &other);
    Value compare(const QString &op, Value a, Value b);
    Value expr(const Expr &e, const Scope &scope);
    Value binary(const Expr &e, const Scope &scope);

    // calls.cpp: functions and aggregates
    Value call(const Expr &e, const Scope &scope);

    // like.cpp
    void noteLike(const Expr &e);

    // select.cpp
    SelectOut select(const Select &s, const Scope *parent, bool dedupe, const QList<ValueKind> *finalKinds = nullptr,
                     bool exact = true);
    void checkNoAggregate(const Value &v, const QString &source);
    bool covered(const Expr &e, const Scope &scope, const QSet<QString> &grouped);
    QString uncoveredText(const Expr &e, const Scope &scope, const QSet<QString> &grouped, const QString &fallback);
    void sourcesOf(const Expr &e, const Scope &scope, QSet<QString> &refs, int depth = 0);
    QString distinctRowGroups(const Select &s, const Scope &scope);

    // crosstab.cpp
    QList<std::pair<QString, QString>> pivotValues(const SelectOut &part, const Value &pivot);
    QueryOut crosstab(const Query &q, const Scope *parent, bool exact);

    // query.cpp: unions, ORDER BY, TOP
    QueryOut query(const Query &q, const Scope *parent, bool exact = true);
    QString single(const Select &s, SelectOut &part, const QStringList &sqlNames, const QList<OrderItem> &orderBy);

    const Catalog &m_catalog;
    std::deque<CatalogTable> m_lookedUp;   // tables the catalog found on first use; they stay put
    sqlite3 *m_db = nullptr;
    const LikeWildcards m_like;
    QString m_sourceText;      // the statement or saved query being read
    QStringList m_notes;
    const bool m_bindParameters;
    QList<Parameter> m_parameters;   // as met; run() puts them in binding order
    const ParameterTexts &m_values;
    bool m_mismatch = false;
    QStringList m_expanding;   // saved queries being expanded, against cycles
    int m_depth = 0;           // see Deeper
    int m_aggregateDepth = 0;
    int m_aliasDepth = 0;

    // Crosstabs
    bool m_probe = false;
    bool m_sawCrosstab = false;
    QString m_aggregateFilter;   // a crosstab cell: the rows its aggregates take

    // Materialised tables
    int m_tableReferences = 0;
    bool m_materialize = false;
    const FromItem *m_streamed = nullptr;
    // Tables joined on a key an index finds: read in place, not copied out.
    QList<const FromItem *> m_looked;
    void findLookups(const Query &q);
    QList<std::pair<QString, QString>> m_ctes;   // CTE name, SQLite table
    QList<std::pair<QString, QString>> m_derived;   // CTE name, query in FROM or an IN's rows
    int m_outerReferences = 0;   // columns found in an enclosing query's sources
    bool m_rowids = false;   // DISTINCTROW tells the rows of materialised tables apart
};

} // namespace kolta::jetsql::translator
