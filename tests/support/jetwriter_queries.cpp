// Saved queries as MSysQueries rows.

#include "jetwriter_p.h"

#include <QHash>
#include <QStringList>

#include <algorithm>

namespace kolta::jetwriter::detail {

namespace {

// MSysQueries keeps a query as attribute rows sharing the query's ObjectId.
enum Attribute {
    Start = 0,       // opens the query
    Type = 1,        // Flag: the query type (left out of select queries); Name1: a target table;
                     // Expression: the text of a data-definition or pass-through query
    Parameter = 2,   // Name1: a PARAMETERS name, Flag: its DAO type
    Predicate = 3,   // Flag: 0x02 DISTINCT, 0x08 DISTINCTROW, 0x10 TOP, 0x20 TOP PERCENT; Name1: the count.
                     // Unions: 0x01, and 0x02 when the last UNION drops duplicates
    Input = 5,       // Name1: table, Name2: alias; unions: Name2 X7YZ_____1/2, Expression: the two operands
    Output = 6,      // Expression, Name1: alias; crosstabs: Flag 0 value, 1 pivot, 2 row heading
    Join = 7,        // Name1, Name2: the joined tables, Expression: ON condition, Flag: join kind
    Where = 8,       // Expression
    GroupBy = 9,     // Expression; crosstabs: Flag 2 row heading, 1 pivot
    Having = 10,     // Expression
    OrderBy = 11,    // Expression, Name1: "D" for descending
    End = 255,
};

enum QueryType {
    SelectQuery = 1, MakeTable = 2, Append = 3, Update = 4, Delete = 5, Crosstab = 6, DataDefinition = 7,
    PassThrough = 8, UnionQuery = 9,
};
enum CrosstabRole { Value = 0, ColumnHeading = 1, RowHeading = 2 };

enum JoinKind { Inner = 1, LeftOuter = 2, RightOuter = 3 };

// Walks s outside quotes and brackets, tracking parenthesis depth.
template<typename F>
void scan(const QString &s, F &&visit)
{
    int depth = 0;
    QChar quote;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == u'"' || c == u'\'' || c == u'[') {
            quote = c == u'[' ? QChar(u']') : c;
            continue;
        }
        if (c == u'(')
            ++depth;
        else if (c == u')')
            --depth;
        if (visit(i, depth))
            return;
    }
}

bool wordAt(const QString &s, qsizetype i, const QString &word)
{
    return s.mid(i, word.size()).compare(word, Qt::CaseInsensitive) == 0 && (i == 0 || s.at(i - 1).isSpace()
               || s.at(i - 1) == u')')
           && (i + word.size() == s.size() || s.at(i + word.size()).isSpace() || s.at(i + word.size()) == u'(');
}

// Positions of a keyword outside quotes and brackets; inside parentheses too
// when anyDepth is set (joins nest in parentheses).
QList<qsizetype> findAll(const QString &s, const QString &word, bool anyDepth = false)
{
    QList<qsizetype> found;
    scan(s, [&](qsizetype i, int depth) {
        if ((anyDepth || depth == 0) && wordAt(s, i, word))
            found.append(i);
        return false;
    });
    return found;
}

qsizetype findKeyword(const QString &s, const QString &word)
{
    const QList<qsizetype> all = findAll(s, word);
    return all.isEmpty() ? -1 : all.first();
}

// Splits at top-level commas.
QStringList splitList(const QString &s)
{
    QStringList parts;
    qsizetype start = 0;
    scan(s, [&](qsizetype i, int depth) {
        if (depth == 0 && s.at(i) == u',') {
            parts.append(s.mid(start, i - start).trimmed());
            start = i + 1;
        }
        return false;
    });
    if (!s.mid(start).trimmed().isEmpty())
        parts.append(s.mid(start).trimmed());
    return parts;
}

QString unbracket(const QString &name)
{
    const QString t = name.trimmed();
    if (t.startsWith(u'[') && t.endsWith(u']'))
        return t.mid(1, t.size() - 2);
    return t;
}

