// SPDX-License-Identifier: MIT
#include <QApplication>
#include <gtest/gtest.h>

#include "app/setup.h"

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zib::prepare(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
