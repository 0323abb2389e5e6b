#pragma once

// Jet's Decimal: a whole number of up to 96 bits and a scale of 0 to 28
// decimal places, kept exact. Decimal values travel through SQLite as their
// text (see values.h), which these helpers read, add and write.

#include <optional>
#include <string>
#include <string_view>

namespace kolta::jetsql {

struct Decimal
{
    __int128 units = 0;   // the value times 10^scale
    int scale = 0;
};

// A plain decimal ("-12.50", "7", ".5", "1.5E+20"); nullopt for anything else
// or a number too large for a Decimal.
std::optional<Decimal> parseDecimal(std::string_view text);
// The shortest text of the value: no trailing zeros, no "-0".
std::string decimalText(const Decimal &value);
// The text of a Decimal as written anywhere, in that form; empty when it is
// not one.
std::string canonicalDecimal(std::string_view text);
// a + b, rounded (half to even) to the places a Decimal can hold; nullopt
// on overflow.
std::optional<Decimal> addDecimals(Decimal a, Decimal b);
// -1, 0 or 1, exactly.
int compareDecimals(const Decimal &a, const Decimal &b);

} // namespace kolta::jetsql
