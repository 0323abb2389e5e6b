#pragma once

#include <QFont>

namespace kolta {

// Maps the classic Windows faces named by the forms to metric-compatible
// free ones and makes classicDialogFont() the program's default font.
void installClassicFonts();

// "MS Sans Serif" 8.25 pt.
QFont classicDialogFont();

} // namespace kolta
