#include "decimal.h"

#include <algorithm>

namespace kolta::jetsql {

namespace {

constexpr int MaxScale = 28;
// 2^96 - 1: the largest whole number a Decimal holds.
constexpr __int128 MaxUnits = (__int128(1) << 96) - 1;
// Below this a number can take one more digit without leaving an __int128.
constexpr __int128 RoomForDigit = __int128(1000000000000000000LL) * 1000000000000000000LL;   // 10^36

__int128 magnitude(__int128 v) { return v < 0 ? -v : v; }

// v / 10, rounded half to even.
__int128 tenthRounded(__int128 v)
{
    __int128 q = v / 10;
    const int r = int(magnitude(v % 10));
    if (r > 5 || (r == 5 && (q & 1)))
        q += v < 0 ? -1 : 1;
    return q;
}

// Fewer places until the number fits a Decimal; false when even whole it
// does not.
bool fit(Decimal &d)
{
    while (d.scale > MaxScale || (magnitude(d.units) > MaxUnits && d.scale > 0)) {
        d.units = tenthRounded(d.units);
        --d.scale;
    }
    return magnitude(d.units) <= MaxUnits;
}

__int128 powerOfTen(int n)
{
    __int128 p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

} // namespace

std::optional<Decimal> parseDecimal(std::string_view text)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    Decimal d;
    int exponent = 0;
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9')
            break;
        digits = true;
        if (d.units < RoomForDigit) {
            d.units = d.units * 10 + (c - '0');
            d.scale += point ? 1 : 0;
        } else if (!point) {
            ++exponent;   // a digit past what can be held: only its place counts
        }
    }
    if (!digits)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool down = false;
        if (i < text.size() && (text[i] == '-' || text[i] == '+'))
            down = text[i++] == '-';
        int e = 0;
        bool any = false;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            any = true;
            e = std::min(e * 10 + (text[i] - '0'), 1000);
        }
        if (!any)
            return std::nullopt;
        exponent += down ? -e : e;
    }
    if (i != text.size())
        return std::nullopt;
    d.scale -= exponent;
    for (; d.scale < 0; ++d.scale) {
        if (d.units >= RoomForDigit)
            return std::nullopt;
        d.units *= 10;
    }
    if (negative)
        d.units = -d.units;
    if (!fit(d))
        return std::nullopt;
    return d;
}

std::string decimalText(const Decimal &value)
{
    std::string digits;
    for (__int128 m = magnitude(value.units); m != 0; m /= 10)
        digits.push_back(char('0' + int(m % 10)));
    while (int(digits.size()) <= value.scale)
        digits.push_back('0');
    std::reverse(digits.begin(), digits.end());
    if (value.scale > 0) {
        digits.insert(digits.end() - value.scale, '.');
        while (digits.back() == '0')
            digits.pop_back();
        if (digits.back() == '.')
            digits.pop_back();
    }
    if (value.units < 0 && digits != "0")
        digits.insert(digits.begin(), '-');
    return digits;
}

std::string canonicalDecimal(std::string_view text)
{
    const std::optional<Decimal> d = parseDecimal(text);
    return d ? decimalText(*d) : std::string();
}

std::optional<Decimal> addDecimals(Decimal a, Decimal b)
{
    // Line the places up; when the fewer-placed number cannot take more
    // digits, the other one gives up places instead.
    while (a.scale != b.scale) {
        Decimal &fewer = a.scale < b.scale ? a : b;
        Decimal &more = a.scale < b.scale ? b : a;
        if (magnitude(fewer.units) < RoomForDigit) {
            fewer.units *= 10;
            ++fewer.scale;
        } else {
            more.units = tenthRounded(more.units);
            --more.scale;
        }
    }
    Decimal sum{a.units + b.units, a.scale};
    if (!fit(sum))
        return std::nullopt;
    return sum;
}

int compareDecimals(const Decimal &a, const Decimal &b)
{
    // Whole parts first, then the fractions brought to 28 places (which
    // always fit); division truncates, so signs agree within a whole part.
    const __int128 pa = powerOfTen(a.scale), pb = powerOfTen(b.scale);
    const __int128 wholeA = a.units / pa, wholeB = b.units / pb;
    if (wholeA != wholeB)
        return wholeA < wholeB ? -1 : 1;
    const __int128 fracA = (a.units % pa) * powerOfTen(MaxScale - a.scale);
    const __int128 fracB = (b.units % pb) * powerOfTen(MaxScale - b.scale);
    return fracA < fracB ? -1 : fracA > fracB ? 1 : 0;
}

} // namespace kolta::jetsql