// Drops the parentheses Access puts around nested joins.
QString balanced(QString s)
{
    s = s.trimmed();
    while (s.startsWith(u'(') && s.count(u'(') > s.count(u')'))
        s = s.mid(1).trimmed();
    while (s.endsWith(u')') && s.count(u')') > s.count(u'('))
        s = s.chopped(1).trimmed();
    return s;
}

// "expr AS alias" -> {expr, alias}
std::pair<QString, QVariant> splitAlias(const QString &item)
{
    const qsizetype asAt = findKeyword(item, QStringLiteral("AS"));
    if (asAt < 0)
        return {item.trimmed(), QVariant()};
    return {item.left(asAt).trimmed(), unbracket(item.mid(asAt + 2))};
}

// Removes a trailing INNER / LEFT [OUTER] / RIGHT [OUTER] from s and says which.
JoinKind takeJoinKind(QString &s)
{
    s = s.trimmed();
    if (s.endsWith(QLatin1String(" OUTER"), Qt::CaseInsensitive))
        s = s.chopped(6).trimmed();
    const auto take = [&](const QString &word) {
        if (s.size() >= word.size() && s.right(word.size()).compare(word, Qt::CaseInsensitive) == 0
            && (s.size() == word.size() || s.at(s.size() - word.size() - 1).isSpace()
                || s.at(s.size() - word.size() - 1) == u'(')) {
            s = s.chopped(word.size()).trimmed();
            return true;
        }
        return false;
    };
    if (take(QStringLiteral("LEFT")))
        return LeftOuter;
    if (take(QStringLiteral("RIGHT")))
        return RightOuter;
    take(QStringLiteral("INNER"));
    return Inner;
}

// One query's rows. Access stores the opening and closing rows first, then
// the others by attribute; Flag is Null where Access leaves it empty.
struct Rows
{
    qint64 id;
    QList<Row> *out;
    void add(int attribute, const QVariant &expression, const QVariant &flag, const QVariant &name1,
             const QVariant &name2 = QVariant()) const
    {
        out->append(Row{id, attribute, QVariant(), name1, name2, expression, flag, QVariant()});
    }
    void sort() const
    {
        const auto rank = [](const Row &r) {
            const int attribute = r.at(1).toInt();
            return attribute == End ? 0 : attribute;
        };
        std::stable_sort(out->begin(), out->end(), [&](const Row &a, const Row &b) { return rank(a) < rank(b); });
    }
};

void addInput(const Rows &rows, const QString &table)
{
    const auto [name, alias] = splitAlias(balanced(table));
    rows.add(Input, QVariant(), QVariant(), unbracket(name), alias);
}

// Access keeps each part of "ON (a) AND (b)" in a join row of its own.
QStringList joinConditions(const QString &on)
{
    const QList<qsizetype> ands = findAll(on, QStringLiteral("AND"));
    if (ands.isEmpty() || !on.startsWith(u'('))
        return {on};
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype at : ands) {
        parts.append(on.mid(start, at - start).trimmed());
        start = at + 3;
    }
    parts.append(on.mid(start).trimmed());
    for (QString &part : parts) {
        if (!part.startsWith(u'(') || !part.endsWith(u')'))
            return {on};
        part = part.mid(1, part.size() - 2).trimmed();
    }
    return parts;
}

// Left-deep joins "A INNER JOIN B ON c1 LEFT JOIN C ON c2", with or without
// Access's parentheses, become one input row per table and one join row per
// JOIN; anything else in FROM is a list of tables.
void addFrom(const Rows &rows, const QString &from)
{
    const QList<qsizetype> joins = findAll(from, QStringLiteral("JOIN"), true);
    if (joins.isEmpty()) {
        for (const QString &t : splitList(from))
            addInput(rows, t);
        return;
    }
    QString left = from.left(joins.first());
    JoinKind kind = takeJoinKind(left);
    addInput(rows, left);
    QVariant leftName = splitAlias(balanced(left)).second;
    if (leftName.isNull())
        leftName = unbracket(splitAlias(balanced(left)).first);
    for (qsizetype k = 0; k < joins.size(); ++k) {
        const qsizetype start = joins.at(k) + 4;
        const qsizetype end = k + 1 < joins.size() ? joins.at(k + 1) : from.size();
        QString part = from.mid(start, end - start);
        const JoinKind nextKind = k + 1 < joins.size() ? takeJoinKind(part) : Inner;
        const QList<qsizetype> on = findAll(part, QStringLiteral("ON"), true);
        const QString table = on.isEmpty() ? part : part.left(on.first());
        const QString condition = on.isEmpty() ? QString() : balanced(part.mid(on.first() + 2));
        addInput(rows, table);
        const auto [name, alias] = splitAlias(balanced(table));
        const QVariant rightName = alias.isNull() ? QVariant(unbracket(name)) : alias;
        for (const QString &c : joinConditions(condition))
            rows.add(Join, c, int(kind), leftName, rightName);
        leftName = rightName;
        kind = nextKind;
    }
}

