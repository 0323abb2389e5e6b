#include "vba.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>
#include <cmath>

namespace kolta::jetsql::vba {

namespace {

const qint64 kOleEpochJulian = QDate(1899, 12, 30).toJulianDay();

const char *const kMonthNames[] = {"January", "February", "March", "April", "May", "June", "July",
                                   "August", "September", "October", "November", "December"};
const char *const kDayNames[] = {"Monday", "Tuesday", "Wednesday", "Thursday",
                                 "Friday", "Saturday", "Sunday"};

QString twoDigits(int v) { return QString::number(v).rightJustified(2, QLatin1Char('0')); }

} // namespace

qint64 dayNumber(double oleDate)
{
    // Jet keeps the time as a positive fraction also before 1899-12-30.
    double whole = std::trunc(oleDate);
    double frac = std::fabs(oleDate - whole);
    qint64 day = qint64(whole);
    if (std::llround(frac * 86400.0) >= 86400)
        day += oleDate < 0 ? -1 : 1;
    return day;
}

int secondOfDay(double oleDate)
{
    double frac = std::fabs(oleDate - std::trunc(oleDate));
    qint64 s = std::llround(frac * 86400.0);
    return int(s % 86400);
}

double fromDayAndSeconds(qint64 day, qint64 seconds)
{
    day += seconds / 86400;
    seconds %= 86400;
    if (seconds < 0) {
        seconds += 86400;
        --day;
    }
    double frac = double(seconds) / 86400.0;
    return day >= 0 ? double(day) + frac : double(day) - frac;
}

DateParts dateParts(double oleDate)
{
    DateParts p;
    QDate d = QDate::fromJulianDay(kOleEpochJulian + dayNumber(oleDate));
    int s = secondOfDay(oleDate);
    p.year = d.year();
    p.month = d.month();
    p.day = d.day();
    p.dayOfWeek = d.dayOfWeek();
    p.hour = s / 3600;
    p.minute = s / 60 % 60;
    p.second = s % 60;
    return p;
}

std::optional<double> dateSerial(int year, int month, int day)
{
    if (year >= 0 && year < 30)
        year += 2000;
    else if (year >= 30 && year < 100)
        year += 1900;
    int m0 = month - 1;
    year += m0 >= 0 ? m0 / 12 : -((11 - m0) / 12);
    m0 = ((m0 % 12) + 12) % 12;
    if (year < 100 || year > 9999)
        return std::nullopt;
    QDate first(year, m0 + 1, 1);
    qint64 n = first.toJulianDay() - kOleEpochJulian + (day - 1);
    QDate result = QDate::fromJulianDay(kOleEpochJulian + n);
    if (result.year() < 100 || result.year() > 9999)
        return std::nullopt;
    return double(n);
}

std::optional<double> parseDate(const QString &input)
{
    QString text = input.simplified();
    if (text.isEmpty())
        return std::nullopt;
    static const QRegularExpression timeRe(
        QStringLiteral("(?:^|\\s)(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?\\s*([AaPp][Mm]?)?$"));
    int seconds = 0;
    bool hasTime = false;
    QRegularExpressionMatch tm = timeRe.match(text);
    if (tm.hasMatch()) {
        int h = tm.captured(1).toInt(), mi = tm.captured(2).toInt(), s = tm.captured(3).toInt();
        QString ap = tm.captured(4).toUpper();
        if (!ap.isEmpty()) {
            if (h < 1 || h > 12)
                return std::nullopt;
            if (h == 12)
                h = 0;
            if (ap.startsWith(QLatin1Char('P')))
                h += 12;
        }
        if (h > 23 || mi > 59 || s > 59)
            return std::nullopt;
        seconds = h * 3600 + mi * 60 + s;
        hasTime = true;
        text = text.left(tm.capturedStart(0)).trimmed();
    }
    if (text.isEmpty())
        return hasTime ? std::optional<double>(double(seconds) / 86400.0) : std::nullopt;

    int y = 0, m = 0, d = 0;
    static const QRegularExpression numeric(QStringLiteral("^(\\d{1,4})[/\\-.](\\d{1,2})(?:[/\\-.](\\d{1,4}))?$"));
    static const QRegularExpression named(QStringLiteral(
        "^(?:(\\d{1,2})[\\s\\-]*)?([A-Za-z]+)\\.?[\\s\\-]*(\\d{1,2})?,?[\\s\\-]*(\\d{1,4})?$"));
    QRegularExpressionMatch nm = numeric.match(text);
    if (nm.hasMatch()) {
        int a = nm.captured(1).toInt(), b = nm.captured(2).toInt();
        if (nm.captured(1).size() >= 3) {   // yyyy-mm-dd
            if (nm.captured(3).isEmpty())
                return std::nullopt;
            y = a, m = b, d = nm.captured(3).toInt();
        } else {
            m = a, d = b;
            y = nm.captured(3).isEmpty() ? QDate::currentDate().year() : nm.captured(3).toInt();
            if (m > 12 && d <= 12)   // d/m/y when m/d/y cannot be meant
                std::swap(m, d);
        }
    } else {
        QRegularExpressionMatch mm = named.match(text);
        if (!mm.hasMatch())
            return std::nullopt;
        QString word = mm.captured(2).toLower();
        for (int i = 0; i < 12; ++i) {
            QString full = QString::fromLatin1(kMonthNames[i]).toLower();
            if (word.size() >= 3 && full.startsWith(word))
                m = i + 1;
        }
        if (m == 0)
            return std::nullopt;
        QString dayText = !mm.captured(1).isEmpty() ? mm.captured(1) : mm.captured(3);
        if (dayText.isEmpty())
            return std::nullopt;
        d = dayText.toInt();
        QString yearText = mm.captured(4);
        if (!mm.captured(1).isEmpty() && !mm.captured(3).isEmpty())
            yearText = mm.captured(3) + yearText;   // "5 Jan 20" style
        y = yearText.isEmpty() ? QDate::currentDate().year() : yearText.toInt();
    }
    if (y < 30)
        y += 2000;
    else if (y < 100)
        y += 1900;
    if (!QDate::isValid(y, m, d) || y < 100 || y > 9999)
        return std::nullopt;
    qint64 n = QDate(y, m, d).toJulianDay() - kOleEpochJulian;
    return fromDayAndSeconds(n, seconds);
}

double roundBankers(double value, int digits)
{
    double scale = std::pow(10.0, digits);
    double x = value * scale;
    // Guard against representation noise: 2.675 * 100 is 267.49999...
    double r = std::nearbyint(x);   // FE_TONEAREST: ties to even
    double diff = std::fabs(x - std::trunc(x));
    if (std::fabs(diff - 0.5) < 1e-9 * std::max(1.0, std::fabs(x)))
        r = std::fmod(std::trunc(x), 2.0) == 0 ? std::trunc(x) : std::trunc(x) + (x < 0 ? -1 : 1);
    return r / scale;
}

double roundHalfAway(double value, int digits)
{
    double scale = std::pow(10.0, digits);
    double x = value * scale;
    double r = std::round(x);
    double diff = std::fabs(x - std::trunc(x));
    // A tie blurred by the scaling is still a tie; the tolerance stays far
    // below half a unit, or from 5e8 on every whole number would count as one.
    if (std::fabs(diff - 0.5) < std::min(1e-9 * std::max(1.0, std::fabs(x)), 1e-3))
        r = std::trunc(x) + (x < 0 ? -1 : 1);
    return r / scale;
}

QString numberText(double value)
{
    if (value == 0)
        return QStringLiteral("0");
    if (std::isnan(value) || std::isinf(value))
        return QStringLiteral("0");
    double a = std::fabs(value);
    if (a >= 1e15 || a < 1e-4) {
        QString s = QString::number(value, 'E', 14);   // d.ddddddddddddddE+xx
        int e = s.indexOf(QLatin1Char('E'));
        QString mant = s.left(e), exp = s.mid(e + 1);
        if (mant.contains(QLatin1Char('.'))) {
            while (mant.endsWith(QLatin1Char('0')))
                mant.chop(1);
            if (mant.endsWith(QLatin1Char('.')))
                mant.chop(1);
        }
        QChar sign = exp.at(0);
        QString digits = exp.mid(1);
        while (digits.size() > 2 && digits.startsWith(QLatin1Char('0')))
            digits.remove(0, 1);
        return mant + QLatin1Char('E') + sign + digits;
    }
    QString s = QString::number(value, 'g', 15);
    if (s.contains(QLatin1Char('e'))) {
        s = QString::number(value, 'f', 15);
        if (s.contains(QLatin1Char('.'))) {
            while (s.endsWith(QLatin1Char('0')))
                s.chop(1);
            if (s.endsWith(QLatin1Char('.')))
                s.chop(1);
        }
    }
    return s;
}

QString dateText(double oleDate, bool raw)
{
    DateParts p = dateParts(oleDate);
    if (raw)
        return QStringLiteral("%1-%2-%3 %4:%5:%6")
            .arg(QString::number(p.year).rightJustified(4, QLatin1Char('0')), twoDigits(p.month),
                 twoDigits(p.day), twoDigits(p.hour), twoDigits(p.minute), twoDigits(p.second));
    return dateText(oleDate);
}

QString dateText(double oleDate)
{
    DateParts p = dateParts(oleDate);
    bool hasDate = dayNumber(oleDate) != 0;
    bool hasTime = secondOfDay(oleDate) != 0;
    QString out;
    if (hasDate || !hasTime)
        out = QStringLiteral("%1/%2/%3").arg(p.month).arg(p.day).arg(p.year);
    if (hasTime) {
        int h12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
        QString t = QStringLiteral("%1:%2:%3 %4")
                        .arg(h12)
                        .arg(twoDigits(p.minute), twoDigits(p.second),
                             p.hour < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
        out = out.isEmpty() ? t : out + QLatin1Char(' ') + t;
    }
    return out;
}

double val(const QString &text)
{
    QString s;
    for (QChar c : text)
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            s += c;
    static const QRegularExpression re(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([EeDd][+-]?\\d+)?"));
    QRegularExpressionMatch m = re.match(s);
    if (!m.hasMatch())
        return 0;
    QString n = m.captured(0);
    n.replace(QLatin1Char('D'), QLatin1Char('E')).replace(QLatin1Char('d'), QLatin1Char('E'));
    return n.toDouble();
}

std::optional<double> parseNumber(const QString &text)
{
    QString s = text.trimmed();
    s.remove(QLatin1Char(','));
    if (s.startsWith(QLatin1Char('$')))
        s.remove(0, 1);
    static const QRegularExpression re(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([Ee][+-]?\\d+)?$"));
    if (!re.match(s).hasMatch())
        return std::nullopt;
    return s.toDouble();
}

namespace {

// Digits of |number| rounded to `decimals`, with optional thousands grouping.
QString plainDigits(double number, int minDecimals, int maxDecimals, int minInt, bool group)
{
    double a = roundHalfAway(std::fabs(number), maxDecimals);
    QString s = QString::number(a, 'f', maxDecimals);
    QString intPart = s, frac;
    int dot = s.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
        intPart = s.left(dot);
        frac = s.mid(dot + 1);
    }
    while (frac.size() > minDecimals && frac.endsWith(QLatin1Char('0')))
        frac.chop(1);
    if (intPart == QLatin1String("0") && minInt == 0)
        intPart.clear();
    while (intPart.size() < minInt)
        intPart.prepend(QLatin1Char('0'));
    if (group && intPart.size() > 3) {
        for (int i = intPart.size() - 3; i > 0; i -= 3)
            intPart.insert(i, QLatin1Char(','));
    }
    if (maxDecimals > 0)
        return intPart + QLatin1Char('.') + frac;
    return intPart;
}

QStringList splitSections(const QString &fmt)
{
    QStringList out;
    QString cur;
    bool quoted = false;
    for (int i = 0; i < fmt.size(); ++i) {
        QChar c = fmt.at(i);
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        if (c == QLatin1Char('\\') && i + 1 < fmt.size()) {
            cur += c;
            cur += fmt.at(++i);
            continue;
        }
        if (c == QLatin1Char(';') && !quoted) {
            out << cur;
            cur.clear();
            continue;
        }
        cur += c;
    }
    out << cur;
    return out;
}

QString formatNumberSection(double number, const QString &sec, bool withSign)
{
    // Literal text before the first and after the last placeholder is kept;
    // the placeholders in between define digits, decimals and grouping.
    int first = -1, last = -1;
    bool quoted = false;
    for (int i = 0; i < sec.size(); ++i) {
        QChar c = sec.at(i);
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        if (c == QLatin1Char('\\')) {
            ++i;
            continue;
        }
        if (c == QLatin1Char('0') || c == QLatin1Char('#') || c == QLatin1Char('.')) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    auto literal = [](const QString &s) {
        QString out;
        bool q = false;
        for (int i = 0; i < s.size(); ++i) {
            QChar c = s.at(i);
            if (c == QLatin1Char('"')) {
                q = !q;
                continue;
            }
            if (!q && c == QLatin1Char('\\') && i + 1 < s.size()) {
                out += s.at(++i);
                continue;
            }
            out += c;
        }
        return out;
    };
    bool percent = sec.contains(QLatin1Char('%'));
    if (percent)
        number *= 100;
    if (first < 0)
        return (withSign && number < 0 ? QStringLiteral("-") : QString()) + literal(sec);
    QString body = sec.mid(first, last - first + 1);
    QString prefix = literal(sec.left(first)), suffix = literal(sec.mid(last + 1));
    int dot = body.indexOf(QLatin1Char('.'));
    QString intSpec = dot >= 0 ? body.left(dot) : body;
    QString fracSpec = dot >= 0 ? body.mid(dot + 1) : QString();
    int minInt = intSpec.count(QLatin1Char('0'));
    int minDec = fracSpec.count(QLatin1Char('0'));
    int maxDec = minDec + fracSpec.count(QLatin1Char('#'));
    bool group = intSpec.contains(QLatin1Char(','));
    QString digits = plainDigits(number, minDec, maxDec, minInt, group);
    if (dot >= 0 && maxDec == 0)
        digits += QLatin1Char('.');
    bool negative = number < 0 && roundHalfAway(std::fabs(number), maxDec) != 0;
    return (withSign && negative ? QStringLiteral("-") : QString()) + prefix + digits + suffix;
}

QString formatDatePattern(double ole, const QString &fmt)
{
    DateParts p = dateParts(ole);
    QString out;
    // Tokenise first so that "m" after an hour or before a second is minutes.
    struct Tok { QString code; QString literal; bool upper = false; };
    QList<Tok> toks;
    for (int i = 0; i < fmt.size();) {
        QChar c = fmt.at(i);
        QChar lc = c.toLower();
        if (c == QLatin1Char('"')) {
            int j = fmt.indexOf(QLatin1Char('"'), i + 1);
            if (j < 0)
                j = fmt.size();
            toks.append({QString(), fmt.mid(i + 1, j - i - 1), false});
            i = j + 1;
            continue;
        }
        if (c == QLatin1Char('\\') && i + 1 < fmt.size()) {
            toks.append({QString(), fmt.mid(i + 1, 1), false});
            i += 2;
            continue;
        }
        if (fmt.mid(i, 5).compare(QLatin1String("AM/PM"), Qt::CaseInsensitive) == 0) {
            toks.append({QStringLiteral("am/pm"), QString(), c.isUpper()});
            i += 5;
            continue;
        }
        if (fmt.mid(i, 3).compare(QLatin1String("A/P"), Qt::CaseInsensitive) == 0) {
            toks.append({QStringLiteral("a/p"), QString(), c.isUpper()});
            i += 3;
            continue;
        }
        if (QStringLiteral("dmyhnswqc").contains(lc)) {
            int j = i;
            while (j < fmt.size() && fmt.at(j).toLower() == lc)
                ++j;
            toks.append({fmt.mid(i, j - i).toLower(), QString(), c.isUpper()});
            i = j;
            continue;
        }
        toks.append({QString(), QString(c), false});
        ++i;
    }
    bool twelveHour = false;
    for (const Tok &t : toks)
        if (t.code.size() >= 3 && (t.code.startsWith(QLatin1String("am")) || t.code.startsWith(QLatin1String("a/"))))
            twelveHour = true;
    for (int k = 0; k < toks.size(); ++k) {
        const Tok &t = toks[k];
        if (t.code.isEmpty()) {
            out += t.literal;
            continue;
        }
        QString c = t.code;
        if (c.startsWith(QLatin1Char('m')) && c.size() <= 2) {
            bool minute = false;
            for (int b = k - 1; b >= 0; --b)
                if (!toks[b].code.isEmpty()) {
                    minute = toks[b].code.startsWith(QLatin1Char('h'));
                    break;
                }
            for (int a = k + 1; a < toks.size() && !minute; ++a)
                if (!toks[a].code.isEmpty()) {
                    minute = toks[a].code.startsWith(QLatin1Char('s'));
                    break;
                }
            if (minute)
                c = c == QLatin1String("m") ? QStringLiteral("n") : QStringLiteral("nn");
        }
        int h12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
        if (c == QLatin1String("d")) out += QString::number(p.day);
        else if (c == QLatin1String("dd")) out += twoDigits(p.day);
        else if (c == QLatin1String("ddd")) out += QString::fromLatin1(kDayNames[p.dayOfWeek - 1]).left(3);
        else if (c == QLatin1String("dddd")) out += QString::fromLatin1(kDayNames[p.dayOfWeek - 1]);
        else if (c == QLatin1String("ddddd")) out += QStringLiteral("%1/%2/%3").arg(p.month).arg(p.day).arg(p.year);
        else if (c == QLatin1String("dddddd")) out += format(ole, nullptr, true, QStringLiteral("Long Date"));
        else if (c == QLatin1String("m")) out += QString::number(p.month);
        else if (c == QLatin1String("mm")) out += twoDigits(p.month);
        else if (c == QLatin1String("mmm")) out += QString::fromLatin1(kMonthNames[p.month - 1]).left(3);
        else if (c.startsWith(QLatin1String("mmmm"))) out += QString::fromLatin1(kMonthNames[p.month - 1]);
        else if (c == QLatin1String("y")) out += QString::number(QDate(p.year, p.month, p.day).dayOfYear());
        else if (c == QLatin1String("yy")) out += twoDigits(p.year % 100);
        else if (c.startsWith(QLatin1String("yyy"))) out += QString::number(p.year);
        else if (c == QLatin1String("h")) out += QString::number(twelveHour ? h12 : p.hour);
        else if (c.startsWith(QLatin1String("hh"))) out += twoDigits(twelveHour ? h12 : p.hour);
        else if (c == QLatin1String("n")) out += QString::number(p.minute);
        else if (c.startsWith(QLatin1String("nn"))) out += twoDigits(p.minute);
        else if (c == QLatin1String("s")) out += QString::number(p.second);
        else if (c.startsWith(QLatin1String("ss"))) out += twoDigits(p.second);
        else if (c == QLatin1String("w")) out += QString::number(p.dayOfWeek % 7 + 1);
        else if (c == QLatin1String("ww")) {
            QDate jan1(p.year, 1, 1);
            int offset = jan1.dayOfWeek() % 7;   // Sunday-based weeks
            out += QString::number((QDate(p.year, p.month, p.day).dayOfYear() - 1 + offset) / 7 + 1);
        } else if (c == QLatin1String("q")) out += QString::number((p.month - 1) / 3 + 1);
        else if (c == QLatin1String("c")) out += dateText(ole);
        else if (c.size() == 5 && c.startsWith(QLatin1String("am"))) {
            QString s = p.hour < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
            out += t.upper ? s : s.toLower();
        } else if (c.size() == 3 && c.startsWith(QLatin1String("a/"))) {
            QString s = p.hour < 12 ? QStringLiteral("A") : QStringLiteral("P");
            out += t.upper ? s : s.toLower();
        } else
            out += c;
    }
    return out;
}

} // namespace

QString format(double number, const QString *text, bool isDate, const QString &fmt)
{
    const QString f = fmt;
    auto is = [&](const char *name) { return f.compare(QLatin1String(name), Qt::CaseInsensitive) == 0; };
    if (text && (f.startsWith(QLatin1Char('>')) || f.startsWith(QLatin1Char('<')) || f.contains(QLatin1Char('@'))
                 || f.isEmpty())) {
        if (f.startsWith(QLatin1Char('>')))
            return text->toUpper();
        if (f.startsWith(QLatin1Char('<')))
            return text->toLower();
        if (f.isEmpty())
            return *text;
        QString out;
        int at = f.count(QLatin1Char('@'));
        QString padded = text->size() < at ? QString(at - text->size(), QLatin1Char(' ')) + *text : *text;
        int k = 0;
        for (QChar c : f) {
            if (c == QLatin1Char('@')) {
                if (k == 0 && padded.size() > at) {
                    out += padded.left(padded.size() - at + 1);
                    k = padded.size() - at + 1;
                } else
                    out += padded.at(k++);
            } else
                out += c;
        }
        return out;
    }
    if (text) {
        if (std::optional<double> n = parseNumber(*text))
            number = *n;
        else if (std::optional<double> d = parseDate(*text)) {
            number = *d;
            isDate = true;
        } else
            return *text;
    }
    if (f.isEmpty() || is("General Number"))
        return isDate && f.isEmpty() ? dateText(number) : numberText(number);
    if (is("General Date"))
        return dateText(number);
    if (is("Currency"))
        return format(number, nullptr, false, QStringLiteral("$#,##0.00;($#,##0.00)"));
    if (is("Fixed"))
        return format(number, nullptr, false, QStringLiteral("0.00"));
    if (is("Standard"))
        return format(number, nullptr, false, QStringLiteral("#,##0.00"));
    if (is("Percent"))
        return format(number, nullptr, false, QStringLiteral("0.00%"));
    if (is("Scientific")) {
        QString s = QString::number(number, 'E', 2);   // 1.23E+04
        int e = s.indexOf(QLatin1Char('E'));
        QString exp = s.mid(e + 2);
        while (exp.size() > 2 && exp.startsWith(QLatin1Char('0')))
            exp.remove(0, 1);
        return s.left(e + 2) + exp;
    }
    if (is("Yes/No"))
        return number != 0 ? QStringLiteral("Yes") : QStringLiteral("No");
    if (is("True/False"))
        return number != 0 ? QStringLiteral("True") : QStringLiteral("False");
    if (is("On/Off"))
        return number != 0 ? QStringLiteral("On") : QStringLiteral("Off");
    if (is("Long Date"))
        return formatDatePattern(number, QStringLiteral("dddd, mmmm d, yyyy"));
    if (is("Medium Date"))
        return formatDatePattern(number, QStringLiteral("dd-mmm-yy"));
    if (is("Short Date"))
        return formatDatePattern(number, QStringLiteral("m/d/yyyy"));
    if (is("Long Time"))
        return formatDatePattern(number, QStringLiteral("h:nn:ss AM/PM"));
    if (is("Medium Time"))
        return formatDatePattern(number, QStringLiteral("hh:nn AM/PM"));
    if (is("Short Time"))
        return formatDatePattern(number, QStringLiteral("hh:nn"));

    bool numeric = false;
    bool quoted = false;
    for (int i = 0; i < f.size(); ++i) {
        QChar c = f.at(i);
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (c == QLatin1Char('\\'))
            ++i;
        else if (!quoted && (c == QLatin1Char('0') || c == QLatin1Char('#')))
            numeric = true;
    }
    if (!numeric)
        return formatDatePattern(number, f);
    QStringList sections = splitSections(f);
    if (number < 0 && sections.size() >= 2 && !sections.at(1).isEmpty())
        return formatNumberSection(-number, sections.at(1), false);
    if (number == 0 && sections.size() >= 3 && !sections.at(2).isEmpty())
        return formatNumberSection(number, sections.at(2), false);
    return formatNumberSection(number, sections.at(0), true);
}

} // namespace kolta::jetsql::vba
