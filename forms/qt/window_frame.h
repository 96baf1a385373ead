// SPDX-License-Identifier: MIT
#pragma once

#include <QMargins>

class QWidget;

namespace forms::qt {

// The frame the window manager will draw around `window`, asked for before
// the window is first shown: what the player sees is the window with its
// frame. Empty where there is no window manager, where it does not answer
// in a moment, and off X11, where the window is placed as it is.
QMargins expectedFrame(QWidget& window);

}  // namespace forms::qt
