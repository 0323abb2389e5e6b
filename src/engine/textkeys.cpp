#include "textkeys.h"

#include <QList>
#include <QtEndian>

#include <array>

namespace kolta::jet::engine {

namespace {

constexpr quint16 General = 0x0409;
constexpr qsizetype LongestText = 255;
// Jet 4 and Access 2010: the byte between the weights and the rest.
constexpr char Separator = 0x01;
// Jet 3: weights are at least this, the bytes after them below it.
constexpr unsigned char Jet3LowestWeight = 0x10;

// A character's entry in a table below: its weight (one byte when below
// 0x100 and the order allows it), an apostrophe or hyphen that has no
// weight (Ignored | its code in the trailer), or 0 when its key has not been
// checked against files Access wrote.
constexpr quint16 Ignored = 0x8000;
constexpr char16_t First = 0x20;
constexpr char16_t Last = 0x7E;
using Table = std::array<quint16, Last - First + 1>;

// Characters 0x20 to 0x7E; the lower-case letters are looked up as upper
// case, which Access weighs the same. Read from the keys in Access's files.
constexpr Table Jet3Weights = {
    0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18,  // space ! " # $ % & '
    0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x20,  // ( ) * + , - . /
    0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,  // 0-9
    0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27,        // : ; < = > ? @
    0x60, 0x61, 0x62, 0x64, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6F,  // A-M
    0x70, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x7A, 0x7B, 0x7C, 0x7D, 0x7E,  // N-Z
    0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D,              // [ \ ] ^ _ `
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // a-z
    0x2E, 0x2F, 0x30, 0x31,                          // { | } ~
};

constexpr Table Jet4Weights = {
    0x07, 0x09, 0x0A, 0x0C, 0x0E, 0x10, 0x12, Ignored | 0x80,  // space ! " # $ % & '
    0x14, 0x16, 0x18, 0x2C, 0x1A, Ignored | 0x82, 0x1C, 0x1E,  // ( ) * + , - . /
    0x36, 0x38, 0x3A, 0x3C, 0x3E, 0x40, 0x42, 0x44, 0x46, 0x48,  // 0-9
    0x20, 0x22, 0x2E, 0x30, 0x32, 0x24, 0x26,                  // : ; < = > ? @
    0x4A, 0x4C, 0x4D, 0x4F, 0x51, 0x53, 0x55, 0x57, 0x59, 0x5B, 0x5C, 0x5E, 0x60,  // A-M
    0x62, 0x64, 0x66, 0x68, 0x69, 0x6B, 0x6D, 0x6F, 0x71, 0x73, 0x75, 0x76, 0x78,  // N-Z
    0x27, 0x29, 0x2A, 0x2B02, 0x2B03, 0x2B07,                  // [ \ ] ^ _ `
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // a-z
    0x2B09, 0x2B0B, 0x2B0D, 0x2B0F,                            // { | } ~
};

// Only what the files show; Z and most punctuation are missing from them.
constexpr Table Access2010Weights = {
    0x0702, 0, 0, 0, 0, 0, 0, 0,                     // space ! " # $ % & '
    0, 0, 0, 0, 0, Ignored | 0x82, 0x0733, 0,        // ( ) * + , - . /
    0x0D17, 0x0D19, 0x0D1A, 0x0D1B, 0x0D1C, 0x0D1D, 0x0D1E, 0x0D1F, 0x0D20, 0x0D21,  // 0-9
    0, 0, 0, 0, 0, 0, 0,                             // : ; < = > ? @
    0x0E02, 0x0E09, 0x0E0A, 0x0E1A, 0x0E21, 0x0E23, 0x0E25, 0x0E2C, 0x0E32, 0x0E35, 0x0E36, 0x0E48, 0x0E51,  // A-M
    0x0E70, 0x0E7C, 0x0E7E, 0x0E89, 0x0E8A, 0x0E91, 0x0E99, 0x0E9F, 0x0EA2, 0x0EA4, 0x0EA6, 0x0EA7, 0,  // N-Z
    0, 0, 0, 0, 0x0744, 0,                           // [ \ ] ^ _ `
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // a-z
    0, 0, 0, 0,                                      // { | } ~
};

const Table *tableOf(TextOrder order)
{
    switch (order) {
    case TextOrder::Jet3General: return &Jet3Weights;
    case TextOrder::Jet4General: return &Jet4Weights;
    case TextOrder::Access2010General: return &Access2010Weights;
    case TextOrder::Unknown: break;
    }
    return nullptr;
}

quint16 entryOf(const Table &table, char16_t c)
{
    if (c >= u'a' && c <= u'z')
        c = char16_t(c - u'a' + u'A');
    if (c < First || c > Last)
        return 0;
    return table[c - First];
}

// The characters whose weights rank as compareJet ranks them (ASCII with
// the letters folded to lower case): those before the digits in both, the
// digits and the letters.
bool isSafe(char16_t c, TextOrder order)
{
    if ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))
        return order != TextOrder::Access2010General || (c != u'z' && c != u'Z');
    switch (order) {
    case TextOrder::Jet3General:
        return c >= u' ' && c <= u'/';
    case TextOrder::Jet4General:
        // Apostrophe and hyphen have no weight; + weighs more than / does.
        return c >= u' ' && c <= u'/' && c != u'\'' && c != u'-' && c != u'+';
    case TextOrder::Access2010General:
        return c == u' ' || c == u'.';
    case TextOrder::Unknown: break;
    }
    return false;
}

