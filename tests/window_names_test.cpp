// SPDX-License-Identifier: MIT
// What a screen reader calls the game's windows.
#include <QAccessible>
#include <QWidget>
#include <gtest/gtest.h>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "results/result_windows.h"

// Each window is announced as a window, not as a part of one: the duel window by its title, and each result
// window, which has no title bar to show one, by what it says.
TEST(Accessibility, WindowsAreAnnouncedAsWindowsNamedAsThePlayerReadsThem)
{
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    const std::pair<QWidget*, QString> windows[] = {
        {driver.window(*rt.start<duel::frmzib>()), "Zib!"},
        {driver.window(*rt.start<results::frmWin>()), "You Win!!!"},
        {driver.window(*rt.start<results::frmLoose>()), "You Loose!!!"},
    };
    for (const auto& [window, name] : windows) {
        ASSERT_NE(window, nullptr) << name.toStdString();
        QAccessibleInterface* announced = QAccessible::queryAccessibleInterface(window);
        ASSERT_NE(announced, nullptr) << name.toStdString();
        EXPECT_EQ(announced->role(), QAccessible::Window) << name.toStdString();
        EXPECT_EQ(announced->text(QAccessible::Name), name);
    }
}
