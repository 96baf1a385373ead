// SPDX-License-Identifier: MIT
// The baseline for start-up, memory and idle wake-ups: a minimal Qt Widgets
// program with one plain top-level window the size of the duel window.
//
//   minimal_probe startup STAMP  prints the time from STAMP (CLOCK_MONOTONIC,
//                                taken by the launcher just before exec) to
//                                the window's first paint, and exits
//   minimal_probe rss            shows the window, prints the peak RSS half a
//                                second after its first paint, and exits
//   minimal_probe idle           shows the window and runs until killed
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstring>

#include "probe.h"

int main(int argc, char** argv)
{
    const char* mode = argc > 1 ? argv[1] : "idle";
    const bool startup = std::strcmp(mode, "startup") == 0 && argc > 2;
    const double stamp = startup ? bench::monotonicMs(argv[2]) : 0;
    bench::Phases phases(stamp);
    phases.mark("main");

    QApplication app(argc, argv);
    phases.mark("QApplication");

    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    window.setFixedSize(600, 420);

    bench::FirstPaint first([&] { return &window; }, [&] {
        if (startup)
            bench::reportFirstFrame(stamp, phases);
        if (std::strcmp(mode, "rss") == 0)
            QTimer::singleShot(500, [] {
                std::printf("maxrss-kb %ld\n", bench::peakRssKb());
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
    });
    app.installEventFilter(&first);

    window.show();
    phases.mark("window shown");
    return app.exec();
}
