// SPDX-License-Identifier: MIT
// A press made before the opponent draws wins, however late it reaches the
// game.
#include <QMouseEvent>

#include "stand_in_server.h"

namespace {

TEST(LatePress, APressMadeBeforeTheOpponentWinsThoughItReachesTheGameAfterHisZib)
{
    // The X server hands the press on ZIB! over only after the game has delivered the opponent's timer event
    // and shows his "ZIB!", with ZIB! disabled on screen: the game takes the press at its stamp. One stamped in
    // his millisecond came after him.
    const struct { const char* what; long before; const char* sees; } presses[] = {
        {"stamped 1 ms before him", 1, "frmWin zibyou ziboppo"},
        {"stamped in his millisecond", 0, "frmLoose ziboppo"},
    };
    for (const auto& [what, before, sees] : presses) {
        standin::Game game;
        QPushButton* zib = game.button("ZIB!");
        ASSERT_TRUE(zib);
        const std::uint32_t opponent = game.start();
        game.server->hold([zib, stamp = opponent - before] {
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), zib->mapToGlobal(QPointF(10, 10)),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            press.setTimestamp(stamp);
            QApplication::sendEvent(zib, &press);  // never released: the press alone counts
        });
        game.waitForHim();
        ASSERT_FALSE(zib->isEnabled()) << what;
        game.server->handOver();
        EXPECT_TRUE(QTest::qWaitFor([&] { return game.screen().starts_with("frm"); }, 3000)) << what;
        EXPECT_EQ(game.screen(), sees) << what;
    }
}

}  // namespace
