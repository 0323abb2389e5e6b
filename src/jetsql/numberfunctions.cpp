#include "sqlfunctions.h"

#include "vba.h"

#include <cmath>

namespace kolta::jetsql::functions {

namespace {

// Int, Fix, Abs keep integers integers and dates dates.
void numberResult(sqlite3_context *ctx, sqlite3_value *orig, double r)
{
    if (sqlite3_value_type(orig) == SQLITE_INTEGER)
        sqlite3_result_int64(ctx, qint64(r));
    else
        sqlite3_result_double(ctx, r);
}

template<double (*F)(double), bool Positive, bool NonNegative>
void math(sqlite3_context *ctx, int, sqlite3_value **argv)
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

} // namespace

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

void fnSqr(sqlite3_context *ctx, int argc, sqlite3_value **argv) { math<dsqrt, false, true>(ctx, argc, argv); }
void fnExp(sqlite3_context *ctx, int argc, sqlite3_value **argv) { math<dexp, false, false>(ctx, argc, argv); }
void fnLog(sqlite3_context *ctx, int argc, sqlite3_value **argv) { math<dlog, true, false>(ctx, argc, argv); }
void fnAtn(sqlite3_context *ctx, int argc, sqlite3_value **argv) { math<datan, false, false>(ctx, argc, argv); }
void fnSin(sqlite3_context *ctx, int argc, sqlite3_value **argv) { math<dsin, false, false>(ctx, argc, argv); }
void fnCos(sqlite3_context *ctx, int argc, sqlite3_value **argv) { math<dcos, false, false>(ctx, argc, argv); }
void fnTan(sqlite3_context *ctx, int argc, sqlite3_value **argv) { math<dtan, false, false>(ctx, argc, argv); }

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

} // namespace kolta::jetsql::functions