// "SELECT [predicate] list [INTO t] FROM ... [WHERE] [GROUP BY] [HAVING]
// [ORDER BY]" as rows. A crosstab's SELECT gives row headings and groups.
// False when sql is no such statement.
bool addSelect(const Rows &rows, const QString &sql, bool crosstab, QVariant *into)
{
    const qsizetype fromAt = findKeyword(sql, QStringLiteral("FROM"));
    if (findKeyword(sql, QStringLiteral("SELECT")) != 0 || fromAt < 0)
        return false;

    QString head = sql.mid(6, fromAt - 6).trimmed();
    if (const qsizetype intoAt = findKeyword(head, QStringLiteral("INTO")); intoAt >= 0) {
        *into = unbracket(head.mid(intoAt + 4));
        head = head.left(intoAt).trimmed();
    }
    int predicate = 0;
    QVariant top;
    if (head.startsWith(QLatin1String("DISTINCTROW "), Qt::CaseInsensitive)) {
        predicate = 0x08;
        head = head.mid(12).trimmed();
    } else if (head.startsWith(QLatin1String("DISTINCT "), Qt::CaseInsensitive)) {
        predicate = 0x02;
        head = head.mid(9).trimmed();
    } else if (head.startsWith(QLatin1String("TOP "), Qt::CaseInsensitive)) {
        head = head.mid(4).trimmed();
        const qsizetype space = head.indexOf(u' ');
        top = head.left(space);
        head = space < 0 ? QString() : head.mid(space + 1).trimmed();
        predicate = 0x10;
        if (head.startsWith(QLatin1String("PERCENT "), Qt::CaseInsensitive)) {
            predicate = 0x20;
            head = head.mid(8).trimmed();
        }
    }
    // Access writes the predicate row only when it holds something.
    if (predicate != 0)
        rows.add(Predicate, QVariant(), predicate, top);

    // The clauses after FROM, in the order they appear.
    const QString rest = sql.mid(fromAt + 4);
    struct Clause
    {
        qsizetype at;
        int skip;
        Attribute attribute;
    };
    QList<Clause> clauses;
    const auto find = [&](const QString &word, int skip, Attribute attribute) {
        if (const qsizetype at = findKeyword(rest, word); at >= 0)
            clauses.append({at, skip, attribute});
    };
    find(QStringLiteral("WHERE"), 5, Where);
    find(QStringLiteral("GROUP"), 5, GroupBy);
    find(QStringLiteral("HAVING"), 6, Having);
    find(QStringLiteral("ORDER"), 5, OrderBy);
    std::sort(clauses.begin(), clauses.end(), [](const Clause &a, const Clause &b) { return a.at < b.at; });

    addFrom(rows, rest.left(clauses.isEmpty() ? rest.size() : clauses.first().at));
    for (const QString &c : splitList(head)) {
        const auto [expression, alias] = splitAlias(c);
        rows.add(Output, expression, crosstab ? RowHeading : 0, alias);
    }
    for (qsizetype i = 0; i < clauses.size(); ++i) {
        const Clause &c = clauses.at(i);
        const qsizetype end = i + 1 < clauses.size() ? clauses.at(i + 1).at : rest.size();
        QString text = rest.mid(c.at + c.skip, end - c.at - c.skip).trimmed();
        if (c.attribute == GroupBy || c.attribute == OrderBy) {
            if (text.startsWith(QLatin1String("BY"), Qt::CaseInsensitive))
                text = text.mid(2).trimmed();
            for (QString item : splitList(text)) {
                if (c.attribute == GroupBy) {
                    rows.add(GroupBy, item, crosstab ? RowHeading : 0, QVariant());
                    continue;
                }
                QVariant descending;
                if (item.endsWith(QLatin1String(" DESC"), Qt::CaseInsensitive)) {
                    item.chop(5);
                    descending = QStringLiteral("D");
                } else if (item.endsWith(QLatin1String(" ASC"), Qt::CaseInsensitive)) {
                    item.chop(4);
                }
                rows.add(OrderBy, item.trimmed(), QVariant(), descending);
            }
        } else {
            rows.add(c.attribute, text, QVariant(), QVariant());
        }
    }
    return true;
}

