// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractNativeEventFilter>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace forms::qt {

// The X server's clock, asked on the program's own connection: a property
// change on a window of ours comes back stamped with the server's time, and
// after every event the server sent before it. So once the answer is in,
// every press the server stamped earlier has reached the program too.
class ServerClock : public QAbstractNativeEventFilter {
public:
    // Null off X11.
    static std::unique_ptr<ServerClock> make();
    ~ServerClock() override;

    // The server's time in ms, having handled every event it sent before;
    // nothing if it does not answer within `patience`.
    std::optional<std::uint32_t> ask(std::chrono::microseconds patience);
    // The same in two halves: the question goes out now, and the answer is
    // waited for later, so that the wait for the server overlaps other work.
    void send();
    std::optional<std::uint32_t> await(std::chrono::microseconds patience);

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

private:
    ServerClock() = default;

    void* connection_ = nullptr;
    std::uint32_t window_ = 0;
    std::optional<std::uint32_t> answer_;
};

}  // namespace forms::qt
