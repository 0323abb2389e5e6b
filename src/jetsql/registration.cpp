#include "jetsql.h"

#include "sqlfunctions.h"
#include "sqltexts.h"

#include <cstring>

namespace kolta::jetsql {

namespace {

using namespace functions;

struct Scalar
{
    const char *name;
    int args;   // -1: any number
    SqlFunction *fn;
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
    {"jet_cint", 1, fnCInt, true},
    {"jet_clng", 1, fnCLng, true},
    {"jet_cbyte", 1, fnCByte, true},
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
    {"jet_sqr", 1, fnSqr, true},
    {"jet_exp", 1, fnExp, true},
    {"jet_log", 1, fnLog, true},
    {"jet_atn", 1, fnAtn, true},
    {"jet_sin", 1, fnSin, true},
    {"jet_cos", 1, fnCos, true},
    {"jet_tan", 1, fnTan, true},
    {"jet_isnumeric", 1, fnIsNumeric, true},
    {"jet_isdate", 1, fnIsDate, true},
    {"jet_date", 0, fnDate, false},
    {"jet_now", 0, fnNow, false},
    {"jet_time", 0, fnTime, false},
    {"jet_year", 1, fnYear, true},
    {"jet_month", 1, fnMonth, true},
    {"jet_day", 1, fnDay, true},
    {"jet_hour", 1, fnHour, true},
    {"jet_minute", 1, fnMinute, true},
    {"jet_second", 1, fnSecond, true},
    {"jet_weekday", -1, fnWeekday, true},
    {"jet_decnum", 1, fnDecimalNumber, true},
    {"jet_decadd", 2, fnDecimalAdd, true},
    {"jet_decsub", 2, fnDecimalSubtract, true},
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
    SqlFunction *step;
    AggregateFinal *final;
};

const Aggregate kAggregates[] = {
    {"jet_first", firstStep, keptFinal},
    {"jet_last", lastStep, keptFinal},
    {"jet_stdev", momentStep, stdevFinal},
    {"jet_stdevp", momentStep, stdevpFinal},
    {"jet_var", momentStep, varFinal},
    {"jet_varp", momentStep, varpFinal},
    {"jet_decsum", decimalSumStep, decimalSumFinal},
    {"jet_decmin", decimalMinStep, decimalBestFinal},
    {"jet_decmax", decimalMaxStep, decimalBestFinal},
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
