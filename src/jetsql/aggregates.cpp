#include "sqlfunctions.h"

#include <cmath>

namespace kolta::jetsql::functions {

namespace {

struct Kept
{
    sqlite3_value *value;
    bool set;
};

struct Moments
{
    qint64 n;
    double mean, m2;
};

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

} // namespace

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

void singleStep(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    auto *k = static_cast<Kept *>(sqlite3_aggregate_context(ctx, sizeof(Kept)));
    if (!k)
        return;
    if (k->set) {
        sqlite3_result_error(ctx, texts::kSubqueryRows, -1);
        return;
    }
    k->value = sqlite3_value_dup(argv[0]);
    k->set = true;
}

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

void stdevFinal(sqlite3_context *ctx) { momentFinal<false, true>(ctx); }
void stdevpFinal(sqlite3_context *ctx) { momentFinal<true, true>(ctx); }
void varFinal(sqlite3_context *ctx) { momentFinal<false, false>(ctx); }
void varpFinal(sqlite3_context *ctx) { momentFinal<true, false>(ctx); }

} // namespace kolta::jetsql::functions
