#include "queries.h"

#include "sqltexts.h"

#include <QHash>

#include <algorithm>

namespace kolta::jet::engine {

namespace {

// MSysQueries attribute numbers.
enum Attribute {
    Start = 0,       // opens the query's rows
    Type = 1,        // Flag: the query type; left out of select queries by newer Access
    Parameter = 2,   // Name1: a declared parameter, Flag: its DAO type
    Predicate = 3,   // Flag: the Predicate bits; Name1: TOP's count
    RemoteDb = 4,    // Name1: the database of an IN clause
    Input = 5,       // Name1: table or query, Name2: alias; a union's parts: Expression, Name2
    Output = 6,      // Expression, Name1: alias; a crosstab's role in Flag
    Join = 7,        // Name1, Name2: the joined tables, Expression: ON, Flag: JoinKind
    Where = 8,       // Expression
    GroupBy = 9,     // Expression; a crosstab's role in Flag
    Having = 10,     // Expression
    OrderBy = 11,    // Expression, Name1 "D": descending
};

enum Predicate { AllFields = 0x01, Distinct = 0x02, DistinctRow = 0x08, Top = 0x10, TopPercent = 0x20 };
enum JoinKind { Inner = 1, LeftOuter = 2, RightOuter = 3 };
enum QueryType { Select = 1, Crosstab = 6, Union = 9 };
// Output and GROUP BY rows of a crosstab: the value has neither bit.
enum CrosstabRole { ColumnHeading = 0x01, RowHeading = 0x02 };
// A union's Predicate flag: without this bit the parts are joined by UNION ALL.
constexpr int UnionDistinct = 0x02;
// Access names a union's two operands (the left one holding any earlier
// UNIONs) by these aliases.
const QLatin1String UnionLeft{"X7YZ_____1"};
const QLatin1String UnionRight{"X7YZ_____2"};

QString typeName(int type)
{
    switch (type) {
    case 2: return QStringLiteral("make-table");
    case 3: return QStringLiteral("append");
    case 4: return QStringLiteral("update");
    case 5: return QStringLiteral("delete");
    case 6: return QStringLiteral("crosstab");
    case 7: return QStringLiteral("data-definition");
    case 8: return QStringLiteral("pass-through");
    case 9: return QStringLiteral("union");
    default: return QString();
    }
}

QString bracketed(const QString &name)
{
    return QLatin1Char('[') + name + QLatin1Char(']');
}

// The FROM clause as a forest: each input a leaf; each join row joins the
// trees that hold its two tables. Access stores nested joins this way, one
// row per JOIN, naming tables by alias where one is given.
class JoinForest
{
public:
    void addInput(const QString &table, const QString &alias)
    {
        const int leaf = newNode();
        m_nodes[leaf].text = bracketed(table);
        if (!alias.isEmpty())
            m_nodes[leaf].text += QStringLiteral(" AS ") + bracketed(alias);
        m_inputs.append(leaf);
        if (!alias.isEmpty())
            m_byName.insert(alias.toLower(), leaf);
        if (!m_byName.contains(table.toLower()))
            m_byName.insert(table.toLower(), leaf);
    }

    void addDerived(const QString &sql, const QString &alias)
    {
        const int leaf = newNode();
        m_nodes[leaf].text = QLatin1Char('(') + sql + QStringLiteral(") AS ") + bracketed(alias);
        m_inputs.append(leaf);
        m_byName.insert(alias.toLower(), leaf);
    }

    void addJoin(const QString &left, const QString &right, int kind, const QString &on)
    {
        const int a = root(leafFor(left));
        const int b = root(leafFor(right));
        if (a == b) {
            // A second condition between tables already joined.
            if (m_nodes[a].left >= 0)
                m_nodes[a].on.append(on);
            else
                m_extraWhere.append(on);
            return;
        }
        const int join = newNode();
        Node &node = m_nodes[join];
        node.left = a;
        node.right = b;
        node.kind = kind;
        if (!on.isEmpty())
            node.on.append(on);
        m_nodes[a].parent = join;
        m_nodes[b].parent = join;
    }

