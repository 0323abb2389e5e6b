#pragma once

namespace kolta {

// Maps the classic Windows faces named by the forms to metric-compatible
// free ones and makes "MS Sans Serif" 8.25 pt the program's default font.
void installClassicFonts();

} // namespace kolta
