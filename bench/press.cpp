// SPDX-License-Identifier: MIT
// A press on ZIB! to its handler, through the real backend.
//
// The duel window runs on the real driver in this process, as the tests wire
// it. Once the start-up hand-back has passed, each round puts the duel at
// the draw and times a synthetic press (QTest::mousePress) on the ZIB!
// button until it returns: by then the driver has given the press to the
// runtime, Zib_Click has run and the window is brought up to date, the
// player's "ZIB!" drawn. An upper bound on the time to the handler.
//
// The baseline is a bare QPushButton of the same size, font and caption in a
// window of its own, its pressed() connected to an empty slot, pressed the
// same way in the same round.
//
// Every draw comes in real time, half a second after Start: the runtime's
// clock must not run ahead of the wall clock, or the press, stamped by the
// wall clock, would count as made during the drop.
//
// Five runs of twenty presses; each figure is the min / median / max of the
// runs' medians.
//
//   bench_press [--quick]
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <utility>

#include "app/setup.h"
#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "harness.h"

namespace {

double timedPress(QPushButton* button)
{
    const auto before = std::chrono::steady_clock::now();
    QTest::mousePress(button, Qt::LeftButton);
    return bench::milliseconds(std::chrono::steady_clock::now() - before);
}

int fail(const char* why)
{
    std::fprintf(stderr, "bench_press: %s\n", why);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const bench::Args args(argc, argv);
    const int runs = args.quick() ? 1 : 5, presses = args.quick() ? 3 : 20;
    QApplication app(argc, argv);
    zib::prepare(app);

    bench::InProcessGame game;
    QPushButton* zib = game.button("ZIB!");
    if (!game.idle() || !zib)
        return fail("the duel window did not come up idle with its ZIB! button");

    QWidget bare;
    bare.setWindowTitle(QStringLiteral("Bare button"));
    bare.resize(zib->width() + 40, zib->height() + 40);
    auto* plain = new QPushButton(zib->text(), &bare);
    plain->setFont(zib->font());
    plain->setGeometry(20, 20, zib->width(), zib->height());
    plain->setAutoDefault(false);
    QObject::connect(plain, &QPushButton::pressed, &bare, [] {});
    bare.show();
    if (!QTest::qWaitForWindowExposed(&bare))
        return fail("the baseline window was not shown");

    forms::qt::Driver& driver = game.driver();
    duel::frmzib& duel = game.duel();
    const forms::Control& zibyou = duel.control("zibyou");
    driver.click(duel.menuItem("mnuVE"));  // the opponent takes 450 ms: time enough to press

    if (!args.quick())
        bench::CpuPressure::noteIfBusyNow("the presses");
    bench::Samples round, baseline, gameMedians, baselineMedians;
    for (int i = 0; i < runs * presses; ++i) {
        driver.click(duel.control("cbStart"));
        if (!QTest::qWaitFor([&] { return zib->isEnabled(); }, 3000))
            return fail("the draw did not come");
        QCoreApplication::processEvents();  // the pencil drawn at the line, as the player sees it
        if (!zib->isEnabled() || zibyou.Visible())
            return fail("the duel is not at the draw");

        round.push_back(timedPress(zib));
        if (!zibyou.Visible())
            return fail("a press did not reach Zib_Click");
        baseline.push_back(timedPress(plain));
        QTest::mouseRelease(plain, Qt::LeftButton);
        QCoreApplication::processEvents();
        driver.click(duel.control("cbStop"));
        if (round.size() == static_cast<std::size_t>(presses)) {
            gameMedians.push_back(bench::median(std::exchange(round, {})));
            baselineMedians.push_back(bench::median(std::exchange(baseline, {})));
        }
    }

    bench::figure("ZIB! press to handler, median of %d presses, min / median / max of %d runs: %s ms  [baseline bare "
                  "QPushButton: %s ms; target <= baseline + 0.1 ms = %.3f ms]",
                  presses, runs, bench::spread(gameMedians).c_str(), bench::spread(baselineMedians).c_str(),
                  bench::median(baselineMedians) + 0.1);
    return 0;
}
