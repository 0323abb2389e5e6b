#include "sqlfunctions.h"

#include "vba.h"

#include <cmath>

namespace kolta::jetsql::functions {

namespace {

// The number a conversion to a whole number or a Double takes (a date's text
// counts as its serial number); nothing once the error is set.
std::optional<double> numberOrDate(sqlite3_context *ctx, sqlite3_value *arg)
{
    if (isNull(arg)) {
        setError(ctx, texts::kInvalidUseOfNull);
        return std::nullopt;
    }
    std::optional<double> n = numberArg(arg);
    if (!n && sqlite3_value_type(arg) == SQLITE_TEXT)
        n = vba::parseDate(textArg(arg));
    if (!n)
        mismatch(ctx);
    return n;
}

template<qint64 Lo, qint64 Hi>
void cInteger(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const std::optional<double> n = numberOrDate(ctx, argv[0]);
    if (!n)
        return;
    double r = vba::roundBankers(*n);
    if (r < double(Lo) || r > double(Hi)) {
        setError(ctx, texts::kOverflow);
        return;
    }
    sqlite3_result_int64(ctx, qint64(r));
}

} // namespace

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

void fnCInt(sqlite3_context *ctx, int argc, sqlite3_value **argv) { cInteger<-32768, 32767>(ctx, argc, argv); }
void fnCLng(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    cInteger<-2147483648LL, 2147483647LL>(ctx, argc, argv);
}
void fnCByte(sqlite3_context *ctx, int argc, sqlite3_value **argv) { cInteger<0, 255>(ctx, argc, argv); }

void fnCDbl(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (const std::optional<double> n = numberOrDate(ctx, argv[0]))
        sqlite3_result_double(ctx, *n);
}

namespace {

// The number a conversion to a type that holds magnitudes up to limit takes;
// nothing once the error is set (Null, not a number, too large).
std::optional<double> numberWithin(sqlite3_context *ctx, sqlite3_value *arg, double limit)
{
    if (isNull(arg)) {
        setError(ctx, texts::kInvalidUseOfNull);
        return std::nullopt;
    }
    const std::optional<double> n = numberArg(arg);
    if (!n) {
        mismatch(ctx);
        return std::nullopt;
    }
    if (std::fabs(*n) > limit) {
        setError(ctx, texts::kOverflow);
        return std::nullopt;
    }
    return n;
}

} // namespace

void fnCSng(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    // Single precision, shown with the seven digits a Single carries
    if (const std::optional<double> n = numberWithin(ctx, argv[0], 3.402823466e38))
        sqlite3_result_double(ctx, QString::number(float(*n), 'g', 7).toDouble());
}

void fnCCur(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (const std::optional<double> n = numberWithin(ctx, argv[0], 922337203685477.0))
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

} // namespace kolta::jetsql::functions
