#include "jetsql.h"

#include "functions.h"
#include "sqlfunctions.h"
#include "sqltexts.h"

#include <algorithm>
#include <cstring>

namespace kolta::jetsql {

namespace {

using namespace functions;

// What the translator writes besides the calls of jetFunctions(): operators,
// Like, exact Decimal and Currency, Format, the name$ forms, Choose's index.
struct Helper
{
    const char *name;
    int args;
    SqlFunction *fn;
};

const Helper kHelpers[] = {
    {"jet_amp", 2, fnAmp},
    {"jet_dtext", 1, fnDText},
    {"jet_add", 2, fnAdd},
    {"jet_sub", 2, fnSub},
    {"jet_mul", 2, fnMul},
    {"jet_div", 2, fnDiv},
    {"jet_idiv", 2, fnIDiv},
    {"jet_mod", 2, fnMod},
    {"jet_pow", 2, fnPow},
    {"jet_like", 2, fnLike},
    {"jet_alike", 2, fnALike},
    {"jet_decnum", 1, fnDecimalNumber},
    {"jet_decadd", 2, fnDecimalAdd},
    {"jet_decsub", 2, fnDecimalSubtract},
    {"jet_deccmp", 2, fnDecimalCompare},
    {"jet_format", 3, fnFormat},
    {"jet_nonnull", 1, fnNonNull},
    {"jet_cur", 1, fnCur},
    {"jet_choice", 1, fnChoice},
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
    {"jet_single", singleStep, keptFinal},
};

// Core functions the translator emits, besides our own.
const char *const kCoreFunctions[] = {"count", "sum", "avg", "min", "max", "rank", "row_number", nullptr};

} // namespace

int registerJetFunctions(sqlite3 *db)
{
    // SQLite's own texts (||, values read from the tables) end where ours do,
    // a character taking up to three bytes.
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, int(3 * texts::kMaxTextChars + 1024));
    const std::span<const JetFunction> rows = jetFunctions();
    for (auto f = rows.begin(); f != rows.end(); ++f) {
        // Another name for a function registered already (CDec, CVDate).
        if (std::any_of(rows.begin(), f, [&](const JetFunction &g) { return std::strcmp(g.sql, f->sql) == 0; }))
            continue;
        const int args = f->minArgs == f->maxArgs ? f->minArgs : -1;
        const int flags = SQLITE_UTF8 | (f->deterministic ? SQLITE_DETERMINISTIC : 0);
        const int rc = sqlite3_create_function_v2(db, f->sql, args, flags, nullptr, f->fn, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            return rc;
    }
    for (const Helper &h : kHelpers) {
        const int rc = sqlite3_create_function_v2(db, h.name, h.args, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                                  h.fn, nullptr, nullptr, nullptr);
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
    return sqlite3_create_collation_v2(db, "JETCI", SQLITE_UTF8, nullptr, functions::compareJet, nullptr);
}

QString jetMessage(sqlite3 *db, int code)
{
    const QString message = QString::fromUtf8(sqlite3_errmsg(db));
    // What our functions raise is Jet's already.
    for (const char *own : {texts::kTypeMismatch, texts::kOverflow, texts::kInvalidUseOfNull, texts::kInvalidCall,
                            texts::kDivisionByZero, texts::kOutOfStringSpace, texts::kSubqueryRows})
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
            for (const JetFunction &f : jetFunctions())
                if (std::strcmp(arg1, f.sql) == 0)
                    return SQLITE_OK;
            for (const Helper &h : kHelpers)
                if (std::strcmp(arg1, h.name) == 0)
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
