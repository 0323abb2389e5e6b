#include "translator.h"

namespace kolta::jetsql::translator {

namespace {

bool scopeHasColumn(const Scope &scope, const QString &name)
{
    for (const Source &s : scope.sources)
        for (const Column &c : s.columns)
            if (sameName(c.name, name))
                return true;
    return false;
}

bool mentionsColumn(const Expr &e, const QString &name)
{
    if (e.kind == Expr::Column && e.qualifier.isEmpty() && sameName(e.name, name))
        return true;
    for (const ExprP &a : e.args)
        if (mentionsColumn(*a, name))
            return true;
    return false;
}

QString exprName(int position) { return QStringLiteral("Expr1%1").arg(position, 3, 10, QLatin1Char('0')); }

void nameColumns(QList<OutColumn> &cols)
{
    for (int i = 0; i < cols.size(); ++i)
        if (cols[i].name.isEmpty())
            cols[i].name = exprName(i);
    for (int i = 0; i < cols.size(); ++i)
        for (int j = i + 1; j < cols.size(); ++j)
            if (cols[i].hasAlias && cols[j].hasAlias && sameName(cols[i].name, cols[j].name))
                fail(texts::kDuplicateAlias, cols[j].name);
    QList<QString> finalNames;
    for (int i = 0; i < cols.size(); ++i) {
        QString name = cols[i].name;
        if (cols[i].plainColumn) {
            bool otherSource = false, laterSame = false, alias = false;
            for (int j = 0; j < cols.size(); ++j) {
                if (j == i || !sameName(cols[j].name, cols[i].name))
                    continue;
                if (cols[j].hasAlias)
                    alias = true;
                else if (cols[j].plainColumn && !sameName(cols[j].sourceRef, cols[i].sourceRef))
                    otherSource = true;
                else if (cols[j].plainColumn && j > i)
                    laterSame = true;
            }
            const QString &ref = cols[i].sourceRef;
            if (otherSource)
                name = laterSame ? exprName(i) : ref + QLatin1Char('.') + cols[i].name;
            else if (laterSame || alias)
                name = exprName(i);
        }
        finalNames << name;
    }
    for (int i = 0; i < cols.size(); ++i)
        cols[i].name = finalNames[i];
}

} // namespace

void Translator::checkNoAggregate(const Value &v, const QString &source)
{
    if (v.aggregate)
        fail(texts::kAggregateInWhere, source);
}

// Whether an expression of an aggregate query only uses grouped values.
bool Translator::covered(const Expr &e, const Scope &scope, const QSet<QString> &grouped)
{
    switch (e.kind) {
    case Expr::Null: case Expr::Number: case Expr::String: case Expr::Date: case Expr::Boolean:
    case Expr::Exists: case Expr::Subquery:
        return true;
    default:
        break;
    }
    Value v = expr(e, scope);
    if (grouped.contains(v.sql))
        return true;
    if (e.kind == Expr::Call && isAggregateName(e.name))
        return true;
    if (e.kind == Expr::Column) {
        if (v.isNull)
            return true;   // a parameter
        for (const auto &[alias, aliasExpr] : scope.aliases)
            if (e.qualifier.isEmpty() && sameName(alias, e.name) && !v.sql.isEmpty()
                && !scopeHasColumn(scope, e.name))
                return covered(*aliasExpr, scope, grouped);
        return false;
    }
    if (e.kind == Expr::InQuery || e.kind == Expr::Quantified)
        return covered(*e.args[0], scope, grouped);
    for (const ExprP &a : e.args)
        if (!covered(*a, scope, grouped))
            return false;
    return true;
}

// dedupe: the rows will be told apart (DISTINCT, UNION), so text must
// compare without case there too.
// finalKinds: a union's column kinds, which its parts' values must take.
// exact: a Decimal column may leave as its exact text (not in a union,
// nor where the result is compared as a value).
SelectOut Translator::select(const Select &s, const Scope *parent, bool dedupe, const QList<ValueKind> *finalKinds,
                             bool exact)
{
    SelectOut out;
    Scope &scope = out.scope;
    scope.parent = parent;
    QStringList fromSql;
    for (const FromP &f : s.from)
        fromSql << from(*f, scope);
    for (const SelectItem &item : s.items)
        if (item.hasAlias && item.expr) {
            if (mentionsColumn(*item.expr, item.alias))
                fail(texts::kCircularAlias, item.alias);
            scope.aliases.append({item.alias, item.expr});
        }

    // the select list, * expanded
    for (const SelectItem &item : s.items) {
        if (item.star) {
            bool any = false;
            for (const Source &src : std::as_const(scope.sources)) {
                if (!item.starQualifier.isEmpty() && !sameName(src.ref, item.starQualifier))
                    continue;
                any = true;
                for (const Column &c : src.columns) {
                    OutColumn oc;
                    oc.value = columnValue(src, c);
                    oc.name = c.name;
                    oc.plainColumn = true;
                    oc.sourceRef = src.ref;
                    out.columns.append(oc);
                }
            }
            if (!any)
                fail(texts::kMissingTable, item.starQualifier.isEmpty() ? QStringLiteral("*") : item.starQualifier);
            continue;
        }
        OutColumn oc;
        oc.value = expr(*item.expr, scope);
        if (item.hasAlias) {
            oc.name = item.alias;
            oc.hasAlias = true;
        } else if (item.expr->kind == Expr::Column && !oc.value.sourceRef.isEmpty()) {
            oc.name = item.expr->name;
            oc.plainColumn = true;
            oc.sourceRef = oc.value.sourceRef;
        }
        out.columns.append(oc);
    }
    if (out.columns.isEmpty())
        fail(QString::fromLatin1(texts::kNoFields));
    nameColumns(out.columns);

    // WHERE, GROUP BY, HAVING
    QString rest;
    if (!fromSql.isEmpty())
        rest += QStringLiteral(" FROM ") + fromSql.join(QStringLiteral(", "));
    if (s.where) {
        Value w = expr(*s.where, scope);
        checkNoAggregate(w, s.whereSource);
        rest += QStringLiteral(" WHERE ") + w.condition();
    }
    out.fromWhere = rest;
    QStringList groupSql;
    for (int i = 0; i < s.groupBy.size(); ++i) {
        Value g = expr(*s.groupBy[i], scope);
        if (g.aggregate)
            fail(texts::kAggregateInGroupBy, s.groupBySource[i]);
        out.grouped.insert(g.sql);
        const QString collate = g.valueKind() == ValueKind::Text ? QLatin1String(kCollate) : QLatin1String("");
        groupSql << g.exact() + collate;
        out.groupKeys << g.value() + collate;
    }
    if (!groupSql.isEmpty())
        rest += QStringLiteral(" GROUP BY ") + groupSql.join(QStringLiteral(", "));
    else if (s.distinctRow && !s.distinct && !s.having)
        rest += distinctRowGroups(s, scope);
    Value having;
    if (s.having) {
        having = expr(*s.having, scope);
        rest += QStringLiteral(" HAVING ") + having.condition();
    }
    bool anyAggregate = s.having != nullptr;
    for (const OutColumn &c : std::as_const(out.columns))
        anyAggregate = anyAggregate || c.value.aggregate;
    out.aggregateQuery = anyAggregate || !s.groupBy.isEmpty();
    if (out.aggregateQuery) {
        int k = 0;
        for (const SelectItem &item : s.items) {
            if (item.star) {
                const Source &src = scope.sources.first();
                fail(texts::kNotAggregated,
                     src.ref + QLatin1Char('.') + (src.columns.isEmpty() ? QString() : src.columns.first().name));
            }
            if (!covered(*item.expr, scope, out.grouped))
                fail(texts::kNotAggregated, uncoveredText(*item.expr, scope, out.grouped, item.source));
            ++k;
        }
        if (s.having && !covered(*s.having, scope, out.grouped))
            fail(texts::kNotAggregated, uncoveredText(*s.having, scope, out.grouped, s.havingSource));
    }

    QStringList list;
    QSet<QString> used;
    for (int i = 0; i < out.columns.size(); ++i) {
        OutColumn &c = out.columns[i];
        QString sqlName = c.name;
        for (int n = 1; used.contains(sqlName.toLower()); ++n)
            sqlName = c.name + QStringLiteral("_%1").arg(n);
        used.insert(sqlName.toLower());
        const ValueKind kind = finalKinds && i < finalKinds->size() ? finalKinds->at(i) : c.value.valueKind();
        c.exact = exact && c.value.decimal && kind == ValueKind::Double;
        QString valueSql = c.exact ? c.value.sql : c.value.output(kind);
        if ((s.distinct || dedupe) && c.value.valueKind() == ValueKind::Text)
            valueSql += QLatin1String(kCollate);
        list << valueSql + QStringLiteral(" AS ") + quoteId(sqlName);
        out.sqlNames.append(sqlName);
    }
    out.selectList =
        QString(s.distinct ? QStringLiteral("DISTINCT ") : QString()) + list.join(QStringLiteral(", "));
    out.rest = rest;
    return out;
}

// The sources an expression reads, in this scope only.
void Translator::sourcesOf(const Expr &e, const Scope &scope, QSet<QString> &refs, int depth)
{
    if (e.kind == Expr::Column) {
        Value v = column(e, scope);
        bool own = false;
        for (const Source &src : scope.sources)
            own = own || src.ref == v.sourceRef;
        if (own)
            refs.insert(v.sourceRef);
        else if (e.qualifier.isEmpty() && depth < 32)
            for (const auto &[alias, aliasExpr] : scope.aliases)
                if (sameName(alias, e.name))
                    sourcesOf(*aliasExpr, scope, refs, depth + 1);
        return;
    }
    for (const ExprP &a : e.args)
        sourcesOf(*a, scope, refs, depth);
}

// DISTINCTROW: one row per combination of the rows of the tables that
// supply output columns. When every table of the FROM clause supplies
// some, each joined row is such a combination already.
QString Translator::distinctRowGroups(const Select &s, const Scope &scope)
{
    QSet<QString> refs;
    for (const SelectItem &item : s.items) {
        if (!item.star) {
            sourcesOf(*item.expr, scope, refs);
            continue;
        }
        for (const Source &src : scope.sources)
            if (item.starQualifier.isEmpty() || sameName(src.ref, item.starQualifier))
                refs.insert(src.ref);
    }
    if (refs.isEmpty() || refs.size() == scope.sources.size())
        return QString();
    QStringList ids;
    for (const Source &src : scope.sources) {
        if (!refs.contains(src.ref))
            continue;
        if (!src.rowid.isEmpty()) {
            ids << src.rowid;
            m_rowids = true;
            continue;
        }
        // A query has no row identity: its rows count by their values.
        for (const Column &c : src.columns)
            ids << quoteId(src.ref) + QLatin1Char('.') + quoteId(c.name)
                       + (c.kind == ValueKind::Text ? QLatin1String(kCollate) : QLatin1String(""));
    }
    return QStringLiteral(" GROUP BY ") + ids.join(QStringLiteral(", "));
}

QString Translator::uncoveredText(const Expr &e, const Scope &scope, const QSet<QString> &grouped, const QString &fallback)
{
    if (e.kind == Expr::Column) {
        return e.qualifier.isEmpty() ? e.name : e.qualifier + QLatin1Char('.') + e.name;
    }
    for (const ExprP &a : e.args)
        if (!covered(*a, scope, grouped))
            return uncoveredText(*a, scope, grouped, fallback);
    return fallback;
}

} // namespace kolta::jetsql::translator