// "TRANSFORM value SELECT ... PIVOT column": the value and the pivot are
// output rows beside the row headings; the pivot is a group too.
bool addCrosstab(const Rows &rows, const QString &sql)
{
    const qsizetype selectAt = findKeyword(sql, QStringLiteral("SELECT"));
    const qsizetype pivotAt = findKeyword(sql, QStringLiteral("PIVOT"));
    if (selectAt < 0 || pivotAt < selectAt)
        return false;
    const auto [value, alias] = splitAlias(sql.mid(9, selectAt - 9).trimmed());
    rows.add(Output, value, Value, alias);
    QVariant into;
    if (!addSelect(rows, sql.mid(selectAt, pivotAt - selectAt).trimmed(), true, &into))
        return false;
    const QString pivot = sql.mid(pivotAt + 5).trimmed();
    rows.add(Output, pivot, ColumnHeading, QVariant());
    rows.add(GroupBy, pivot, ColumnHeading, QVariant());
    return true;
}

// Access keeps a union as its last UNION's two operands, the left one with
// any earlier UNIONs in it, as typed; an ORDER BY of the whole in its rows.
bool addUnion(const Rows &rows, const QString &sql)
{
    const QList<qsizetype> unions = findAll(sql, QStringLiteral("UNION"));
    if (unions.isEmpty())
        return false;
    const qsizetype at = unions.last();
    QString right = sql.mid(at + 5).trimmed();
    bool all = false;
    if (right.startsWith(QLatin1String("ALL "), Qt::CaseInsensitive)) {
        all = true;
        right = right.mid(4).trimmed();
    }
    rows.add(Predicate, QVariant(), all ? 0x01 : 0x03, QVariant());
    if (const qsizetype orderAt = findKeyword(right, QStringLiteral("ORDER")); orderAt >= 0) {
        QString order = right.mid(orderAt + 5).trimmed();
        right = right.left(orderAt).trimmed();
        if (order.startsWith(QLatin1String("BY"), Qt::CaseInsensitive))
            order = order.mid(2).trimmed();
        for (QString item : splitList(order)) {
            QVariant descending;
            if (item.endsWith(QLatin1String(" DESC"), Qt::CaseInsensitive)) {
                item.chop(5);
                descending = QStringLiteral("D");
            }
            rows.add(OrderBy, item.trimmed(), QVariant(), descending);
        }
    }
    rows.add(Input, sql.left(at), QVariant(), QVariant(), QStringLiteral("X7YZ_____1"));
    rows.add(Input, right, QVariant(), QVariant(), QStringLiteral("X7YZ_____2"));
    return true;
}

