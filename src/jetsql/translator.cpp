#include "translator.h"

#include "parser.h"

#include <cmath>

namespace kolta::jetsql {

namespace translator {

namespace {

struct TranslateError
{
    QString message;
};

const FromItem *leftmostTable(const FromItem *f)
{
    while (f && f->kind == FromItem::Join)
        f = f->left.get();
    return f && f->kind == FromItem::Table ? f : nullptr;
}

// The tables of a FROM tree, and the column pairs its joins' conditions
// compare with "=" at their top level.
void joinKeys(const FromItem *f, QList<const FromItem *> &tables, QList<std::pair<const Expr *, const Expr *>> &keys)
{
    if (!f)
        return;
    if (f->kind == FromItem::Table)
        tables.append(f);
    if (f->kind != FromItem::Join)
        return;
    joinKeys(f->left.get(), tables, keys);
    joinKeys(f->right.get(), tables, keys);
    QList<const Expr *> pending{f->on.get()};
    while (!pending.isEmpty()) {
        const Expr *e = pending.takeLast();
        if (!e || e->kind != Expr::Binary || e->args.size() != 2)
            continue;
        if (e->op.compare(QLatin1String("And"), Qt::CaseInsensitive) == 0) {
            pending << e->args.at(0).get() << e->args.at(1).get();
        } else if (e->op == QLatin1String("=") && e->args.at(0)->kind == Expr::Column
                   && e->args.at(1)->kind == Expr::Column) {
            keys.append(std::pair<const Expr *, const Expr *>(e->args.at(0).get(), e->args.at(1).get()));
        }
    }
}

} // namespace

// A joined table whose join key leads an index of the file is looked up row
// by row instead of being copied out whole. Only whole-number keys on both
// sides: compared as they stand, SQLite hands such a key to the index.
void Translator::findLookups(const Query &q)
{
    m_looked.clear();
    if (!m_catalog.indexedColumns)
        return;
    QList<const FromItem *> tables;
    QList<std::pair<const Expr *, const Expr *>> keys;
    for (const Select &part : q.parts)
        for (const FromP &f : part.from)
            joinKeys(f.get(), tables, keys);
    const auto sourceOf = [&](const Expr *column) -> const FromItem * {
        for (const FromItem *t : std::as_const(tables))
            if (sameName(t->alias.isEmpty() ? t->name : t->alias, column->qualifier))
                return t;
        return nullptr;
    };
    const auto wholeNumber = [&](const FromItem *t, const QString &column) {
        const CatalogTable *table = findTable(t->name);
        if (!table)
            return false;
        for (const CatalogColumn &c : table->columns)
            if (sameName(c.name, column))
                return c.daoType == 2 || c.daoType == 3 || c.daoType == 4;
        return false;
    };
    for (const auto &[a, b] : std::as_const(keys)) {
        const FromItem *ta = sourceOf(a);
        const FromItem *tb = sourceOf(b);
        if (!ta || !tb || ta == tb || !wholeNumber(ta, a->name) || !wholeNumber(tb, b->name))
            continue;
        for (const auto &[t, column] : {std::pair{ta, a->name}, std::pair{tb, b->name}}) {
            if (m_looked.contains(t))
                continue;
            const CatalogTable *table = findTable(t->name);
            const QStringList indexed = m_catalog.indexedColumns(table->name);
            for (const QString &name : indexed)
                if (sameName(name, column))
                    m_looked.append(t);
        }
    }
}

[[noreturn]] void fail(const QString &message) { throw TranslateError{message}; }
[[noreturn]] void fail(const char *templ, const QString &arg)
{
    throw TranslateError{QString::fromLatin1(templ).arg(arg)};
}

QString quoteId(const QString &name)
{
    QString n = name;
    n.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

QString quoteText(const QString &text)
{
    QString t = text;
    t.replace(QLatin1Char('\''), QLatin1String("''"));
    // SQLite's statement text ends at a NUL; inside a value it is a character.
    t.replace(QChar(u'\0'), QLatin1String("' || CAST(x'00' AS TEXT) || '"));
    const QString quoted = QLatin1Char('\'') + t + QLatin1Char('\'');
    return text.contains(QChar(u'\0')) ? QLatin1Char('(') + quoted + QLatin1Char(')') : quoted;
}

QString realLiteral(double v)
{
    // SQLite would read "inf" as a name; Jet cannot hold such a number.
    if (!std::isfinite(v))
        fail(QString::fromLatin1(texts::kOverflow));
    QString s = QString::number(v, 'g', 17);
    if (!s.contains(QLatin1Char('.')) && !s.contains(QLatin1Char('e')) && !s.contains(QLatin1Char('n')))
        s += QStringLiteral(".0");
    return s;
}

bool isNumericKind(ValueKind k)
{
    return k == ValueKind::Boolean || k == ValueKind::Integer || k == ValueKind::Currency || k == ValueKind::Double;
}

ValueKind wider(ValueKind a, ValueKind b)
{
    if (a == ValueKind::Variant || b == ValueKind::Variant)
        return ValueKind::Variant;
    if (a == ValueKind::Double || b == ValueKind::Double)
        return ValueKind::Double;
    if (a == ValueKind::Currency || b == ValueKind::Currency)
        return ValueKind::Currency;
    if (a == ValueKind::Date || b == ValueKind::Date)
        return ValueKind::Date;
    return ValueKind::Integer;
}

Translation Translator::run(const QString &jetSql)
{
    m_sourceText = jetSql;
    const Result<std::shared_ptr<Query>> parsed = parseStatement(jetSql);
    if (!parsed.ok())
        fail(parsed.error().message);
    const Query &q = *parsed.value();
    declare(q.parameters);
    // The first pass finds the tables; a crosstab reads its headings only
    // in the pass whose statement is kept.
    m_probe = true;
    QueryOut out = query(q, nullptr);
    QList<std::pair<QString, QString>> derived = std::exchange(m_derived, {});
    m_probe = false;
    if (!m_parameters.isEmpty() && !m_bindParameters)
        fail(texts::kTooFewParameters, QString::number(m_parameters.size()));
    if (m_mismatch)
        fail(QString::fromLatin1(texts::kTypeMismatch));
    if (m_tableReferences > 1) {
        // The virtual tables cannot be indexed: SQLite would join them in
        // nested loops. Materialised, they get automatic indexes on the
        // join keys; the leftmost table of the outer query still streams.
        m_materialize = true;
        m_streamed = leftmostTable(q.parts.first().from.value(0).get());
        findLookups(q);
        out = query(q, nullptr);
    } else if (m_sawCrosstab) {
        out = query(q, nullptr);
    } else {
        m_derived = std::move(derived);
    }
    const QString ctes = cteClause();
    if (!ctes.isEmpty())
        out.sql = ctes + out.sql;
    QList<Parameter> ordered;
    for (const bool declared : {true, false})
        for (const Parameter &p : std::as_const(m_parameters))
            if (p.declared == declared)
                ordered.append(p);
    return Translation{out.sql, ordered, out.names, out.kinds, m_notes};
}

} // namespace translator

Result<Translation> translate(const QString &jetSql, const Catalog &catalog, sqlite3 *db, LikeWildcards like,
                              Parameters parameters, const ParameterTexts &values)
{
    try {
        translator::Translator t(catalog, db, like, parameters, values);
        return t.run(jetSql);
    } catch (const translator::TranslateError &e) {
        return Error{e.message};
    }
}

} // namespace kolta::jetsql
