// SPDX-License-Identifier: MIT
#pragma once

namespace forms::qt {

// Lets screen readers see the game's windows as windows, and the controls a
// form paints itself: each label of a window is announced as static text
// with its caption, beside the buttons.
void installAccessibility();

}  // namespace forms::qt
