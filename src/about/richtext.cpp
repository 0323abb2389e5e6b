#include "richtext.h"

#include <QTextCursor>
#include <QTextDocument>

namespace kolta::about {

namespace {

Qt::Alignment qtAlignment(RtfAlignment alignment)
{
    switch (alignment) {
    case RtfAlignment::Center: return Qt::AlignHCenter;
    case RtfAlignment::Right: return Qt::AlignRight;
    case RtfAlignment::Justify: return Qt::AlignJustify;
    case RtfAlignment::Left: break;
    }
    return Qt::AlignLeft;
}

// Twips to pixels at 96 dots per inch.
qreal pixels(int twips)
{
    return twips / 15.0;
}

QTextCharFormat qtFormat(const RtfCharFormat &format)
{
    QTextCharFormat out;
    if (format.bold)
        out.setFontWeight(QFont::Bold);
    if (format.italic)
        out.setFontItalic(true);
    if (format.underline)
        out.setFontUnderline(true);
    if (!format.fontFamily.isEmpty())
        out.setFontFamilies({format.fontFamily});
    if (format.halfPoints > 0)
        out.setFontPointSize(format.halfPoints / 2.0);
    if (format.color)
        out.setForeground(QColor(format.color->red, format.color->green, format.color->blue));
    return out;
}

} // namespace

void fillTextDocument(QTextDocument &document, const RtfDocument &rtf)
{
    document.clear();
    QTextCursor cursor(&document);
    bool first = true;
    for (const RtfParagraph &paragraph : rtf.paragraphs) {
        QTextBlockFormat block;
        block.setAlignment(qtAlignment(paragraph.alignment));
        block.setLeftMargin(pixels(paragraph.leftIndent));
        block.setTextIndent(pixels(paragraph.firstLineIndent));
        block.setTopMargin(pixels(paragraph.spaceBefore));
        block.setBottomMargin(pixels(paragraph.spaceAfter));
        if (!paragraph.tabStops.isEmpty()) {
            QList<QTextOption::Tab> tabs;
            for (int stop : paragraph.tabStops)
                tabs.append(QTextOption::Tab(pixels(stop), QTextOption::LeftTab));
            block.setTabPositions(tabs);
        }
        if (first)
            cursor.setBlockFormat(block);
        else
            cursor.insertBlock(block, QTextCharFormat());
        first = false;
        for (const RtfRun &run : paragraph.runs)
            cursor.insertText(run.text, qtFormat(run.format));
    }
}

} // namespace kolta::about
