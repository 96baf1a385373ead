// SPDX-License-Identifier: MIT
// A press made before a timer event counts before it, however late it reaches
// the game.
#include <QMouseEvent>

#include "stand_in_server.h"

namespace {

TEST(Fence, APressMadeBeforeTheOpponentDrawsWinsThoughItComesInAfterHisMoment)
{
    // The press reaches the game only when the driver asks the X server its time at the opponent's moment: the
    // driver holds the opponent back until the answer is in, and asks once more, since a press the server took
    // in while it answered goes out after the answer. A press stamped in the opponent's millisecond came after him.
    standin::Game game;
    QPushButton* zib = game.button("ZIB!");
    ASSERT_TRUE(zib);
    const struct { const char* what; std::uint32_t before; bool overtaken; bool wins; } presses[] = {
        {"stamped 1 ms before, with the server's first answer", 1, false, true},
        {"stamped 1 ms before, overtaken by the server's first answer", 1, true, true},
        {"stamped in the opponent's millisecond", 0, true, false},
    };
    for (const auto& [what, before, overtaken, wins] : presses) {
        const std::uint32_t opponent = game.start();
        game.server->hold(
            [zib, stamp = opponent - before] {
                QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), zib->mapToGlobal(QPointF(10, 10)),
                                  Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
                press.setTimestamp(stamp);
                QApplication::sendEvent(zib, &press);  // never released: the press alone counts
            },
            opponent, overtaken);
        EXPECT_EQ(game.playerDrewFirst(), wins) << what;
    }
}

}  // namespace
