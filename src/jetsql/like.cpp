#include "translator.h"

namespace kolta::jetsql::translator {

namespace {

void stringLiterals(const Expr &e, QList<const Expr *> *out)
{
    if (e.kind == Expr::String)
        out->append(&e);
    for (const ExprP &arg : e.args)
        stringLiterals(*arg, out);
}

} // namespace

// A Like the page's provider reads with ANSI wildcards: what to write so
// that the try and the server give the same rows.
void Translator::noteLike(const Expr &e)
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

} // namespace kolta::jetsql::translator

namespace kolta::jetsql {

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

} // namespace kolta::jetsql
