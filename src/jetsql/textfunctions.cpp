#include "sqlfunctions.h"

#include "vba.h"

#include <algorithm>
#include <cmath>

namespace kolta::jetsql::functions {

namespace {

QString trimSpaces(const QString &s, bool left, bool right)
{
    int a = 0, b = s.size();
    while (left && a < b && s.at(a) == QLatin1Char(' '))
        ++a;
    while (right && b > a && s.at(b - 1) == QLatin1Char(' '))
        --b;
    return s.mid(a, b - a);
}

Qt::CaseSensitivity compareMode(sqlite3_value *v)
{
    // Jet compares text as the database does: without case unless told so.
    if (isNull(v))
        return Qt::CaseInsensitive;
    std::optional<double> n = numberArg(v);
    return n && *n == 0 ? Qt::CaseSensitive : Qt::CaseInsensitive;
}

} // namespace

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

// The text-only forms (Left$ ...): Null is an error, not a result.
void fnNonNull(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (isNull(argv[0])) {
        setError(ctx, texts::kInvalidUseOfNull);
        return;
    }
    sqlite3_result_value(ctx, argv[0]);
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

} // namespace kolta::jetsql::functions
