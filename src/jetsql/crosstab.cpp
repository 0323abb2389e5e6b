#include "translator.h"

#include <QVariant>
#include <sqlite3.h>

namespace kolta::jetsql::translator {

namespace {

// A pivot value as an SQL literal and as a column heading.
std::pair<QString, QString> heading(sqlite3_stmt *st, ValueKind kind)
{
    switch (sqlite3_column_type(st, 0)) {
    case SQLITE_NULL:
        return {QStringLiteral("NULL"), QStringLiteral("<>")};
    case SQLITE_INTEGER: {
        const qint64 n = sqlite3_column_int64(st, 0);
        return {QString::number(n), kind == ValueKind::Boolean || kind == ValueKind::Integer
                                        ? QString::number(n) : displayText(QVariant(qlonglong(n)), kind)};
    }
    case SQLITE_FLOAT: {
        const double d = sqlite3_column_double(st, 0);
        return {realLiteral(d), displayText(QVariant(d), kind)};
    }
    case SQLITE_TEXT: {
        const QString t = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)),
                                            sqlite3_column_bytes(st, 0));
        return {quoteText(t), t};
    }
    default: {
        const QByteArray b(static_cast<const char *>(sqlite3_column_blob(st, 0)), sqlite3_column_bytes(st, 0));
        return {QStringLiteral("X'%1'").arg(QString::fromLatin1(b.toHex())), QStringLiteral("(binary data)")};
    }
    }
}

QString spanText(const Expr &e) { return e.text.isEmpty() ? e.name : e.text; }

} // namespace

// The distinct values of the pivot expression, ascending: run on the database.
QList<std::pair<QString, QString>> Translator::pivotValues(const SelectOut &part, const Value &pivot)
{
    if (!m_db)
        fail(QString::fromLatin1(texts::kCrosstabNeedsData));
    const QString sql = cteClause() + QStringLiteral("SELECT DISTINCT %1 FROM (SELECT %2 AS v%3) ORDER BY 1")
                                          .arg(pivot.needsCollation() ? QStringLiteral("v COLLATE JETCI")
                                                                      : QStringLiteral("v"),
                                               pivot.value(), part.fromWhere);
    sqlite3_stmt *st = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &st, nullptr) != SQLITE_OK) {
        const QString reason = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_finalize(st);
        fail(reason);
    }
    // The headings depend on the values typed; one that is missing or does
    // not fit stays Null here and fails when the statement is bound.
    for (const Parameter &p : std::as_const(m_parameters)) {
        const int index = sqlite3_bind_parameter_index(st, p.sqliteName.toUtf8().constData());
        for (const auto &[name, text] : m_values)
            if (index != 0 && sameName(name, p.name))
                if (const Result<QVariant> v = parameterValue(p, text); v.ok())
                    bindValue(st, index, v.value());
    }
    QList<std::pair<QString, QString>> values;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW && values.size() <= 255)
        values.append(heading(st, pivot.valueKind()));
    const QString reason = QString::fromUtf8(sqlite3_errmsg(m_db));
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        fail(reason);
    return values;
}

QueryOut Translator::crosstab(const Query &q, const Scope *parent, bool exact)
{
    m_sawCrosstab = true;
    const Crosstab &ct = *q.crosstab;
    const Select &s = q.parts.first();
    SelectOut part = select(s, parent, false, nullptr, exact);
    Value pivot = expr(*ct.pivot, part.scope);
    if (pivot.aggregate)
        fail(texts::kAggregateInGroupBy, spanText(*ct.pivot));
    QList<std::pair<QString, QString>> values;
    if (ct.fixedHeadings) {
        for (const ExprP &h : ct.headings) {
            Value v = expr(*h, part.scope);
            dateFromText(v, pivot);
            QString name = h->kind == Expr::String ? h->text
                           : h->kind == Expr::Null ? QStringLiteral("<>")
                           : h->kind == Expr::Date ? displayText(QVariant(h->number), ValueKind::Date)
                           : h->kind == Expr::Number ? (h->integer ? QString::number(qint64(h->number))
                                                                   : displayText(QVariant(h->number), ValueKind::Double))
                                                     : spanText(*h);
            values.append({v.value(), name});
        }
    } else if (!m_probe) {
        values = pivotValues(part, pivot);
    }
    if (part.columns.size() + values.size() > 255)
        fail(texts::kTooManyHeadings, QString::number(values.size()));
    QueryOut out;
    for (const OutColumn &c : std::as_const(part.columns)) {
        out.names << c.name;
        out.kinds << c.value.valueKind();
        out.exact << c.exact;
    }
    QString cells;
    QStringList sqlNames = part.sqlNames;
    const QString left = pivot.value() + (pivot.needsCollation() ? QLatin1String(kCollate) : QLatin1String(""));
    for (int i = 0; i < values.size(); ++i) {
        const auto &[literal, name] = values[i];
        const QString filter = literal == QLatin1String("NULL") ? QStringLiteral("%1 IS NULL").arg(pivot.value())
                                                                : QStringLiteral("%1 = %2").arg(left, literal);
        m_aggregateFilter = filter;
        Value cell = expr(*ct.value, part.scope);
        m_aggregateFilter.clear();
        if (!cell.aggregate)
            fail(texts::kNotAggregated, spanText(*ct.value));
        const QString sqlName = QStringLiteral("__jet_p%1").arg(i + 1);
        const bool exactCell = exact && cell.decimal;
        // A cell without rows is empty, whatever its aggregate would give.
        cells += QStringLiteral(", (CASE WHEN count(CASE WHEN %1 THEN 1 END) > 0 THEN %2 END) AS %3")
                     .arg(filter, exactCell ? cell.sql : cell.output(cell.valueKind()), quoteId(sqlName));
        sqlNames << sqlName;
        out.names << name;
        out.kinds << cell.valueKind();
        out.exact << exactCell;
        OutColumn oc;
        oc.value = cell;
        oc.name = name;
        oc.exact = exactCell;
        part.columns.append(oc);
    }
    part.selectList += cells;
    QList<OrderItem> order = q.orderBy;
    out.sql = single(s, part, sqlNames, order);
    out.sqlNames = sqlNames;
    // Jet lists the rows of a crosstab by their headings.
    if (order.isEmpty() && !part.groupKeys.isEmpty())
        out.sql += QStringLiteral(" ORDER BY ") + part.groupKeys.join(QStringLiteral(", "));
    return out;
}

} // namespace kolta::jetsql::translator
