#include "jetsql.h"

#include "decimal.h"
#include "sqltexts.h"
#include "vba.h"

#include <QDateTime>
#include <QRegularExpression>
#include <sqlite3.h>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>

namespace kolta::jetsql {

namespace {

// ---- reading arguments

bool isNull(sqlite3_value *v) { return sqlite3_value_type(v) == SQLITE_NULL; }

QString textArg(sqlite3_value *v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        return QString::number(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
        return vba::numberText(sqlite3_value_double(v));
    case SQLITE_NULL:
        return QString();
    default:
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(v)), sqlite3_value_bytes(v));
    }
}

std::optional<double> numberArg(sqlite3_value *v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        return double(sqlite3_value_int64(v));
    case SQLITE_FLOAT:
        return sqlite3_value_double(v);
    case SQLITE_TEXT:
        return vba::parseNumber(textArg(v));
    default:
        return std::nullopt;
    }
}

std::optional<double> dateArg(sqlite3_value *v)
{
    if (sqlite3_value_type(v) == SQLITE_TEXT) {
        QString t = textArg(v);
        if (std::optional<double> d = vba::parseDate(t))
            return d;
        return vba::parseNumber(t);
    }
    return numberArg(v);
}

void setText(sqlite3_context *ctx, const QString &s)
{
    QByteArray u = s.toUtf8();
    sqlite3_result_text(ctx, u.constData(), int(u.size()), SQLITE_TRANSIENT);
}

void setError(sqlite3_context *ctx, const char *message) { sqlite3_result_error(ctx, message, -1); }
void mismatch(sqlite3_context *ctx) { setError(ctx, texts::kTypeMismatch); }

// A text of length chars may be made; otherwise the result is Jet's error.
// Asked before the text is built, so that no statement can make the engine
// run out of memory.
bool roomFor(sqlite3_context *ctx, double chars)
{
    if (chars <= double(texts::kMaxTextChars))
        return true;
    setError(ctx, texts::kOutOfStringSpace);
    return false;
}

// Two texts joined.
void setJoined(sqlite3_context *ctx, const QString &a, const QString &b)
{
    if (roomFor(ctx, double(a.size()) + double(b.size())))
        setText(ctx, a + b);
}

// Integer results stay integers where Jet's would be Long.
void setNumber(sqlite3_context *ctx, double d)
{
    if (d == std::trunc(d) && std::fabs(d) < 9.0e15)
        sqlite3_result_int64(ctx, qint64(d));
    else
        sqlite3_result_double(ctx, d);
}

// Arguments as numbers or dates; a Null argument makes the result Null, one
// that does not convert is a type mismatch.
#define CONVERTED_ARG(name, idx, convert)                                                                             \
    if (isNull(argv[idx])) {                                                                                          \
        sqlite3_result_null(ctx);                                                                                     \
        return;                                                                                                       \
    }                                                                                                                 \
    std::optional<double> name##_ = convert(argv[idx]);                                                              \
    if (!name##_) {                                                                                                   \
        mismatch(ctx);                                                                                                \
        return;                                                                                                       \
    }                                                                                                                 \
    double name = *name##_;

#define NUM_ARG(name, idx) CONVERTED_ARG(name, idx, numberArg)
#define DATE_ARG(name, idx) CONVERTED_ARG(name, idx, dateArg)

#define TEXT_ARG(name, idx)                                                                                           \
    if (isNull(argv[idx])) {                                                                                          \
        sqlite3_result_null(ctx);                                                                                     \
        return;                                                                                                       \
    }                                                                                                                 \
    QString name = textArg(argv[idx]);

using Fn = void (*)(sqlite3_context *, int, sqlite3_value **);

// ---- operators

void fnAmp(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (isNull(argv[0]) && isNull(argv[1])) {
        sqlite3_result_null(ctx);
        return;
    }
    setJoined(ctx, textArg(argv[0]), textArg(argv[1]));
}

void fnDText(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT || isNull(argv[0])) {
        sqlite3_result_value(ctx, argv[0]);
        return;
    }
    DATE_ARG(d, 0);
    setText(ctx, vba::dateText(d));
}

void fnAdd(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (isNull(argv[0]) || isNull(argv[1])) {
        sqlite3_result_null(ctx);
        return;
    }
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT && sqlite3_value_type(argv[1]) == SQLITE_TEXT) {
        setJoined(ctx, textArg(argv[0]), textArg(argv[1]));
        return;
    }
    NUM_ARG(a, 0);
    NUM_ARG(b, 1);
    if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && sqlite3_value_type(argv[1]) == SQLITE_INTEGER)
        sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]) + sqlite3_value_int64(argv[1]));
    else
        sqlite3_result_double(ctx, a + b);
}

void fnSub(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(a, 0);
    NUM_ARG(b, 1);
    if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && sqlite3_value_type(argv[1]) == SQLITE_INTEGER)
        sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]) - sqlite3_value_int64(argv[1]));
    else
        sqlite3_result_double(ctx, a - b);
}

void fnMul(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(a, 0);
    NUM_ARG(b, 1);
    if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && sqlite3_value_type(argv[1]) == SQLITE_INTEGER)
        setNumber(ctx, a * b);
    else
        sqlite3_result_double(ctx, a * b);
}

void fnDiv(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(a, 0);
    NUM_ARG(b, 1);
    if (b == 0) {
        setError(ctx, texts::kDivisionByZero);
        return;
    }
    sqlite3_result_double(ctx, a / b);
}

bool integerOperand(sqlite3_context *ctx, double v, qint64 &out)
{
    double r = vba::roundBankers(v);
    if (std::fabs(r) > 2147483647.0) {
        setError(ctx, texts::kOverflow);
        return false;
    }
    out = qint64(r);
    return true;
}

void fnIDiv(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(a, 0);
    NUM_ARG(b, 1);
    qint64 x, y;
    if (!integerOperand(ctx, a, x) || !integerOperand(ctx, b, y))
        return;
    if (y == 0) {
        setError(ctx, texts::kDivisionByZero);
        return;
    }
    sqlite3_result_int64(ctx, x / y);
}

