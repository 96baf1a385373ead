// SPDX-License-Identifier: MIT
#pragma once

namespace zib {

// Runs Zib! to its end with the real driver and returns its exit status:
// the display checked, the application prepared, the duel window started.
int run(int argc, char** argv);

}  // namespace zib