void appendWeight(QByteArray &key, quint16 weight, TextOrder order)
{
    if (order == TextOrder::Access2010General || weight > 0xFF)
        key.append(char(weight >> 8));
    key.append(char(weight & 0xFF));
}

// Jet 3 beyond ASCII: the characters of windows-1252, the code page Jet 3
// files hold text in. A character with an accent weighs as its base letter
// and adds its accent's number (1-15) after the weights.
struct Jet3Code
{
    quint16 weight;
    quint8 accent;
};

// U+00A0 to U+00FF.
constexpr std::array<Jet3Code, 96> Jet3Latin1 = {{
    {0x11, 0}, {0x3B, 0}, {0x3C, 0}, {0x3D, 0}, {0x3E, 0}, {0x3F, 0}, {0x40, 0}, {0x41, 0},  // U+00A0
    {0x42, 0}, {0x43, 0}, {0x44, 0}, {0x13, 0}, {0x45, 0}, {0x1E, 0}, {0x46, 0}, {0x47, 0},  // U+00A8
    {0x48, 0}, {0x49, 0}, {0x58, 0}, {0x59, 0}, {0x4A, 0}, {0x4B, 0}, {0x4C, 0}, {0x4D, 0},  // U+00B0
    {0x4E, 0}, {0x57, 0}, {0x4F, 0}, {0x13, 0}, {0x50, 0}, {0x51, 0}, {0x52, 0}, {0x53, 0},  // U+00B8
    {0x60, 3}, {0x60, 4}, {0x60, 5}, {0x60, 7}, {0x60, 6}, {0x60, 8}, {0x6066, 0}, {0x62, 9},  // U+00C0
    {0x66, 3}, {0x66, 4}, {0x66, 5}, {0x66, 6}, {0x6A, 3}, {0x6A, 4}, {0x6A, 5}, {0x6A, 6},  // U+00C8
    {0x65, 0}, {0x70, 7}, {0x72, 3}, {0x72, 4}, {0x72, 5}, {0x72, 7}, {0x72, 6}, {0x54, 0},  // U+00D0
    {0x81, 0}, {0x78, 3}, {0x78, 4}, {0x78, 5}, {0x78, 6}, {0x7D, 4}, {0x7F, 0}, {0x7676, 0},  // U+00D8
    {0x60, 3}, {0x60, 4}, {0x60, 5}, {0x60, 7}, {0x60, 6}, {0x60, 8}, {0x6066, 0}, {0x62, 9},  // U+00E0
    {0x66, 3}, {0x66, 4}, {0x66, 5}, {0x66, 6}, {0x6A, 3}, {0x6A, 4}, {0x6A, 5}, {0x6A, 6},  // U+00E8
    {0x65, 0}, {0x70, 7}, {0x72, 3}, {0x72, 4}, {0x72, 5}, {0x72, 7}, {0x72, 6}, {0x55, 0},  // U+00F0
    {0x81, 0}, {0x78, 3}, {0x78, 4}, {0x78, 5}, {0x78, 6}, {0x7D, 4}, {0x7F, 0}, {0x7D, 6},  // U+00F8
}};