void fnMod(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(a, 0);
    NUM_ARG(b, 1);
    qint64 x, y;
    if (!integerOperand(ctx, a, x) || !integerOperand(ctx, b, y))
        return;
    if (y == 0) {
        setError(ctx, texts::kDivisionByZero);
        return;
    }
    sqlite3_result_int64(ctx, x % y);
}

void fnPow(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(a, 0);
    NUM_ARG(b, 1);
    if (a < 0 && b != std::trunc(b)) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    sqlite3_result_double(ctx, std::pow(a, b));
}

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

void fnLike(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    like(ctx, argv, false);
}

void fnALike(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    like(ctx, argv, true);
}

// ---- text

void fnLeft(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(n, 1);
    TEXT_ARG(s, 0);
    if (n < 0) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    setText(ctx, s.left(int(std::min(n, 1e9))));
}

void fnRight(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(n, 1);
    TEXT_ARG(s, 0);
    if (n < 0) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    setText(ctx, s.right(int(std::min(n, 1e9))));
}

void fnMid(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    NUM_ARG(start, 1);
    double len = -1;
    if (argc > 2) {
        NUM_ARG(l, 2);
        len = l;
        if (len < 0) {
            setError(ctx, texts::kInvalidCall);
            return;
        }
    }
    TEXT_ARG(s, 0);
    if (start < 1) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    setText(ctx, s.mid(int(std::min(start, 1e9)) - 1, len < 0 ? -1 : int(std::min(len, 1e9))));
}

void fnLen(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    TEXT_ARG(s, 0);
    sqlite3_result_int64(ctx, s.size());
}

void fnLCase(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    TEXT_ARG(s, 0);
    setText(ctx, s.toLower());
}

void fnUCase(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    TEXT_ARG(s, 0);
    setText(ctx, s.toUpper());
}

QString trimSpaces(const QString &s, bool left, bool right)
{
    int a = 0, b = s.size();
    while (left && a < b && s.at(a) == QLatin1Char(' '))
        ++a;
    while (right && b > a && s.at(b - 1) == QLatin1Char(' '))
        --b;
    return s.mid(a, b - a);
}

void fnTrim(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    TEXT_ARG(s, 0);
    setText(ctx, trimSpaces(s, true, true));
}

void fnLTrim(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    TEXT_ARG(s, 0);
    setText(ctx, trimSpaces(s, true, false));
}

void fnRTrim(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    TEXT_ARG(s, 0);
    setText(ctx, trimSpaces(s, false, true));
}

Qt::CaseSensitivity compareMode(sqlite3_value *v)
{
    // Jet compares text as the database does: without case unless told so.
    if (isNull(v))
        return Qt::CaseInsensitive;
    std::optional<double> n = numberArg(v);
    return n && *n == 0 ? Qt::CaseSensitive : Qt::CaseInsensitive;
}

void fnInStr(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    int first = 0;
    double start = 1;
    // InStr([start, ]s1, s2[, compare]): a leading number is the start.
    if (argc >= 3) {
        NUM_ARG(st, 0);
        start = st;
        first = 1;
    }
    Qt::CaseSensitivity cs = argc == 4 ? compareMode(argv[3]) : Qt::CaseInsensitive;
    TEXT_ARG(s1, first);
    TEXT_ARG(s2, first + 1);
    if (start < 1) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    if (start > s1.size() + 1) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    sqlite3_result_int64(ctx, s1.indexOf(s2, int(start) - 1, cs) + 1);
}

void fnInStrRev(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    TEXT_ARG(s1, 0);
    TEXT_ARG(s2, 1);
    double start = -1;
    if (argc > 2) {
        NUM_ARG(st, 2);
        start = st;
    }
    Qt::CaseSensitivity cs = argc == 4 ? compareMode(argv[3]) : Qt::CaseInsensitive;
    if (start == 0 || start < -1) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    int from = start < 0 ? -1 : int(std::min<double>(start, s1.size())) - s2.size();
    if (start > 0 && from < 0) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    sqlite3_result_int64(ctx, s1.lastIndexOf(s2, from, cs) + 1);
}

void fnReplace(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    TEXT_ARG(s, 0);
    QString find = textArg(argv[1]), with = textArg(argv[2]);
    double start = 1, count = -1;
    if (argc > 3) {
        NUM_ARG(st, 3);
        start = st;
    }
    if (argc > 4) {
        NUM_ARG(c, 4);
        count = c;
    }
    Qt::CaseSensitivity cs = argc > 5 ? compareMode(argv[5]) : Qt::CaseInsensitive;
    if (start < 1 || count < -1) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    // VBA's Replace returns the text from `start` on.
    QString rest = s.mid(int(start) - 1);
    if (find.isEmpty() || count == 0) {
        setText(ctx, rest);
        return;
    }
    QString out;
    int pos = 0, done = 0;
    while (count < 0 || done < count) {
        int k = rest.indexOf(find, pos, cs);
        if (k < 0)
            break;
        if (!roomFor(ctx, double(out.size()) + (k - pos) + with.size() + (rest.size() - k - find.size())))
            return;
        out += rest.mid(pos, k - pos) + with;
        pos = k + find.size();
        ++done;
    }
    out += rest.mid(pos);
    setText(ctx, out);
}

void fnSpace(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(n, 0);
    if (n < 0) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    if (roomFor(ctx, vba::roundBankers(n)))
        setText(ctx, QString(qsizetype(vba::roundBankers(n)), QLatin1Char(' ')));
}

void fnString(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(n, 0);
    if (isNull(argv[1])) {
        sqlite3_result_null(ctx);
        return;
    }
    QChar c;
    if (sqlite3_value_type(argv[1]) == SQLITE_TEXT) {
        QString s = textArg(argv[1]);
        if (s.isEmpty()) {
            setError(ctx, texts::kInvalidCall);
            return;
        }
        c = s.at(0);
    } else
        c = QChar(ushort(int(*numberArg(argv[1])) % 256));
    if (n < 0) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    if (roomFor(ctx, n))
        setText(ctx, QString(qsizetype(n), c));
}

