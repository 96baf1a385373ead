// SPDX-License-Identifier: MIT
#pragma once

namespace forms::qt {

// Lets screen readers see the controls a form paints itself: each label of a
// window is announced as static text with its caption, beside the buttons.
void installAccessibility();

}  // namespace forms::qt
