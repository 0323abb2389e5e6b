#pragma once

// The VBA functions a statement may call, one row each: the translator types
// a call by its row, and registerJetFunctions() gives SQLite its function.
// Not part of the library's API.

#include <QString>
#include <span>

struct sqlite3_context;
struct sqlite3_value;

namespace kolta::jetsql {

struct JetFunction
{
    const char *name;   // as Jet spells it
    const char *sql;    // the SQLite function a call becomes
    int minArgs;
    int maxArgs;
    char result;        // T text, I integer, D double, C currency, d date, B boolean, 0 like first argument
    const char *args;   // per argument: t takes text, x any value; the last letter repeats
    void (*fn)(sqlite3_context *, int, sqlite3_value **);
    bool deterministic = true;   // false: each call may give another value (Now)
};

std::span<const JetFunction> jetFunctions();

// The row of the function a statement calls by name (in any case), or nullptr.
const JetFunction *findFunction(const QString &name);

} // namespace kolta::jetsql