void fnStrComp(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (isNull(argv[0]) || isNull(argv[1])) {
        sqlite3_result_null(ctx);
        return;
    }
    Qt::CaseSensitivity cs = argc > 2 ? compareMode(argv[2]) : Qt::CaseInsensitive;
    int r = textArg(argv[0]).compare(textArg(argv[1]), cs);
    sqlite3_result_int(ctx, r < 0 ? -1 : r > 0 ? 1 : 0);
}

void fnStrReverse(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    TEXT_ARG(s, 0);
    std::reverse(s.begin(), s.end());
    setText(ctx, s);
}

void fnStr(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(n, 0);
    QString s = vba::numberText(n);
    setText(ctx, n >= 0 ? QLatin1Char(' ') + s : s);
}

void fnVal(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (isNull(argv[0])) {
        setError(ctx, texts::kInvalidUseOfNull);
        return;
    }
    setNumber(ctx, vba::val(textArg(argv[0])));
}

void fnAsc(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    TEXT_ARG(s, 0);
    if (s.isEmpty()) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    sqlite3_result_int(ctx, s.at(0).unicode());
}

void fnChr(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(n, 0);
    if (n < 0 || n > 65535) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    setText(ctx, QString(QChar(ushort(n))));
}

void fnHex(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(n, 0);
    qint64 v = qint64(vba::roundBankers(n));
    setText(ctx, QString::number(v < 0 ? quint32(v) : quint64(v), 16).toUpper());
}

void fnOct(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(n, 0);
    qint64 v = qint64(vba::roundBankers(n));
    setText(ctx, QString::number(v < 0 ? quint32(v) : quint64(v), 8));
}

// StrConv: 1 upper case, 2 lower case, 3 the first letter of each word upper.
void fnStrConv(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(mode, 1);
    TEXT_ARG(s, 0);
    switch (int(mode)) {
    case 1:
        setText(ctx, s.toUpper());
        return;
    case 2:
        setText(ctx, s.toLower());
        return;
    case 3: {
        // Words are separated by the characters VBA names: NUL, tab, line
        // feed, vertical tab, form feed, carriage return and space.
        QString out = s.toLower();
        bool wordStart = true;
        for (QChar &c : out) {
            const ushort u = c.unicode();
            const bool separator = u == 0 || (u >= 9 && u <= 13) || u == 32;
            if (wordStart && !separator)
                c = c.toUpper();
            wordStart = separator;
        }
        setText(ctx, out);
        return;
    }
    default:
        setError(ctx, texts::kInvalidCall);
    }
}

// Partition(number, start, stop, interval): "lower:upper", both sides padded
// to the width of stop + 1 so that the texts sort as the ranges do.
void fnPartition(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(numberValue, 0);
    NUM_ARG(startValue, 1);
    NUM_ARG(stopValue, 2);
    NUM_ARG(intervalValue, 3);
    for (double v : {numberValue, startValue, stopValue, intervalValue})
        if (std::fabs(v) > 2147483647.0) {
            setError(ctx, texts::kOverflow);
            return;
        }
    const qint64 number = qint64(vba::roundBankers(numberValue)), start = qint64(vba::roundBankers(startValue)),
                 stop = qint64(vba::roundBankers(stopValue)), interval = qint64(vba::roundBankers(intervalValue));
    if (start < 0 || stop <= start || interval < 1) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    const int width = int(QString::number(stop + 1).size());
    auto side = [width](std::optional<qint64> v) {
        return (v ? QString::number(*v) : QString()).rightJustified(width, QLatin1Char(' '));
    };
    std::optional<qint64> lower, upper;
    if (interval == 1) {
        lower = upper = number;
    } else if (number < start) {
        upper = start - 1;
    } else if (number > stop) {
        lower = stop + 1;
    } else {
        lower = start + (number - start) / interval * interval;
        upper = std::min(*lower + interval - 1, stop);
    }
    setText(ctx, side(lower) + QLatin1Char(':') + side(upper));
}

// ---- conversions

// A number as Currency: its count of ten-thousandths, rounded half to even.
void fnCur(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(n, 0);
    if (std::fabs(n) >= 922337203685477.5808) {
        setError(ctx, texts::kOverflow);
        return;
    }
    sqlite3_result_int64(ctx, qint64(vba::roundBankers(n * 10000.0)));
}

// The text-only forms (Left$ ...): Null is an error, not a result.
void fnNonNull(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (isNull(argv[0])) {
        setError(ctx, texts::kInvalidUseOfNull);
        return;
    }
    sqlite3_result_value(ctx, argv[0]);
}

// Choose's index: rounded to a whole number; Null stays Null (no choice).
void fnChoice(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(n, 0);
    if (std::fabs(n) > 2147483647.0) {
        sqlite3_result_null(ctx);
        return;
    }
    sqlite3_result_int64(ctx, qint64(vba::roundBankers(n)));
}

void fnCStr(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (isNull(argv[0])) {
        setError(ctx, texts::kInvalidUseOfNull);
        return;
    }
    setText(ctx, textArg(argv[0]));
}

template<qint64 Lo, qint64 Hi>
void fnCInteger(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (isNull(argv[0])) {
        setError(ctx, texts::kInvalidUseOfNull);
        return;
    }
    std::optional<double> n = numberArg(argv[0]);
    if (!n && sqlite3_value_type(argv[0]) == SQLITE_TEXT)
        n = vba::parseDate(textArg(argv[0]));
    if (!n) {
        mismatch(ctx);
        return;
    }
    double r = vba::roundBankers(*n);
    if (r < double(Lo) || r > double(Hi)) {
        setError(ctx, texts::kOverflow);
        return;
    }
    sqlite3_result_int64(ctx, qint64(r));
}

void fnCDbl(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (isNull(argv[0])) {
        setError(ctx, texts::kInvalidUseOfNull);
        return;
    }
    std::optional<double> n = numberArg(argv[0]);
    if (!n && sqlite3_value_type(argv[0]) == SQLITE_TEXT)
        n = vba::parseDate(textArg(argv[0]));
    if (!n) {
        mismatch(ctx);
        return;
    }
    sqlite3_result_double(ctx, *n);
}

