#include "jetsql.h"

#include "parser.h"
#include "sqltexts.h"
#include "vba.h"

#include <QHash>
#include <QVariant>
#include <QSet>
#include <cmath>
#include <optional>
#include <sqlite3.h>
#include <utility>

namespace kolta::jetsql {

namespace {

struct TranslateError
{
    QString message;
};

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
    return QLatin1Char('\'') + t + QLatin1Char('\'');
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

bool sameName(const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

const char kCollate[] = " COLLATE JETCI";

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

struct FnSpec
{
    const char *name;
    const char *sql;
    int minArgs;
    int maxArgs;
    char result;        // T text, I integer, D double, C currency, d date, B boolean, 0 like first argument
    const char *args;   // per argument: t takes text, x any value; the last letter repeats
};

const FnSpec kFunctions[] = {
    {"Left", "jet_left", 2, 2, 'T', "tx"},
    {"Right", "jet_right", 2, 2, 'T', "tx"},
    {"Mid", "jet_mid", 2, 3, 'T', "tx"},
    {"Len", "jet_len", 1, 1, 'I', "t"},
    {"LCase", "jet_lcase", 1, 1, 'T', "t"},
    {"UCase", "jet_ucase", 1, 1, 'T', "t"},
    {"Trim", "jet_trim", 1, 1, 'T', "t"},
    {"LTrim", "jet_ltrim", 1, 1, 'T', "t"},
    {"RTrim", "jet_rtrim", 1, 1, 'T', "t"},
    {"InStr", "jet_instr", 2, 4, 'I', "t"},
    {"InStrRev", "jet_instrrev", 2, 4, 'I', "ttx"},
    {"Replace", "jet_replace", 3, 6, 'T', "tttx"},
    {"Space", "jet_space", 1, 1, 'T', "x"},
    {"String", "jet_string", 2, 2, 'T', "xt"},
    {"StrComp", "jet_strcomp", 2, 3, 'I', "ttx"},
    {"StrReverse", "jet_strreverse", 1, 1, 'T', "t"},
    {"Str", "jet_str", 1, 1, 'T', "x"},
    {"Val", "jet_val", 1, 1, 'D', "t"},
    {"Asc", "jet_asc", 1, 1, 'I', "t"},
    {"Chr", "jet_chr", 1, 1, 'T', "x"},
    {"Hex", "jet_hex", 1, 1, 'T', "x"},
    {"Oct", "jet_oct", 1, 1, 'T', "x"},
    {"CStr", "jet_cstr", 1, 1, 'T', "t"},
    {"CInt", "jet_cint", 1, 1, 'I', "x"},
    {"CLng", "jet_clng", 1, 1, 'I', "x"},
    {"CByte", "jet_cbyte", 1, 1, 'I', "x"},
    {"CDbl", "jet_cdbl", 1, 1, 'D', "x"},
    {"CSng", "jet_csng", 1, 1, 'D', "x"},
    {"CCur", "jet_ccur", 1, 1, 'C', "x"},
    {"CDec", "jet_cdbl", 1, 1, 'D', "x"},
    {"CDate", "jet_cdate", 1, 1, 'd', "x"},
    {"CVDate", "jet_cdate", 1, 1, 'd', "x"},
    {"CBool", "jet_cbool", 1, 1, 'B', "x"},
    {"Int", "jet_int", 1, 1, '0', "x"},
    {"Fix", "jet_fix", 1, 1, '0', "x"},
    {"Abs", "jet_abs", 1, 1, '0', "x"},
    {"Round", "jet_round", 1, 2, '0', "x"},
    {"Sgn", "jet_sgn", 1, 1, 'I', "x"},
    {"Sqr", "jet_sqr", 1, 1, 'D', "x"},
    {"Exp", "jet_exp", 1, 1, 'D', "x"},
    {"Log", "jet_log", 1, 1, 'D', "x"},
    {"Atn", "jet_atn", 1, 1, 'D', "x"},
    {"Sin", "jet_sin", 1, 1, 'D', "x"},
    {"Cos", "jet_cos", 1, 1, 'D', "x"},
    {"Tan", "jet_tan", 1, 1, 'D', "x"},
    {"IsNumeric", "jet_isnumeric", 1, 1, 'B', "x"},
    {"IsDate", "jet_isdate", 1, 1, 'B', "x"},
    {"Date", "jet_date", 0, 0, 'd', "x"},
    {"Now", "jet_now", 0, 0, 'd', "x"},
    {"Time", "jet_time", 0, 0, 'd', "x"},
    {"Year", "jet_year", 1, 1, 'I', "x"},
    {"Month", "jet_month", 1, 1, 'I', "x"},
    {"Day", "jet_day", 1, 1, 'I', "x"},
    {"Hour", "jet_hour", 1, 1, 'I', "x"},
    {"Minute", "jet_minute", 1, 1, 'I', "x"},
    {"Second", "jet_second", 1, 1, 'I', "x"},
    {"Weekday", "jet_weekday", 1, 2, 'I', "x"},
    {"DateAdd", "jet_dateadd", 3, 3, 'd', "x"},
    {"DateDiff", "jet_datediff", 3, 5, 'I', "x"},
    {"DatePart", "jet_datepart", 2, 4, 'I', "x"},
    {"DateSerial", "jet_dateserial", 3, 3, 'd', "x"},
    {"TimeSerial", "jet_timeserial", 3, 3, 'd', "x"},
    {"DateValue", "jet_datevalue", 1, 1, 'd', "x"},
    {"TimeValue", "jet_timevalue", 1, 1, 'd', "x"},
    {"Partition", "jet_partition", 4, 4, 'T', "x"},
    {"StrConv", "jet_strconv", 2, 3, 'T', "tx"},
};

// The VBA functions that also come as name$, the form that returns text and
// refuses Null.
bool hasTextForm(const QString &name)
{
    static const char *const names[] = {"Left", "Right", "Mid", "UCase", "LCase", "Trim", "LTrim", "RTrim",
                                        "Space", "String", "Str", "Chr", "Format", nullptr};
    for (int i = 0; names[i]; ++i)
        if (sameName(name, QLatin1String(names[i])))
            return true;
    return false;
}

const FnSpec *findFunction(const QString &name)
{
    for (const FnSpec &f : kFunctions)
        if (sameName(name, QLatin1String(f.name)))
            return &f;
    return nullptr;
}

bool isAggregateName(const QString &n)
{
    static const char *const names[] = {"Count", "Sum", "Avg", "Min", "Max", "First", "Last",
                                        "StDev", "StDevP", "Var", "VarP", nullptr};
    for (int i = 0; names[i]; ++i)
        if (sameName(n, QLatin1String(names[i])))
            return true;
    return false;
}

class Translator
{
public:
    Translator(const Catalog &catalog, sqlite3 *db, LikeWildcards like) : m_catalog(catalog), m_db(db), m_like(like) {}

    Translation run(const QString &jetSql)
    {
        m_sourceText = jetSql;
        const Result<std::shared_ptr<Query>> parsed = parseStatement(jetSql);
        if (!parsed.ok())
            fail(parsed.error().message);
        const Query &q = *parsed.value();
        // The first pass finds the tables; a crosstab reads its headings only
        // in the pass whose statement is kept.
        m_probe = true;
        QueryOut out = query(q, nullptr);
        m_probe = false;
        if (!m_parameters.isEmpty())
            fail(texts::kTooFewParameters, QString::number(m_parameters.size()));
        if (m_mismatch)
            fail(QString::fromLatin1(texts::kTypeMismatch));
        if (m_tableReferences > 1) {
            // The virtual tables cannot be indexed: SQLite would join them in
            // nested loops. Materialised, they get automatic indexes on the
            // join keys; the leftmost table of the outer query still streams.
            m_materialize = true;
            m_streamed = leftmostTable(q.parts.first().from.value(0).get());
            out = query(q, nullptr);
            const QString ctes = cteClause();
            if (!ctes.isEmpty())
                out.sql = ctes + out.sql;
        } else if (m_sawCrosstab) {
            out = query(q, nullptr);
        }
        return Translation{out.sql, out.names, out.kinds, m_notes};
    }

private:
    const Catalog &m_catalog;
    sqlite3 *m_db = nullptr;
    bool m_probe = false;
    bool m_sawCrosstab = false;
    QString m_aggregateFilter;   // a crosstab cell: the rows its aggregates take

    QString cteClause() const
    {
        QStringList ctes;
        for (const auto &[cteName, table] : std::as_const(m_ctes))
            ctes << QStringLiteral("%1 AS MATERIALIZED (SELECT %2* FROM %3)")
                        .arg(quoteId(cteName), m_rowids ? QStringLiteral("rowid AS \"__jet_rowid\", ") : QString(),
                             quoteId(table));
        return ctes.isEmpty() ? QString() : QStringLiteral("WITH ") + ctes.join(QStringLiteral(", ")) + QLatin1Char(' ');
    }
    const LikeWildcards m_like;
    QString m_sourceText;      // the statement or saved query being read
    QStringList m_notes;
    int m_tableReferences = 0;
    bool m_materialize = false;
    const FromItem *m_streamed = nullptr;
    QList<std::pair<QString, QString>> m_ctes;   // CTE name, SQLite table
    bool m_rowids = false;   // DISTINCTROW tells the rows of materialised tables apart

    static const FromItem *leftmostTable(const FromItem *f)
    {
        while (f && f->kind == FromItem::Join)
            f = f->left.get();
        return f && f->kind == FromItem::Table ? f : nullptr;
    }

    QString tableSql(const FromItem &f, const QString &sqliteName)
    {
        ++m_tableReferences;
        if (!m_materialize || &f == m_streamed)
            return quoteId(sqliteName);
        for (const auto &[cteName, table] : std::as_const(m_ctes))
            if (table == sqliteName)
                return quoteId(cteName);
        QString cteName = QStringLiteral("__jet_t%1").arg(m_ctes.size() + 1);
        m_ctes.append({cteName, sqliteName});
        return quoteId(cteName);
    }
    QSet<QString> m_parameters;
    bool m_mismatch = false;
    QStringList m_expanding;   // saved queries being expanded, against cycles
    int m_aggregateDepth = 0;
    int m_aliasDepth = 0;
    // Expressions and queries being translated, one inside the other; with
    // saved queries and aliases put in, a statement the parser let through
    // may nest deeper still.
    int m_depth = 0;

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

    static void stringLiterals(const Expr &e, QList<const Expr *> *out)
    {
        if (e.kind == Expr::String)
            out->append(&e);
        for (const ExprP &arg : e.args)
            stringLiterals(*arg, out);
    }

    // A Like the page's provider reads with ANSI wildcards: what to write so
    // that the try and the server give the same rows.
    void noteLike(const Expr &e)
    {
        const Expr &pattern = *e.args[1];
        QList<const Expr *> literals;
        stringLiterals(pattern, &literals);
        QString rewritten = m_sourceText.mid(pattern.pos, pattern.end - pattern.pos);
        bool differs = false;
        for (qsizetype i = literals.size() - 1; i >= 0; --i) {
            const Expr &literal = *literals.at(i);
            const QString ansi = ansiPattern(literal.text);
            if (ansi == literal.text)
                continue;
            differs = true;
            const QChar quote = literal.pos < m_sourceText.size() ? m_sourceText.at(literal.pos) : QLatin1Char('\'');
            QString body = ansi;
            body.replace(quote, QString(2, quote));
            rewritten.replace(literal.pos - pattern.pos, literal.end - literal.pos, quote + body + quote);
        }
        if (!differs)
            return;
        const Expr &value = *e.args[0];
        const QString operand = m_sourceText.mid(value.pos, value.end - value.pos);
        const QString not_ = e.negated ? QStringLiteral("Not ") : QString();
        const QString written = operand + QLatin1Char(' ') + m_sourceText.mid(value.end, pattern.end - value.end).trimmed();
        const QString instead = operand + QLatin1Char(' ') + not_ + QStringLiteral("ALike ") + rewritten;
        const QString note = m_expanding.isEmpty()
            ? QString::fromLatin1(texts::kNoteLike).arg(instead, written)
            : QString::fromLatin1(texts::kNoteLikeInQuery).arg(instead, written, m_expanding.constLast());
        if (!m_notes.contains(note))
            m_notes.append(note);
    }

    // ---- FROM

    const CatalogTable *findTable(const QString &name) const
    {
        for (const CatalogTable &t : m_catalog.tables)
            if (sameName(t.name, name))
                return &t;
        return nullptr;
    }
    const CatalogQuery *findQuery(const QString &name) const
    {
        for (const CatalogQuery &q : m_catalog.queries)
            if (sameName(q.name, name))
                return &q;
        return nullptr;
    }

    // A query read as a table: its columns by the names Jet gives them (a
    // crosstab's cells are named by their headings only here).
    static QString namedAsJet(const QueryOut &sub)
    {
        if (sub.sqlNames.isEmpty() || sub.sqlNames == sub.names)
            return sub.sql;
        QStringList renamed;
        for (int i = 0; i < sub.names.size() && i < sub.sqlNames.size(); ++i)
            renamed << quoteId(sub.sqlNames[i]) + QStringLiteral(" AS ") + quoteId(sub.names[i]);
        return QStringLiteral("SELECT %1 FROM (%2)").arg(renamed.join(QStringLiteral(", ")), sub.sql);
    }

    QString from(const FromItem &f, Scope &scope)
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
            sql = QLatin1Char('(') + namedAsJet(sub) + QStringLiteral(") AS ") + quoteId(src.ref);
        } else if (const CatalogTable *t = findTable(f.name)) {
            if (!t->refusal.isEmpty())
                fail(t->refusal);
            src.ref = f.alias.isEmpty() ? t->name : f.alias;
            for (const CatalogColumn &c : t->columns)
                src.columns.append({c.name, kindForDaoType(c.daoType), c.daoType == DaoDecimal});
            const bool streamed = !m_materialize || &f == m_streamed;
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
            m_expanding.append(q->name);
            const QString outerText = std::exchange(m_sourceText, q->jetSql);
            QueryOut sub = query(*parsed.value(), nullptr);
            m_sourceText = outerText;
            m_expanding.removeLast();
            src.ref = f.alias.isEmpty() ? q->name : f.alias;
            for (int i = 0; i < sub.names.size(); ++i)
                src.columns.append({sub.names[i], sub.kinds[i], sub.exact.value(i)});
            sql = QLatin1Char('(') + namedAsJet(sub) + QStringLiteral(") AS ") + quoteId(src.ref);
        } else
            fail(texts::kMissingTable, f.name);
        scope.sources.append(src);
        return sql;
    }