    QString sql() const
    {
        QStringList parts;
        QList<int> done;
        for (int input : m_inputs) {
            const int top = root(input);
            if (done.contains(top))
                continue;
            done.append(top);
            parts.append(text(top, 0));
        }
        return parts.join(QStringLiteral(", "));
    }

    const QStringList &extraWhere() const { return m_extraWhere; }
    // The joins nest deeper than a statement may (known after sql()).
    bool tooDeep() const { return m_tooDeep; }

private:
    struct Node
    {
        QString text;   // a leaf's table reference
        int left = -1, right = -1, kind = Inner, parent = -1;
        QStringList on;
    };

    int newNode()
    {
        m_nodes.append(Node());
        return int(m_nodes.size() - 1);
    }
    int leafFor(const QString &name)
    {
        const auto found = m_byName.constFind(name.toLower());
        if (found != m_byName.constEnd())
            return *found;
        addInput(name, QString());
        return m_inputs.last();
    }
    int root(int node) const
    {
        while (m_nodes.at(node).parent >= 0)
            node = m_nodes.at(node).parent;
        return node;
    }
    QString text(int n, int depth) const
    {
        const Node &node = m_nodes.at(n);
        if (node.left < 0)
            return node.text;
        // A damaged or odd MSysQueries can chain any number of joins.
        if (depth >= jetsql::texts::kMaxDepth) {
            m_tooDeep = true;
            return QString();
        }
        // Jet wants every join but the outermost in parentheses.
        const auto side = [&](int child) {
            return m_nodes.at(child).left < 0 ? text(child, depth + 1)
                                              : QLatin1Char('(') + text(child, depth + 1) + QLatin1Char(')');
        };
        const char *const kinds[] = {" INNER JOIN ", " LEFT JOIN ", " RIGHT JOIN "};
        const int kind = node.kind == LeftOuter ? 1 : node.kind == RightOuter ? 2 : 0;
        QString on;
        for (const QString &condition : node.on)
            on += (on.isEmpty() ? QString() : QStringLiteral(" AND "))
                + (node.on.size() > 1 ? QLatin1Char('(') + condition + QLatin1Char(')') : condition);
        return side(node.left) + QLatin1String(kinds[kind]) + side(node.right) + QStringLiteral(" ON ") + on;
    }

