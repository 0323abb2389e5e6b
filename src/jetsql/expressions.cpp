#include "translator.h"

#include "vba.h"

#include <optional>

namespace kolta::jetsql::translator {

namespace {

// Currency with Currency or a whole number: exact, in ten-thousandths.
bool exactCurrency(const Value &a, const Value &b)
{
    auto exact = [](ValueKind k) {
        return k == ValueKind::Currency || k == ValueKind::Integer || k == ValueKind::Boolean;
    };
    ValueKind ka = a.valueKind(), kb = b.valueKind();
    return (ka == ValueKind::Currency || kb == ValueKind::Currency) && exact(ka) && exact(kb) && !a.isNull
           && !b.isNull;
}

// Decimal with Decimal or a whole number: exact, on their texts.
bool exactDecimal(const Value &a, const Value &b)
{
    auto exact = [](const Value &v) {
        const ValueKind k = v.valueKind();
        return v.decimal || (!v.cond && (k == ValueKind::Integer || k == ValueKind::Boolean));
    };
    return (a.decimal || b.decimal) && exact(a) && exact(b) && !a.isNull && !b.isNull;
}

} // namespace

void Translator::checkComparable(const Value &a, const Value &b)
{
    ValueKind ka = a.valueKind(), kb = b.valueKind();
    if (a.isNull || b.isNull)
        return;
    if ((ka == ValueKind::Text && isNumericKind(kb)) || (kb == ValueKind::Text && isNumericKind(ka)))
        m_mismatch = true;
}

// A text literal compared with a date becomes a date, as Jet converts it.
void Translator::dateFromText(Value &text, const Value &other)
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

// An undeclared parameter is text; compared with a date or a number, Jet
// reads the text as one.
static void looseParameterAs(Value &parameter, const Value &other)
{
    if (!parameter.looseParameter)
        return;
    if (other.valueKind() == ValueKind::Date) {
        parameter.sql = QStringLiteral("jet_cdate(%1)").arg(parameter.sql);
        parameter.kind = ValueKind::Date;
    } else if (isNumericKind(other.valueKind())) {
        parameter.sql = QStringLiteral("jet_cdbl(%1)").arg(parameter.sql);
        parameter.kind = ValueKind::Double;
    }
}

Value Translator::compare(const QString &op, Value a, Value b)
{
    looseParameterAs(a, b);
    looseParameterAs(b, a);
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

Value Translator::expr(const Expr &e, const Scope &scope)
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
        const int outerBefore = m_outerReferences;
        QueryOut sub = query(*e.query, &scope, false);
        if (sub.names.size() != 1)
            fail(QString::fromLatin1(texts::kSubqueryFields));
        Value inner{QString(), sub.kinds.first()};
        checkComparable(a, inner);
        // A subquery's Currency comes in ten-thousandths.
        QString left = (inner.kind == ValueKind::Currency ? a.tenThousandths() : a.value())
                       + (a.needsCollation() || inner.needsCollation() ? QLatin1String(kCollate)
                                                                       : QLatin1String(""));
        // A subquery that names nothing outside it becomes a common table
        // expression: nested in place, SQLite's parser gives out long before
        // Jet's 50 levels.
        QString rows = sub.sql;
        if (m_outerReferences == outerBefore) {
            const QString cteName = QStringLiteral("__jet_q%1").arg(m_derived.size() + 1);
            m_derived.append({cteName, sub.sql});
            rows = QStringLiteral("SELECT * FROM ") + quoteId(cteName);
        }
        v = Value{QStringLiteral("(%1 %2IN (%3))")
                      .arg(left, e.negated ? QStringLiteral("NOT ") : QString(), rows),
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
        // Jet refuses a second row where SQLite would take the first.
        const QString column = quoteId(sub.sqlNames.value(0, sub.names.first()));
        Value v{QStringLiteral("(SELECT jet_single(%1) FROM (%2))").arg(column, sub.sql), sub.kinds.first()};
        v.scaled = v.kind == ValueKind::Currency;
        v.decimal = sub.exact.value(0);
        return v;
    }
    case Expr::Quantified: {
        Value a = expr(*e.args[0], scope);
        QueryOut sub = query(*e.query, &scope);
        if (sub.names.size() != 1)
            fail(QString::fromLatin1(texts::kSubqueryFields));
        // jet_q stands for the subquery's rows; an outer table of that name would be hidden.
        Value row{QStringLiteral("jet_q.") + quoteId(sub.sqlNames.value(0, sub.names.first())), sub.kinds.first()};
        row.scaled = row.kind == ValueKind::Currency;
        row.decimal = sub.exact.value(0);
        const QString cmp = compare(e.op, a, row).condition();
        const auto rows = [&](const QString &where) {
            return QStringLiteral("EXISTS (SELECT 1 FROM (") + sub.sql + QStringLiteral(") AS jet_q WHERE ") + where
                   + QLatin1Char(')');
        };
        // SQL's three-valued logic: a decisive row first, then a Null comparison.
        const bool all = e.name == QLatin1String("ALL");
        v = Value{QStringLiteral("(CASE WHEN %1 THEN %2 WHEN %3 THEN NULL ELSE %4 END)")
                      .arg(rows(all ? QStringLiteral("NOT ") + cmp : cmp), all ? QStringLiteral("0")
                                                                                : QStringLiteral("1"),
                           rows(cmp + QStringLiteral(" IS NULL")), all ? QStringLiteral("1") : QStringLiteral("0")),
                  ValueKind::Boolean, true};
        v.aggregate = a.aggregate;
        return v;
    }
    case Expr::Call:
        return call(e, scope);
    }
    return v;
}

Value Translator::binary(const Expr &e, const Scope &scope)
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

} // namespace kolta::jetsql::translator
