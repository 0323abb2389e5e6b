#include "jettext.h"

#include <QStringDecoder>
#include <QtEndian>

namespace kolta::jet::engine {

namespace {

// The name Qt knows a Jet 3 file's code page by; windows-1252 for codes it
// does not know, as libmdb does.
QByteArray codePageName(int codePage)
{
    switch (codePage) {
    case 874:
    case 1250: case 1251: case 1252: case 1253: case 1254: case 1255: case 1256: case 1257: case 1258:
        return "windows-" + QByteArray::number(codePage);
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 437: case 850: case 852: case 855: case 857: case 860: case 861: case 862: case 863: case 864:
    case 865: case 866: case 869:
        return "IBM" + QByteArray::number(codePage);
    default: return "windows-1252";
    }
}

// Jet 3 text in the file's code page, decoded as Windows does: a byte the
// code page leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D in windows-1252)
// becomes the control character of the same number, not "?" as libmdb
// makes it.
QByteArray jet3Text(int codePage, const char *bytes, qsizetype size)
{
    // Plain ASCII reads the same in every code page Jet 3 uses.
    qsizetype ascii = 0;
    while (ascii < size && uchar(bytes[ascii]) < 0x80)
        ++ascii;
    if (ascii == size)
        return QByteArray(bytes, size);
    thread_local int decoderPage = -1;
    thread_local QStringDecoder decoder;
    if (decoderPage != codePage) {
        decoder = QStringDecoder(codePageName(codePage).constData());
        if (!decoder.isValid())
            decoder = QStringDecoder("windows-1252");
        decoderPage = codePage;
    }
    decoder.resetState();
    const QString text = decoder.decode(QByteArrayView(bytes, size));
    return text.toUtf8();
}

// Jet 4 text into UTF-8: UTF-16LE, or, after the marker FF FE, "compressed":
// each byte one character up to U+00FF; a zero byte switches to two-byte
// units and the next zero byte back. A surrogate without its
// partner becomes "?", and an odd last byte is dropped.
int jet4Text(const unsigned char *s, qsizetype size, QByteArray &buffer)
{
    // A source byte becomes at most two bytes of UTF-8.
    if (buffer.size() < size * 2 + 16)
        buffer.resize(size * 2 + 16);
    auto *out = reinterpret_cast<unsigned char *>(buffer.data());
    const auto *const begin = out;
    const auto put = [&out](char32_t c) {
        if (c < 0x80) {
            *out++ = uchar(c);
        } else if (c < 0x800) {
            *out++ = uchar(0xc0 | (c >> 6));
            *out++ = uchar(0x80 | (c & 0x3f));
        } else if (c < 0x10000) {
            *out++ = uchar(0xe0 | (c >> 12));
            *out++ = uchar(0x80 | ((c >> 6) & 0x3f));
            *out++ = uchar(0x80 | (c & 0x3f));
        } else {
            *out++ = uchar(0xf0 | (c >> 18));
            *out++ = uchar(0x80 | ((c >> 12) & 0x3f));
            *out++ = uchar(0x80 | ((c >> 6) & 0x3f));
            *out++ = uchar(0x80 | (c & 0x3f));
        }
    };
    const unsigned char *const end = s + size;
    const bool marked = size >= 2 && s[0] == 0xff && s[1] == 0xfe;
    bool compressed = marked;
    if (marked)
        s += 2;
    while (s < end) {
        if (marked && *s == 0) {
            compressed = !compressed;
            ++s;
            continue;
        }
        if (compressed) {
            put(*s++);
            continue;
        }
        if (end - s < 2)
            break;
        const char16_t unit = char16_t(s[0] | (s[1] << 8));
        if (QChar::isHighSurrogate(unit) && end - s >= 4) {
            const char16_t low = char16_t(s[2] | (s[3] << 8));
            if (QChar::isLowSurrogate(low)) {
                put(QChar::surrogateToUcs4(unit, low));
                s += 4;
                continue;
            }
        }
        put(QChar::isSurrogate(unit) ? U'?' : char32_t(unit));
        s += 2;
    }
    return int(out - begin);
}

} // namespace

int utf8Text(MdbHandle *mdb, const char *bytes, qsizetype size, QByteArray &buffer)
{
    if (IS_JET3(mdb)) {
        buffer = jet3Text(mdb->f->code_page, bytes, size);
        return int(buffer.size());
    }
    return jet4Text(reinterpret_cast<const unsigned char *>(bytes), size, buffer);
}

QString guidText(const unsigned char *bytes)
{
    return QStringLiteral("{%1-%2-%3-%4-%5}")
        .arg(qFromLittleEndian<quint32>(bytes), 8, 16, QLatin1Char('0'))
        .arg(qFromLittleEndian<quint16>(bytes + 4), 4, 16, QLatin1Char('0'))
        .arg(qFromLittleEndian<quint16>(bytes + 6), 4, 16, QLatin1Char('0'))
        .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(bytes + 8), 2).toHex()))
        .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(bytes + 10), 6).toHex()))
        .toUpper();
}

} // namespace kolta::jet::engine
