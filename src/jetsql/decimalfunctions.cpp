// Decimal, exact: its values come as text (see values.h).

#include "sqlfunctions.h"

#include "decimal.h"

#include <charconv>
#include <cstring>

namespace kolta::jetsql::functions {

namespace {

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

template<bool Subtract>
void addDecimal(sqlite3_context *ctx, int, sqlite3_value **argv)
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

} // namespace

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

void fnDecimalAdd(sqlite3_context *ctx, int argc, sqlite3_value **argv) { addDecimal<false>(ctx, argc, argv); }
void fnDecimalSubtract(sqlite3_context *ctx, int argc, sqlite3_value **argv) { addDecimal<true>(ctx, argc, argv); }

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

void decimalMinStep(sqlite3_context *ctx, int argc, sqlite3_value **argv) { decimalBestStep<-1>(ctx, argc, argv); }
void decimalMaxStep(sqlite3_context *ctx, int argc, sqlite3_value **argv) { decimalBestStep<1>(ctx, argc, argv); }

void decimalBestFinal(sqlite3_context *ctx)
{
    auto *best = static_cast<DecimalState *>(sqlite3_aggregate_context(ctx, 0));
    if (!best || !best->any)
        sqlite3_result_null(ctx);
    else
        resultDecimal(ctx, best->value());
}

} // namespace kolta::jetsql::functions
