#include "translator.h"

namespace kolta::jetsql::translator {

// exact: Decimal columns may leave as their exact text, for callers that
// read the result as a table or show it.
QueryOut Translator::query(const Query &q, const Scope *parent, bool exact)
{
    const Deeper level(&m_depth);
    if (q.parts.isEmpty())
        return {};
    if (q.crosstab)
        return crosstab(q, parent, exact);
    QueryOut out;
    QList<SelectOut> parts;
    QList<QStringList> partNames;
    const bool unionDedupes = q.unionAll.contains(false);
    // A union's parts leave Decimals as numbers, so that they compare
    // with the other parts' values.
    for (const Select &s : q.parts) {
        parts.append(select(s, parent, unionDedupes, nullptr, exact && q.parts.size() == 1));
        partNames.append(parts.last().sqlNames);
    }
    const SelectOut &first = parts.first();
    for (const OutColumn &c : first.columns) {
        out.names << c.name;
        out.kinds << c.value.valueKind();
        out.exact << c.exact;
    }
    const QStringList sqlNames = partNames.first();
    out.sqlNames = sqlNames;
    if (parts.size() == 1)
        out.sql = single(q.parts.first(), parts.first(), sqlNames, q.orderBy);
    else {
        QStringList sqls;
        bool currencyLost = false;
        for (int i = 0; i < parts.size(); ++i) {
            if (parts[i].columns.size() != first.columns.size())
                fail(QString::fromLatin1(texts::kUnionColumns));
            for (int c = 0; c < out.kinds.size(); ++c)
                if (parts[i].columns[c].value.valueKind() != out.kinds[c] && !parts[i].columns[c].value.isNull) {
                    currencyLost = currencyLost || out.kinds[c] == ValueKind::Currency
                                   || parts[i].columns[c].value.valueKind() == ValueKind::Currency;
                    out.kinds[c] = ValueKind::Variant;
                }
        }
        for (int i = 0; i < parts.size(); ++i) {
            // Currency beside other kinds leaves as a plain number.
            if (currencyLost)
                parts[i] = select(q.parts[i], parent, unionDedupes, &out.kinds, false);
            QString part = single(q.parts[i], parts[i], partNames[i], {});
            if (q.parts[i].top)
                part = QStringLiteral("SELECT * FROM (%1)").arg(part);
            sqls << part;
        }
        QString sql = sqls.first();
        for (int i = 1; i < sqls.size(); ++i)
            sql += (q.unionAll[i - 1] ? QStringLiteral(" UNION ALL ") : QStringLiteral(" UNION ")) + sqls[i];
        QStringList order;
        for (const OrderItem &o : q.orderBy) {
            int pos = -1;
            if (o.expr->kind == Expr::Column) {
                for (int c = 0; c < out.names.size() && pos < 0; ++c) {
                    QString qualified = o.expr->qualifier + QLatin1Char('.') + o.expr->name;
                    if (sameName(out.names[c], o.expr->name) || sameName(out.names[c], qualified)
                        || (o.expr->qualifier.isEmpty() ? false : sameName(first.columns[c].value.sql,
                            quoteId(o.expr->qualifier) + QLatin1Char('.') + quoteId(o.expr->name))))
                        pos = c;
                }
            } else if (o.expr->kind == Expr::Number && o.expr->integer && o.expr->number >= 1
                       && o.expr->number <= out.names.size())
                pos = int(o.expr->number) - 1;
            if (pos < 0)
                fail(texts::kUnionOrderBy, o.source);
            order << QString::number(pos + 1)
                         + (out.kinds[pos] == ValueKind::Text || out.kinds[pos] == ValueKind::Variant
                                ? QLatin1String(kCollate) : QLatin1String(""))
                         + (o.descending ? QStringLiteral(" DESC") : QString());
        }
        if (!order.isEmpty())
            sql += QStringLiteral(" ORDER BY ") + order.join(QStringLiteral(", "));
        out.sql = sql;
    }
    return out;
}

QString Translator::single(const Select &s, SelectOut &part, const QStringList &sqlNames, const QList<OrderItem> &orderBy)
{
    QString core = QStringLiteral("SELECT ") + part.selectList + part.rest;
    struct Key
    {
        QString sql;       // over the sources
        QString outer;     // over the output names
        QString suffix;    // collation and direction
    };
    QList<Key> keys;
    for (const OrderItem &o : orderBy) {
        QString dir = o.descending ? QStringLiteral(" DESC") : QString();
        int pos = -1;
        // Jet sorts by the column at that position, as SQLite does
        if (o.expr->kind == Expr::Number && o.expr->integer && o.expr->number >= 1
            && o.expr->number <= part.columns.size())
            pos = int(o.expr->number) - 1;
        if (s.distinct && pos < 0) {
            Value v = expr(*o.expr, part.scope);
            for (int c = 0; c < part.columns.size() && pos < 0; ++c)
                if (part.columns[c].value.sql == v.sql
                    || (o.expr->kind == Expr::Column && o.expr->qualifier.isEmpty()
                        && sameName(part.columns[c].name, o.expr->name)))
                    pos = c;
            if (pos < 0)
                fail(texts::kDistinctOrderBy, o.source);
        }
        if (pos >= 0) {
            const Value &cv = part.columns[pos].value;
            QString coll = cv.needsCollation() ? QLatin1String(kCollate) : QLatin1String("");
            // An exact Decimal sorts by its value, not its text.
            const QString outer = part.columns[pos].exact
                ? QStringLiteral("jet_decnum(%1)").arg(quoteId(sqlNames[pos])) : quoteId(sqlNames[pos]);
            keys.append({cv.value(), outer, coll + dir});
            continue;
        }
        Value v = expr(*o.expr, part.scope);
        if (part.aggregateQuery && !covered(*o.expr, part.scope, part.grouped))
            fail(texts::kNotAggregated, uncoveredText(*o.expr, part.scope, part.grouped, o.source));
        keys.append({v.value(), QString(), (v.needsCollation() ? QLatin1String(kCollate) : QLatin1String("")) + dir});
    }
    QStringList quotedNames;
    for (const QString &n : sqlNames)
        quotedNames << quoteId(n);
    const QString names = quotedNames.join(QStringLiteral(", "));
    // The rows with their sort keys as columns __jet_k1 ..., and the keys over those columns.
    QString rows;
    QStringList sortKeys;
    if (s.distinct) {
        rows = QStringLiteral("SELECT * FROM (%1)").arg(core);
        for (const Key &k : std::as_const(keys))
            sortKeys << k.outer + k.suffix;
    } else {
        QString extra;
        for (int i = 0; i < keys.size(); ++i) {
            // A key that is an output column is read once, by its name.
            int same = -1;
            for (int c = 0; c < part.columns.size() && same < 0; ++c)
                if (!part.columns[c].exact
                    && part.columns[c].value.output(part.columns[c].value.valueKind()) == keys[i].sql)
                    same = c;
            if (same >= 0) {
                sortKeys << quoteId(sqlNames[same]) + keys[i].suffix;
                continue;
            }
            extra += QStringLiteral(", %1 AS \"__jet_k%2\"").arg(keys[i].sql, QString::number(i + 1));
            sortKeys << QStringLiteral("\"__jet_k%1\"").arg(i + 1) + keys[i].suffix;
        }
        rows = QStringLiteral("SELECT ") + part.selectList + extra + part.rest;
    }
    const QString order = sortKeys.join(QStringLiteral(", "));
    // The keys over the sources, for a statement that sorts in place.
    const auto sorted = [&] {
        QStringList direct;
        for (const Key &k : std::as_const(keys))
            direct << k.sql + k.suffix;
        return core + QStringLiteral(" ORDER BY ") + direct.join(QStringLiteral(", "));
    };
    if (!s.top) {
        if (keys.isEmpty())
            return core;
        if (s.distinct)
            return QStringLiteral("%1 ORDER BY %2").arg(core, order);
        return sorted();
    }
    const double n = *s.top;
    if (!s.percent && keys.isEmpty())
        return core + QStringLiteral(" LIMIT %1").arg(qint64(n));
    // Sorted by a whole-number primary key, no two rows tie: TOP n is the
    // first n rows, which an index gives without sorting.
    if (!s.percent && !s.distinct && !s.distinctRow && !part.aggregateQuery && s.from.size() == 1
        && s.from.first()->kind == FromItem::Table && part.scope.sources.size() == 1 && m_catalog.primaryKey) {
        const CatalogTable *table = findTable(s.from.first()->name);
        const QString key = table && table->refusal.isEmpty() ? m_catalog.primaryKey(table->name) : QString();
        bool unique = false;
        for (const CatalogColumn &c : table ? table->columns : QList<CatalogColumn>())
            if (!key.isEmpty() && sameName(c.name, key) && (c.daoType == 2 || c.daoType == 3 || c.daoType == 4))
                for (const Key &k : std::as_const(keys))
                    unique |= k.sql == quoteId(part.scope.sources.first().ref) + QLatin1Char('.') + quoteId(c.name);
        if (unique)
            return sorted() + QStringLiteral(" LIMIT %1").arg(qint64(n));
    }
    if (s.percent) {
        // Jet's TOP keeps the rows tied with the last one.
        QString window = keys.isEmpty() ? QStringLiteral("row_number() OVER ()")
                                        : QStringLiteral("rank() OVER (ORDER BY %1)").arg(order);
        return QStringLiteral("SELECT %1 FROM (SELECT *, %2 AS \"__jet_rank\", count(*) OVER () AS \"__jet_count\" "
                              "FROM (%3)) WHERE (\"__jet_rank\" - 1) * 100 < \"__jet_count\" * %4 "
                              "ORDER BY \"__jet_rank\"")
            .arg(names, window, rows, realLiteral(n));
    }
    // TOP n with ties, without sorting every row: the first n + 64 rows
    // by a bounded sort, ranked; only when the ties run past those does
    // the statement rank all rows (its LIMIT is 0 otherwise, so SQLite
    // skips that branch).
    const qint64 count = qint64(n);
    const qint64 bound = count + 64;
    const QString enough = QStringLiteral("(SELECT count(*) < %1 OR max(\"__jet_rank\") > %2 FROM \"__jet_ranked\")")
                               .arg(bound).arg(count);
    return QStringLiteral(
               "SELECT %1 FROM (WITH \"__jet_top\" AS MATERIALIZED (%2 ORDER BY %3 LIMIT %4), "
               "\"__jet_ranked\" AS (SELECT *, rank() OVER (ORDER BY %3) AS \"__jet_rank\" FROM \"__jet_top\") "
               "SELECT * FROM \"__jet_ranked\" WHERE \"__jet_rank\" <= %5 AND %6 "
               "UNION ALL SELECT * FROM (SELECT *, rank() OVER (ORDER BY %3) AS \"__jet_rank\" FROM (%2) "
               "LIMIT (SELECT CASE WHEN %6 THEN 0 ELSE -1 END)) WHERE \"__jet_rank\" <= %5 "
               "ORDER BY \"__jet_rank\")")
        .arg(names, rows, order, QString::number(bound), QString::number(count), enough);
}

} // namespace kolta::jetsql::translator
