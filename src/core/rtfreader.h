#pragma once

#include "result.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

namespace kolta::about {

struct RtfColor
{
    quint8 red = 0;
    quint8 green = 0;
    quint8 blue = 0;
    friend bool operator==(const RtfColor &, const RtfColor &) = default;
};

// Character formatting of a run. Unset members mean "as the text widget's
// default": no font of its own, no size of its own, the default colour.
struct RtfCharFormat
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    QString fontFamily;             // empty: no font of its own
    int halfPoints = 0;             // 0: no size of its own
    std::optional<RtfColor> color;
    friend bool operator==(const RtfCharFormat &, const RtfCharFormat &) = default;
};

// Text in one format. Tabs are '\t', line breaks inside a paragraph U+2028.
struct RtfRun
{
    QString text;
    RtfCharFormat format;
};

enum class RtfAlignment { Left, Center, Right, Justify };

// Indents, spacing and tab stops in twips (1/1440 inch).
struct RtfParagraphFormat
{
    RtfAlignment alignment = RtfAlignment::Left;
    int leftIndent = 0;
    int firstLineIndent = 0;    // relative to leftIndent, negative for a hanging indent
    int spaceBefore = 0;
    int spaceAfter = 0;
    QList<int> tabStops;
    friend bool operator==(const RtfParagraphFormat &, const RtfParagraphFormat &) = default;
};

struct RtfParagraph : RtfParagraphFormat
{
    QList<RtfRun> runs;
    QString text() const;
};

struct RtfDocument
{
    QList<RtfParagraph> paragraphs;
    // The plain text, paragraphs joined with '\n'.
    QString text() const;
};

// Reads rich text. Never fails: damaged or truncated input gives what could
// be read up to the damage, unknown control words are skipped.
RtfDocument parseRtf(QByteArrayView data);

// Reads an .rtf file; fails only when the file cannot be read.
Result<RtfDocument> readRtfFile(const QString &path);

} // namespace kolta::about
