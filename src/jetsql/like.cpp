// Like, both ways a pattern is read: DAO's wildcards (* ? # [!a]) and ANSI's
// (% _ [^a]), as the SQLite functions match them, as one rewrites into the
// other, and the note a translation carries where the page's provider would
// read a Like otherwise than the try.

#include "sqlfunctions.h"
#include "translator.h"

#include <QRegularExpression>

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

namespace kolta::jetsql::functions {

namespace {

// Jet's Like: * ? # [a-z] [!a], case-insensitive, whole value. The ANSI
// form (ALike, and Like as the OLE DB provider reads it): % _ [a-z] [^a].
QRegularExpression likePattern(const QString &pattern, bool ansi)
{
    const QChar any = ansi ? QLatin1Char('%') : QLatin1Char('*');
    const QChar one = ansi ? QLatin1Char('_') : QLatin1Char('?');
    const QChar negation = ansi ? QLatin1Char('^') : QLatin1Char('!');
    QString re = QStringLiteral("\\A");
    for (int i = 0; i < pattern.size(); ++i) {
        QChar c = pattern.at(i);
        if (c == any)
            re += QStringLiteral(".*");
        else if (c == one)
            re += QLatin1Char('.');
        else if (c == QLatin1Char('#') && !ansi)
            re += QStringLiteral("[0-9]");
        else if (c == QLatin1Char('[')) {
            int j = pattern.indexOf(QLatin1Char(']'), i + 1);
            if (j < 0) {
                re += QRegularExpression::escape(pattern.mid(i));
                break;
            }
            QString set = pattern.mid(i + 1, j - i - 1);
            i = j;
            if (set.isEmpty())
                continue;   // [] matches the empty string
            bool negate = set.startsWith(negation);
            if (negate)
                set.remove(0, 1);
            QString cls;
            for (int k = 0; k < set.size(); ++k) {
                QChar s = set.at(k);
                if (s == QLatin1Char('-') && k > 0 && k + 1 < set.size())
                    cls += QLatin1Char('-');
                else if (s.isLetterOrNumber())
                    cls += s;
                else
                    cls += QLatin1Char('\\') + QString(s);
            }
            re += (negate ? QStringLiteral("[^") : QStringLiteral("[")) + cls + QLatin1Char(']');
        } else
            re += QRegularExpression::escape(QString(c));
    }
    re += QStringLiteral("\\z");
    return QRegularExpression(re, QRegularExpression::CaseInsensitiveOption
                                      | QRegularExpression::DotMatchesEverythingOption
                                      | QRegularExpression::UseUnicodePropertiesOption);
}

// A pattern kept between rows: the expression, and for an ASCII pattern of
// * ? # and plain characters also the lower-cased bytes that match ASCII text
// directly, without a conversion per row.
struct LikeMatcher
{
    QRegularExpression re;
    QByteArray ascii;
    bool direct = false;
};

LikeMatcher *likeMatcher(const QString &pattern, bool ansi)
{
    // The byte matcher knows DAO's wildcards only.
    auto *m = new LikeMatcher{likePattern(pattern, ansi), QByteArray(), !ansi};
    for (QChar c : pattern) {
        if (c.unicode() >= 0x80 || c == QLatin1Char('[') || c == QLatin1Char(']') || c.unicode() == 0) {
            m->direct = false;
            break;
        }
    }
    if (m->direct)
        m->ascii = pattern.toLatin1().toLower();
    return m;
}

char lowerAscii(unsigned char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); }

// * ? # over ASCII bytes, without case; the last * backs off one byte at a time.
bool globAscii(const char *p, const char *pe, const unsigned char *s, const unsigned char *se)
{
    const char *star = nullptr;
    const unsigned char *mark = nullptr;
    while (s < se) {
        if (p < pe && *p == '*') {
            star = ++p;
            mark = s;
            continue;
        }
        if (p < pe && (*p == '?' || (*p == '#' ? (*s >= '0' && *s <= '9') : lowerAscii(*s) == *p))) {
            ++p;
            ++s;
            continue;
        }
        if (!star)
            return false;
        p = star;
        s = ++mark;
    }
    while (p < pe && *p == '*')
        ++p;
    return p == pe;
}

void like(sqlite3_context *ctx, sqlite3_value **argv, bool ansi)
{
    if (isNull(argv[0]) || isNull(argv[1])) {
        sqlite3_result_null(ctx);
        return;
    }
    auto *m = static_cast<LikeMatcher *>(sqlite3_get_auxdata(ctx, 1));
    if (!m) {
        sqlite3_set_auxdata(ctx, 1, likeMatcher(textArg(argv[1]), ansi),
                            [](void *p) { delete static_cast<LikeMatcher *>(p); });
        m = static_cast<LikeMatcher *>(sqlite3_get_auxdata(ctx, 1));
        if (!m) {   // not kept (pattern not constant): build per row
            QRegularExpression once = likePattern(textArg(argv[1]), ansi);
            sqlite3_result_int(ctx, once.match(textArg(argv[0])).hasMatch() ? 1 : 0);
            return;
        }
    }
    if (m->direct && sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
        const auto *text = sqlite3_value_text(argv[0]);
        const int size = sqlite3_value_bytes(argv[0]);
        bool ascii = true;
        for (int i = 0; i < size && ascii; ++i)
            ascii = text[i] < 0x80;
        if (ascii) {
            sqlite3_result_int(ctx, globAscii(m->ascii.constData(), m->ascii.constData() + m->ascii.size(), text,
                                              text + size) ? 1 : 0);
            return;
        }
    }
    sqlite3_result_int(ctx, m->re.match(textArg(argv[0])).hasMatch() ? 1 : 0);
}

} // namespace

void fnLike(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    like(ctx, argv, false);
}

void fnALike(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    like(ctx, argv, true);
}

} // namespace kolta::jetsql::functions
