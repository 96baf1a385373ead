// SPDX-License-Identifier: MIT
#include "app/run.h"

#include <QApplication>

#include "app/platform.h"
#include "app/setup.h"
#include "duel/frmzib.h"

namespace zib {

int run(int argc, char** argv, const std::function<void(forms::Runtime&, forms::qt::Driver&)>& started)
{
    if (!useDisplay())
        return 1;

    QApplication app(argc, argv);
    prepare(app);

    forms::Runtime runtime;
    forms::qt::Driver driver(runtime);
    if (runtime.start<duel::frmzib>() && started)
        started(runtime, driver);
    return driver.exec();
}

}  // namespace zib
