// SPDX-License-Identifier: MIT
#include "forms/input_clock.h"

namespace forms {

namespace {

// Stamps older than this are from an input the program sat on far too long
// to judge fairly, or from another clock.
constexpr std::uint32_t oldest = 1000;
// Ages above this are negative ones, wrapped.
constexpr std::uint32_t future = 0x8000'0000u;

}  // namespace

void InputClock::calibrate(std::uint32_t platformNow, milliseconds before, milliseconds after)
{
    // Our clock read `before` and `after` around the platform's reading, each
    // truncated to the millisecond like it: on the same clock the reading
    // lies between them, give or take the truncation.
    const std::uint32_t from = onPlatformClock(before) - 1;
    const std::uint32_t span = static_cast<std::uint32_t>((after - before).count()) + 2;
    stamps_ = static_cast<std::uint32_t>(platformNow - from) <= span ? Stamps::Ours : Stamps::Foreign;
}

milliseconds InputClock::moment(std::optional<std::uint64_t> stamp, milliseconds handled)
{
    if (!stamp || stamps_ == Stamps::Foreign)
        return handled;
    const auto age = static_cast<std::uint32_t>(onPlatformClock(handled) - static_cast<std::uint32_t>(*stamp));
    if (age > future) {
        // Input cannot be made after it is handled: the stamps are on
        // another clock, unless a calibration has shown otherwise.
        if (stamps_ == Stamps::Unchecked)
            stamps_ = Stamps::Foreign;
        return handled;
    }
    return age > oldest ? handled : handled - milliseconds(age);
}

}  // namespace forms