// The rest of windows-1252 (bytes 0x80-0x9F), by the character each byte
// decodes to; the bytes it leaves unassigned decode to the control
// character of the same number.
struct Jet3Other
{
    char16_t c;
    Jet3Code code;
};
constexpr std::array<Jet3Other, 32> Jet3Others = {{
    {0x0081, {0x10, 0}},   {0x008D, {0x10, 0}},  {0x008F, {0x10, 0}}, {0x0090, {0x10, 0}},
    {0x009D, {0x10, 0}},   {0x0152, {0x7266, 0}}, {0x0153, {0x7266, 0}}, {0x0160, {0x76, 10}},
    {0x0161, {0x76, 10}},  {0x0178, {0x7D, 6}},  {0x017D, {0x10, 0}}, {0x017E, {0x10, 0}},
    {0x0192, {0x32, 0}},   {0x02C6, {0x36, 0}},  {0x02DC, {0x39, 0}}, {0x2013, {0x1E, 0}},
    {0x2014, {0x1E, 0}},   {0x2018, {0x18, 0}},  {0x2019, {0x18, 0}}, {0x201A, {0x18, 0}},
    {0x201C, {0x13, 0}},   {0x201D, {0x13, 0}},  {0x201E, {0x13, 0}}, {0x2020, {0x34, 0}},
    {0x2021, {0x35, 0}},   {0x2022, {0x38, 0}},  {0x2026, {0x33, 0}}, {0x2030, {0x37, 0}},
    {0x2039, {0x18, 0}},   {0x203A, {0x18, 0}},  {0x20AC, {0x10, 0}}, {0x2122, {0x3A, 0}},
}};

// Jet 3: the code of a character beyond printable ASCII; weight 0 when it
// has not been checked. A tab weighs as a space, the other control
// characters all 0x10 (U+001A does not occur in the files).
Jet3Code jet3Code(char16_t c)
{
    if (c == u'\t')
        return {Jet3Weights[0], 0};
    if ((c >= 0x01 && c < 0x20 && c != 0x1A) || c == 0x7F)
        return {Jet3LowestWeight, 0};
    if (c >= 0xA0 && c <= 0xFF)
        return Jet3Latin1[c - 0xA0];
    for (const Jet3Other &other : Jet3Others) {
        if (other.c == c)
            return other.code;
    }
    return {0, 0};
}

// Jet 3: the letters that have accented forms. Each of them since the
// previous accented letter counts in the accent nibbles.
bool hasAccentedForms(char16_t c)
{
    switch (c) {
    case u'A': case u'C': case u'E': case u'I': case u'N': case u'O': case u'S': case u'U': case u'Y':
    case u'a': case u'c': case u'e': case u'i': case u'n': case u'o': case u's': case u'u': case u'y':
        return true;
    default:
        return false;
    }
}

// Jet 3 keys: the weights, then 00 when no character has an accent, else
// nibbles, high first: 0, then for each accented character a 2 for each
// letter with accented forms since the previous one and its accent's
// number, then a closing 0 (padded with another 0 to a whole byte).
std::optional<QByteArray> jet3Key(const QString &text)
{
    // Access leaves trailing spaces out of keys; whether it does so for the
    // characters that weigh as a space is not known.
    if (text.endsWith(u'\t') || text.endsWith(QChar(0xA0)))
        return std::nullopt;
    QByteArray key;
    QList<quint8> nibbles;
    int pending = 0;
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        quint16 weight = entryOf(Jet3Weights, c);
        quint8 accent = 0;
        if (weight == 0) {
            const Jet3Code code = jet3Code(c);
            weight = code.weight;
            accent = code.accent;
        }
        if (weight == 0)
            return std::nullopt;
        appendWeight(key, weight, TextOrder::Jet3General);
        if (accent == 0) {
            pending += hasAccentedForms(c) ? 1 : 0;
            continue;
        }
        if (nibbles.isEmpty())
            nibbles.append(0);
        nibbles.append(QList<quint8>(pending, 2));
        nibbles.append(accent);
        pending = 0;
    }
    if (nibbles.isEmpty()) {
        key.append('\0');
        return key;
    }
    nibbles.append(0);
    if (nibbles.size() % 2)
        nibbles.append(0);
    for (qsizetype i = 0; i < nibbles.size(); i += 2)
        key.append(char((nibbles.at(i) << 4) | nibbles.at(i + 1)));
    return key;
}

