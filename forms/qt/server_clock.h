// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace forms::qt {

// The window system's clock, asked on the program's own connection, so that
// the driver can check once that input is stamped on our clock. The answer
// comes in through the event loop like any event, stamped with the server's
// time; nothing waits for it. Tests stand in for it.
class ServerClock {
public:
    // On X11, the X server on Qt's connection; null elsewhere.
    static std::unique_ptr<ServerClock> x11();
    virtual ~ServerClock() = default;

    // Asks the server its time. `answer` is given the server's time in ms
    // when it handled the question, once the answer is in; a question asked
    // again before then replaces it.
    virtual void ask(std::function<void(std::uint32_t)> answer) = 0;
};

}  // namespace forms::qt
