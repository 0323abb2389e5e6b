#include "functions.h"

#include "sqlfunctions.h"

namespace kolta::jetsql {

namespace {

using namespace functions;

// Under the file that holds each function. CDec and CVDate are other names
// for CDbl's and CDate's functions.
const JetFunction kFunctions[] = {
    // textfunctions.cpp
    {"Left", "jet_left", 2, 2, 'T', "tx", fnLeft},
    {"Right", "jet_right", 2, 2, 'T', "tx", fnRight},
    {"Mid", "jet_mid", 2, 3, 'T', "tx", fnMid},
    {"Len", "jet_len", 1, 1, 'I', "t", fnLen},
    {"LCase", "jet_lcase", 1, 1, 'T', "t", fnLCase},
    {"UCase", "jet_ucase", 1, 1, 'T', "t", fnUCase},
    {"Trim", "jet_trim", 1, 1, 'T', "t", fnTrim},
    {"LTrim", "jet_ltrim", 1, 1, 'T', "t", fnLTrim},
    {"RTrim", "jet_rtrim", 1, 1, 'T', "t", fnRTrim},
    {"InStr", "jet_instr", 2, 4, 'I', "t", fnInStr},
    {"InStrRev", "jet_instrrev", 2, 4, 'I', "ttx", fnInStrRev},
    {"Replace", "jet_replace", 3, 6, 'T', "tttx", fnReplace},
    {"Space", "jet_space", 1, 1, 'T', "x", fnSpace},
    {"String", "jet_string", 2, 2, 'T', "xt", fnString},
    {"StrComp", "jet_strcomp", 2, 3, 'I', "ttx", fnStrComp},
    {"StrReverse", "jet_strreverse", 1, 1, 'T', "t", fnStrReverse},
    {"Str", "jet_str", 1, 1, 'T', "x", fnStr},
    {"Val", "jet_val", 1, 1, 'D', "t", fnVal},
    {"Asc", "jet_asc", 1, 1, 'I', "t", fnAsc},
    {"Chr", "jet_chr", 1, 1, 'T', "x", fnChr},
    {"Hex", "jet_hex", 1, 1, 'T', "x", fnHex},
    {"Oct", "jet_oct", 1, 1, 'T', "x", fnOct},
    {"Partition", "jet_partition", 4, 4, 'T', "x", fnPartition},
    {"StrConv", "jet_strconv", 2, 3, 'T', "tx", fnStrConv},
    // conversions.cpp
    {"CStr", "jet_cstr", 1, 1, 'T', "t", fnCStr},
    {"CInt", "jet_cint", 1, 1, 'I', "x", fnCInt},
    {"CLng", "jet_clng", 1, 1, 'I', "x", fnCLng},
    {"CByte", "jet_cbyte", 1, 1, 'I', "x", fnCByte},
    {"CDbl", "jet_cdbl", 1, 1, 'D', "x", fnCDbl},
    {"CSng", "jet_csng", 1, 1, 'D', "x", fnCSng},
    {"CCur", "jet_ccur", 1, 1, 'C', "x", fnCCur},
    {"CDec", "jet_cdbl", 1, 1, 'D', "x", fnCDbl},
    {"CDate", "jet_cdate", 1, 1, 'd', "x", fnCDate},
    {"CVDate", "jet_cdate", 1, 1, 'd', "x", fnCDate},
    {"CBool", "jet_cbool", 1, 1, 'B', "x", fnCBool},
    // numberfunctions.cpp
    {"Int", "jet_int", 1, 1, '0', "x", fnInt},
    {"Fix", "jet_fix", 1, 1, '0', "x", fnFix},
    {"Abs", "jet_abs", 1, 1, '0', "x", fnAbs},
    {"Round", "jet_round", 1, 2, '0', "x", fnRound},
    {"Sgn", "jet_sgn", 1, 1, 'I', "x", fnSgn},
    {"Sqr", "jet_sqr", 1, 1, 'D', "x", fnSqr},
    {"Exp", "jet_exp", 1, 1, 'D', "x", fnExp},
    {"Log", "jet_log", 1, 1, 'D', "x", fnLog},
    {"Atn", "jet_atn", 1, 1, 'D', "x", fnAtn},
    {"Sin", "jet_sin", 1, 1, 'D', "x", fnSin},
    {"Cos", "jet_cos", 1, 1, 'D', "x", fnCos},
    {"Tan", "jet_tan", 1, 1, 'D', "x", fnTan},
    {"IsNumeric", "jet_isnumeric", 1, 1, 'B', "x", fnIsNumeric},
    {"IsDate", "jet_isdate", 1, 1, 'B', "x", fnIsDate},
    // datefunctions.cpp
    {"Date", "jet_date", 0, 0, 'd', "x", fnDate, false},
    {"Now", "jet_now", 0, 0, 'd', "x", fnNow, false},
    {"Time", "jet_time", 0, 0, 'd', "x", fnTime, false},
    {"Year", "jet_year", 1, 1, 'I', "x", fnYear},
    {"Month", "jet_month", 1, 1, 'I', "x", fnMonth},
    {"Day", "jet_day", 1, 1, 'I', "x", fnDay},
    {"Hour", "jet_hour", 1, 1, 'I', "x", fnHour},
    {"Minute", "jet_minute", 1, 1, 'I', "x", fnMinute},
    {"Second", "jet_second", 1, 1, 'I', "x", fnSecond},
    {"Weekday", "jet_weekday", 1, 2, 'I', "x", fnWeekday},
    {"DateAdd", "jet_dateadd", 3, 3, 'd', "x", fnDateAdd},
    {"DateDiff", "jet_datediff", 3, 5, 'I', "x", fnDateDiff},
    {"DatePart", "jet_datepart", 2, 4, 'I', "x", fnDatePart},
    {"DateSerial", "jet_dateserial", 3, 3, 'd', "x", fnDateSerial},
    {"TimeSerial", "jet_timeserial", 3, 3, 'd', "x", fnTimeSerial},
    {"DateValue", "jet_datevalue", 1, 1, 'd', "x", fnDateValue},
    {"TimeValue", "jet_timevalue", 1, 1, 'd', "x", fnTimeValue},
    // formatfunctions.cpp
    {"MonthName", "jet_monthname", 1, 2, 'T', "x", fnMonthName},
    {"WeekdayName", "jet_weekdayname", 1, 3, 'T', "x", fnWeekdayName},
    {"FormatNumber", "jet_formatnumber", 1, 5, 'T', "x", fnFormatNumber},
    {"FormatCurrency", "jet_formatcurrency", 1, 5, 'T', "x", fnFormatCurrency},
    {"FormatPercent", "jet_formatpercent", 1, 5, 'T', "x", fnFormatPercent},
    {"FormatDateTime", "jet_formatdatetime", 1, 2, 'T', "x", fnFormatDateTime},
};

} // namespace

std::span<const JetFunction> jetFunctions() { return kFunctions; }

const JetFunction *findFunction(const QString &name)
{
    for (const JetFunction &f : kFunctions)
        if (name.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

} // namespace kolta::jetsql
