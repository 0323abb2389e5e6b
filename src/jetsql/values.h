#pragma once

// How Jet values travel through SQLite, and how they are shown.
//
// Storage in SQLite (what the virtual tables deliver, what our functions take
// and return):
//   Yes/No                  INTEGER -1 (True) or 0 (False)
//   Byte, Integer, Long     INTEGER
//   Currency                INTEGER, the exact count of ten-thousandths
//                           (shown without superfluous trailing zeros); a
//                           REAL where an expression made it a number
//   Single, Double          REAL
//   Decimal                 TEXT, its exact digits ("-12.5"); a REAL where
//                           an expression made it a number
//   Date/Time               REAL: days since 1899-12-30 00:00, the fraction
//                           being the time of day (Jet's own OLE date). Dates
//                           before 1899-12-30 are negative with a positive
//                           fraction, as in Jet: -1.25 is 1899-12-29 06:00.
//                           Numbers compare, sort and subtract as dates do.
//   Text, Memo              TEXT
//   Replication ID          TEXT "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
//   Binary, OLE Object      BLOB
//   Null                    NULL
//
// A REAL does not say whether it is a date, so the translator types every
// expression statically and reports a ValueKind for each result column; the
// display helpers below take that kind.

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace kolta::jetsql {

enum class ValueKind {
    Variant,    // unknown until run time: shown by its storage class
    Boolean,
    Integer,
    Currency,
    Double,
    Date,
    Text,
    Binary,
};

// The kind of a table column from its DAO type code (1 Yes/No ... 20 Decimal).
ValueKind kindForDaoType(int daoType);
constexpr int DaoDecimal = 20;

// OLE date <-> calendar. oleDate gives NaN for an impossible date.
double oleDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
double oleDateFromDateTime(const QDateTime &dateTime);
QDateTime dateTimeFromOle(double oleDate);   // a wall-clock time (Qt::UTC), to the second

// The grid's text for a value read from SQLite (QVariant of qlonglong, double,
// QString or QByteArray; null/invalid for Null):
//   numbers plainly (up to 15 significant digits), Currency without trailing
//   zeros, dates as m/d/yyyy with " h:nn:ss AM/PM" when there is a time (a
//   time alone when the day is 1899-12-30; a number outside Jet's dates,
//   1/1/100 to 12/31/9999, as the number), Yes/No as True/False, Binary as
//   "(binary data)", Null as "".
QString displayText(const QVariant &value, ValueKind kind);
// Whether that text shows a number (the grid sets numbers right, text left).
bool showsNumber(const QVariant &value, ValueKind kind);

// A served page's text of the value, as VBScript's `value & ""` gives it in
// an English (United States) locale: as displayText, but midnight of
// 12/30/1899 is "12:00:00 AM" (a date whose day is 0 shows its time alone)
// and binary data is its bytes read as UTF-16 text, as a string made from a
// byte array is.
QString pageText(const QVariant &value, ValueKind kind);

// The neutral form (--raw): plain decimals, dates "YYYY-MM-DD HH:MM:SS",
// Yes/No as -1/0, Binary as lower-case hex, Null as "".
QString rawText(const QVariant &value, ValueKind kind);

} // namespace kolta::jetsql
