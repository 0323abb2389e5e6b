#pragma once

#include "desktop.h"

class QPrinter;

namespace kolta {

// Prints the document's lines top to bottom, starting a new page when one is full.
Result<void> renderPrintout(QPrinter &printer, const Printout &document);

// The printer object the windows use: font, lines, end of document.
class Printer
{
public:
    Printer(Desktop &desktop, QWidget *owner) : m_desktop(desktop), m_owner(owner) {}

    void setFontName(const QString &name) { m_document.fontName = name; }
    void setFontSize(double points) { m_document.pointSize = points; }
    void printLine(const QString &text) { m_document.lines << text; }
    // Hands the document to the printer and starts a new one.
    Result<PrintOutcome> endDoc();

private:
    Desktop &m_desktop;
    QWidget *m_owner;
    Printout m_document;
};

} // namespace kolta
