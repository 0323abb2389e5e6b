#include "rtfreader.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace kolta::about {

namespace {

// Deeper groups share the state of the deepest saved one, so that a file of
// nothing but opening braces cannot take the memory.
constexpr qsizetype MaxSavedGroups = 256;
constexpr qint64 ParameterLimit = 1 << 30;
constexpr int DefaultCodePage = 1252;
constexpr int MaxIndent = 31680;        // 22 inches, the widest page the format allows
constexpr qsizetype MaxTabStops = 64;

constexpr char16_t LineSeparator = 0x2028;

enum class Destination { Text, FontTable, ColorTable, Skip };

struct GroupState
{
    RtfCharFormat format;         // fontFamily is resolved from fontNumber when text is added
    int fontNumber = -1;
    RtfParagraphFormat paragraph;
    Destination destination = Destination::Text;
    int fallbackLength = 1;       // \ucN: characters that follow each \uN for older readers
};

struct Font
{
    QString family;
    int codePage = 0;             // 0: the document's
};

int codePageOfCharset(int charset)
{
    switch (charset) {
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    default: return 0;
    }
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Destinations whose text is never shown, even without the \* mark.
bool isSkippedDestination(QByteArrayView word)
{
    static constexpr const char *skipped[] = {
        "annotation", "atnauthor", "atnid", "author", "bkmkend", "bkmkstart", "buptim",
        "colorschememapping", "comment", "creatim", "datastore", "doccomm", "falt", "fldinst",
        "filetbl", "footer", "footerf", "footerl", "footerr", "footnote", "header", "headerf",
        "headerl", "headerr", "info", "keywords", "listoverridetable", "listtable", "nonshppict",
        "object", "operator", "panose", "pict", "printim", "private", "revtbl", "revtim",
        "rsidtbl", "stylesheet", "subject", "tc", "themedata", "title", "txe", "xe", "xmlnstbl",
    };
    return std::any_of(std::begin(skipped), std::end(skipped),
                       [word](const char *name) { return word == QByteArrayView(name); });
}

std::optional<char16_t> specialCharacter(QByteArrayView word)
{
    struct Special { const char *word; char16_t ch; };
    static constexpr Special specials[] = {
        {"tab", u'\t'}, {"cell", u'\t'}, {"line", LineSeparator}, {"emdash", 0x2014},
        {"endash", 0x2013}, {"emspace", 0x2003}, {"enspace", 0x2002}, {"qmspace", 0x2005},
        {"bullet", 0x2022}, {"lquote", 0x2018}, {"rquote", 0x2019}, {"ldblquote", 0x201C},
        {"rdblquote", 0x201D},
    };
    for (const Special &special : specials) {
        if (word == QByteArrayView(special.word))
            return special.ch;
    }
    return std::nullopt;
}

class Parser
{
public:
    explicit Parser(QByteArrayView data) : m_data(data) {}

    RtfDocument run();

private:
    void openGroup();
    // False once the outermost group has closed.
    bool closeGroup();
    void controlWord(QByteArrayView word, std::optional<int> parameter);
    void controlSymbol(char symbol);
    void textByte(char byte);
    bool skipFallback();

    void flushText();
    void appendText(const QString &text);
    void endParagraph();
    void commitFont();
    void commitColor();
    QString decode(QByteArrayView bytes, int codePage);
    int currentCodePage() const;

    QByteArrayView m_data;
    qsizetype m_pos = 0;

    GroupState m_state;
    std::vector<GroupState> m_saved;
    qint64 m_unsavedDepth = 0;

    int m_codePage = DefaultCodePage;
    int m_defaultFont = -1;
    std::map<int, Font> m_fonts;
    std::vector<std::optional<RtfColor>> m_colors;
    std::map<int, std::unique_ptr<QStringDecoder>> m_decoders;

    int m_fontEntry = -1;
    int m_fontEntryCodePage = 0;
    QByteArray m_fontEntryName;
    RtfColor m_colorEntry;
    bool m_colorEntryGiven = false;

    QByteArray m_pendingText;     // 8-bit text not yet decoded
    int m_fallbackToSkip = 0;

    RtfDocument m_document;
    RtfParagraph m_paragraph;
};

RtfDocument Parser::run()
{
    const qsizetype size = m_data.size();
    while (m_pos < size) {
        const char c = m_data[m_pos++];
        if (c == '{') {
            openGroup();
        } else if (c == '}') {
            if (!closeGroup())
                break;
        } else if (c == '\\') {
            if (m_pos >= size)
                break;
            const char next = m_data[m_pos];
            if (!isLetter(next)) {
                ++m_pos;
                controlSymbol(next);
                continue;
            }
            const qsizetype start = m_pos;
            while (m_pos < size && isLetter(m_data[m_pos]))
                ++m_pos;
            const QByteArrayView word = m_data.sliced(start, m_pos - start);
            std::optional<int> parameter;
            const bool negative = m_pos + 1 < size && m_data[m_pos] == '-' && isDigit(m_data[m_pos + 1]);
            if (negative)
                ++m_pos;
            if (m_pos < size && isDigit(m_data[m_pos])) {
                qint64 value = 0;
                while (m_pos < size && isDigit(m_data[m_pos])) {
                    value = std::min(value * 10 + (m_data[m_pos] - '0'), ParameterLimit);
                    ++m_pos;
                }
                parameter = int(negative ? -value : value);
            }
            if (m_pos < size && m_data[m_pos] == ' ')
                ++m_pos;
            if (!skipFallback())
                controlWord(word, parameter);
        } else {
            textByte(c);
        }
    }
    flushText();
    if (m_state.destination == Destination::FontTable)
        commitFont();
    if (!m_paragraph.runs.isEmpty())
        m_document.paragraphs.append(m_paragraph);
    return m_document;
}

void Parser::openGroup()
{
    flushText();
    m_fallbackToSkip = 0;
    if (qsizetype(m_saved.size()) < MaxSavedGroups)
        m_saved.push_back(m_state);
    else
        ++m_unsavedDepth;
}

bool Parser::closeGroup()
{
    flushText();
    m_fallbackToSkip = 0;
    if (m_state.destination == Destination::FontTable)
        commitFont();
    if (m_unsavedDepth > 0) {
        --m_unsavedDepth;
        return true;
    }
    if (m_saved.empty())
        return true;    // a stray closing brace before the document began
    m_state = m_saved.back();
    m_saved.pop_back();
    return !m_saved.empty();
}

bool Parser::skipFallback()
{
    if (m_fallbackToSkip <= 0)
        return false;
    --m_fallbackToSkip;
    return true;
}

void Parser::controlSymbol(char symbol)
{
    if (symbol == '\'') {
        int value = 0;
        int digits = 0;
        while (digits < 2 && m_pos < m_data.size()) {
            const int digit = hexValue(m_data[m_pos]);
            if (digit < 0)
                break;
            value = value * 16 + digit;
            ++digits;
            ++m_pos;
        }
        if (digits == 2 && !skipFallback()) {
            if (m_state.destination == Destination::FontTable)
                m_fontEntryName += char(value);
            else if (m_state.destination == Destination::Text)
                m_pendingText += char(value);
        }
        return;
    }
    if (skipFallback())
        return;
    switch (symbol) {
    case '*':
        // Marks a destination that may be skipped when it is not known; none
        // that is marked so carries text to show.
        flushText();
        m_state.destination = Destination::Skip;
        break;
    case '\\':
    case '{':
    case '}':
        textByte(symbol);
        break;
    case '~':
        appendText(QString(QChar(0x00A0)));
        break;
    case '_':
        appendText(QString(QChar(0x2011)));
        break;
    case '\r':
    case '\n':
        controlWord("par", std::nullopt);
        break;
    case '\t':
        appendText(QStringLiteral("\t"));
        break;
    default:
        break;      // \- optional hyphen, \| \: index marks and unknown symbols
    }
}

void Parser::controlWord(QByteArrayView word, std::optional<int> parameter)
{
    const int value = parameter.value_or(1);
    const bool on = !parameter || *parameter != 0;
    GroupState &s = m_state;

    if (word == "bin") {
        // Raw bytes follow that may hold anything, braces included.
        m_pos += std::clamp<qint64>(parameter.value_or(0), 0, m_data.size() - m_pos);
        return;
    }
    if (s.destination == Destination::Skip)
        return;
    if (word == "fonttbl") {
        flushText();
        s.destination = Destination::FontTable;
        m_fontEntry = -1;
        return;
    }
    if (word == "colortbl") {
        flushText();
        s.destination = Destination::ColorTable;
        m_colorEntry = RtfColor();
        m_colorEntryGiven = false;
        return;
    }
    if (isSkippedDestination(word)) {
        flushText();
        s.destination = Destination::Skip;
        return;
    }

    switch (s.destination) {
    case Destination::Skip:
    case Destination::Text:
        break;
    case Destination::FontTable:
        if (word == "f") {
            commitFont();
            m_fontEntry = value;
            m_fontEntryCodePage = 0;
            m_fontEntryName.clear();
        } else if (word == "fcharset") {
            m_fontEntryCodePage = codePageOfCharset(value);
        } else if (word == "cpg") {
            m_fontEntryCodePage = value;
        }
        return;
    case Destination::ColorTable:
        if (word == "red" || word == "green" || word == "blue") {
            const quint8 component = quint8(std::clamp(value, 0, 255));
            if (word == "red")
                m_colorEntry.red = component;
            else if (word == "green")
                m_colorEntry.green = component;
            else
                m_colorEntry.blue = component;
            m_colorEntryGiven = true;
        }
        return;
    }

    if (word == "u" && parameter) {
        // A signed 16-bit code unit; the fallback characters after it are for
        // readers that do not know \u.
        flushText();
        appendText(QString(QChar(char16_t(quint16(qint16(value))))));
        m_fallbackToSkip = s.fallbackLength;
        return;
    }
    if (const std::optional<char16_t> ch = specialCharacter(word)) {
        appendText(QString(QChar(*ch)));
        return;
    }
    flushText();
    if (word == "par" || word == "row" || word == "sect" || word == "page") {
        endParagraph();
    } else if (word == "pard") {
        s.paragraph = RtfParagraphFormat();
    } else if (word == "ql") {
        s.paragraph.alignment = RtfAlignment::Left;
    } else if (word == "qc") {
        s.paragraph.alignment = RtfAlignment::Center;
    } else if (word == "qr") {
        s.paragraph.alignment = RtfAlignment::Right;
    } else if (word == "qj") {
        s.paragraph.alignment = RtfAlignment::Justify;
    } else if (word == "li") {
        s.paragraph.leftIndent = std::clamp(value, -MaxIndent, MaxIndent);
    } else if (word == "fi") {
        s.paragraph.firstLineIndent = std::clamp(value, -MaxIndent, MaxIndent);
    } else if (word == "sb") {
        s.paragraph.spaceBefore = std::clamp(value, 0, MaxIndent);
    } else if (word == "sa") {
        s.paragraph.spaceAfter = std::clamp(value, 0, MaxIndent);
    } else if (word == "tx") {
        if (s.paragraph.tabStops.size() < MaxTabStops)
            s.paragraph.tabStops.append(std::clamp(value, 0, MaxIndent));
    } else if (word == "plain") {
        s.format = RtfCharFormat();
        s.fontNumber = -1;
    } else if (word == "b") {
        s.format.bold = on;
    } else if (word == "i") {
        s.format.italic = on;
    } else if (word == "ul" || word == "uld" || word == "uldb" || word == "uldash" || word == "ulw"
               || word == "ulth" || word == "ulwave") {
        s.format.underline = on;
    } else if (word == "ulnone") {
        s.format.underline = false;
    } else if (word == "fs") {
        s.format.halfPoints = parameter ? std::clamp(*parameter, 0, 3276) : 0;
    } else if (word == "f") {
        s.fontNumber = value;
    } else if (word == "cf") {
        const bool known = value > 0 && size_t(value) < m_colors.size();
        s.format.color = known ? m_colors[size_t(value)] : std::nullopt;
    } else if (word == "uc") {
        s.fallbackLength = std::clamp(value, 0, 16);
    } else if (word == "deff") {
        m_defaultFont = value;
    } else if (word == "ansicpg") {
        m_codePage = value;
    } else if (word == "ansi") {
        m_codePage = DefaultCodePage;
    } else if (word == "mac") {
        m_codePage = 10000;
    } else if (word == "pc") {
        m_codePage = 437;
    } else if (word == "pca") {
        m_codePage = 850;
    }
}

void Parser::textByte(char byte)
{
    if (byte == '\r' || byte == '\n' || (byte >= 0 && byte < 0x20 && byte != '\t'))
        return;
    if (skipFallback())
        return;
    switch (m_state.destination) {
    case Destination::Text:
        m_pendingText += byte;
        break;
    case Destination::FontTable:
        if (byte == ';')
            commitFont();
        else
            m_fontEntryName += byte;
        break;
    case Destination::ColorTable:
        if (byte == ';')
            commitColor();
        break;
    case Destination::Skip:
        break;
    }
}

int Parser::currentCodePage() const
{
    const int font = m_state.fontNumber >= 0 ? m_state.fontNumber : m_defaultFont;
    const auto it = m_fonts.find(font);
    if (it != m_fonts.end() && it->second.codePage != 0)
        return it->second.codePage;
    return m_codePage;
}

QString Parser::decode(QByteArrayView bytes, int codePage)
{
    auto it = m_decoders.find(codePage);
    if (it == m_decoders.end()) {
        auto decoder = std::make_unique<QStringDecoder>(
            QStringLiteral("windows-%1").arg(codePage).toLatin1().constData(),
            QStringConverter::Flag::Stateless);
        if (!decoder->isValid())
            decoder = std::make_unique<QStringDecoder>("windows-1252", QStringConverter::Flag::Stateless);
        it = m_decoders.emplace(codePage, std::move(decoder)).first;
    }
    if (!it->second->isValid())
        return QString::fromLatin1(bytes);
    return it->second->decode(bytes);
}

void Parser::flushText()
{
    if (m_pendingText.isEmpty())
        return;
    const QByteArray bytes = std::exchange(m_pendingText, QByteArray());
    appendText(decode(bytes, currentCodePage()));
}

void Parser::appendText(const QString &text)
{
    if (m_state.destination != Destination::Text || text.isEmpty())
        return;
    flushText();
    RtfCharFormat format = m_state.format;
    const int font = m_state.fontNumber >= 0 ? m_state.fontNumber : m_defaultFont;
    if (const auto it = m_fonts.find(font); it != m_fonts.end())
        format.fontFamily = it->second.family;
    static_cast<RtfParagraphFormat &>(m_paragraph) = m_state.paragraph;
    if (!m_paragraph.runs.isEmpty() && m_paragraph.runs.last().format == format)
        m_paragraph.runs.last().text += text;
    else
        m_paragraph.runs.append({text, format});
}

void Parser::endParagraph()
{
    if (m_state.destination != Destination::Text)
        return;
    static_cast<RtfParagraphFormat &>(m_paragraph) = m_state.paragraph;
    m_document.paragraphs.append(std::exchange(m_paragraph, RtfParagraph()));
}

void Parser::commitFont()
{
    if (m_fontEntry >= 0) {
        const int codePage = m_fontEntryCodePage != 0 ? m_fontEntryCodePage : m_codePage;
        m_fonts[m_fontEntry] = {decode(m_fontEntryName, codePage).trimmed(), m_fontEntryCodePage};
    }
    m_fontEntry = -1;
    m_fontEntryName.clear();
}

void Parser::commitColor()
{
    // An entry with no component given stands for the default colour.
    m_colors.push_back(m_colorEntryGiven ? std::optional<RtfColor>(m_colorEntry) : std::nullopt);
    m_colorEntry = RtfColor();
    m_colorEntryGiven = false;
}

} // namespace

QString RtfParagraph::text() const
{
    QString out;
    for (const RtfRun &run : runs)
        out += run.text;
    return out;
}

QString RtfDocument::text() const
{
    QStringList lines;
    for (const RtfParagraph &paragraph : paragraphs)
        lines << paragraph.text();
    return lines.join(QLatin1Char('\n'));
}

RtfDocument parseRtf(QByteArrayView data)
{
    return Parser(data).run();
}

Result<RtfDocument> readRtfFile(const QString &path)
{
    QFile file(path);
    const QByteArray data = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (file.error() != QFileDevice::NoError)
        return Error{QStringLiteral("\"%1\" could not be read: %2.")
                         .arg(QDir::toNativeSeparators(path), file.errorString())};
    return parseRtf(data);
}

} // namespace kolta::about
