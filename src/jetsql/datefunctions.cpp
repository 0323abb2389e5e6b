#include "sqlfunctions.h"

#include "values.h"
#include "vba.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

namespace kolta::jetsql::functions {

namespace {

double nowOle() { return oleDateFromDateTime(QDateTime::currentDateTime()); }

template<int Part>
void partOf(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    DATE_ARG(d, 0);
    vba::DateParts p = vba::dateParts(d);
    int v = 0;
    switch (Part) {
    case 0: v = p.year; break;
    case 1: v = p.month; break;
    case 2: v = p.day; break;
    case 3: v = p.hour; break;
    case 4: v = p.minute; break;
    case 5: v = p.second; break;
    case 6: {
        int firstDay = 1;   // vbSunday
        if (argc > 1 && !isNull(argv[1]))
            firstDay = int(numberArg(argv[1]).value_or(1));
        if (firstDay == 0)
            firstDay = 1;
        int sundayBased = p.dayOfWeek % 7 + 1;   // 1 Sunday .. 7 Saturday
        v = (sundayBased - firstDay + 7) % 7 + 1;
        break;
    }
    }
    sqlite3_result_int(ctx, v);
}

enum class Interval { Year, Quarter, Month, DayOfYear, Day, Weekday, Week, Hour, Minute, Second, Bad };

Interval interval(const QString &s)
{
    QString t = s.trimmed().toLower();
    if (t == QLatin1String("yyyy")) return Interval::Year;
    if (t == QLatin1String("q")) return Interval::Quarter;
    if (t == QLatin1String("m")) return Interval::Month;
    if (t == QLatin1String("y")) return Interval::DayOfYear;
    if (t == QLatin1String("d")) return Interval::Day;
    if (t == QLatin1String("w")) return Interval::Weekday;
    if (t == QLatin1String("ww")) return Interval::Week;
    if (t == QLatin1String("h")) return Interval::Hour;
    if (t == QLatin1String("n")) return Interval::Minute;
    if (t == QLatin1String("s")) return Interval::Second;
    return Interval::Bad;
}

qint64 floorDiv(qint64 a, qint64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

} // namespace

void fnDate(sqlite3_context *ctx, int, sqlite3_value **) { sqlite3_result_double(ctx, std::trunc(nowOle())); }
void fnNow(sqlite3_context *ctx, int, sqlite3_value **) { sqlite3_result_double(ctx, nowOle()); }
void fnTime(sqlite3_context *ctx, int, sqlite3_value **)
{
    double n = nowOle();
    sqlite3_result_double(ctx, n - std::trunc(n));
}

void fnYear(sqlite3_context *ctx, int argc, sqlite3_value **argv) { partOf<0>(ctx, argc, argv); }
void fnMonth(sqlite3_context *ctx, int argc, sqlite3_value **argv) { partOf<1>(ctx, argc, argv); }
void fnDay(sqlite3_context *ctx, int argc, sqlite3_value **argv) { partOf<2>(ctx, argc, argv); }
void fnHour(sqlite3_context *ctx, int argc, sqlite3_value **argv) { partOf<3>(ctx, argc, argv); }
void fnMinute(sqlite3_context *ctx, int argc, sqlite3_value **argv) { partOf<4>(ctx, argc, argv); }
void fnSecond(sqlite3_context *ctx, int argc, sqlite3_value **argv) { partOf<5>(ctx, argc, argv); }
void fnWeekday(sqlite3_context *ctx, int argc, sqlite3_value **argv) { partOf<6>(ctx, argc, argv); }

void fnDateAdd(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    TEXT_ARG(iv, 0);
    NUM_ARG(n, 1);
    DATE_ARG(d, 2);
    Interval i = interval(iv);
    qint64 k = qint64(std::trunc(n));
    qint64 day = vba::dayNumber(d);
    qint64 sec = vba::secondOfDay(d);
    double result = 0;
    switch (i) {
    case Interval::Year: case Interval::Quarter: case Interval::Month: {
        vba::DateParts p = vba::dateParts(d);
        qint64 months = i == Interval::Year ? k * 12 : i == Interval::Quarter ? k * 3 : k;
        qint64 total = qint64(p.year) * 12 + (p.month - 1) + months;
        int y = int(total / 12), m = int(total % 12) + 1;
        if (y < 100 || y > 9999) {
            setError(ctx, texts::kInvalidCall);
            return;
        }
        int dim = QDate(y, m, 1).daysInMonth();
        std::optional<double> base = vba::dateSerial(y, m, std::min(p.day, dim));
        result = vba::fromDayAndSeconds(qint64(*base), sec);
        break;
    }
    case Interval::DayOfYear: case Interval::Day: case Interval::Weekday:
        result = vba::fromDayAndSeconds(day + k, sec);
        break;
    case Interval::Week:
        result = vba::fromDayAndSeconds(day + 7 * k, sec);
        break;
    case Interval::Hour:
        result = vba::fromDayAndSeconds(day, sec + 3600 * k);
        break;
    case Interval::Minute:
        result = vba::fromDayAndSeconds(day, sec + 60 * k);
        break;
    case Interval::Second:
        result = vba::fromDayAndSeconds(day, sec + k);
        break;
    case Interval::Bad:
        setError(ctx, texts::kInvalidCall);
        return;
    }
    if (result < -657434.0 || result >= 2958466.0) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    sqlite3_result_double(ctx, result);
}

void fnDateDiff(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    TEXT_ARG(iv, 0);
    DATE_ARG(d1, 1);
    DATE_ARG(d2, 2);
    int firstDay = 1;
    if (argc > 3 && !isNull(argv[3]))
        firstDay = int(numberArg(argv[3]).value_or(1));
    if (firstDay == 0)
        firstDay = 1;
    vba::DateParts a = vba::dateParts(d1), b = vba::dateParts(d2);
    qint64 day1 = vba::dayNumber(d1), day2 = vba::dayNumber(d2);
    qint64 s1 = day1 * 86400 + vba::secondOfDay(d1), s2 = day2 * 86400 + vba::secondOfDay(d2);
    qint64 r = 0;
    switch (interval(iv)) {
    case Interval::Year: r = b.year - a.year; break;
    case Interval::Quarter: r = (b.year * 4 + (b.month - 1) / 3) - (a.year * 4 + (a.month - 1) / 3); break;
    case Interval::Month: r = (b.year * 12 + b.month) - (a.year * 12 + a.month); break;
    case Interval::DayOfYear: case Interval::Day: r = day2 - day1; break;
    case Interval::Weekday: r = (day2 - day1) / 7; break;
    case Interval::Week: {
        // Weeks crossed, counted at each first day of the week. Day 0 (1899-12-30) is a Saturday.
        qint64 offset = (7 - firstDay) % 7;   // shift so weeks start on firstDay
        r = floorDiv(day2 + offset, 7) - floorDiv(day1 + offset, 7);
        break;
    }
    case Interval::Hour: r = floorDiv(s2, 3600) - floorDiv(s1, 3600); break;
    case Interval::Minute: r = floorDiv(s2, 60) - floorDiv(s1, 60); break;
    case Interval::Second: r = s2 - s1; break;
    case Interval::Bad:
        setError(ctx, texts::kInvalidCall);
        return;
    }
    sqlite3_result_int64(ctx, r);
}

void fnDatePart(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    TEXT_ARG(iv, 0);
    DATE_ARG(d, 1);
    int firstDay = 1;
    if (argc > 2 && !isNull(argv[2]))
        firstDay = int(numberArg(argv[2]).value_or(1));
    if (firstDay == 0)
        firstDay = 1;
    vba::DateParts p = vba::dateParts(d);
    QDate date(p.year, p.month, p.day);
    int sundayBased = p.dayOfWeek % 7 + 1;
    int weekday = (sundayBased - firstDay + 7) % 7 + 1;
    int r = 0;
    switch (interval(iv)) {
    case Interval::Year: r = p.year; break;
    case Interval::Quarter: r = (p.month - 1) / 3 + 1; break;
    case Interval::Month: r = p.month; break;
    case Interval::DayOfYear: r = date.dayOfYear(); break;
    case Interval::Day: r = p.day; break;
    case Interval::Weekday: r = weekday; break;
    case Interval::Week: {
        QDate jan1(p.year, 1, 1);
        int jan1Weekday = (jan1.dayOfWeek() % 7 + 1 - firstDay + 7) % 7;   // 0 = first day of week
        r = (date.dayOfYear() - 1 + jan1Weekday) / 7 + 1;
        break;
    }
    case Interval::Hour: r = p.hour; break;
    case Interval::Minute: r = p.minute; break;
    case Interval::Second: r = p.second; break;
    case Interval::Bad:
        setError(ctx, texts::kInvalidCall);
        return;
    }
    sqlite3_result_int(ctx, r);
}

void fnDateSerial(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(y, 0);
    NUM_ARG(m, 1);
    NUM_ARG(d, 2);
    if (std::fabs(y) > 1e6 || std::fabs(m) > 1e6 || std::fabs(d) > 1e7) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    std::optional<double> r = vba::dateSerial(int(vba::roundBankers(y)), int(vba::roundBankers(m)),
                                              int(vba::roundBankers(d)));
    if (!r) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    sqlite3_result_double(ctx, *r);
}

void fnTimeSerial(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    NUM_ARG(h, 0);
    NUM_ARG(m, 1);
    NUM_ARG(s, 2);
    if (std::fabs(h) > 1e6 || std::fabs(m) > 1e8 || std::fabs(s) > 1e10) {
        setError(ctx, texts::kInvalidCall);
        return;
    }
    qint64 total = qint64(h) * 3600 + qint64(m) * 60 + qint64(s);
    sqlite3_result_double(ctx, vba::fromDayAndSeconds(0, total));
}

void fnDateValue(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    DATE_ARG(d, 0);
    sqlite3_result_double(ctx, double(vba::dayNumber(d)));
}

void fnTimeValue(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    DATE_ARG(d, 0);
    sqlite3_result_double(ctx, vba::secondOfDay(d) / 86400.0);
}

} // namespace kolta::jetsql::functions
