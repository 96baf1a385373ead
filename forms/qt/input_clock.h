// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace forms::qt {

using std::chrono::milliseconds;

// Puts the player's input on the runtime's clock at the moment it was made,
// from the window system's own stamp on the event, rather than when the
// program got round to handling it. On a busy machine the two can lie
// milliseconds apart, and a duel is decided by a few.
//
// Window systems stamp input in whole milliseconds, wrapping at 2^32. On
// Linux, X servers and Wayland compositors count them on the monotonic
// clock, the one the runtime's clock is laid on (`epoch` ms into it, a whole
// millisecond). That is checked rather than assumed: by a calibration where
// the window system can be asked its time, and on every stamp, which must
// lie within the second before its handling. A stamp that fails counts at
// the moment of handling; one from the future, before any calibration,
// shows another clock and ends the use of stamps.
class InputClock {
public:
    explicit InputClock(milliseconds epoch = {}) : epoch_(epoch) {}

    // The window system said its time was `windowSystemNow` between `before`
    // and `after` (runtime ms, the probe's round trip).
    void calibrate(std::uint32_t windowSystemNow, milliseconds before, milliseconds after);
    // No window system time to go by: every input counts when handled.
    void distrust() { trusted_ = false; }

    // The moment of an input handled at `handled` and stamped `stamp`, if it
    // was. Never later than `handled`.
    milliseconds moment(std::optional<std::uint64_t> stamp, milliseconds handled);

    // Whether stamps are still taken; unknown before a calibration.
    std::optional<bool> trusted() const { return trusted_; }

    // A moment on the runtime's clock as the window system would stamp it.
    std::uint32_t onWindowSystemClock(milliseconds runtimeTime) const
    {
        return static_cast<std::uint32_t>((epoch_ + runtimeTime).count());
    }

private:
    milliseconds epoch_;
    std::optional<bool> trusted_;
};

}  // namespace forms::qt
