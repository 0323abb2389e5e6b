#include "sqlfunctions.h"

#include "vba.h"

#include <cmath>

namespace kolta::jetsql::functions {

namespace {

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

} // namespace

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

namespace {

// \ and Mod: both operands rounded to whole numbers, a zero divisor refused.
void integerOperation(sqlite3_context *ctx, sqlite3_value **argv, qint64 (*apply)(qint64, qint64))
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
    sqlite3_result_int64(ctx, apply(x, y));
}

} // namespace

void fnIDiv(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    integerOperation(ctx, argv, [](qint64 x, qint64 y) { return x / y; });
}

void fnMod(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    integerOperation(ctx, argv, [](qint64 x, qint64 y) { return x % y; });
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

} // namespace kolta::jetsql::functions