    // ---- names

    Value parameter(const QString &name)
    {
        m_parameters.insert(name.toLower());
        Value v;
        v.sql = QStringLiteral("NULL");
        v.isNull = true;
        return v;
    }

    static Value columnValue(const Source &src, const Column &c)
    {
        Value v{quoteId(src.ref) + QLatin1Char('.') + quoteId(c.name), c.kind};
        v.sourceRef = src.ref;
        v.scaled = c.kind == ValueKind::Currency;
        v.decimal = c.decimal;
        return v;
    }

    Value column(const Expr &e, const Scope &scope)
    {
        for (const Scope *s = &scope; s; s = s->parent) {
            if (!e.qualifier.isEmpty()) {
                for (const Source &src : s->sources) {
                    if (!sameName(src.ref, e.qualifier))
                        continue;
                    for (const Column &c : src.columns)
                        if (sameName(c.name, e.name))
                            return columnValue(src, c);
                    return parameter(e.qualifier + QLatin1Char('.') + e.name);
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
            if (found)
                return columnValue(*found, *foundCol);
            for (const auto &[alias, aliasExpr] : s->aliases)
                if (sameName(alias, e.name) && m_aliasDepth < 32) {
                    ++m_aliasDepth;
                    Value v = expr(*aliasExpr, *s);
                    --m_aliasDepth;
                    return v;
                }
        }
        return parameter(e.qualifier.isEmpty() ? e.name : e.qualifier + QLatin1Char('.') + e.name);
    }

    // ---- expressions

    void checkComparable(const Value &a, const Value &b)
    {
        ValueKind ka = a.valueKind(), kb = b.valueKind();
        if (a.isNull || b.isNull)
            return;
        if ((ka == ValueKind::Text && isNumericKind(kb)) || (kb == ValueKind::Text && isNumericKind(ka)))
            m_mismatch = true;
    }

    // A text literal compared with a date becomes a date, as Jet converts it.
    void dateFromText(Value &text, const Value &other)
    {
        if (!text.textLiteral || other.valueKind() != ValueKind::Date)
            return;
        if (std::optional<double> d = vba::parseDate(text.textLiteral->text)) {
            text.sql = realLiteral(*d);
            text.kind = ValueKind::Date;
            text.textLiteral = nullptr;
        } else
            m_mismatch = true;
    }

    // Currency with Currency or a whole number: exact, in ten-thousandths.
    static bool exactCurrency(const Value &a, const Value &b)
    {
        auto exact = [](ValueKind k) {
            return k == ValueKind::Currency || k == ValueKind::Integer || k == ValueKind::Boolean;
        };
        ValueKind ka = a.valueKind(), kb = b.valueKind();
        return (ka == ValueKind::Currency || kb == ValueKind::Currency) && exact(ka) && exact(kb) && !a.isNull
               && !b.isNull;
    }

    // Decimal with Decimal or a whole number: exact, on their texts.
    static bool exactDecimal(const Value &a, const Value &b)
    {
        auto exact = [](const Value &v) {
            const ValueKind k = v.valueKind();
            return v.decimal || (!v.cond && (k == ValueKind::Integer || k == ValueKind::Boolean));
        };
        return (a.decimal || b.decimal) && exact(a) && exact(b) && !a.isNull && !b.isNull;
    }

    Value compare(const QString &op, Value a, Value b)
    {
        dateFromText(a, b);
        dateFromText(b, a);
        checkComparable(a, b);
        if (exactCurrency(a, b)) {
            Value r{QStringLiteral("(%1 %2 %3)").arg(a.tenThousandths(), op, b.tenThousandths()), ValueKind::Boolean,
                    true};
            r.aggregate = a.aggregate || b.aggregate;
            return r;
        }
        if (exactDecimal(a, b)) {
            Value r{QStringLiteral("(jet_deccmp(%1, %2) %3 0)").arg(a.exact(), b.exact(), op), ValueKind::Boolean, true};
            r.aggregate = a.aggregate || b.aggregate;
            return r;
        }
        QString left = a.value();
        if (a.needsCollation() || b.needsCollation())
            left += QLatin1String(kCollate);
        Value r{QStringLiteral("(%1 %2 %3)").arg(left, op, b.value()), ValueKind::Boolean, true};
        r.aggregate = a.aggregate || b.aggregate;
        return r;
    }

    Value expr(const Expr &e, const Scope &scope)
    {
        const Deeper level(&m_depth);
        Value v;
        switch (e.kind) {
        case Expr::Null:
            v.sql = QStringLiteral("NULL");
            v.isNull = true;
            return v;
        case Expr::Number:
            if (e.integer)
                return Value{QString::number(qint64(e.number)), ValueKind::Integer};
            return Value{realLiteral(e.number), ValueKind::Double};
        case Expr::String:
            v = Value{quoteText(e.text), ValueKind::Text};
            v.textLiteral = &e;
            return v;
        case Expr::Date:
            return Value{realLiteral(e.number), ValueKind::Date};
        case Expr::Boolean:
            return Value{QString::number(qint64(e.number)), ValueKind::Integer};
        case Expr::Column:
            return column(e, scope);
        case Expr::Unary: {
            Value a = expr(*e.args[0], scope);
            if (e.op == QLatin1String("NOT")) {
                if (a.cond || a.valueKind() == ValueKind::Boolean || a.isNull)
                    v = Value{QStringLiteral("(NOT %1)").arg(a.condition()), ValueKind::Boolean, true};
                else
                    v = Value{QStringLiteral("(~%1)").arg(a.value()), ValueKind::Integer};
            } else if (e.op == QLatin1String("-")) {
                ValueKind k = a.valueKind() == ValueKind::Boolean ? ValueKind::Integer : a.valueKind();
                v = Value{a.decimal ? QStringLiteral("jet_decsub(0, %1)").arg(a.sql)
                                    : QStringLiteral("(-%1)").arg(a.scaled ? a.sql : a.value()),
                          k};
                v.scaled = a.scaled;
                v.decimal = a.decimal;
            } else
                v = a;
            v.aggregate = a.aggregate;
            return v;
        }
        case Expr::Binary:
            return binary(e, scope);
        case Expr::Like: {
            Value a = expr(*e.args[0], scope), p = expr(*e.args[1], scope);
            const bool ansi = e.ansi || m_like == LikeWildcards::Ansi;
            if (!ansi)
                noteLike(e);
            v = Value{QStringLiteral("%1%2(%3, %4)").arg(e.negated ? QStringLiteral("NOT ") : QString(),
                                                         ansi ? QStringLiteral("jet_alike") : QStringLiteral("jet_like"),
                                                         a.text(), p.text()),
                      ValueKind::Boolean, true};
            v.aggregate = a.aggregate || p.aggregate;
            return v;
        }
        case Expr::Between: {
            Value a = expr(*e.args[0], scope), lo = expr(*e.args[1], scope), hi = expr(*e.args[2], scope);
            dateFromText(lo, a);
            dateFromText(hi, a);
            checkComparable(a, lo);
            checkComparable(a, hi);
            QString left = a.value();
            if (a.needsCollation() || lo.needsCollation() || hi.needsCollation())
                left += QLatin1String(kCollate);
            v = Value{QStringLiteral("(%1 %2BETWEEN %3 AND %4)")
                          .arg(left, e.negated ? QStringLiteral("NOT ") : QString(), lo.value(), hi.value()),
                      ValueKind::Boolean, true};
            v.aggregate = a.aggregate || lo.aggregate || hi.aggregate;
            return v;
        }
        case Expr::InList: {
            Value a = expr(*e.args[0], scope);
            QStringList items;
            bool collate = a.needsCollation();
            for (int i = 1; i < e.args.size(); ++i) {
                Value item = expr(*e.args[i], scope);
                dateFromText(item, a);
                checkComparable(a, item);
                collate = collate || item.needsCollation();
                items << item.value();
                v.aggregate = v.aggregate || item.aggregate;
            }
            QString left = a.value() + (collate ? QLatin1String(kCollate) : QLatin1String(""));
            bool agg = v.aggregate || a.aggregate;
            v = Value{QStringLiteral("(%1 %2IN (%3))")
                          .arg(left, e.negated ? QStringLiteral("NOT ") : QString(), items.join(QStringLiteral(", "))),
                      ValueKind::Boolean, true};
            v.aggregate = agg;
            return v;
        }
        case Expr::InQuery: {
            Value a = expr(*e.args[0], scope);
            QueryOut sub = query(*e.query, &scope, false);
            if (sub.names.size() != 1)
                fail(QString::fromLatin1(texts::kSubqueryFields));
            Value inner{QString(), sub.kinds.first()};
            checkComparable(a, inner);
            // A subquery's Currency comes in ten-thousandths.
            QString left = (inner.kind == ValueKind::Currency ? a.tenThousandths() : a.value())
                           + (a.needsCollation() || inner.needsCollation() ? QLatin1String(kCollate)
                                                                           : QLatin1String(""));
            v = Value{QStringLiteral("(%1 %2IN (%3))")
                          .arg(left, e.negated ? QStringLiteral("NOT ") : QString(), sub.sql),
                      ValueKind::Boolean, true};
            v.aggregate = a.aggregate;
            return v;
        }
        case Expr::IsNull: {
            Value a = expr(*e.args[0], scope);
            v = Value{QStringLiteral("(%1 IS %2NULL)").arg(a.value(), e.negated ? QStringLiteral("NOT ") : QString()),
                      ValueKind::Boolean, true};
            v.aggregate = a.aggregate;
            return v;
        }
        case Expr::Exists: {
            QueryOut sub = query(*e.query, &scope, false);
            return Value{QStringLiteral("(EXISTS (%1))").arg(sub.sql), ValueKind::Boolean, true};
        }
        case Expr::Subquery: {
            QueryOut sub = query(*e.query, &scope);
            if (sub.names.size() != 1)
                fail(QString::fromLatin1(texts::kSubqueryFields));
            Value v{QStringLiteral("(%1)").arg(sub.sql), sub.kinds.first()};
            v.scaled = v.kind == ValueKind::Currency;
            v.decimal = sub.exact.value(0);
            return v;
        }
        case Expr::Call:
            return call(e, scope);
        }
        return v;
    }

    Value binary(const Expr &e, const Scope &scope)
    {
        const QString op = e.op.toUpper();
        Value a = expr(*e.args[0], scope);
        Value b = expr(*e.args[1], scope);
        Value r;
        if (op == QLatin1String("AND") || op == QLatin1String("OR"))
            r = Value{QStringLiteral("(%1 %2 %3)").arg(a.condition(), op, b.condition()), ValueKind::Boolean, true};
        else if (op == QLatin1String("XOR"))
            r = Value{QStringLiteral("(%1 <> %2)").arg(a.truth(), b.truth()), ValueKind::Boolean, true};
        else if (op == QLatin1String("EQV"))
            r = Value{QStringLiteral("(%1 = %2)").arg(a.truth(), b.truth()), ValueKind::Boolean, true};
        else if (op == QLatin1String("IMP"))
            r = Value{QStringLiteral("((NOT %1) OR %2)").arg(a.truth(), b.truth()), ValueKind::Boolean, true};
        else if (op == QLatin1String("=") || op == QLatin1String("<>") || op == QLatin1String("<")
                 || op == QLatin1String(">") || op == QLatin1String("<=") || op == QLatin1String(">="))
            r = compare(op, a, b);
        else if (op == QLatin1String("&"))
            r = Value{QStringLiteral("jet_amp(%1, %2)").arg(a.text(), b.text()), ValueKind::Text};
        else if ((op == QLatin1String("+") || op == QLatin1String("-")) && exactCurrency(a, b)) {
            r = Value{QStringLiteral("(%1 %2 %3)").arg(a.tenThousandths(), op, b.tenThousandths()),
                      ValueKind::Currency};
            r.scaled = true;
        } else if ((op == QLatin1String("+") || op == QLatin1String("-")) && exactDecimal(a, b)) {
            r = Value{QStringLiteral("%1(%2, %3)")
                          .arg(op == QLatin1String("+") ? QStringLiteral("jet_decadd") : QStringLiteral("jet_decsub"),
                               a.exact(), b.exact()),
                      ValueKind::Double};
            r.decimal = true;
        } else if (op == QLatin1String("+")) {
            ValueKind ka = a.valueKind(), kb = b.valueKind();
            if (ka == ValueKind::Text && kb == ValueKind::Text)
                r = Value{QStringLiteral("(%1 || %2)").arg(a.sql, b.sql), ValueKind::Text};
            else if (ka == ValueKind::Text || kb == ValueKind::Text || ka == ValueKind::Variant
                     || kb == ValueKind::Variant)
                r = Value{QStringLiteral("jet_add(%1, %2)").arg(a.value(), b.value()),
                          ka == ValueKind::Date || kb == ValueKind::Date ? ValueKind::Date : ValueKind::Variant};
            else {
                r = Value{QStringLiteral("(%1 + %2)").arg(a.value(), b.value()), wider(ka, kb)};
                // A date moved by any number stays a date.
                if ((ka == ValueKind::Date) != (kb == ValueKind::Date))
                    r.kind = ValueKind::Date;
            }
        } else if (op == QLatin1String("-")) {
            ValueKind ka = a.valueKind(), kb = b.valueKind();
            ValueKind k = ka == ValueKind::Date && kb == ValueKind::Date ? ValueKind::Double
                          : ka == ValueKind::Date                       ? ValueKind::Date
                          : ka == ValueKind::Text || kb == ValueKind::Text ? ValueKind::Double
                                                                          : wider(ka, kb);
            if (k == ValueKind::Date && kb == ValueKind::Date)
                k = ValueKind::Double;
            r = Value{QStringLiteral("jet_sub(%1, %2)").arg(a.value(), b.value()), k};
            if (isNumericKind(ka) && isNumericKind(kb))
                r.sql = QStringLiteral("(%1 - %2)").arg(a.value(), b.value());
        } else if (op == QLatin1String("*")) {
            ValueKind k = wider(a.valueKind(), b.valueKind());
            if (k == ValueKind::Date)
                k = ValueKind::Double;
            r = Value{QStringLiteral("jet_mul(%1, %2)").arg(a.value(), b.value()), k};
            if (isNumericKind(a.valueKind()) && isNumericKind(b.valueKind()))
                r.sql = QStringLiteral("(%1 * %2)").arg(a.value(), b.value());
        } else if (op == QLatin1String("/"))
            r = Value{QStringLiteral("jet_div(%1, %2)").arg(a.value(), b.value()), ValueKind::Double};
        else if (op == QLatin1String("\\"))
            r = Value{QStringLiteral("jet_idiv(%1, %2)").arg(a.value(), b.value()), ValueKind::Integer};
        else if (op == QLatin1String("MOD"))
            r = Value{QStringLiteral("jet_mod(%1, %2)").arg(a.value(), b.value()), ValueKind::Integer};
        else if (op == QLatin1String("^"))
            r = Value{QStringLiteral("jet_pow(%1, %2)").arg(a.value(), b.value()), ValueKind::Double};
        if (op == QLatin1String("-") || op == QLatin1String("*") || op == QLatin1String("/")
            || op == QLatin1String("\\") || op == QLatin1String("MOD") || op == QLatin1String("^")) {
            if ((a.textLiteral && !vba::parseNumber(a.textLiteral->text))
                || (b.textLiteral && !vba::parseNumber(b.textLiteral->text)))
                m_mismatch = true;
        }
        r.aggregate = a.aggregate || b.aggregate;
        return r;
    }

    // The kind of a value that is one of several: theirs when they agree.
    static ValueKind commonKind(const QList<Value> &values)
    {
        std::optional<ValueKind> k;
        for (const Value &v : values) {
            if (v.isNull)
                continue;
            ValueKind vk = v.valueKind();
            if (!k)
                k = vk;
            else if (*k != vk)
                k = isNumericKind(*k) && isNumericKind(vk) ? wider(*k, vk) : ValueKind::Variant;
        }
        return k.value_or(ValueKind::Variant);
    }

    Value call(const Expr &e, const Scope &scope)
    {
        const QString &name = e.name;
        if (name.endsWith(QLatin1Char('$'))) {
            const QString base = name.chopped(1);
            if (!hasTextForm(base))
                fail(texts::kUndefinedFunction, name);
            Expr plain = e;
            plain.name = base;
            Value v = call(plain, scope);
            v.sql = QStringLiteral("jet_nonnull(%1)").arg(v.text());
            v.kind = ValueKind::Text;
            v.cond = false;
            return v;
        }
        auto argCount = [&](int lo, int hi) {
            if (e.args.size() < lo || e.args.size() > hi || (e.star && !sameName(name, QLatin1String("Count"))))
                fail(texts::kWrongArgumentCount, e.text);
        };
        if (isAggregateName(name)) {
            if (m_aggregateDepth > 0)
                fail(texts::kNestedAggregate, name);
            // In a crosstab cell, the aggregates take only the rows of its column.
            const QString filter = m_aggregateFilter;
            if (e.star) {
                if (!sameName(name, QLatin1String("Count")))
                    fail(texts::kSyntaxExpression, name + QStringLiteral("(*)"));
                Value v{filter.isEmpty() ? QStringLiteral("count(*)")
                                         : QStringLiteral("count(CASE WHEN %1 THEN 1 END)").arg(filter),
                        ValueKind::Integer};
                v.aggregate = true;
                return v;
            }
            argCount(1, 1);
            ++m_aggregateDepth;
            Value a = expr(*e.args[0], scope);
            --m_aggregateDepth;
            const Value unfiltered = a;
            if (!filter.isEmpty())
                a.sql = QStringLiteral("(CASE WHEN %1 THEN %2 END)").arg(filter, a.sql);
            ValueKind k = a.valueKind();
            QString arg = a.value();
            QString sql;
            ValueKind rk = k;
            bool exact = false, decimal = false;
            if (sameName(name, QLatin1String("Count"))) {
                sql = QStringLiteral("count(%1)").arg(arg);
                rk = ValueKind::Integer;
            } else if (sameName(name, QLatin1String("Sum"))) {
                // Money adds up exactly, as Jet's Currency does; so does Decimal.
                exact = k == ValueKind::Currency;
                decimal = a.decimal;
                sql = decimal ? QStringLiteral("jet_decsum(%1)").arg(a.sql)
                              : QStringLiteral("sum(%1)").arg(exact ? a.tenThousandths() : arg);
                rk = k == ValueKind::Boolean ? ValueKind::Integer : k == ValueKind::Text ? ValueKind::Double : k;
            } else if (sameName(name, QLatin1String("Avg"))) {
                sql = k == ValueKind::Currency ? QStringLiteral("(avg(%1) / 10000.0)").arg(a.tenThousandths())
                                               : QStringLiteral("avg(%1)").arg(arg);
                rk = k == ValueKind::Currency || k == ValueKind::Date ? k : ValueKind::Double;
            } else if (a.decimal && (sameName(name, QLatin1String("Min")) || sameName(name, QLatin1String("Max")))) {
                decimal = true;
                sql = QStringLiteral("jet_dec%1(%2)").arg(name.toLower(), a.sql);
            } else if (sameName(name, QLatin1String("Min")) || sameName(name, QLatin1String("Max"))) {
                exact = k == ValueKind::Currency;
                sql = QStringLiteral("%1(%2%3)")
                          .arg(name.toLower(), exact ? a.tenThousandths() : arg,
                               a.needsCollation() ? QLatin1String(kCollate) : QLatin1String(""));
            } else if (sameName(name, QLatin1String("First")) || sameName(name, QLatin1String("Last"))) {
                exact = a.scaled;
                decimal = a.decimal;
                sql = QStringLiteral("jet_%1(%2%3)")
                          .arg(name.toLower(), exact || decimal ? unfiltered.sql : unfiltered.value(),
                               filter.isEmpty() ? QString() : QStringLiteral(", ") + filter);
            } else {
                sql = QStringLiteral("jet_%1(%2)").arg(name.toLower(), arg);
                rk = ValueKind::Double;
            }
            Value v{sql, rk};
            v.aggregate = true;
            v.scaled = exact;
            v.decimal = decimal;
            return v;
        }
        if (sameName(name, QLatin1String("IIf"))) {
            argCount(3, 3);
            Value c = expr(*e.args[0], scope), a = expr(*e.args[1], scope), b = expr(*e.args[2], scope);
            ValueKind k = a.isNull ? b.valueKind()
                          : b.isNull ? a.valueKind()
                          : a.valueKind() == b.valueKind() ? a.valueKind()
                          : isNumericKind(a.valueKind()) && isNumericKind(b.valueKind())
                              ? wider(a.valueKind(), b.valueKind())
                              : ValueKind::Variant;
            // Two Decimals (or one and Null) stay exact.
            const bool decimal = (a.decimal || b.decimal) && (a.decimal || a.isNull) && (b.decimal || b.isNull);
            Value v{QStringLiteral("(CASE WHEN %1 THEN %2 ELSE %3 END)")
                        .arg(c.condition(), decimal ? a.sql : a.output(k), decimal ? b.sql : b.output(k)),
                    k};
            v.scaled = k == ValueKind::Currency;
            v.decimal = decimal;
            v.aggregate = c.aggregate || a.aggregate || b.aggregate;
            return v;
        }
        if (sameName(name, QLatin1String("Choose")) || sameName(name, QLatin1String("Switch"))) {
            const bool choose = sameName(name, QLatin1String("Choose"));
            argCount(2, 255);
            QList<Value> args;
            for (const ExprP &a : e.args)
                args.append(expr(*a, scope));
            QList<Value> results;
            for (int i = choose ? 1 : 1; i < args.size(); i += choose ? 1 : 2)
                results.append(args[i]);
            const ValueKind k = commonKind(results);
            QString sql;
            if (choose) {
                // Choose rounds its index to a whole number; out of range gives Null.
                sql = QStringLiteral("(CASE jet_choice(%1)").arg(args[0].value());
                for (int i = 1; i < args.size(); ++i) {
                    sql += QStringLiteral(" WHEN %1 THEN %2").arg(QString::number(i), args[i].output(k));
                }
            } else {
                if (args.size() % 2 != 0)
                    fail(texts::kWrongArgumentCount, e.text);
                sql = QStringLiteral("(CASE");
                for (int i = 0; i + 1 < args.size(); i += 2) {
                    sql += QStringLiteral(" WHEN %1 THEN %2").arg(args[i].condition(), args[i + 1].output(k));
                }
            }
            Value v{sql + QStringLiteral(" END)"), k};
            v.scaled = k == ValueKind::Currency;
            for (const Value &a : std::as_const(args))
                v.aggregate = v.aggregate || a.aggregate;
            return v;
        }
        if (sameName(name, QLatin1String("CVar"))) {
            argCount(1, 1);
            Value a = expr(*e.args[0], scope);
            a.textLiteral = nullptr;
            return a;
        }
        if (sameName(name, QLatin1String("IsEmpty"))) {
            // A field or expression of a query is never Empty, only Null or a value.
            argCount(1, 1);
            Value a = expr(*e.args[0], scope);
            Value v{QStringLiteral("(%1 IS NULL AND 0)").arg(a.value()), ValueKind::Boolean, true};
            v.aggregate = a.aggregate;
            return v;
        }
        if (sameName(name, QLatin1String("IsNull"))) {
            argCount(1, 1);
            Value a = expr(*e.args[0], scope);
            Value v{QStringLiteral("(%1 IS NULL)").arg(a.value()), ValueKind::Boolean, true};
            v.aggregate = a.aggregate;
            return v;
        }
        if (sameName(name, QLatin1String("Format"))) {
            argCount(1, 4);
            Value a = expr(*e.args[0], scope);
            QString fmt = e.args.size() > 1 ? expr(*e.args[1], scope).text() : QStringLiteral("''");
            Value v{QStringLiteral("jet_format(%1, %2, %3)")
                        .arg(a.value(), fmt,
                             a.valueKind() == ValueKind::Date ? QStringLiteral("1") : QStringLiteral("0")),
                    ValueKind::Text};
            v.aggregate = a.aggregate;
            return v;
        }
        const FnSpec *f = findFunction(name);
        if (!f)
            fail(texts::kUndefinedFunction, name);
        if (e.args.size() < f->minArgs || e.args.size() > f->maxArgs || e.star)
            fail(texts::kWrongArgumentCount, e.text);
        QStringList args;
        bool aggregate = false;
        ValueKind first = ValueKind::Variant;
        for (int i = 0; i < e.args.size(); ++i) {
            Value a = expr(*e.args[i], scope);
            int modeIndex = std::min<int>(i, int(qstrlen(f->args)) - 1);
            args << (f->args[modeIndex] == 't' ? a.text() : a.value());
            aggregate = aggregate || a.aggregate;
            if (i == 0)
                first = a.valueKind();
        }
        ValueKind k = ValueKind::Variant;
        switch (f->result) {
        case 'T': k = ValueKind::Text; break;
        case 'I': k = ValueKind::Integer; break;
        case 'D': k = ValueKind::Double; break;
        case 'C': k = ValueKind::Currency; break;
        case 'd': k = ValueKind::Date; break;
        case 'B': k = ValueKind::Integer; break;
        default:
            k = first == ValueKind::Text ? ValueKind::Double
                : first == ValueKind::Boolean ? ValueKind::Integer
                                              : first;
        }
        Value v{QStringLiteral("%1(%2)").arg(QLatin1String(f->sql), args.join(QStringLiteral(", "))), k};
        v.aggregate = aggregate;
        return v;
    }

    void checkNoAggregate(const Value &v, const QString &source)
    {
        if (v.aggregate)
            fail(texts::kAggregateInWhere, source);
    }

    // Whether an expression of an aggregate query only uses grouped values.
    bool covered(const Expr &e, const Scope &scope, const QSet<QString> &grouped)
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
        if (e.kind == Expr::InQuery)
            return covered(*e.args[0], scope, grouped);
        for (const ExprP &a : e.args)
            if (!covered(*a, scope, grouped))
                return false;
        return true;
    }

    static bool scopeHasColumn(const Scope &scope, const QString &name)
    {
        for (const Source &s : scope.sources)
            for (const Column &c : s.columns)
                if (sameName(c.name, name))
                    return true;
        return false;
    }

    static bool mentionsColumn(const Expr &e, const QString &name)
    {
        if (e.kind == Expr::Column && e.qualifier.isEmpty() && sameName(e.name, name))
            return true;
        for (const ExprP &a : e.args)
            if (mentionsColumn(*a, name))
                return true;
        return false;
    }

    // ---- SELECT

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

    // dedupe: the rows will be told apart (DISTINCT, UNION), so text must
    // compare without case there too.
    // finalKinds: a union's column kinds, which its parts' values must take.
    // exact: a Decimal column may leave as its exact text (not in a union,
    // nor where the result is compared as a value).
    SelectOut select(const Select &s, const Scope *parent, bool dedupe, const QList<ValueKind> *finalKinds = nullptr,
                     bool exact = true)
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
    void sourcesOf(const Expr &e, const Scope &scope, QSet<QString> &refs, int depth = 0)
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
    QString distinctRowGroups(const Select &s, const Scope &scope)
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

    QString uncoveredText(const Expr &e, const Scope &scope, const QSet<QString> &grouped, const QString &fallback)
    {
        if (e.kind == Expr::Column) {
            return e.qualifier.isEmpty() ? e.name : e.qualifier + QLatin1Char('.') + e.name;
        }
        for (const ExprP &a : e.args)
            if (!covered(*a, scope, grouped))
                return uncoveredText(*a, scope, grouped, fallback);
        return fallback;
    }

    static QString exprName(int position) { return QStringLiteral("Expr1%1").arg(position, 3, 10, QLatin1Char('0')); }

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

    // ---- whole queries

    // A pivot value as an SQL literal and as a column heading.
    static std::pair<QString, QString> heading(sqlite3_stmt *st, ValueKind kind)
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

    // The distinct values of the pivot expression, ascending: run on the database.
    QList<std::pair<QString, QString>> pivotValues(const SelectOut &part, const Value &pivot)
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

    QueryOut crosstab(const Query &q, const Scope *parent, bool exact)
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

    QString spanText(const Expr &e) const { return e.text.isEmpty() ? e.name : e.text; }

    // exact: Decimal columns may leave as their exact text, for callers that
    // read the result as a table or show it.
    QueryOut query(const Query &q, const Scope *parent, bool exact = true)
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

    QString single(const Select &s, SelectOut &part, const QStringList &sqlNames, const QList<OrderItem> &orderBy)
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
        if (!s.top) {
            if (keys.isEmpty())
                return core;
            if (s.distinct)
                return QStringLiteral("%1 ORDER BY %2").arg(core, order);
            QStringList direct;
            for (const Key &k : std::as_const(keys))
                direct << k.sql + k.suffix;
            return core + QStringLiteral(" ORDER BY ") + direct.join(QStringLiteral(", "));
        }
        const double n = *s.top;
        if (!s.percent && keys.isEmpty())
            return core + QStringLiteral(" LIMIT %1").arg(qint64(n));
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
};

} // namespace

QString ansiPattern(const QString &daoPattern)
{
    QString out;
    for (qsizetype i = 0; i < daoPattern.size(); ++i) {
        const QChar c = daoPattern.at(i);
        if (c == QLatin1Char('*'))
            out += QLatin1Char('%');
        else if (c == QLatin1Char('?'))
            out += QLatin1Char('_');
        else if (c == QLatin1Char('#'))
            out += QStringLiteral("[0-9]");
        else if (c == QLatin1Char('%') || c == QLatin1Char('_'))
            out += QLatin1Char('[') + c + QLatin1Char(']');
        else if (c == QLatin1Char('[')) {
            const qsizetype close = daoPattern.indexOf(QLatin1Char(']'), i + 1);
            if (close < 0) {
                // An unclosed "[" makes the rest literal in both.
                out += daoPattern.mid(i);
                break;
            }
            QString set = daoPattern.mid(i + 1, close - i - 1);
            i = close;
            if (set == QLatin1String("^")) {
                out += set;   // a caret alone; outside brackets it is itself
                continue;
            }
            if (set.startsWith(QLatin1Char('!')))
                set.replace(0, 1, QLatin1Char('^'));
            else if (set.startsWith(QLatin1Char('^')))
                set = set.mid(1) + QLatin1Char('^');   // a literal caret may not lead
            out += QLatin1Char('[') + set + QLatin1Char(']');
        } else {
            out += c;
        }
    }
    return out;
}

Result<Translation> translate(const QString &jetSql, const Catalog &catalog, sqlite3 *db, LikeWildcards like)
{
    try {
        Translator t(catalog, db, like);
        return t.run(jetSql);
    } catch (const TranslateError &e) {
        return Error{e.message};
    }
}

} // namespace kolta::jetsql
