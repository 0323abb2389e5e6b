#pragma once

// VBA conversions shared by the SQL functions and the display helpers. US
// English regional settings throughout, as on the web server the pages run on.

#include <QString>
#include <optional>

namespace kolta::jetsql::vba {

struct DateParts
{
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
    int dayOfWeek = 7;   // 1 Monday .. 7 Sunday (Qt's numbering)
};

DateParts dateParts(double oleDate);
// Day number (days since 1899-12-30) and seconds into the day of an OLE date.
qint64 dayNumber(double oleDate);
int secondOfDay(double oleDate);
double fromDayAndSeconds(qint64 day, qint64 seconds);   // normalises overflow
// DateSerial's rules: month and day overflow roll over, years 0-29 are 20xx,
// 30-99 are 19xx. nullopt outside 100..9999.
std::optional<double> dateSerial(int year, int month, int day);

// CDate / DateValue from text: m/d/yyyy, yyyy-mm-dd, "Jan 5, 2000", with an
// optional time "h:nn[:ss] [AM|PM]", or a time alone.
std::optional<double> parseDate(const QString &text);

double roundBankers(double value, int digits = 0);
double roundHalfAway(double value, int digits = 0);

// CStr of a number: up to 15 significant digits, "1E+20" style exponents.
QString numberText(double value);
// CStr of a date: m/d/yyyy h:nn:ss AM/PM, date or time left out when zero.
QString dateText(double oleDate);
QString dateText(double oleDate, bool raw);   // raw: YYYY-MM-DD HH:MM:SS

// Val: the leading number of a text, blanks ignored, 0 when there is none.
double val(const QString &text);
// A text that is a number as a whole (IsNumeric, arithmetic on text).
std::optional<double> parseNumber(const QString &text);

// Format(value, format). isDate: the value is a date (by its static kind).
// text: the value when it is text (else nullptr).
QString format(double number, const QString *text, bool isDate, const QString &fmt);

} // namespace kolta::jetsql::vba
