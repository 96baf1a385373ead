// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace forms::qt {

// Gives every ordinary thread of process `pid` (0: this one) a time slice of
// `ns` nanoseconds, or the kernel's default with 0, and says how many took
// it. A thread with a slice shorter than its neighbours' pre-empts them on
// waking rather than waiting its turn (Linux 6.12 and later, no privileges
// needed); threads it starts later inherit the slice. Elsewhere nothing
// changes and the answer is 0.
int setTimeSlices(int pid, std::uint64_t ns);

}  // namespace forms::qt
