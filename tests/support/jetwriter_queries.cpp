// Saved queries as MSysQueries rows.

#include "jetwriter_p.h"

#include <QStringList>

#include <algorithm>

namespace kolta::jetwriter::detail {

namespace {

// MSysQueries keeps a query as attribute rows sharing the query's ObjectId.
enum Attribute {
    Kind = 0,        // Flag: 1 = select query
    Predicate = 3,   // Flag: 0x02 DISTINCT, 0x08 DISTINCTROW, 0x10 TOP, 0x20 TOP PERCENT; Name1: the count
    Input = 5,       // Name1: table, Name2: alias
    Output = 6,      // Expression, Name1: alias
    Join = 7,        // Name1, Name2: the joined tables, Expression: ON condition, Flag: join kind
    Where = 8,       // Expression
    GroupBy = 9,     // Expression
    Having = 10,     // Expression
    OrderBy = 11,    // Expression, Name1: "D" for descending
    End = 255,
};

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

// One query's rows; Access keeps them ordered by attribute.
struct Rows
{
    qint64 id;
    QList<Row> *out;
    void add(int attribute, const QVariant &expression, int flag, const QVariant &name1,
             const QVariant &name2 = QVariant()) const
    {
        out->append(Row{id, attribute, QVariant(), name1, name2, expression, flag, QVariant()});
    }
    void sort() const
    {
        std::stable_sort(out->begin(), out->end(),
                         [](const Row &a, const Row &b) { return a.at(1).toInt() < b.at(1).toInt(); });
    }
};

void addInput(const Rows &rows, const QString &table)
{
    const auto [name, alias] = splitAlias(balanced(table));
    rows.add(Input, QVariant(), 0, unbracket(name), alias);
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
        rows.add(Join, condition, kind, leftName, rightName);
        leftName = rightName;
        kind = nextKind;
    }
}

} // namespace

QList<Row> queryRows(const QList<SavedQuery> &queries, const QList<quint32> &ids)
{
    QList<Row> out;
    for (qsizetype q = 0; q < queries.size(); ++q) {
        QList<Row> own;
        const Rows rows{qint32(ids.at(q)), &own};
        QString sql = queries.at(q).sql.trimmed();
        if (sql.endsWith(u';'))
            sql.chop(1);
        rows.add(Kind, QVariant(), 1, QVariant());
        const qsizetype fromAt = findKeyword(sql, QStringLiteral("FROM"));
        if (findKeyword(sql, QStringLiteral("SELECT")) != 0 || fromAt < 0) {
            rows.add(End, QVariant(), 0, QVariant());
            out += own;
            continue;
        }

        QString head = sql.mid(6, fromAt - 6).trimmed();
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
            rows.add(Output, expression, 0, alias);
        }
        for (qsizetype i = 0; i < clauses.size(); ++i) {
            const Clause &c = clauses.at(i);
            const qsizetype end = i + 1 < clauses.size() ? clauses.at(i + 1).at : rest.size();
            QString text = rest.mid(c.at + c.skip, end - c.at - c.skip).trimmed();
            if (c.attribute == GroupBy || c.attribute == OrderBy) {
                if (text.startsWith(QLatin1String("BY"), Qt::CaseInsensitive))
                    text = text.mid(2).trimmed();
                for (QString item : splitList(text)) {
                    QVariant descending;
                    if (c.attribute == OrderBy && item.endsWith(QLatin1String(" DESC"), Qt::CaseInsensitive)) {
                        item.chop(5);
                        descending = QStringLiteral("D");
                    } else if (c.attribute == OrderBy && item.endsWith(QLatin1String(" ASC"), Qt::CaseInsensitive)) {
                        item.chop(4);
                    }
                    rows.add(c.attribute, item.trimmed(), 0, descending);
                }
            } else {
                rows.add(c.attribute, text, 0, QVariant());
            }
        }
        rows.add(End, QVariant(), 0, QVariant());
        rows.sort();
        out += own;
    }
    return out;
}

} // namespace kolta::jetwriter::detail
