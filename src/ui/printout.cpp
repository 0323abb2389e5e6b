#include "printout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

namespace kolta {

Result<void> renderPrintout(QPrinter &printer, const Printout &document)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return Error{QStringLiteral("The printer could not be started.")};

    QFont font(document.fontName);
    font.setPointSizeF(document.pointSize);
    font.setStyleHint(QFont::TypeWriter);
    painter.setFont(font);

    const QFontMetricsF metrics(font, &printer);
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const qreal lineHeight = metrics.lineSpacing();
    qreal y = 0;
    for (const QString &line : document.lines) {
        if (y > 0 && y + lineHeight > page.height()) {
            if (!printer.newPage()) {
                painter.end();
                return Error{QStringLiteral("The printer refused a new page.")};
            }
            y = 0;
        }
        painter.drawText(QPointF(0, y + metrics.ascent()), line);
        y += lineHeight;
    }
    if (!painter.end())
        return Error{QStringLiteral("The printout could not be finished.")};
    return {};
}

Result<PrintOutcome> Printer::endDoc()
{
    const Printout document = std::exchange(m_document, Printout{m_document.fontName, m_document.pointSize, {}});
    return m_desktop.print(m_owner, document);
}

} // namespace kolta
