// SPDX-License-Identifier: MIT
// A press on ZIB! to its handler, through the real backend.
//
// The game runs as it ships, through zib::run like app/main.cpp. Once the start-up reset has
// passed and a level is picked, each round puts the duel in the draw state
// and times a synthetic press (QTest::mousePress) on the ZIB! QPushButton of
// the duel window: the press goes through QPushButton::pressed to the
// driver, which delivers the timer events already due and then Zib_Click.
// The press is timed until QTest::mousePress returns, by when Zib_Click has
// run and the driver has brought the window up to date after it; the bench
// checks that the "ZIB!" label on the player's side shows. This is an upper
// bound on the time to the start of the handler.
//
// The baseline is a bare QPushButton of the same size, font and caption in a
// window of its own, its pressed() connected to an empty slot, pressed the
// same way in the same round.
//
// The first draw is the game's own, in real time: Start, and the pencil's
// ten 50 ms steps through the driver's timerfd. Every later draw is driven
// on the runtime's clock (Stop, Start, then the runtime advanced by the
// 500 ms of the drop), so that hundreds of presses take a few seconds; the
// runtime's clock then runs ahead of the wall clock, which changes nothing
// on the press's path (the driver still finds no timer event due before it).
//
// The presses come in five runs of a hundred; each figure is the min /
// median / max of the runs' medians.
//
//   --quick  one run of three presses
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "app/run.h"
#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "forms/runtime.h"
#include "stats.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double timedPress(QPushButton* button)
{
    const auto before = Clock::now();
    QTest::mousePress(button, Qt::LeftButton);
    const auto after = Clock::now();
    return bench::milliseconds(after - before);
}

int measure(forms::Runtime& runtime, forms::qt::Driver& driver, int runs, int presses, bool quick)
{
    duel::frmzib* duel = runtime.find<duel::frmzib>();

    // The start-up reset: both hidden result windows hand back at ~1000 ms.
    if (!QTest::qWaitFor([&] { return runtime.forms().size() == 1; }, 5000)) {
        std::fputs("bench_press: the start-up reset did not come\n", stderr);
        return 1;
    }
    QWidget* window = driver.window(*duel);
    QPushButton* zib = nullptr;
    for (auto* button : window->findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("ZIB!"))
            zib = button;
    if (!zib || !QTest::qWaitForWindowExposed(window)) {
        std::fputs("bench_press: no ZIB! button on a shown duel window\n", stderr);
        return 1;
    }

    QWidget bare;
    bare.setWindowTitle(QStringLiteral("Bare button"));
    bare.resize(zib->width() + 40, zib->height() + 40);
    auto* plain = new QPushButton(zib->text(), &bare);
    plain->setFont(zib->font());
    plain->setGeometry(20, 20, zib->width(), zib->height());
    plain->setAutoDefault(false);
    QObject::connect(plain, &QPushButton::pressed, &bare, [] {});
    bare.show();
    if (!QTest::qWaitForWindowExposed(&bare)) {
        std::fputs("bench_press: the baseline window was not shown\n", stderr);
        return 1;
    }

    forms::Control& cbStart = duel->control("cbStart");
    forms::Control& cbStop = duel->control("cbStop");
    forms::Control& zibyou = duel->control("zibyou");
    driver.click(duel->menuItem("mnuVE"));  // the opponent takes 450 ms: time enough to press

    if (!quick)
        bench::CpuPressure::noteIfBusyNow("the presses");
    std::vector<double> game, baseline, gameMedians, baselineMedians;
    int missed = 0;
    for (int i = 0; i < runs * presses; ++i) {
        if (i == 0) {
            driver.click(cbStart);
            if (!QTest::qWaitFor([&] { return zib->isEnabled(); }, 3000)) {
                std::fputs("bench_press: the draw did not come\n", stderr);
                return 1;
            }
        } else {
            driver.click(cbStop);
            driver.click(cbStart);
            runtime.advance(500ms);
        }
        QCoreApplication::processEvents();  // the pencil drawn at the line, as the player sees it

        if (!zib->isEnabled() || zibyou.Visible()) {
            std::fputs("bench_press: the duel is not at the draw\n", stderr);
            return 1;
        }
        game.push_back(timedPress(zib));
        if (!zibyou.Visible())
            ++missed;

        baseline.push_back(timedPress(plain));
        QTest::mouseRelease(plain, Qt::LeftButton);
        QCoreApplication::processEvents();
        if (game.size() == static_cast<std::size_t>(presses)) {
            gameMedians.push_back(bench::median(std::exchange(game, {})));
            baselineMedians.push_back(bench::median(std::exchange(baseline, {})));
        }
    }
    driver.click(cbStop);

    if (missed) {
        std::fprintf(stderr, "bench_press: %d of %d presses did not reach Zib_Click\n", missed, presses);
        return 1;
    }
    const double base = bench::median(baselineMedians);
    bench::figure("ZIB! press to handler, median of %d presses, min / median / max of %d runs: %s ms  "
                  "[baseline bare QPushButton: %s ms; target <= baseline + 0.1 ms = %.3f ms]",
                  presses, runs, bench::spread(gameMedians).c_str(), bench::spread(baselineMedians).c_str(), base + 0.1);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::hasFlag(argc, argv, "--quick");
    int status = 1;
    const int ran = zib::run(argc, argv, [&](forms::Runtime& runtime, forms::qt::Driver& driver) {
        status = measure(runtime, driver, quick ? 1 : 5, quick ? 3 : 100, quick);
        runtime.End();
    });
    return ran == 0 ? status : ran;
}