void fnCSng(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (isNull(argv[0])) {
        setError(ctx, texts::kInvalidUseOfNull);
        return;
    }
    std::optional<double> n = numberArg(argv[0]);
    if (!n) {
        mismatch(ctx);
        return;
    }
    if (std::fabs(*n) > 3.402823466e38) {
        setError(ctx, texts::kOverflow);
        return;
    }
    // Single precision, shown with the seven digits a Single carries
    sqlite3_result_double(ctx, QString::number(float(*n), 'g', 7).toDouble());
}

void fnCCur(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (isNull(argv[0])) {
        setError(ctx, texts::kInvalidUseOfNull);
        return;
    }
    std::optional<double> n = numberArg(argv[0]);
    if (!n) {
        mismatch(ctx);
        return;
    }
    if (std::fabs(*n) > 922337203685477.0) {
        setError(ctx, texts::kOverflow);
        return;
    }
    sqlite3_result_double(ctx, vba::roundBankers(*n, 4));
}

void fnCDate(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (isNull(argv[0])) {
        setError(ctx, texts::kInvalidUseOfNull);
        return;
    }
    std::optional<double> d = dateArg(argv[0]);
    if (!d) {
        mismatch(ctx);
        return;
    }
    sqlite3_result_double(ctx, *d);
}

void fnCBool(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (isNull(argv[0])) {
        setError(ctx, texts::kInvalidUseOfNull);
        return;
    }
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
        QString t = textArg(argv[0]).trimmed();
        if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
            sqlite3_result_int(ctx, -1);
            return;
        }
        if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
            sqlite3_result_int(ctx, 0);
            return;
        }
    }
    std::optional<double> n = numberArg(argv[0]);
    if (!n) {
        mismatch(ctx);
        return;
    }
    sqlite3_result_int(ctx, *n != 0 ? -1 : 0);
}

// ---- numbers

// Int, Fix, Abs keep integers integers and dates dates.
void numberResult(sqlite3_context *ctx, sqlite3_value *orig, double r)
{
    if (sqlite3_value_type(orig) == SQLITE_INTEGER)
        sqlite3_result_int64(ctx, qint64(r));
    else
        sqlite3_result_double(ctx, r);
}

void fnInt(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(n, 0);
    numberResult(ctx, argv[0], std::floor(n));
}

void fnFix(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(n, 0);
    numberResult(ctx, argv[0], std::trunc(n));
}

void fnAbs(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(n, 0);
    numberResult(ctx, argv[0], std::fabs(n));
}

void fnRound(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    NUM_ARG(n, 0);
    double digits = 0;
    if (argc > 1) {
        NUM_ARG(d, 1);
        digits = d;
    }
    if (digits < 0 || digits > 22) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    numberResult(ctx, argv[0], vba::roundBankers(n, int(digits)));
}

void fnSgn(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(n, 0);
    sqlite3_result_int(ctx, n > 0 ? 1 : n < 0 ? -1 : 0);
}

template<double (*F)(double), bool Positive, bool NonNegative>
void fnMath(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(n, 0);
    if ((Positive && n <= 0) || (NonNegative && n < 0)) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    double r = F(n);
    if (std::isinf(r)) {
        setError(ctx, texts::kOverflow);
        return;
    }
    sqlite3_result_double(ctx, r);
}
double dsqrt(double x) { return std::sqrt(x); }
double dexp(double x) { return std::exp(x); }
double dlog(double x) { return std::log(x); }
double datan(double x) { return std::atan(x); }
double dsin(double x) { return std::sin(x); }
double dcos(double x) { return std::cos(x); }
double dtan(double x) { return std::tan(x); }

void fnIsNumeric(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    int t = sqlite3_value_type(argv[0]);
    bool yes = t == SQLITE_INTEGER || t == SQLITE_FLOAT || (t == SQLITE_TEXT && vba::parseNumber(textArg(argv[0])));
    sqlite3_result_int(ctx, yes ? -1 : 0);
}

void fnIsDate(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    bool yes = sqlite3_value_type(argv[0]) == SQLITE_TEXT && vba::parseDate(textArg(argv[0]));
    sqlite3_result_int(ctx, yes ? -1 : 0);
}

// ---- dates

double nowOle() { return oleDateFromDateTime(QDateTime::currentDateTime()); }

void fnDate(sqlite3_context *ctx, int, sqlite3_value **) { sqlite3_result_double(ctx, std::trunc(nowOle())); }
void fnNow(sqlite3_context *ctx, int, sqlite3_value **) { sqlite3_result_double(ctx, nowOle()); }
void fnTime(sqlite3_context *ctx, int, sqlite3_value **)
{
    double n = nowOle();
    sqlite3_result_double(ctx, n - std::trunc(n));
}

template<int Part>
void fnDatePart1(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    DATE_ARG(d, 0);
    vba::DateParts p = vba::dateParts(d);
    int v = 0;
    switch (Part) {
    case 0: v = p.year; break;
    case 1: v = p.month; break;
    case 2: v = p.day; break;
    case 3: v = p.hour; break;
    case 4: v = p.minute; break;
    case 5: v = p.second; break;
    case 6: {
        int firstDay = 1;   // vbSunday
        if (argc > 1 && !isNull(argv[1]))
            firstDay = int(numberArg(argv[1]).value_or(1));
        if (firstDay == 0)
            firstDay = 1;
        int sundayBased = p.dayOfWeek % 7 + 1;   // 1 Sunday .. 7 Saturday
        v = (sundayBased - firstDay + 7) % 7 + 1;
        break;
    }
    }
    sqlite3_result_int(ctx, v);
}

enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second, Bad };

Interval interval(const QString &s)
{
    QString t = s.trimmed().toLower();
    if (t == QLatin1String("yyyy")) return Interval::Year;
    if (t == QLatin1String("q")) return Interval::Quarter;
    if (t == QLatin1String("m")) return Interval::Month;
    if (t == QLatin1String("y")) return Interval::DayOfYear;
    if (t == QLatin1String("d")) return Interval::Day;
    if (t == QLatin1String("w")) return Interval::Weekday;
    if (t == QLatin1String("ww")) return Interval::Week;
    if (t == QLatin1String("h")) return Interval::Hour;
    if (t == QLatin1String("n")) return Interval::Minute;
    if (t == QLatin1String("s")) return Interval::Second;
    return Interval::Bad;
}

