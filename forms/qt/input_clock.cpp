// SPDX-License-Identifier: MIT
#include "forms/qt/input_clock.h"

namespace forms::qt {

namespace {

// Stamps older than this are from an input the program sat on far too long
// to judge fairly, or from another clock.
constexpr std::uint32_t oldest = 1000;
// Ages above this are negative ones, wrapped.
constexpr std::uint32_t future = 0x8000'0000u;

}  // namespace

void InputClock::calibrate(std::uint32_t windowSystemNow, milliseconds before, milliseconds after)
{
    // Our clock read `before` and `after` around the window system's reading,
    // each truncated to the millisecond like it: on the same clock the
    // reading lies between them, give or take the truncation.
    const std::uint32_t from = onWindowSystemClock(before) - 1;
    const std::uint32_t span = static_cast<std::uint32_t>((after - before).count()) + 2;
    trusted_ = static_cast<std::uint32_t>(windowSystemNow - from) <= span;
}

milliseconds InputClock::moment(std::optional<std::uint64_t> stamp, milliseconds handled)
{
    if (!stamp || trusted_ == false)
        return handled;
    const auto age = static_cast<std::uint32_t>(onWindowSystemClock(handled) - static_cast<std::uint32_t>(*stamp));
    if (age > future) {
        // Input cannot be made after it is handled: the stamps are on
        // another clock, unless a calibration has shown otherwise.
        if (!trusted_)
            trusted_ = false;
        return handled;
    }
    return age > oldest ? handled : handled - milliseconds(age);
}

}  // namespace forms::qt
