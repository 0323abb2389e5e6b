#include "sqlfunctions.h"

#include "vba.h"

#include <cmath>

namespace kolta::jetsql::functions {

namespace {

const char *const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char *const kWeekdays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// An optional whole-number argument: its default when left out or Null.
std::optional<qint64> wholeArg(int argc, sqlite3_value **argv, int idx, qint64 fallback)
{
    if (idx >= argc || isNull(argv[idx]))
        return fallback;
    const std::optional<double> d = numberArg(argv[idx]);
    if (!d)
        return std::nullopt;
    return qint64(vba::roundBankers(*d));
}

// Tristate arguments: -1 True, 0 False, -2 the system's setting.
bool tristate(qint64 v, bool systemDefault) { return v == -2 ? systemDefault : v != 0; }

enum class Style { Number, Currency, Percent };

// FormatNumber, FormatCurrency, FormatPercent as VBA gives them under en-US.
void formatStyled(sqlite3_context *ctx, int argc, sqlite3_value **argv, Style style)
{
    NUM_ARG(x, 0);
    const std::optional<qint64> digits = wholeArg(argc, argv, 1, -1);
    const std::optional<qint64> leading = wholeArg(argc, argv, 2, -2);
    const std::optional<qint64> parens = wholeArg(argc, argv, 3, -2);
    const std::optional<qint64> group = wholeArg(argc, argv, 4, -2);
    if (!digits || !leading || !parens || !group) {
        mismatch(ctx);
        return;
    }
    if (*digits < -1 || *digits > 99) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    const qint64 places = *digits == -1 ? 2 : *digits;
    QString body = tristate(*group, true) ? QStringLiteral("#,##") : QStringLiteral("#");
    body += tristate(*leading, true) ? QStringLiteral("0") : QStringLiteral("#");
    if (places > 0)
        body += QLatin1Char('.') + QString(int(places), QLatin1Char('0'));
    if (style == Style::Currency)
        body.prepend(QLatin1Char('$'));
    else if (style == Style::Percent)
        body += QLatin1Char('%');
    const bool useParens = tristate(*parens, style == Style::Currency);
    const QString fmt = body + QLatin1Char(';') + (useParens ? QLatin1Char('(') + body + QLatin1Char(')')
                                                             : QLatin1Char('-') + body);
    setText(ctx, vba::format(x, nullptr, false, fmt));
}

} // namespace

void fnMonthName(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    NUM_ARG(m, 0);
    const std::optional<qint64> abbreviate = wholeArg(argc, argv, 1, 0);
    const qint64 month = qint64(vba::roundBankers(m));
    if (!abbreviate) {
        mismatch(ctx);
        return;
    }
    if (month < 1 || month > 12) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    const QString name = QString::fromLatin1(kMonths[month - 1]);
    setText(ctx, *abbreviate ? name.left(3) : name);
}

void fnWeekdayName(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    NUM_ARG(w, 0);
    const std::optional<qint64> abbreviate = wholeArg(argc, argv, 1, 0);
    const std::optional<qint64> firstDay = wholeArg(argc, argv, 2, 0);
    const qint64 weekday = qint64(vba::roundBankers(w));
    if (!abbreviate || !firstDay) {
        mismatch(ctx);
        return;
    }
    if (weekday < 1 || weekday > 7 || *firstDay < 0 || *firstDay > 7) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    // 0, the system's first day, is Sunday under en-US.
    const qint64 first = *firstDay == 0 ? 1 : *firstDay;
    const QString name = QString::fromLatin1(kWeekdays[(weekday - 1 + first - 1) % 7]);
    setText(ctx, *abbreviate ? name.left(3) : name);
}

void fnFormatNumber(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    formatStyled(ctx, argc, argv, Style::Number);
}

void fnFormatCurrency(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    formatStyled(ctx, argc, argv, Style::Currency);
}

void fnFormatPercent(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    formatStyled(ctx, argc, argv, Style::Percent);
}

void fnFormatDateTime(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    DATE_ARG(d, 0);
    const std::optional<qint64> named = wholeArg(argc, argv, 1, 0);
    if (!named) {
        mismatch(ctx);
        return;
    }
    static const char *const kNamed[] = {"General Date", "Long Date", "Short Date", "Long Time", "hh:nn"};
    if (*named < 0 || *named > 4) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    setText(ctx, vba::format(d, nullptr, true, QString::fromLatin1(kNamed[*named])));
}

} // namespace kolta::jetsql::functions
