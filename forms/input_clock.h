// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace forms {

using std::chrono::milliseconds;

// Puts the player's input on the runtime's clock at the moment it was made,
// from the platform's own stamp on the event, rather than when the program
// got round to handling it. On a busy machine the two can lie milliseconds
// apart, and a duel is decided by a few.
//
// Stamps are whole milliseconds, wrapping at 2^32, on the platform's clock:
// the runtime's clock is laid `epoch` ms into it. On Linux, X servers and
// Wayland compositors count on the monotonic clock; a browser stamps events
// on the page's own performance clock. Whether a window system really uses
// our clock is checked rather than assumed: by a calibration where it can be
// asked its time, and on every stamp, which must lie within the second
// before its handling. A stamp that fails counts at the moment of handling;
// one from the future, before any calibration, shows another clock and ends
// the use of stamps.
class InputClock {
public:
    // What is known of the platform's stamps.
    enum class Stamps : std::uint8_t {
        Unchecked,  // taken, until one of them shows another clock
        Ours,       // shown to be on our clock: always taken
        Foreign,    // on another clock: every input counts when handled
    };

    explicit InputClock(milliseconds epoch = {}) : epoch_(epoch) {}

    // The window system said its time was `platformNow` between `before` and
    // `after` (runtime ms, the probe's round trip).
    void calibrate(std::uint32_t platformNow, milliseconds before, milliseconds after);
    // The platform is known to stamp on our clock (a browser), or known not to.
    void trust() { stamps_ = Stamps::Ours; }
    void distrust() { stamps_ = Stamps::Foreign; }
    Stamps stamps() const { return stamps_; }

    // The moment of an input handled at `handled` and stamped `stamp`, if it
    // was. Never later than `handled`.
    milliseconds moment(std::optional<std::uint64_t> stamp, milliseconds handled);

    // A moment on the runtime's clock as the platform would stamp it.
    std::uint32_t onPlatformClock(milliseconds runtimeTime) const
    {
        return static_cast<std::uint32_t>((epoch_ + runtimeTime).count());
    }

private:
    milliseconds epoch_;
    Stamps stamps_ = Stamps::Unchecked;
};

}  // namespace forms
