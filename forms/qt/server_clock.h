// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace forms::qt {

// The window system's clock, asked on the program's own connection. The
// answer is stamped with the server's time, and comes after every event the
// server sent before it: once it is in, every press sent earlier has reached
// the program too. The driver asks it to check that input is stamped on our
// clock, and to hold a timer event back until the presses made before it are
// in. Tests stand in for it.
class ServerClock {
public:
    // On X11, the X server on Qt's connection; null elsewhere.
    static std::unique_ptr<ServerClock> x11();
    virtual ~ServerClock() = default;

    // The question goes out now.
    virtual void send() = 0;
    // The server's time in ms when it handled the question, once every event
    // it sent before the answer has been handled here; nothing if it does not
    // answer within `patience`.
    virtual std::optional<std::uint32_t> await(std::chrono::microseconds patience) = 0;

    std::optional<std::uint32_t> ask(std::chrono::microseconds patience)
    {
        send();
        return await(patience);
    }
};

}  // namespace forms::qt
