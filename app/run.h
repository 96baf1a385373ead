// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

#include "forms/qt/driver.h"

namespace zib {

// Runs Zib! to its end with the real driver and returns its exit status:
// the display checked, the application prepared, the duel window started.
// `started` sees the running game once the duel window is up; the
// benchmarks watch through it, so that they measure the game as it ships.
int run(int argc, char** argv, const std::function<void(forms::Runtime&, forms::qt::Driver&)>& started = {});

}  // namespace zib