void fnDateAdd(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    TEXT_ARG(iv, 0);
    NUM_ARG(n, 1);
    DATE_ARG(d, 2);
    Interval i = interval(iv);
    qint64 k = qint64(std::trunc(n));
    qint64 day = vba::dayNumber(d);
    qint64 sec = vba::secondOfDay(d);
    double result = 0;
    switch (i) {
    case Interval::Year: case Interval::Quarter: case Interval::Month: {
        vba::DateParts p = vba::dateParts(d);
        qint64 months = i == Interval::Year ? k * 12 : i == Interval::Quarter ? k * 3 : k;
        qint64 total = qint64(p.year) * 12 + (p.month - 1) + months;
        int y = int(total / 12), m = int(total % 12) + 1;
        if (y < 100 || y > 9999) {
            setError(ctx, texts::kInvalidCall);
            return;
        }
        int dim = QDate(y, m, 1).daysInMonth();
        std::optional<double> base = vba::dateSerial(y, m, std::min(p.day, dim));
        result = vba::fromDayAndSeconds(qint64(*base), sec);
        break;
    }
    case Interval::DayOfYear: case Interval::Day: case Interval::Weekday:
        result = vba::fromDayAndSeconds(day + k, sec);
        break;
    case Interval::Week:
        result = vba::fromDayAndSeconds(day + 7 * k, sec);
        break;
    case Interval::Hour:
        result = vba::fromDayAndSeconds(day, sec + 3600 * k);
        break;
    case Interval::Minute:
        result = vba::fromDayAndSeconds(day, sec + 60 * k);
        break;
    case Interval::Second:
        result = vba::fromDayAndSeconds(day, sec + k);
        break;
    case Interval::Bad:
        setError(ctx, texts::kInvalidCall);
        return;
    }
    if (result < -657434.0 || result >= 2958466.0) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    sqlite3_result_double(ctx, result);
}

qint64 floorDiv(qint64 a, qint64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

void fnDateDiff(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    TEXT_ARG(iv, 0);
    DATE_ARG(d1, 1);
    DATE_ARG(d2, 2);
    int firstDay = 1;
    if (argc > 3 && !isNull(argv[3]))
        firstDay = int(numberArg(argv[3]).value_or(1));
    if (firstDay == 0)
        firstDay = 1;
    vba::DateParts a = vba::dateParts(d1), b = vba::dateParts(d2);
    qint64 day1 = vba::dayNumber(d1), day2 = vba::dayNumber(d2);
    qint64 s1 = day1 * 86400 + vba::secondOfDay(d1), s2 = day2 * 86400 + vba::secondOfDay(d2);
    qint64 r = 0;
    switch (interval(iv)) {
    case Interval::Year: r = b.year - a.year; break;
    case Interval::Quarter: r = (b.year * 4 + (b.month - 1) / 3) - (a.year * 4 + (a.month - 1) / 3); break;
    case Interval::Month: r = (b.year * 12 + b.month) - (a.year * 12 + a.month); break;
    case Interval::DayOfYear: case Interval::Day: r = day2 - day1; break;
    case Interval::Weekday: r = (day2 - day1) / 7; break;
    case Interval::Week: {
        // Weeks crossed, counted at each first day of the week. Day 0 (1899-12-30) is a Saturday.
        qint64 offset = (7 - firstDay) % 7;   // shift so weeks start on firstDay
        r = floorDiv(day2 + offset, 7) - floorDiv(day1 + offset, 7);
        break;
    }
    case Interval::Hour: r = floorDiv(s2, 3600) - floorDiv(s1, 3600); break;
    case Interval::Minute: r = floorDiv(s2, 60) - floorDiv(s1, 60); break;
    case Interval::Second: r = s2 - s1; break;
    case Interval::Bad:
        setError(ctx, texts::kInvalidCall);
        return;
    }
    sqlite3_result_int64(ctx, r);
}

void fnDatePart(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    TEXT_ARG(iv, 0);
    DATE_ARG(d, 1);
    int firstDay = 1;
    if (argc > 2 && !isNull(argv[2]))
        firstDay = int(numberArg(argv[2]).value_or(1));
    if (firstDay == 0)
        firstDay = 1;
    vba::DateParts p = vba::dateParts(d);
    QDate date(p.year, p.month, p.day);
    int sundayBased = p.dayOfWeek % 7 + 1;
    int weekday = (sundayBased - firstDay + 7) % 7 + 1;
    int r = 0;
    switch (interval(iv)) {
    case Interval::Year: r = p.year; break;
    case Interval::Quarter: r = (p.month - 1) / 3 + 1; break;
    case Interval::Month: r = p.month; break;
    case Interval::DayOfYear: r = date.dayOfYear(); break;
    case Interval::Day: r = p.day; break;
    case Interval::Weekday: r = weekday; break;
    case Interval::Week: {
        QDate jan1(p.year, 1, 1);
        int jan1Weekday = (jan1.dayOfWeek() % 7 + 1 - firstDay + 7) % 7;   // 0 = first day of week
        r = (date.dayOfYear() - 1 + jan1Weekday) / 7 + 1;
        break;
    }
    case Interval::Hour: r = p.hour; break;
    case Interval::Minute: r = p.minute; break;
    case Interval::Second: r = p.second; break;
    case Interval::Bad:
        setError(ctx, texts::kInvalidCall);
        return;
    }
    sqlite3_result_int(ctx, r);
}

void fnDateSerial(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(y, 0);
    NUM_ARG(m, 1);
    NUM_ARG(d, 2);
    if (std::fabs(y) > 1e6 || std::fabs(m) > 1e6 || std::fabs(d) > 1e7) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    std::optional<double> r = vba::dateSerial(int(vba::roundBankers(y)), int(vba::roundBankers(m)),
                                              int(vba::roundBankers(d)));
    if (!r) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    sqlite3_result_double(ctx, *r);
}

void fnTimeSerial(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(h, 0);
    NUM_ARG(m, 1);
    NUM_ARG(s, 2);
    if (std::fabs(h) > 1e6 || std::fabs(m) > 1e8 || std::fabs(s) > 1e10) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    qint64 total = qint64(h) * 3600 + qint64(m) * 60 + qint64(s);
    sqlite3_result_double(ctx, vba::fromDayAndSeconds(0, total));
}

void fnDateValue(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    DATE_ARG(d, 0);
    sqlite3_result_double(ctx, double(vba::dayNumber(d)));
}

void fnTimeValue(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    DATE_ARG(d, 0);
    sqlite3_result_double(ctx, vba::secondOfDay(d) / 86400.0);
}

void fnFormat(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (isNull(argv[0])) {
        sqlite3_result_null(ctx);
        return;
    }
    QString fmt = textArg(argv[1]);
    bool isDate = sqlite3_value_int(argv[2]) != 0;
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
        QString t = textArg(argv[0]);
        setText(ctx, vba::format(0, &t, false, fmt));
        return;
    }
    std::optional<double> n = numberArg(argv[0]);
    if (!n) {
        mismatch(ctx);
        return;
    }
    setText(ctx, vba::format(*n, nullptr, isDate, fmt));
}