// Access 2010: the emoticons U+1F600 to U+1F64F, the characters beyond the
// 16-bit range the files hold, are two halves (UTF-16 surrogates) of two
// weight bytes each.
constexpr char16_t EmoticonHigh = 0xD83D;
constexpr quint16 EmoticonHighWeight = 0xB03F;
constexpr char16_t EmoticonLowFirst = 0xDE00;
constexpr char16_t EmoticonLowLast = 0xDE4F;
constexpr unsigned char EmoticonExtra = 0x3F;
constexpr unsigned char NoExtra = 0x02;

// The low halves weigh in one run from 0xB4F8 at U+DC00 on that skips the
// weights whose low byte is 00 or 01.
std::optional<quint16> emoticonLowWeight(char16_t c)
{
    if (c < EmoticonLowFirst || c > EmoticonLowLast)
        return std::nullopt;
    const int run = (0xF8 - 0x02) + (c - 0xDC00);
    return quint16(((0xB4 + run / 254) << 8) | (0x02 + run % 254));
}

} // namespace

TextOrder textOrder(int jetVersion, quint16 sortOrder, quint8 version)
{
    if (sortOrder != General)
        return TextOrder::Unknown;
    if (jetVersion == 0)
        return TextOrder::Jet3General;
    switch (version) {
    case 0: return TextOrder::Jet4General;
    case 1: return TextOrder::Access2010General;
    default: return TextOrder::Unknown;
    }
}

TextOrder textOrder(int jetVersion, const unsigned char *columnBlock)
{
    if (jetVersion == 0)
        return textOrder(jetVersion, qFromLittleEndian<quint16>(columnBlock + 9), 0);
    return textOrder(jetVersion, qFromLittleEndian<quint16>(columnBlock + 11), columnBlock[14]);
}

std::optional<QByteArray> textKey(const QString &text, TextOrder order)
{
    const Table *table = tableOf(order);
    if (!table || text.size() > LongestText || text.endsWith(u' '))
        return std::nullopt;
    if (order == TextOrder::Jet3General)
        return jet3Key(text);
    QByteArray key;
    QByteArray trailer;
    // One byte a weighted character: an emoticon's two halves each add 3F,
    // the others 02, which is left off at the end.
    QByteArray extra;
    bool anyExtra = false;
    int weighted = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (order == TextOrder::Access2010General && c == EmoticonHigh && i + 1 < text.size()) {
            const std::optional<quint16> low = emoticonLowWeight(text.at(i + 1).unicode());
            if (!low)
                return std::nullopt;
            appendWeight(key, EmoticonHighWeight, order);
            appendWeight(key, *low, order);
            extra.append(QByteArray(2, char(EmoticonExtra)));
            anyExtra = true;
            weighted += 2;
            ++i;
            continue;
        }
        const quint16 entry = entryOf(*table, c);
        if (entry == 0)
            return std::nullopt;
        if (entry & Ignored) {
            const quint16 position = quint16(Ignored | (7 + 4 * weighted));
            trailer.append(char(position >> 8));
            trailer.append(char(position & 0xFF));
            trailer.append(char(0x06));
            trailer.append(char(entry & 0xFF));
            continue;
        }
        appendWeight(key, entry, order);
        extra.append(char(NoExtra));
        ++weighted;
    }
    // How the trailer counts positions past extra bytes is not known.
    if (anyExtra && !trailer.isEmpty())
        return std::nullopt;
    key.append(Separator);
    if (anyExtra) {
        while (extra.endsWith(char(NoExtra)))
            extra.chop(1);
        key.append(extra);
    }
    if (!trailer.isEmpty()) {
        key.append(QByteArray(3, Separator));
        key.append(trailer);
    }
    key.append('\0');
    return key;
}

std::optional<QByteArray> primaryKeyPart(const QString &text, TextOrder order)
{
    const Table *table = tableOf(order);
    if (!table || text.size() > LongestText || text.endsWith(u' '))
        return std::nullopt;
    QByteArray primary;
    for (const QChar c : text) {
        if (!isSafe(c.unicode(), order))
            return std::nullopt;
        appendWeight(primary, entryOf(*table, c.unicode()), order);
    }
    return primary;
}

KeyRange primaryRange(const QByteArray &primary, TextOrder order)
{
    // Jet 3 puts 00, or the first byte of its accent nibbles (below 0x10),
    // straight after the weights; the others put the separator there.
    if (order == TextOrder::Jet3General)
        return {primary + '\0', primary + char(Jet3LowestWeight)};
    return {primary + Separator, primary + char(Separator + 1)};
}

} // namespace kolta::jet::engine
