#pragma once

class QWidget;

namespace kolta {

// A fixed-size dialog frame without minimize and maximize buttons, its
// client area width x height pixels.
void makeFixedDialog(QWidget *window, int width, int height);

// Puts a window in the middle of the screen it is on.
void centerOnScreen(QWidget *window);

} // namespace kolta
