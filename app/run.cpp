// SPDX-License-Identifier: MIT
#include "app/run.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/setup.h"
#include "duel/frmzib.h"

namespace zib {

namespace {

bool set(const char* name) { return std::getenv(name) && *std::getenv(name); }

}  // namespace

int run(int argc, char** argv, const std::function<void(forms::Runtime&, forms::qt::Driver&)>& started)
{
    if (!set("QT_QPA_PLATFORM")) {
        if (!set("DISPLAY") && !set("WAYLAND_DISPLAY")) {
            std::fputs("zib: no display found; run it under a display, or headless with xvfb-run\n", stderr);
            return 1;
        }
        // Wayland cannot centre windows; where X11 is offered too, use it.
        if (set("WAYLAND_DISPLAY") && set("DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "xcb");
    }

    QApplication app(argc, argv);
    prepare(app);

    forms::Runtime runtime;
    forms::qt::Driver driver(runtime);
    if (runtime.start<duel::frmzib>() && started)
        started(runtime, driver);
    return driver.exec();
}

}  // namespace zib