    QList<Node> m_nodes;
    QList<int> m_inputs;
    QHash<QString, int> m_byName;
    QStringList m_extraWhere;
    mutable bool m_tooDeep = false;
};

} // namespace

namespace {

QString notReadable(const QString &name, int type)
{
    const QString kind = typeName(type);
    return kind.isEmpty()
        ? QStringLiteral("The saved query '%1' is not a select query; only select queries can be read here.")
              .arg(name)
        : QStringLiteral("The saved query '%1' is not a select query (its type: %2); only select queries can be "
                         "read here.")
              .arg(name, kind);
}

QString conjunction(const QStringList &parts)
{
    if (parts.size() == 1)
        return parts.first();
    QStringList wrapped;
    for (const QString &part : parts)
        wrapped.append(QLatin1Char('(') + part + QLatin1Char(')'));
    return wrapped.join(QStringLiteral(" AND "));
}

// A union operand as Access keeps it: the text typed, maybe with line
// breaks and a closing semicolon.
QString unionPart(const QString &text)
{
    QString part = text.trimmed();
    while (part.endsWith(QLatin1Char(';')))
        part = part.chopped(1).trimmed();
    return part;
}

QString rebuildUnion(const QList<QueryAttribute> &rows)
{
    QString left, right;
    int predicate = 0;
    QStringList orderBy;
    for (const QueryAttribute &row : rows) {
        if (row.attribute == Input && row.name2.compare(UnionLeft, Qt::CaseInsensitive) == 0)
            left = unionPart(row.expression);
        else if (row.attribute == Input && row.name2.compare(UnionRight, Qt::CaseInsensitive) == 0)
            right = unionPart(row.expression);
        else if (row.attribute == Predicate)
            predicate = row.flag;
        else if (row.attribute == OrderBy)
            orderBy.append(row.name1.compare(QLatin1String("D"), Qt::CaseInsensitive) == 0
                               ? row.expression + QStringLiteral(" DESC")
                               : row.expression);
    }
    if (left.isEmpty() || right.isEmpty())
        return QString();
    QString sql = left + QLatin1String((predicate & UnionDistinct) ? " UNION " : " UNION ALL ") + right;
    if (!orderBy.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + orderBy.join(QStringLiteral(", "));
    return sql;
}

// Jet SQL's word for a declared parameter's DAO type.
QString parameterType(int daoType)
{
    switch (daoType) {
    case 1: return QStringLiteral("Bit");
    case 2: return QStringLiteral("Byte");
    case 3: return QStringLiteral("Short");
    case 4: return QStringLiteral("Long");
    case 5: return QStringLiteral("Currency");
    case 6: return QStringLiteral("IEEESingle");
    case 7: return QStringLiteral("IEEEDouble");
    case 8: return QStringLiteral("DateTime");
    case 9: return QStringLiteral("Binary");
    case 11: return QStringLiteral("LongBinary");
    case 12: return QStringLiteral("LongText");
    case 15: return QStringLiteral("Guid");
    case 20: return QStringLiteral("Decimal");
    default: return QStringLiteral("Text");
    }
}

Result<QString> rebuildSelect(const QString &name, const QList<QueryAttribute> &rows, int type);

} // namespace

Result<QString> rebuildQuery(const QString &name, const QList<QueryAttribute> &stored)
{
    // Jet itself keeps a query to 32 tables and 255 fields; thousands of
    // rows only come from a damaged catalog, and would cost time squared.
    if (stored.size() > 10000)
        return Error{QString::fromLatin1(jetsql::texts::kTooComplex)};
    QList<QueryAttribute> rows = stored;
    std::stable_sort(rows.begin(), rows.end(),
                     [](const QueryAttribute &a, const QueryAttribute &b) { return a.attribute < b.attribute; });

    // Attribute 0 only opens the query; its type is in attribute 1, which
    // newer Access leaves out of a select query.
    int type = Select;
    for (const QueryAttribute &row : std::as_const(rows)) {
        if (row.attribute == Type)
            type = row.flag;
    }
    if (rows.isEmpty() || (type != Select && type != Crosstab && type != Union))
        return Error{notReadable(name, type)};
    QStringList declared;
    for (const QueryAttribute &row : std::as_const(rows))
        if (row.attribute == Parameter && !row.name1.isEmpty())
            declared.append(bracketed(row.name1) + QLatin1Char(' ') + parameterType(row.flag));
    const Result<QString> sql = rebuildSelect(name, rows, type);
    if (!sql.ok() || declared.isEmpty())
        return sql;
    return QStringLiteral("PARAMETERS ") + declared.join(QStringLiteral(", ")) + QStringLiteral("; ") + sql.value();
}

namespace {

Result<QString> rebuildSelect(const QString &name, const QList<QueryAttribute> &rows, int type)
{
    int predicate = 0;
    QString top;
    JoinForest from;
    QString transform, pivot;
    QStringList outputs, where, groupBy, having, orderBy;
    for (const QueryAttribute &row : std::as_const(rows)) {
        switch (row.attribute) {
        case RemoteDb:
            return Error{QStringLiteral("The saved query '%1' reads another database; only the open database is "
                                        "read here.").arg(name)};
        case Predicate:
            predicate = row.flag;
            top = row.name1;
            break;
        case Input:
            if (type == Union)
                break;
            // A sub-query in FROM keeps its text, named by its alias.
            if (!row.expression.isEmpty() && row.name1.isEmpty())
                from.addDerived(row.expression, row.name2);
            else
                from.addInput(row.name1, row.name2);
            break;
        case Output: {
            if (row.expression.isEmpty())
                break;
            const QString item = row.name1.isEmpty() ? row.expression
                                                     : row.expression + QStringLiteral(" AS ") + bracketed(row.name1);
            if (type != Crosstab || (row.flag & RowHeading))
                outputs.append(item);
            else if (row.flag & ColumnHeading)
                pivot = row.expression;
            else
                transform = item;
            break;
        }
        case Join:
            from.addJoin(row.name1, row.name2, row.flag, row.expression);
            break;
        case Where:
            where.append(row.expression);
            break;
        case GroupBy:
            // A crosstab lists its pivot among the groups too.
            if (type != Crosstab || !(row.flag & ColumnHeading))
                groupBy.append(row.expression);
            break;
        case Having:
            having.append(row.expression);
            break;
        case OrderBy:
            orderBy.append(row.name1.compare(QLatin1String("D"), Qt::CaseInsensitive) == 0
                               ? row.expression + QStringLiteral(" DESC")
                               : row.expression);
            break;
        default:
            break;
        }
    }
    if (type == Union) {
        const QString sql = rebuildUnion(rows);
        if (sql.isEmpty())
            return Error{QStringLiteral("The saved query '%1' cannot be read: its union is incomplete.").arg(name)};
        return sql;
    }
    if ((predicate & AllFields) && !outputs.contains(QStringLiteral("*")))
        outputs.prepend(QStringLiteral("*"));
    if (outputs.isEmpty() || (type == Crosstab && (transform.isEmpty() || pivot.isEmpty())))
        return Error{QStringLiteral("The saved query '%1' cannot be read: it has no output columns.").arg(name)};
    where += from.extraWhere();
    where.removeAll(QString());

    QString sql;
    if (type == Crosstab)
        sql = QStringLiteral("TRANSFORM ") + transform + QLatin1Char(' ');
    sql += QStringLiteral("SELECT ");
    if (predicate & DistinctRow)
        sql += QStringLiteral("DISTINCTROW ");
    else if (predicate & Distinct)
        sql += QStringLiteral("DISTINCT ");
    if (predicate & (Top | TopPercent))
        sql += QStringLiteral("TOP ") + top + QLatin1String((predicate & TopPercent) ? " PERCENT " : " ");
    sql += outputs.join(QStringLiteral(", "));
    const QString tables = from.sql();
    if (from.tooDeep())
        return Error{QString::fromLatin1(jetsql::texts::kTooComplex)};
    if (!tables.isEmpty())
        sql += QStringLiteral(" FROM ") + tables;
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + conjunction(where);
    if (!groupBy.isEmpty())
        sql += QStringLiteral(" GROUP BY ") + groupBy.join(QStringLiteral(", "));
    if (!having.isEmpty())
        sql += QStringLiteral(" HAVING ") + conjunction(having);
    if (!orderBy.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + orderBy.join(QStringLiteral(", "));
    if (type == Crosstab)
        sql += QStringLiteral(" PIVOT ") + pivot;
    return sql;
}

} // namespace

Result<QList<jetsql::CatalogQuery>> readSavedQueries(JetFile &file, const QList<CatalogEntry> &tables,
                                                     const QList<CatalogEntry> &queries)
{
    QList<jetsql::CatalogQuery> out;
    if (queries.isEmpty())
        return out;
    const auto store = std::find_if(tables.begin(), tables.end(), [](const CatalogEntry &e) {
        return e.type == LocalTable && e.name.compare(QLatin1String("MSysQueries"), Qt::CaseInsensitive) == 0;
    });
    if (store == tables.end())
        return Error{QStringLiteral("the database file is damaged (its saved queries cannot be found)")};
    QHash<quint32, QList<QueryAttribute>> byQuery;
    const QStringList columns = {QStringLiteral("ObjectId"), QStringLiteral("Attribute"), QStringLiteral("Flag"),
                                 QStringLiteral("Name1"),    QStringLiteral("Name2"),     QStringLiteral("Expression")};
    const Result<void> scanned = file.scanRows(*store, columns, [&](const QStringList &values) {
        QueryAttribute row;
        row.attribute = values.at(1).toInt();
        row.flag = values.at(2).toInt();
        row.name1 = values.at(3);
        row.name2 = values.at(4);
        row.expression = values.at(5);
        byQuery[quint32(values.at(0).toLongLong())].append(row);
        return true;
    });
    if (!scanned.ok())
        return scanned.error();
    for (const CatalogEntry &entry : queries) {
        jetsql::CatalogQuery query;
        query.name = entry.name;
        const Result<QString> sql = rebuildQuery(entry.name, byQuery.value(entry.id));
        if (sql.ok())
            query.jetSql = sql.value();
        else
            query.refusal = sql.error().message;
        out.append(query);
    }
    return out;
}

} // namespace kolta::jet::engine
