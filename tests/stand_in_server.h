// SPDX-License-Identifier: MIT
// The game on the real driver, with a stand-in for the X server: its clock,
// which the driver asks once the duel window is drawn, and the player's
// input, stamped when the player made it but handed to the game only when
// the test says, as a server on a machine too busy to pass it on at once
// would.
#pragma once

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "forms/qt/driver.h"
#include "forms/qt/server_clock.h"
#include "game_play.h"

namespace standin {

using std::chrono::milliseconds;

class Server : public forms::qt::ServerClock {
public:
    bool asked = false;

    // The monotonic clock's milliseconds, as the X server stamps input.
    void ask(std::function<void(std::uint32_t)> answer) override
    {
        asked = true;
        answer(static_cast<std::uint32_t>(
            std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count()));
    }

    // Input the player has made, sent on by handOver().
    void hold(std::function<void()> input) { held_.push_back(std::move(input)); }
    void handOver()
    {
        for (auto& input : std::exchange(held_, {}))
            input();
    }

private:
    std::vector<std::function<void()>> held_;
};

// A fresh game at Very Hard on the real driver, which asks the stand-in. The
// start-up hand-back is played on the runtime's clock before the driver
// takes the clock on in real time, so the game is idle at once.
struct Game {
    forms::Runtime rt;
    duel::frmzib& duel = pastStartUp(rt);
    Server* server = new Server;
    forms::qt::Driver driver{rt, std::unique_ptr<forms::qt::ServerClock>(server)};
    QWidget* window = driver.window(duel);

    // From Start to the opponent's draw at Very Hard, in ms, by the game's skill table.
    static constexpr long opponent =
        play::draw + std::ranges::find(play::levels, std::string_view("mnuVH"), &duel::frmzib::SkillLevel::item)->reaction;

    Game()
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return server->asked; }, 3000));  // drawn, and its clock checked
        driver.click(duel.menuItem("mnuVH"));
    }

    static duel::frmzib& pastStartUp(forms::Runtime& rt)
    {
        auto& game = *rt.start<duel::frmzib>();
        rt.advance(milliseconds(play::startUpHandBack));
        return game;
    }

    // The duel window's button with this caption.
    QPushButton* button(std::string_view caption) const
    {
        for (auto* b : window->findChildren<QPushButton*>())
            if (b->text().toStdString() == caption)
                return b;
        return nullptr;
    }

    // A moment on the runtime's clock as the X server stamps it.
    std::uint32_t stamp(milliseconds moment) const
    {
        return static_cast<std::uint32_t>((driver.epoch().time_since_epoch() + moment) / milliseconds(1));
    }

    // Starts a duel: the X server's millisecond in which the opponent will draw.
    std::uint32_t start()
    {
        driver.click(duel.control("cbStart"));
        return stamp(rt.now() + milliseconds(opponent));
    }

    // Waits for the opponent's "ZIB!" on screen: his timer event has been delivered.
    void waitForHim() const
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return duel.control("ziboppo").Visible(); }, 3000));
    }

    // What the player sees: a result window, if one is shown, or else the duel window's enabled buttons, then
    // the "ZIB!" labels shown in the duel window, the player's first.
    std::string screen() const
    {
        std::string s;
        for (std::string_view name : {"frmWin", "frmLoose"})
            if (const forms::Form* result = rt.find(name); result && driver.window(*result) &&
                                                           driver.window(*result)->isVisible())
                s += " " + std::string(name);
        const bool decided = !s.empty();
        for (std::string_view caption : {"ZIB!", "Start", "Stop"})
            if (!decided && button(caption)->isEnabled())
                s += " " + std::string(caption);
        for (std::string_view name : {"zibyou", "ziboppo"})
            if (duel.control(name).Visible())
                s += " " + std::string(name);
        return s.empty() ? s : s.substr(1);
    }
};

}  // namespace standin