// ---- aggregates

struct Kept
{
    sqlite3_value *value;
    bool set;
};

// First and Last of a crosstab cell take a second argument: whether the row counts.
bool rowCounts(int argc, sqlite3_value **argv)
{
    return argc < 2 || sqlite3_value_int(argv[1]) != 0;
}

void firstStep(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (!rowCounts(argc, argv))
        return;
    auto *k = static_cast<Kept *>(sqlite3_aggregate_context(ctx, sizeof(Kept)));
    if (k && !k->set) {
        k->value = sqlite3_value_dup(argv[0]);
        k->set = true;
    }
}

void lastStep(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (!rowCounts(argc, argv))
        return;
    auto *k = static_cast<Kept *>(sqlite3_aggregate_context(ctx, sizeof(Kept)));
    if (k) {
        sqlite3_value_free(k->value);
        k->value = sqlite3_value_dup(argv[0]);
        k->set = true;
    }
}

void keptFinal(sqlite3_context *ctx)
{
    auto *k = static_cast<Kept *>(sqlite3_aggregate_context(ctx, 0));
    if (k && k->set) {
        sqlite3_result_value(ctx, k->value);
        sqlite3_value_free(k->value);
        k->value = nullptr;
    } else
        sqlite3_result_null(ctx);
}

struct Moments
{
    qint64 n;
    double mean, m2;
};

void momentStep(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (isNull(argv[0]))
        return;
    std::optional<double> x = numberArg(argv[0]);
    if (!x) {
        mismatch(ctx);
        return;
    }
    auto *m = static_cast<Moments *>(sqlite3_aggregate_context(ctx, sizeof(Moments)));
    if (!m)
        return;
    ++m->n;
    double delta = *x - m->mean;
    m->mean += delta / double(m->n);
    m->m2 += delta * (*x - m->mean);
}

template<bool Population, bool Root>
void momentFinal(sqlite3_context *ctx)
{
    auto *m = static_cast<Moments *>(sqlite3_aggregate_context(ctx, 0));
    qint64 minimum = Population ? 1 : 2;
    if (!m || m->n < minimum) {
        sqlite3_result_null(ctx);
        return;
    }
    double var = m->m2 / double(Population ? m->n : m->n - 1);
    sqlite3_result_double(ctx, Root ? std::sqrt(var) : var);
}

// ---- collation: Jet compares text without case

int compareJet(void *, int n1, const void *p1, int n2, const void *p2)
{
    const auto *a = static_cast<const unsigned char *>(p1);
    const auto *b = static_cast<const unsigned char *>(p2);
    int n = std::min(n1, n2);
    bool ascii = true;
    for (int i = 0; i < n && ascii; ++i) {
        if ((a[i] | b[i]) & 0x80) {
            ascii = false;
            break;
        }
        int ca = a[i] >= 'A' && a[i] <= 'Z' ? a[i] + 32 : a[i];
        int cb = b[i] >= 'A' && b[i] <= 'Z' ? b[i] + 32 : b[i];
        if (ca != cb)
            return ca - cb;
    }
    if (ascii) {
        bool restAscii = true;
        for (int i = n; i < n1 && restAscii; ++i)
            restAscii = !(a[i] & 0x80);
        for (int i = n; i < n2 && restAscii; ++i)
            restAscii = !(b[i] & 0x80);
        if (restAscii)
            return n1 - n2;
    }
    QString sa = QString::fromUtf8(reinterpret_cast<const char *>(a), n1);
    QString sb = QString::fromUtf8(reinterpret_cast<const char *>(b), n2);
    return sa.compare(sb, Qt::CaseInsensitive);
}

// ---- Decimal, exact: its values come as text (see values.h)

std::optional<Decimal> decimalArg(sqlite3_value *v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        return Decimal{sqlite3_value_int64(v), 0};
    case SQLITE_FLOAT: {
        char text[40];
        const auto written = std::to_chars(text, text + sizeof text, sqlite3_value_double(v));
        return parseDecimal(std::string_view(text, size_t(written.ptr - text)));
    }
    default: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(v));
        return text ? parseDecimal(std::string_view(text, size_t(sqlite3_value_bytes(v)))) : std::nullopt;
    }
    }
}

