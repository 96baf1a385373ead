// SPDX-License-Identifier: MIT
// The game on the real driver, with a stand-in for the X server's clock that
// decides when a press the player made reaches the program: with the answer
// to the driver's first question at or after a timer's due time, or only
// after it, as the X server sends input it took in during the round of
// requests that answered.
#pragma once

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "forms/qt/server_clock.h"

namespace standin {

// Milliseconds of the monotonic clock, as the X server stamps input.
inline std::uint32_t serverNow()
{
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

class Server : public forms::qt::ServerClock {
public:
    // A press on its way: sent out with the first answer stamped at or after
    // `due`, or, when the answer `overtakes` it, with the next one.
    void hold(std::function<void()> press, std::uint32_t due, bool overtakes)
    {
        press_ = std::move(press);
        due_ = due;
        overtakes_ = overtakes;
    }
    bool holding() const { return press_ != nullptr; }
    int questions = 0;

    void send() override { ++questions; }
    std::optional<std::uint32_t> await(std::chrono::microseconds) override
    {
        const std::uint32_t time = serverNow();
        if (press_ && static_cast<std::int32_t>(time - due_) >= 0 && !std::exchange(overtakes_, false))
            std::exchange(press_, nullptr)();
        return time;
    }

private:
    std::function<void()> press_;
    std::uint32_t due_ = 0;
    bool overtakes_ = false;
};

// A fresh game past its start-up reset, its driver asking the stand-in.
struct Game {
    forms::Runtime rt;
    Server* server = new Server;
    forms::qt::Driver driver{rt, std::unique_ptr<forms::qt::ServerClock>(server)};
    duel::frmzib& duel = *rt.start<duel::frmzib>();
    QWidget* window = driver.window(duel);

    Game()
    {
        // Both hidden result windows hand back at about 1000 ms; the driver
        // has asked the stand-in its time once the window was first drawn.
        EXPECT_TRUE(QTest::qWaitFor([&] { return rt.forms().size() == 1 && server->questions > 0; }, 3000));
        driver.click(duel.menuItem("mnuVH"));
    }

    // The duel window's button with this caption.
    QPushButton* button(const char* caption) const
    {
        for (auto* b : window->findChildren<QPushButton*>())
            if (b->text() == QLatin1String(caption))
                return b;
        return nullptr;
    }

    // Start at Very Hard: the X server's millisecond in which the opponent
    // will draw, 500 + 73 ms after it.
    std::uint32_t start()
    {
        driver.click(duel.control("cbStart"));
        const auto epoch = std::chrono::duration_cast<std::chrono::milliseconds>(driver.epoch().time_since_epoch());
        return static_cast<std::uint32_t>((epoch + rt.now() + std::chrono::milliseconds(573)).count());
    }
    // Waits for the opponent to draw, then tells whether the player's "ZIB!"
    // came first, and goes back to idle with Stop.
    bool playerDrewFirst()
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return duel.control("ziboppo").Visible(); }, 2000));
        EXPECT_FALSE(server->holding()) << "the press never reached the game";
        const bool won = duel.control("zibyou").Visible();
        driver.click(duel.control("cbStop"));
        return won;
    }
};

}  // namespace standin
