// SPDX-License-Identifier: MIT
#include "app/run.h"

#include <QApplication>

#include "app/platform.h"
#include "app/setup.h"
#include "duel/frmzib.h"
#include "forms/qt/driver.h"

namespace zib {

int run(int argc, char** argv)
{
    if (!useDisplay())
        return 1;

    QApplication app(argc, argv);
    prepare(app);

    forms::Runtime runtime;
    forms::qt::Driver driver(runtime);
    runtime.start<duel::frmzib>();
    return driver.exec();
}

}  // namespace zib
