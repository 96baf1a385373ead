// SPDX-License-Identifier: MIT
// ZIB! from the keyboard, for a player who cannot aim a mouse, and keys that
// never end a duel unseen.
#include <QKeyEvent>
#include <QMenuBar>

#include "stand_in_server.h"

namespace {

// When a key goes down: at idle; during the drop; at the draw, stamped some ms before the opponent but handed
// to the game only after his "ZIB!" shows; or after his "ZIB!".
enum class When { Idle, Drop, Draw, AfterHim };

TEST(Keyboard, SpaceAndEnterBelongToZibFromStartUntilTheDuelIsOverAndEscapeStopsIt)
{
    // Space, Enter and Escape go to the game, never to the widget with the focus: a key counts without Ctrl, Alt
    // or Meta and not repeating, at the moment it went down. During a duel Space or Enter press ZIB! if it can
    // be pressed and nothing else; Escape presses Stop. At idle Space or Enter press the button with the focus.
    // Each key goes down and up in a fresh game at Very Hard; the player sees the screen as it is then.
    const struct {
        const char* what;
        When when;
        long before;  // When::Draw: the key's stamp, in ms before the opponent draws
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool repeat;
        const char* focus;  // the button with the focus, the menu bar (entered with Alt), or "" for none
        const char* sees;
    } strokes[] = {
        {"Return at idle, on Start", When::Idle, 0, Qt::Key_Return, {}, false, "Start", "Stop"},
        {"Space during the drop, on Stop", When::Drop, 0, Qt::Key_Space, {}, false, "Stop", "Stop"},
        {"Escape during the drop, on nothing", When::Drop, 0, Qt::Key_Escape, {}, false, "", "Start"},
        {"Escape during the drop, in the menu bar", When::Drop, 0, Qt::Key_Escape, {}, false, "bar", "Stop"},
        {"Space at the draw, on Stop", When::Draw, 1, Qt::Key_Space, {}, false, "Stop", "Stop zibyou ziboppo"},
        {"the keypad's Enter at the draw, on nothing", When::Draw, 1, Qt::Key_Enter, Qt::KeypadModifier, false, "",
         "Stop zibyou ziboppo"},
        {"Return at the draw, in the menu bar", When::Draw, 1, Qt::Key_Return, {}, false, "bar",
         "Stop zibyou ziboppo"},
        {"Space in the opponent's millisecond", When::Draw, 0, Qt::Key_Space, {}, false, "Stop", "Stop ziboppo"},
        {"Ctrl+Space at the draw, on Stop", When::Draw, 1, Qt::Key_Space, Qt::ControlModifier, false, "Stop",
         "Stop ziboppo"},
        {"Space repeating at the draw, on ZIB!", When::Draw, 1, Qt::Key_Space, {}, true, "ZIB!", "Stop ziboppo"},
        {"Space after the opponent's ZIB!, on Stop", When::AfterHim, 0, Qt::Key_Space, {}, false, "Stop",
         "Stop ziboppo"},
    };
    for (const auto& [what, when, before, key, modifiers, repeat, focus, sees] : strokes) {
        SCOPED_TRACE(what);
        standin::Game game;
        QWidget* to = *focus ? game.button(focus) : game.window;
        if (std::string_view(focus) == "bar") {
            QTest::keyClick(game.window, Qt::Key_Alt);
            to = game.window->findChild<QMenuBar*>();
        }
        ASSERT_TRUE(to);
        to->setFocus();
        auto stroke = [=](std::uint32_t stamp) {
            const QString text = key == Qt::Key_Space ? QStringLiteral(" ")
                                 : key == Qt::Key_Escape ? QStringLiteral("\x1b")
                                                         : QStringLiteral("\r");
            for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                QKeyEvent event(type, key, modifiers, text, repeat);
                event.setTimestamp(stamp);
                QApplication::sendEvent(to, &event);
            }
        };
        const std::uint32_t opponent = when == When::Idle ? 0 : game.start();
        if (when == When::Draw) {
            game.server->hold([=] { stroke(opponent - static_cast<std::uint32_t>(before)); });
            game.waitForHim();
            game.server->handOver();
        } else {
            if (when == When::AfterHim)
                game.waitForHim();
            stroke(game.stamp(game.driver.now()));
        }
        EXPECT_EQ(game.screen(), sees);
    }
}

}  // namespace
