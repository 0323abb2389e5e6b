#pragma once

// The parsed form of a Jet SELECT statement.

#include <QList>
#include <QString>
#include <memory>
#include <optional>

namespace kolta::jetsql {

struct Query;
struct Expr;
using ExprP = std::shared_ptr<Expr>;

struct Expr
{
    enum Kind {
        Null, Number, String, Date, Boolean,
        Column,      // qualifier.name (qualifier may be empty)
        Unary,       // op: "-", "+", "Not"
        Binary,      // op: arithmetic, "&", comparisons, And Or Xor Eqv Imp Mod "\"
        Like,        // args: value, pattern; negated; ansi for ALike
        Between,     // args: value, low, high; negated
        InList,      // args: value, items...; negated
        InQuery,     // args: value; query; negated
        IsNull,      // args: value; negated
        Exists,      // query
        Subquery,    // scalar query
        Quantified,  // args: value; op: comparison; name: ALL or ANY; query
        Call,        // name(args); star for Count(*)
    };
    Kind kind = Null;
    QString op;
    QString qualifier;
    QString name;
    QString text;        // String: the value; Call: the call as written
    double number = 0;
    bool integer = false;
    bool negated = false;
    bool ansi = false;   // Like: written ALike, reads % and _ whatever the mode
    bool star = false;
    QList<ExprP> args;
    std::shared_ptr<Query> query;
    int pos = 0, end = 0;   // span in the statement
    int depth = 1;          // levels of the tree from here down
};

struct SelectItem
{
    ExprP expr;                 // null for * and qualifier.*
    bool star = false;
    QString starQualifier;
    QString alias;
    bool hasAlias = false;
    QString source;             // the item as written
};

struct FromItem
{
    enum Kind { Table, Derived, Join } kind = Table;
    QString name;               // table or saved query
    QString alias;
    std::shared_ptr<Query> query;   // Derived
    enum JoinType { Inner, Left, Right } joinType = Inner;
    std::shared_ptr<FromItem> left, right;
    ExprP on;
    QString onSource;
};
using FromP = std::shared_ptr<FromItem>;

struct OrderItem
{
    ExprP expr;
    bool descending = false;
    QString source;
};

struct Select
{
    bool distinct = false;
    bool distinctRow = false;
    std::optional<double> top;
    bool percent = false;
    QList<SelectItem> items;
    QList<FromP> from;          // comma-separated sources
    ExprP where;
    QString whereSource;
    QList<ExprP> groupBy;
    QList<QString> groupBySource;
    ExprP having;
    QString havingSource;
};

// TRANSFORM value SELECT ... PIVOT pivot [IN (headings)]
struct Crosstab
{
    ExprP value;                // the aggregate shown in each cell
    ExprP pivot;                // whose values become the columns
    QList<ExprP> headings;      // IN (...): these columns, in this order
    bool fixedHeadings = false;
};

// A PARAMETERS declaration: the name without brackets, a DAO type code and
// a text size (0: none given).
struct ParameterDecl
{
    QString name;
    int daoType = 10;
    int size = 0;
};

struct Query
{
    QList<ParameterDecl> parameters;
    QList<Select> parts;        // more than one: a union
    QList<bool> unionAll;       // between parts
    QList<OrderItem> orderBy;
    std::shared_ptr<Crosstab> crosstab;
};

} // namespace kolta::jetsql
