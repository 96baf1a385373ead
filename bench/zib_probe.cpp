// SPDX-License-Identifier: MIT
// The game as it ships, run by the same function as app/main.cpp, with a
// watch on its windows for bench_launch and bench_screen.
//
//   zib_probe startup STAMP  prints the time from STAMP (CLOCK_MONOTONIC,
//                            taken by the launcher just before exec) to the
//                            first paint of the duel window, and exits
//   zib_probe duel           plays one duel through the windows (Very Easy
//                            from the Skill menu, Start, ZIB! at the draw),
//                            and once the duel window is handed back prints
//                            the peak RSS and exits
//   zib_probe screen         picks Very Hard and leaves the rest to
//                            bench_screen, which plays through the X server
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/run.h"
#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "forms/runtime.h"
#include "probe.h"
#include "results/result_windows.h"

namespace {

QPushButton* button(QWidget* window, const char* caption)
{
    for (auto* b : window->findChildren<QPushButton*>())
        if (b->text() == QLatin1String(caption))
            return b;
    return nullptr;
}

// A menu command of the window, on the menu bar or in one of its menus.
QAction* menuAction(QWidget* window, const char* caption)
{
    for (auto* bar : window->findChildren<QMenuBar*>())
        for (auto* action : bar->actions()) {
            if (action->text() == QLatin1String(caption))
                return action;
            if (QMenu* menu = action->menu())
                for (auto* item : menu->actions())
                    if (item->text() == QLatin1String(caption))
                        return item;
        }
    return nullptr;
}

// One duel played through the duel window's own widgets, a step at a time,
// looked at every 10 ms from inside the game's event loop.
class Player : public QObject {
public:
    Player(forms::Runtime& runtime, forms::qt::Driver& driver) : runtime_(runtime), driver_(driver)
    {
        connect(&poll_, &QTimer::timeout, this, &Player::step);
        poll_.start(10);
        QTimer::singleShot(20000, this, [] {
            std::fputs("zib_probe: the duel did not finish\n", stderr);
            std::_Exit(1);
        });
    }

private:
    void step()
    {
        auto* duel = runtime_.find<duel::frmzib>();
        QWidget* window = duel ? driver_.window(*duel) : nullptr;
        if (!window)
            return;
        QPushButton* start = button(window, "Start");
        QPushButton* zib = button(window, "ZIB!");
        switch (stage_) {
        case 0:  // the start-up reset has passed: pick a level and start
            if (runtime_.forms().size() == 1 && window->isVisible() && start && start->isEnabled()) {
                if (QAction* level = menuAction(window, "Very Easy"))
                    level->trigger();
                start->click();
                stage_ = 1;
            }
            break;
        case 1:  // the draw
            if (zib && zib->isEnabled()) {
                zib->click();
                stage_ = 2;
            }
            break;
        case 2:  // a result window
            if (runtime_.find<results::frmWin>() || runtime_.find<results::frmLoose>())
                stage_ = 3;
            break;
        case 3:  // handed back: report, then Quit from the menu bar
            if (runtime_.forms().size() == 1 && window->isVisible() && start && start->isEnabled()) {
                std::printf("maxrss-kb %ld\n", bench::peakRssKb());
                std::fflush(stdout);
                stage_ = 4;
                if (QAction* quit = menuAction(window, "Quit"))
                    quit->trigger();
            }
            break;
        default:
            break;
        }
    }

    forms::Runtime& runtime_;
    forms::qt::Driver& driver_;
    QTimer poll_;
    int stage_ = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    const char* mode = argc > 1 ? argv[1] : "";
    const bool startup = std::strcmp(mode, "startup") == 0 && argc > 2;
    const bool duelMode = std::strcmp(mode, "duel") == 0;
    const bool screen = std::strcmp(mode, "screen") == 0;
    if (!startup && !duelMode && !screen) {
        std::fputs("usage: zib_probe startup STAMP | zib_probe duel | zib_probe screen\n", stderr);
        return 2;
    }
    const double stamp = startup ? bench::monotonicMs(argv[2]) : 0;
    bench::Phases phases(stamp);
    phases.mark("main");

    std::unique_ptr<bench::FirstPaint> first;
    std::unique_ptr<Player> player;
    return zib::run(argc, argv, [&](forms::Runtime& runtime, forms::qt::Driver& driver) {
        phases.mark("duel window started");
        if (startup) {
            first = std::make_unique<bench::FirstPaint>(
                [&runtime, &driver]() -> QWidget* {
                    auto* duel = runtime.find<duel::frmzib>();
                    return duel ? driver.window(*duel) : nullptr;
                },
                [stamp, &phases] { bench::reportFirstFrame(stamp, phases); });
            qApp->installEventFilter(first.get());
        }
        if (duelMode)
            player = std::make_unique<Player>(runtime, driver);
        // Every duel bench_screen plays is at Very Hard.
        if (screen)
            driver.click(runtime.find<duel::frmzib>()->menuItem("mnuVH"));
    });
}
