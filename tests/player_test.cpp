// SPDX-License-Identifier: MIT
// The player's presses and keys through the real driver, however late they
// reach the game.
#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <gtest/gtest.h>

#include "forms/qt/driver.h"
#include "game_play.h"

namespace {

using std::chrono::milliseconds;

// When the player's key goes down, or the mouse button on ZIB!: at idle; during the drop; or at the draw, some ms
// before the opponent draws, though it reaches the game only once it shows his "ZIB!", as an X server on a
// machine too busy to pass input on at once would hand it over, stamped when it was made.
enum class When { Idle, Drop, Draw };

TEST(LateInput, APressMadeBeforeTheOpponentWinsHoweverLateAndKeysNeverEndADuelUnseen)
{
    // A press on ZIB!, or a key, counts at the moment the X server stamped it, though ZIB! is disabled on screen by
    // the time it reaches the game: one stamped in the opponent's millisecond came after him. Space, Enter and
    // Escape go to the game, never to the widget with the focus, and count without Ctrl, Alt or Meta and not
    // repeating. During a duel Space or Enter press ZIB! if it can be pressed, and nothing else; Escape presses
    // Stop. At idle Space or Enter press the button with the focus. Each in a fresh game at Very Hard, played on
    // the runtime's clock until the driver takes it on, as the input reaches it.
    constexpr Qt::Key press = Qt::Key_unknown;  // the left mouse button, never released: the press counts
    constexpr long him = play::draw + play::reaction("mnuVH");  // from Start to his "ZIB!"
    const std::string won = "pencil10 cbStop zibyou ziboppo", lost = "pencil10 cbStop ziboppo";
    const struct {
        const char* what;
        When when;
        long before;  // When::Draw: the stamp, in ms before the opponent draws
        QKeyCombination key;  // with the modifiers held
        bool repeat;
        const char* on;  // the button pressed or with the focus, the menu bar, where Alt takes the keys, or none
        std::string sees;
    } inputs[] = {
        {"a press 1 ms before him", When::Draw, 1, press, false, "ZIB!", won},
        {"a press in his millisecond", When::Draw, 0, press, false, "ZIB!", lost},
        {"Return at idle, on Start", When::Idle, 0, Qt::Key_Return, false, "Start", "pencil1 cbStop"},
        {"Space during the drop, on Stop", When::Drop, 0, Qt::Key_Space, false, "Stop", "pencil3 cbStop"},
        {"Escape during the drop, on nothing", When::Drop, 0, Qt::Key_Escape, false, "", "pencil1 cbStart"},
        {"Escape during the drop, in the menu bar", When::Drop, 0, Qt::Key_Escape, false, "bar", "pencil3 cbStop"},
        {"Space at the draw, on Stop", When::Draw, 1, Qt::Key_Space, false, "Stop", won},
        {"keypad Enter at the draw, on nothing", When::Draw, 1, Qt::KeypadModifier | Qt::Key_Enter, false, "", won},
        {"Return at the draw, in the menu bar", When::Draw, 1, Qt::Key_Return, false, "bar", won},
        {"Ctrl+Space at the draw, on Stop", When::Draw, 1, Qt::ControlModifier | Qt::Key_Space, false, "Stop", lost},
        {"Space repeating at the draw, on ZIB!", When::Draw, 1, Qt::Key_Space, true, "ZIB!", lost},
    };
    for (const auto& [what, when, before, key, repeat, on, sees] : inputs) {
        SCOPED_TRACE(what);
        play::Game game;
        game.at(play::startUpHandBack);
        game.use("mnuVH");
        if (when != When::Idle) {
            game.use("cbStart");
            game.at(play::startUpHandBack + (when == When::Drop ? 2 * play::dropStep : him + 10));
        }
        forms::qt::Driver driver(game.rt);  // in real time from here
        QWidget* window = driver.window(game.form);
        QWidget* to = std::string_view(on) == "bar" ? window->findChild<QMenuBar*>() : window;
        for (QPushButton* button : window->findChildren<QPushButton*>())
            to = button->text() == on ? button : to;
        const milliseconds made =
            when == When::Draw ? milliseconds(play::startUpHandBack + him - before) : driver.now();
        const auto send = [&, stamp = (driver.epoch().time_since_epoch() + made) / milliseconds(1)](QInputEvent&& e) {
            e.setTimestamp(static_cast<std::uint64_t>(stamp));
            QApplication::sendEvent(to, &e);
        };
        if (key.key() == press)
            send(QMouseEvent(QEvent::MouseButtonPress, QPointF(10, 10), to->mapToGlobal(QPointF(10, 10)),
                             Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        else
            for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
                send(QKeyEvent(type, key.key(), key.keyboardModifiers(), {}, repeat));
        EXPECT_EQ(game.screen(), sees);
    }
}

}  // namespace
