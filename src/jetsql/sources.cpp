#include "translator.h"

#include "parser.h"

namespace kolta::jetsql::translator {

namespace {

// A query read as a table: its columns by the names Jet gives them (a
// crosstab's cells are named by their headings only here).
QString namedAsJet(const QueryOut &sub)
{
    if (sub.sqlNames.isEmpty() || sub.sqlNames == sub.names)
        return sub.sql;
    QStringList renamed;
    for (int i = 0; i < sub.names.size() && i < sub.sqlNames.size(); ++i)
        renamed << quoteId(sub.sqlNames[i]) + QStringLiteral(" AS ") + quoteId(sub.names[i]);
    return QStringLiteral("SELECT %1 FROM (%2)").arg(renamed.join(QStringLiteral(", ")), sub.sql);
}

} // namespace

QString Translator::cteClause() const
{
    QStringList ctes;
    for (const auto &[cteName, table] : std::as_const(m_ctes))
        ctes << QStringLiteral("%1 AS MATERIALIZED (SELECT %2* FROM %3)")
                    .arg(quoteId(cteName), m_rowids ? QStringLiteral("rowid AS \"__jet_rowid\", ") : QString(),
                         quoteId(table));
    for (const auto &[cteName, sql] : std::as_const(m_derived))
        ctes << quoteId(cteName) + QStringLiteral(" AS (") + sql + QLatin1Char(')');
    return ctes.isEmpty() ? QString() : QStringLiteral("WITH ") + ctes.join(QStringLiteral(", ")) + QLatin1Char(' ');
}

// SQLite's parser overflows on subqueries nested in FROM well before Jet's
// limit; as common table expressions, inner first, they never nest.
QString Translator::derivedSql(const QueryOut &sub, const QString &alias)
{
    const QString cteName = QStringLiteral("__jet_q%1").arg(m_derived.size() + 1);
    m_derived.append({cteName, namedAsJet(sub)});
    return quoteId(cteName) + QStringLiteral(" AS ") + quoteId(alias);
}

QString Translator::tableSql(const FromItem &f, const QString &sqliteName)
{
    ++m_tableReferences;
    if (!m_materialize || &f == m_streamed || m_looked.contains(&f))
        return quoteId(sqliteName);
    for (const auto &[cteName, table] : std::as_const(m_ctes))
        if (table == sqliteName)
            return quoteId(cteName);
    QString cteName = QStringLiteral("__jet_t%1").arg(m_ctes.size() + 1);
    m_ctes.append({cteName, sqliteName});
    return quoteId(cteName);
}

const CatalogTable *Translator::findTable(const QString &name)
{
    for (const CatalogTable &t : m_catalog.tables)
        if (sameName(t.name, name))
            return &t;
    for (const CatalogTable &t : m_lookedUp)
        if (sameName(t.name, name))
            return &t;
    if (!m_catalog.lookupTable)
        return nullptr;
    std::optional<CatalogTable> found = m_catalog.lookupTable(name);
    if (!found)
        return nullptr;
    m_lookedUp.push_back(std::move(*found));
    return &m_lookedUp.back();
}

const CatalogQuery *Translator::findQuery(const QString &name) const
{
    for (const CatalogQuery &q : m_catalog.queries)
        if (sameName(q.name, name))
            return &q;
    return nullptr;
}

QString Translator::from(const FromItem &f, Scope &scope)
{
    const Deeper level(&m_depth);
    if (f.kind == FromItem::Join) {
        QString left = from(*f.left, scope);
        QString right = from(*f.right, scope);
        if (f.right->kind == FromItem::Join)
            right = QLatin1Char('(') + right + QLatin1Char(')');
        Value on = expr(*f.on, scope);
        checkNoAggregate(on, f.onSource);
        static const char *const joins[] = {" INNER JOIN ", " LEFT JOIN ", " RIGHT JOIN "};
        return left + QLatin1String(joins[f.joinType]) + right + QStringLiteral(" ON ") + on.condition();
    }
    Source src;
    QString sql;
    if (f.kind == FromItem::Derived) {
        QueryOut sub = query(*f.query, nullptr);
        src.ref = f.alias;
        for (int i = 0; i < sub.names.size(); ++i)
            src.columns.append({sub.names[i], sub.kinds[i], sub.exact.value(i)});
        sql = derivedSql(sub, src.ref);
    } else if (const CatalogTable *t = findTable(f.name)) {
        if (!t->refusal.isEmpty())
            fail(t->refusal);
        src.ref = f.alias.isEmpty() ? t->name : f.alias;
        for (const CatalogColumn &c : t->columns)
            src.columns.append({c.name, kindForDaoType(c.daoType), c.daoType == DaoDecimal});
        const bool streamed = !m_materialize || &f == m_streamed || m_looked.contains(&f);
        sql = tableSql(f, t->sqliteName.isEmpty() ? t->name : t->sqliteName) + QStringLiteral(" AS ")
              + quoteId(src.ref);
        src.rowid = quoteId(src.ref) + (streamed ? QStringLiteral(".rowid") : QStringLiteral(".\"__jet_rowid\""));
    } else if (const CatalogQuery *q = findQuery(f.name)) {
        if (!q->refusal.isEmpty())
            fail(q->refusal);
        for (const QString &n : std::as_const(m_expanding))
            if (sameName(n, q->name))
                fail(texts::kCircularQuery, q->name);
        if (m_expanding.size() >= texts::kMaxQueryNesting)
            fail(QString::fromLatin1(texts::kTooComplex));
        const Result<std::shared_ptr<Query>> parsed = parseStatement(q->jetSql);
        if (!parsed.ok())
            fail(parsed.error().message);
        declare(parsed.value()->parameters);
        m_expanding.append(q->name);
        const QString outerText = std::exchange(m_sourceText, q->jetSql);
        QueryOut sub = query(*parsed.value(), nullptr);
        m_sourceText = outerText;
        m_expanding.removeLast();
        src.ref = f.alias.isEmpty() ? q->name : f.alias;
        for (int i = 0; i < sub.names.size(); ++i)
            src.columns.append({sub.names[i], sub.kinds[i], sub.exact.value(i)});
        sql = derivedSql(sub, src.ref);
    } else
        fail(texts::kMissingTable, f.name);
    scope.sources.append(src);
    return sql;
}

void Translator::declare(const QList<ParameterDecl> &declared)
{
    for (const ParameterDecl &d : declared) {
        bool known = false;
        for (const Parameter &p : std::as_const(m_parameters))
            known = known || sameName(p.name, d.name);
        if (!known)
            m_parameters.append({d.name, d.daoType, d.size, true,
                                 QStringLiteral(":p%1").arg(m_parameters.size() + 1)});
    }
}

Value Translator::parameter(const QString &name)
{
    const Parameter *found = nullptr;
    for (const Parameter &p : std::as_const(m_parameters))
        if (sameName(p.name, name))
            found = &p;
    if (!found) {
        m_parameters.append({name, 10, 0, false, QStringLiteral(":p%1").arg(m_parameters.size() + 1)});
        found = &m_parameters.last();
    }
    Value v;
    v.sql = found->sqliteName;
    if (!m_bindParameters) {
        // Only counted: the translation fails.
        v.sql = QStringLiteral("NULL");
        v.isNull = true;
        return v;
    }
    switch (found->daoType) {
    case 9: case 10: case 11: case 12: case 15:
        v.kind = ValueKind::Text;
        v.looseParameter = !found->declared;
        break;
    case DaoDecimal:
        v.kind = ValueKind::Double;
        v.decimal = true;
        break;
    default:
        v.kind = kindForDaoType(found->daoType);
        v.scaled = v.kind == ValueKind::Currency;
    }
    return v;
}

Value columnValue(const Source &src, const Column &c)
{
    Value v{quoteId(src.ref) + QLatin1Char('.') + quoteId(c.name), c.kind};
    v.sourceRef = src.ref;
    v.scaled = c.kind == ValueKind::Currency;
    v.decimal = c.decimal;
    return v;
}

Value Translator::column(const Expr &e, const Scope &scope)
{
    for (const Scope *s = &scope; s; s = s->parent) {
        if (!e.qualifier.isEmpty()) {
            for (const Source &src : s->sources) {
                if (!sameName(src.ref, e.qualifier))
                    continue;
                for (const Column &c : src.columns)
                    if (sameName(c.name, e.name)) {
                        m_outerReferences += s != &scope;
                        return columnValue(src, c);
                    }
                return parameter(e.qualifier + (e.op.isEmpty() ? QStringLiteral(".") : e.op) + e.name);
            }
            continue;
        }
        const Source *found = nullptr;
        const Column *foundCol = nullptr;
        for (const Source &src : s->sources)
            for (const Column &c : src.columns)
                if (sameName(c.name, e.name)) {
                    if (found)
                        fail(texts::kAmbiguousField, e.name);
                    found = &src;
                    foundCol = &c;
                }
        if (found) {
            m_outerReferences += s != &scope;
            return columnValue(*found, *foundCol);
        }
        for (const auto &[alias, aliasExpr] : s->aliases)
            if (sameName(alias, e.name) && m_aliasDepth < 32) {
                ++m_aliasDepth;
                Value v = expr(*aliasExpr, *s);
                --m_aliasDepth;
                return v;
            }
    }
    if (e.qualifier.isEmpty() || e.qualifier == QLatin1String("!"))
        return parameter(e.name);
    return parameter(e.qualifier + (e.op.isEmpty() ? QStringLiteral(".") : e.op) + e.name);
}

} // namespace kolta::jetsql::translator