// "PARAMETERS [a] DateTime, b Long; SELECT ...": a row per declaration, as
// Access writes them; returns the statement after the declarations.
QString addParameters(const Rows &rows, const QString &sql)
{
    qsizetype end = -1;
    scan(sql, [&](qsizetype i, int depth) {
        if (depth == 0 && sql.at(i) == u';')
            end = i;
        return end >= 0;
    });
    if (end < 0)
        return sql;
    static const QHash<QString, int> types{
        {QStringLiteral("BIT"), 1},        {QStringLiteral("BYTE"), 2},       {QStringLiteral("SHORT"), 3},
        {QStringLiteral("LONG"), 4},       {QStringLiteral("CURRENCY"), 5},   {QStringLiteral("IEEESINGLE"), 6},
        {QStringLiteral("IEEEDOUBLE"), 7}, {QStringLiteral("DATETIME"), 8},   {QStringLiteral("TEXT"), 10},
        {QStringLiteral("LONGTEXT"), 12},  {QStringLiteral("MEMO"), 12},
    };
    for (QString declaration : splitList(sql.mid(10, end - 10).trimmed())) {
        if (declaration.endsWith(u')'))
            declaration = declaration.left(declaration.lastIndexOf(u'(')).trimmed();
        const qsizetype space = declaration.lastIndexOf(u' ');
        const QString type = declaration.mid(space + 1).toUpper();
        rows.add(Parameter, QVariant(), types.value(type, 10), unbracket(declaration.left(space).trimmed()));
    }
    return sql.mid(end + 1).trimmed();
}

QString firstWord(const QString &sql)
{
    qsizetype end = 0;
    while (end < sql.size() && sql.at(end).isLetter())
        ++end;
    return sql.left(end).toUpper();
}

} // namespace

QList<Row> queryRows(const QList<SavedQuery> &queries, const QList<quint32> &ids)
{
    QList<Row> out;
    for (qsizetype q = 0; q < queries.size(); ++q) {
        QList<Row> own;
        const Rows rows{qint32(ids.at(q)), &own};
        QString sql = queries.at(q).sql.trimmed();
        rows.add(Start, QVariant(), 0, QVariant());
        rows.add(End, QVariant(), QVariant(), QVariant());
        if (firstWord(sql) == QLatin1String("PARAMETERS"))
            sql = addParameters(rows, sql);
        const QString word = firstWord(sql);
        // Access keeps the text of these two kinds with a closing NUL.
        if (!queries.at(q).connect.isEmpty()) {
            rows.add(Type, sql + QChar(0), PassThrough, queries.at(q).connect);
        } else if (word == QLatin1String("CREATE") || word == QLatin1String("ALTER")
                   || word == QLatin1String("DROP")) {
            rows.add(Type, sql + QChar(0), DataDefinition, QVariant());
        } else {
            if (sql.endsWith(u';'))
                sql.chop(1);
            QVariant into;
            if (word == QLatin1String("TRANSFORM") && addCrosstab(rows, sql)) {
                rows.add(Type, QVariant(), Crosstab, QVariant());
            } else if (word == QLatin1String("SELECT") && addUnion(rows, sql)) {
                rows.add(Type, QVariant(), UnionQuery, QVariant());
            } else if (word == QLatin1String("SELECT") && addSelect(rows, sql, false, &into)) {
                // Newer Access writes no type row for a select query.
                if (!into.isNull())
                    rows.add(Type, QVariant(), MakeTable, into);
            } else if (word == QLatin1String("INSERT")) {
                const QString target = sql.mid(6).trimmed().mid(4).trimmed().section(u' ', 0, 0);
                rows.add(Type, QVariant(), Append, unbracket(target));
            } else if (word == QLatin1String("UPDATE")) {
                rows.add(Type, QVariant(), Update, QVariant());
            } else if (word == QLatin1String("DELETE")) {
                rows.add(Type, QVariant(), Delete, QVariant());
            }
            // Anything else keeps only its opening and closing rows.
        }
        rows.sort();
        out += own;
    }
    return out;
}

quint32 queryObjectFlags(const SavedQuery &query)
{
    int type = SelectQuery;
    for (const Row &row : queryRows({query}, {0}))
        if (row.at(1).toInt() == Type)
            type = row.at(6).toInt();
    switch (type) {
    case MakeTable: return 80;
    case Append: return 64;
    case Update: return 48;
    case Delete: return 32;
    case Crosstab: return 16;
    case DataDefinition: return 96;
    case PassThrough: return 112;
    case UnionQuery: return 128;
    default: return 0;
    }
}

} // namespace kolta::jetwriter::detail
