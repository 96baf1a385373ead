// SPDX-License-Identifier: MIT
// Each frame draws only what changed, and leaves the screen as if the whole
// window had been drawn afresh from the form as it is, after a late press
// that put the duel back too.
#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include "forms/qt/driver.h"
#include "forms/qt/paint.h"
#include "game_play.h"

namespace {

using std::chrono::milliseconds;

// The area each paint of a widget covers, added up since the last look.
struct PaintWatch : QObject {
    int area = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            for (const QRect& r : static_cast<QPaintEvent*>(event)->region())
                area += r.width() * r.height();
        return false;
    }
};

TEST(Frames, EachStepRedrawsOnlyWhatChangedAndLeavesNoTrail)
{
    // A duel on the runtime's clock, from the start-up hand-back on: each drop step, the draw, the opponent's
    // answer, then a press made 1 ms before him that reaches the game only now, which puts the duel back and
    // plays it again from the press. After each, the canvas on screen (Qt's offscreen backing store) equals the
    // canvas drawn afresh, and around its buttons the form as it is now; a drop step has drawn at most a tenth of
    // it: the pencil's two rows.
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    duel::frmzib& game = *rt.start<duel::frmzib>();
    QWidget* window = driver.window(game);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QWidget* canvas = window->findChild<QWidget*>("canvas");
    PaintWatch watch;
    canvas->installEventFilter(&watch);
    rt.advance(milliseconds(play::startUpHandBack));
    rt.click(game.menuItem("mnuVH"));
    rt.click(game.control("cbStart"));

    // The canvas as shown, and the form drawn from what it holds now, each without the buttons.
    const auto withoutButtons = [&](QImage image) {
        QPainter painter(&image);
        for (const QWidget* button : canvas->findChildren<QPushButton*>())
            painter.fillRect(button->geometry(), Qt::magenta);
        return image;
    };
    auto onScreen = [&] {
        const QPixmap all = window->screen()->grabWindow(window->winId());
        const qreal density = all.devicePixelRatio();
        const QRect area(canvas->mapTo(window, QPoint()) * density, canvas->size() * density);
        return all.copy(area).toImage().convertToFormat(QImage::Format_RGB32);
    };
    auto formNow = [&] {
        QImage image(canvas->size(), QImage::Format_RGB32);
        QPainter painter(&image);
        forms::qt::paintForm(painter, game, canvas->palette());
        return image;
    };
    const int client = canvas->width() * canvas->height();
    for (int event = 1; event <= 12; ++event) {
        SCOPED_TRACE(event);
        watch.area = 0;
        if (event == 12)
            rt.input(forms::Target::of(game.control("Zib")), rt.now() - milliseconds(1));
        else
            rt.advance(milliseconds(event == 11 ? play::reaction("mnuVH") : play::dropStep));
        QCoreApplication::processEvents();
        if (event < 10) {
            EXPECT_LE(watch.area, client / 10);
        }
        const QImage shown = onScreen();
        EXPECT_EQ(shown, canvas->grab().toImage().convertToFormat(QImage::Format_RGB32));
        EXPECT_EQ(withoutButtons(shown), withoutButtons(formNow()));
    }
    EXPECT_TRUE(game.control("zibyou").Visible() && game.control("ziboppo").Visible());
    EXPECT_EQ(rt.rewinds(), 1u);
}

}  // namespace
