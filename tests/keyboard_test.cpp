// SPDX-License-Identifier: MIT
// ZIB! from the keyboard, for a player who cannot aim a mouse.
#include <QKeyEvent>
#include <QMenuBar>

#include "stand_in_server.h"

namespace {

void key(QWidget* to, QEvent::Type type, Qt::Key which, std::uint32_t stamp = 0, bool repeat = false)
{
    const bool keypad = which == Qt::Key_Enter;
    QKeyEvent event(type, which, keypad ? Qt::KeypadModifier : Qt::NoModifier,
                    which == Qt::Key_Space ? QStringLiteral(" ") : QStringLiteral("\r"), repeat);
    event.setTimestamp(stamp);
    QApplication::sendEvent(to, &event);
}

TEST(Keyboard, AtTheDrawSpaceOrEnterPressesZibWhereverTheFocusIsAndCountsWhenTheKeyWentDown)
{
    // Each key goes down 1 ms before the opponent draws and reaches the game only after his moment, overtaken by
    // the X server's answer: it wins, because it counts at its own stamp. One in his millisecond loses.
    standin::Game game;
    QWidget* bar = game.window->findChild<QMenuBar*>();
    const struct { const char* where; QWidget* focus; Qt::Key which; std::uint32_t before; bool wins; } keys[] = {
        {"Space with Stop focused", game.button("Stop"), Qt::Key_Space, 1, true},
        {"Return in the menu bar", bar, Qt::Key_Return, 1, true},
        {"the keypad's Enter on the sky", game.window->findChild<QWidget*>("canvas"), Qt::Key_Enter, 1, true},
        {"Space with nothing focused", game.window, Qt::Key_Space, 1, true},
        {"Return with ZIB! focused", game.button("ZIB!"), Qt::Key_Return, 1, true},
        {"Space in the opponent's millisecond", game.button("Stop"), Qt::Key_Space, 0, false},
    };
    for (const auto& [where, focus, which, before, wins] : keys) {
        ASSERT_TRUE(focus) << where;
        const std::uint32_t opponent = game.start();
        game.server->hold([focus, which, stamp = opponent - before] { key(focus, QEvent::KeyPress, which, stamp); },
                          opponent, true);
        EXPECT_EQ(game.playerDrewFirst(), wins) << where;
        key(focus, QEvent::KeyRelease, which, opponent + 50);
        EXPECT_TRUE(game.duel.control("cbStart").Enabled()) << where << ": the key's release pressed nothing";
    }
}

TEST(Keyboard, AtOtherTimesKeysDoWhatTheyAlwaysDid)
{
    // Space presses the focused button and Enter does not; a Space held since before the draw, repeating, does not
    // draw.
    standin::Game game;
    QPushButton* start = game.button("Start");
    QPushButton* stop = game.button("Stop");
    auto tap = [](QWidget* to, Qt::Key which) {
        key(to, QEvent::KeyPress, which);
        key(to, QEvent::KeyRelease, which);
    };
    tap(start, Qt::Key_Return);
    EXPECT_TRUE(game.duel.control("cbStart").Enabled());
    tap(start, Qt::Key_Space);
    EXPECT_FALSE(game.duel.control("cbStart").Enabled());  // the pencil drops
    tap(stop, Qt::Key_Space);
    EXPECT_TRUE(game.duel.control("cbStart").Enabled());  // stopped, idle

    game.driver.click(game.duel.menuItem("mnuVE"));  // 450 ms to look at the draw
    game.driver.click(game.duel.control("cbStart"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return game.duel.control("Zib").Enabled(); }, 2000));
    key(stop, QEvent::KeyPress, Qt::Key_Space, 0, true);
    EXPECT_TRUE(game.duel.control("Zib").Enabled());
    EXPECT_FALSE(game.playerDrewFirst());
}

}  // namespace
