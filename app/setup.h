// SPDX-License-Identifier: MIT
#pragma once

class QApplication;

namespace zib {

// Registers the bundled fonts as stand-ins for the game's own ("Comic Sans
// MS", "Jokerman") where those are not installed, and sets the window icon.
void prepare(QApplication& app);

}  // namespace zib