void resultDecimal(sqlite3_context *ctx, const std::optional<Decimal> &d)
{
    if (!d) {
        setError(ctx, texts::kOverflow);
        return;
    }
    const std::string text = decimalText(*d);
    sqlite3_result_text(ctx, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

// A Decimal as a Double, for everything but exact sums and comparisons.
void fnDecimalNumber(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) {
        sqlite3_result_value(ctx, argv[0]);
        return;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    double value = 0;
    const auto read = std::from_chars(text, text + sqlite3_value_bytes(argv[0]), value);
    if (read.ec == std::errc() && read.ptr == text + sqlite3_value_bytes(argv[0]))
        sqlite3_result_double(ctx, value);
    else
        sqlite3_result_value(ctx, argv[0]);
}

template<bool Subtract>
void fnDecimalAdd(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (isNull(argv[0]) || isNull(argv[1])) {
        sqlite3_result_null(ctx);
        return;
    }
    const std::optional<Decimal> a = decimalArg(argv[0]);
    std::optional<Decimal> b = decimalArg(argv[1]);
    if (!a || !b) {
        mismatch(ctx);
        return;
    }
    if (Subtract)
        b->units = -b->units;
    resultDecimal(ctx, addDecimals(*a, *b));
}

void fnDecimalCompare(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (isNull(argv[0]) || isNull(argv[1])) {
        sqlite3_result_null(ctx);
        return;
    }
    const std::optional<Decimal> a = decimalArg(argv[0]), b = decimalArg(argv[1]);
    if (!a || !b) {
        mismatch(ctx);
        return;
    }
    sqlite3_result_int(ctx, compareDecimals(*a, *b));
}

// SQLite keeps an aggregate's state only 8-byte aligned, too little for an
// __int128: the Decimal is copied in and out.
struct DecimalState
{
    unsigned char bytes[sizeof(Decimal)];
    bool any;
    bool overflow;

    Decimal value() const
    {
        Decimal d;
        std::memcpy(static_cast<void *>(&d), bytes, sizeof d);
        return d;
    }
    void set(const Decimal &d)
    {
        std::memcpy(bytes, static_cast<const void *>(&d), sizeof d);
        any = true;
    }
};

void decimalSumStep(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (!rowCounts(argc, argv) || isNull(argv[0]))
        return;
    auto *sum = static_cast<DecimalState *>(sqlite3_aggregate_context(ctx, sizeof(DecimalState)));
    if (!sum || sum->overflow)
        return;
    const std::optional<Decimal> d = decimalArg(argv[0]);
    const std::optional<Decimal> total = !d ? std::nullopt : sum->any ? addDecimals(sum->value(), *d) : d;
    if (total)
        sum->set(*total);
    else
        sum->overflow = sum->any = true;
}

void decimalSumFinal(sqlite3_context *ctx)
{
    auto *sum = static_cast<DecimalState *>(sqlite3_aggregate_context(ctx, 0));
    if (!sum || !sum->any)
        sqlite3_result_null(ctx);
    else
        resultDecimal(ctx, sum->overflow ? std::nullopt : std::optional<Decimal>(sum->value()));
}

template<int Sign>
void decimalBestStep(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (!rowCounts(argc, argv) || isNull(argv[0]))
        return;
    auto *best = static_cast<DecimalState *>(sqlite3_aggregate_context(ctx, sizeof(DecimalState)));
    const std::optional<Decimal> d = decimalArg(argv[0]);
    if (best && d && (!best->any || compareDecimals(*d, best->value()) == Sign))
        best->set(*d);
}

void decimalBestFinal(sqlite3_context *ctx)
{
    auto *best = static_cast<DecimalState *>(sqlite3_aggregate_context(ctx, 0));
    if (!best || !best->any)
        sqlite3_result_null(ctx);
    else
        resultDecimal(ctx, best->value());
}

struct Scalar
{
    const char *name;
    int args;   // -1: any number
    Fn fn;
    bool deterministic;
};

const Scalar kScalars[] = {
    {"jet_amp", 2, fnAmp, true},
    {"jet_dtext", 1, fnDText, true},
    {"jet_add", 2, fnAdd, true},
    {"jet_sub", 2, fnSub, true},
    {"jet_mul", 2, fnMul, true},
    {"jet_div", 2, fnDiv, true},
    {"jet_idiv", 2, fnIDiv, true},
    {"jet_mod", 2, fnMod, true},
    {"jet_pow", 2, fnPow, true},
    {"jet_like", 2, fnLike, true},
    {"jet_alike", 2, fnALike, true},
    {"jet_left", 2, fnLeft, true},
    {"jet_right", 2, fnRight, true},
    {"jet_mid", -1, fnMid, true},
    {"jet_len", 1, fnLen, true},
    {"jet_lcase", 1, fnLCase, true},
    {"jet_ucase", 1, fnUCase, true},
    {"jet_trim", 1, fnTrim, true},
    {"jet_ltrim", 1, fnLTrim, true},
    {"jet_rtrim", 1, fnRTrim, true},
    {"jet_instr", -1, fnInStr, true},
    {"jet_instrrev", -1, fnInStrRev, true},
    {"jet_replace", -1, fnReplace, true},
    {"jet_space", 1, fnSpace, true},
    {"jet_string", 2, fnString, true},
    {"jet_strcomp", -1, fnStrComp, true},
    {"jet_strreverse", 1, fnStrReverse, true},
    {"jet_str", 1, fnStr, true},
    {"jet_val", 1, fnVal, true},
    {"jet_asc", 1, fnAsc, true},
    {"jet_chr", 1, fnChr, true},
    {"jet_hex", 1, fnHex, true},
    {"jet_oct", 1, fnOct, true},
    {"jet_cstr", 1, fnCStr, true},
    {"jet_cint", 1, fnCInteger<-32768, 32767>, true},
    {"jet_clng", 1, fnCInteger<-2147483648LL, 2147483647LL>, true},
    {"jet_cbyte", 1, fnCInteger<0, 255>, true},
    {"jet_cdbl", 1, fnCDbl, true},
    {"jet_csng", 1, fnCSng, true},
    {"jet_ccur", 1, fnCCur, true},
    {"jet_cdate", 1, fnCDate, true},
    {"jet_cbool", 1, fnCBool, true},
    {"jet_int", 1, fnInt, true},
    {"jet_fix", 1, fnFix, true},
    {"jet_abs", 1, fnAbs, true},
    {"jet_round", -1, fnRound, true},
    {"jet_sgn", 1, fnSgn, true},
    {"jet_sqr", 1, fnMath<dsqrt, false, true>, true},
    {"jet_exp", 1, fnMath<dexp, false, false>, true},
    {"jet_log", 1, fnMath<dlog, true, false>, true},
    {"jet_atn", 1, fnMath<datan, false, false>, true},
    {"jet_sin", 1, fnMath<dsin, false, false>, true},
    {"jet_cos", 1, fnMath<dcos, false, false>, true},
    {"jet_tan", 1, fnMath<dtan, false, false>, true},
    {"jet_isnumeric", 1, fnIsNumeric, true},
    {"jet_isdate", 1, fnIsDate, true},
    {"jet_date", 0, fnDate, false},
    {"jet_now", 0, fnNow, false},
    {"jet_time", 0, fnTime, false},
    {"jet_year", 1, fnDatePart1<0>, true},
    {"jet_month", 1, fnDatePart1<1>, true},
    {"jet_day", 1, fnDatePart1<2>, true},
    {"jet_hour", 1, fnDatePart1<3>, true},
    {"jet_minute", 1, fnDatePart1<4>, true},
    {"jet_second", 1, fnDatePart1<5>, true},
    {"jet_weekday", -1, fnDatePart1<6>, true},
    {"jet_decnum", 1, fnDecimalNumber, true},
    {"jet_decadd", 2, fnDecimalAdd<false>, true},
    {"jet_decsub", 2, fnDecimalAdd<true>, true},
    {"jet_deccmp", 2, fnDecimalCompare, true},
    {"jet_dateadd", 3, fnDateAdd, true},
    {"jet_datediff", -1, fnDateDiff, true},
    {"jet_datepart", -1, fnDatePart, true},
    {"jet_dateserial", 3, fnDateSerial, true},
    {"jet_timeserial", 3, fnTimeSerial, true},
    {"jet_datevalue", 1, fnDateValue, true},
    {"jet_timevalue", 1, fnTimeValue, true},
    {"jet_format", 3, fnFormat, true},
    {"jet_strconv", -1, fnStrConv, true},
    {"jet_partition", 4, fnPartition, true},
    {"jet_nonnull", 1, fnNonNull, true},
    {"jet_cur", 1, fnCur, true},
    {"jet_choice", 1, fnChoice, true},
};

struct Aggregate
{
    const char *name;
    Fn step;
    void (*final)(sqlite3_context *);
};

const Aggregate kAggregates[] = {
    {"jet_first", firstStep, keptFinal},
    {"jet_last", lastStep, keptFinal},
    {"jet_stdev", momentStep, momentFinal<false, true>},
    {"jet_stdevp", momentStep, momentFinal<true, true>},
    {"jet_var", momentStep, momentFinal<false, false>},
    {"jet_varp", momentStep, momentFinal<true, false>},
    {"jet_decsum", decimalSumStep, decimalSumFinal},
    {"jet_decmin", decimalBestStep<-1>, decimalBestFinal},
    {"jet_decmax", decimalBestStep<1>, decimalBestFinal},
};

// Core functions the translator emits, besides our own.
const char *const kCoreFunctions[] = {"count", "sum", "avg", "min", "max", "rank", "row_number", nullptr};

} // namespace

int registerJetFunctions(sqlite3 *db)
{
    // SQLite's own texts (||, values read from the tables) end where ours do,
    // a character taking up to three bytes.
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, int(3 * texts::kMaxTextChars + 1024));
    for (const Scalar &s : kScalars) {
        int flags = SQLITE_UTF8 | (s.deterministic ? SQLITE_DETERMINISTIC : 0);
        int rc = sqlite3_create_function_v2(db, s.name, s.args, flags, nullptr, s.fn, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            return rc;
    }
    for (const Aggregate &a : kAggregates) {
        for (int args = 1; args <= 2; ++args) {
            int rc = sqlite3_create_function_v2(db, a.name, args, SQLITE_UTF8, nullptr, nullptr, a.step, a.final,
                                                nullptr);
            if (rc != SQLITE_OK)
                return rc;
        }
    }
    return sqlite3_create_collation_v2(db, "JETCI", SQLITE_UTF8, nullptr, compareJet, nullptr);
}

QString jetMessage(sqlite3 *db, int code)
{
    const QString message = QString::fromUtf8(sqlite3_errmsg(db));
    // What our functions raise is Jet's already.
    for (const char *own : {texts::kTypeMismatch, texts::kOverflow, texts::kInvalidUseOfNull, texts::kInvalidCall,
                            texts::kDivisionByZero, texts::kOutOfStringSpace})
        if (message == QLatin1String(own))
            return message;
    switch (code & 0xff) {
    case SQLITE_TOOBIG:
        return QString::fromLatin1(texts::kOutOfStringSpace);
    case SQLITE_NOMEM:
        return QString::fromLatin1(texts::kOutOfMemory);
    default:
        break;
    }
    // SQLite's bounds on the size of a statement.
    static const char *const limits[] = {"parser stack overflow", "Expression tree is too large",
                                         "too many terms in compound SELECT", "tables in a join",
                                         "too many columns", "too many arguments on function",
                                         "too many FROM clause terms", "too many terms in", "too many references",
                                         "too many SQL variables", "statement too long"};
    for (const char *limit : limits)
        if (message.contains(QLatin1String(limit), Qt::CaseInsensitive))
            return QString::fromLatin1(texts::kTooComplex);
    return QString();
}

int readOnlyAuthorizer(void *, int action, const char *, const char *arg2, const char *, const char *)
{
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_RECURSIVE:
        return SQLITE_OK;
    case SQLITE_FUNCTION: {
        // the function's name comes as the second argument
        const char *arg1 = arg2;
        if (!arg1)
            return SQLITE_DENY;
        if (std::strncmp(arg1, "jet_", 4) == 0) {
            for (const Scalar &s : kScalars)
                if (std::strcmp(arg1, s.name) == 0)
                    return SQLITE_OK;
            for (const Aggregate &a : kAggregates)
                if (std::strcmp(arg1, a.name) == 0)
                    return SQLITE_OK;
            return SQLITE_DENY;
        }
        for (int i = 0; kCoreFunctions[i]; ++i)
            if (sqlite3_stricmp(arg1, kCoreFunctions[i]) == 0)
                return SQLITE_OK;
        return SQLITE_DENY;
    }
    default:
        return SQLITE_DENY;
    }
}

} // namespace kolta::jetsql
