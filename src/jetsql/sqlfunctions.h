#pragma once

// The SQLite functions behind Jet's and the translator's: they read their
// arguments and give their results as values.h describes, and fail with
// Jet's own words (sqltexts.h). Declared here for the tables that register
// them; not part of the library's API.

#include "sqltexts.h"

#include <QString>
#include <optional>
#include <sqlite3.h>

namespace kolta::jetsql::functions {

using SqlFunction = void(sqlite3_context *, int, sqlite3_value **);
using AggregateFinal = void(sqlite3_context *);

// arguments.cpp: reading arguments, giving results

inline bool isNull(sqlite3_value *v) { return sqlite3_value_type(v) == SQLITE_NULL; }
QString textArg(sqlite3_value *v);
std::optional<double> numberArg(sqlite3_value *v);
std::optional<double> dateArg(sqlite3_value *v);

void setText(sqlite3_context *ctx, const QString &s);
inline void setError(sqlite3_context *ctx, const char *message) { sqlite3_result_error(ctx, message, -1); }
inline void mismatch(sqlite3_context *ctx) { setError(ctx, texts::kTypeMismatch); }
// A text of length chars may be made; otherwise the result is Jet's error.
// Asked before the text is built, so that no statement can make the engine
// run out of memory.
bool roomFor(sqlite3_context *ctx, double chars);
// Two texts joined.
void setJoined(sqlite3_context *ctx, const QString &a, const QString &b);
// Integer results stay integers where Jet's would be Long.
void setNumber(sqlite3_context *ctx, double d);

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

// formatfunctions.cpp
SqlFunction fnMonthName, fnWeekdayName, fnFormatNumber, fnFormatCurrency, fnFormatPercent, fnFormatDateTime;

// operators.cpp
SqlFunction fnAmp, fnDText, fnAdd, fnSub, fnMul, fnDiv, fnIDiv, fnMod, fnPow;

// like.cpp
SqlFunction fnLike, fnALike;

// textfunctions.cpp
SqlFunction fnLeft, fnRight, fnMid, fnLen, fnLCase, fnUCase, fnTrim, fnLTrim, fnRTrim, fnInStr, fnInStrRev,
    fnReplace, fnSpace, fnString, fnStrComp, fnStrReverse, fnStr, fnVal, fnAsc, fnChr, fnHex, fnOct, fnStrConv,
    fnPartition, fnNonNull, fnFormat;

// conversions.cpp
SqlFunction fnCur, fnChoice, fnCStr, fnCInt, fnCLng, fnCByte, fnCDbl, fnCSng, fnCCur, fnCDate, fnCBool;

// numberfunctions.cpp
SqlFunction fnInt, fnFix, fnAbs, fnRound, fnSgn, fnSqr, fnExp, fnLog, fnAtn, fnSin, fnCos, fnTan, fnIsNumeric,
    fnIsDate;

// datefunctions.cpp
SqlFunction fnDate, fnNow, fnTime, fnYear, fnMonth, fnDay, fnHour, fnMinute, fnSecond, fnWeekday, fnDateAdd,
    fnDateDiff, fnDatePart, fnDateSerial, fnTimeSerial, fnDateValue, fnTimeValue;

// decimalfunctions.cpp
SqlFunction fnDecimalNumber, fnDecimalAdd, fnDecimalSubtract, fnDecimalCompare;
SqlFunction decimalSumStep, decimalMinStep, decimalMaxStep;
AggregateFinal decimalSumFinal, decimalBestFinal;

// aggregates.cpp
// First and Last of a crosstab cell take a second argument: whether the row counts.
bool rowCounts(int argc, sqlite3_value **argv);
SqlFunction firstStep, lastStep, singleStep, momentStep;
AggregateFinal keptFinal, stdevFinal, stdevpFinal, varFinal, varpFinal;

// collation.cpp: Jet compares text without case
int compareJet(void *, int n1, const void *p1, int n2, const void *p2);

} // namespace kolta::jetsql::functions
