#include "translator.h"

#include "functions.h"

#include <optional>

namespace kolta::jetsql::translator {

namespace {

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

// The kind of a value that is one of several: theirs when they agree.
ValueKind commonKind(const QList<Value> &values)
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

} // namespace

bool isAggregateName(const QString &n)
{
    static const char *const names[] = {"Count", "Sum", "Avg", "Min", "Max", "First", "Last",
                                        "StDev", "StDevP", "Var", "VarP", nullptr};
    for (int i = 0; names[i]; ++i)
        if (sameName(n, QLatin1String(names[i])))
            return true;
    return false;
}

Value Translator::call(const Expr &e, const Scope &scope)
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
    const JetFunction *f = findFunction(name);
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

} // namespace kolta::jetsql::translator
