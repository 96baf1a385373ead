// SPDX-License-Identifier: MIT
// The game as a desktop citizen: what a screen reader announces, and how it
// draws on a screen of twice the usual density.
#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <functional>
#include <gtest/gtest.h>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "forms/qt/form_window.h"
#include "forms/qt/paint.h"
#include "results/result_windows.h"

namespace {

// Every accessible element below `root`, depth first.
void walk(QAccessibleInterface* root, const std::function<void(QAccessibleInterface*)>& visit)
{
    if (!root)
        return;
    visit(root);
    for (int i = 0; i < root->childCount(); ++i)
        walk(root->child(i), visit);
}

QAccessibleInterface* findNamed(QWidget* window, QAccessible::Role role, const QString& name, int nth = 0)
{
    QAccessibleInterface* found = nullptr;
    walk(QAccessible::queryAccessibleInterface(window), [&](QAccessibleInterface* e) {
        if (!found && e->role() == role && e->text(QAccessible::Name) == name && nth-- == 0)
            found = e;
    });
    return found;
}

}  // namespace

// The buttons, the speech labels and the skill warning can all be announced,
// and a hidden label says it is hidden.
TEST(Accessibility, DuelWindowAnnouncesItsButtonsAndLabels)
{
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    rt.start<duel::frmzib>();
    QWidget* window = driver.window(*rt.find<duel::frmzib>());
    ASSERT_NE(window, nullptr);

    for (const char* button : {"ZIB!", "Start", "Stop"})
        EXPECT_NE(findNamed(window, QAccessible::Button, QString::fromUtf8(button)), nullptr) << button;
    for (const char* label : {"Opponent", "You", "Select a Skill Level!!"})
        EXPECT_NE(findNamed(window, QAccessible::StaticText, QString::fromUtf8(label)), nullptr) << label;

    auto* opponent = findNamed(window, QAccessible::StaticText, QStringLiteral("Opponent"));
    ASSERT_NE(opponent, nullptr);
    EXPECT_FALSE(opponent->state().invisible);
    auto* warning = findNamed(window, QAccessible::StaticText, QStringLiteral("Select a Skill Level!!"));
    ASSERT_NE(warning, nullptr);
    EXPECT_TRUE(warning->state().invisible);
    EXPECT_FALSE(findNamed(window, QAccessible::Button, QStringLiteral("Start"))->state().disabled);
    EXPECT_TRUE(findNamed(window, QAccessible::Button, QStringLiteral("ZIB!"))->state().disabled);
}

// The skill items announce which level is checked.
TEST(Accessibility, SkillItemsAnnounceTheirCheckedState)
{
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    rt.start<duel::frmzib>();
    auto& duel = *rt.find<duel::frmzib>();
    driver.click(duel.menuItem("mnuM"));
    QWidget* window = driver.window(duel);

    auto* medium = findNamed(window, QAccessible::MenuItem, QStringLiteral("Medium"));
    auto* easy = findNamed(window, QAccessible::MenuItem, QStringLiteral("Easy"));
    ASSERT_NE(medium, nullptr);
    ASSERT_NE(easy, nullptr);
    EXPECT_TRUE(medium->state().checkable);
    EXPECT_TRUE(medium->state().checked);
    EXPECT_FALSE(easy->state().checked);
}

// The result windows' texts are announced too.
TEST(Accessibility, ResultWindowsAnnounceTheirTexts)
{
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    forms::qt::FormWindow win(driver, rt.instance<results::frmLoose>());
    EXPECT_NE(findNamed(&win, QAccessible::StaticText, QStringLiteral("You")), nullptr);
    EXPECT_NE(findNamed(&win, QAccessible::StaticText, QStringLiteral("Loose!!!")), nullptr);
}

// At twice the density lines and borders scale and the bubbles stay crisp:
// drawn from their double-size bitmaps, they hold only black and white.
TEST(HighDensity, DuelWindowDrawsSharpAtTwiceTheDensity)
{
    forms::Runtime rt;
    auto& duel = rt.instance<duel::frmzib>();
    QImage image(1200, 798, QImage::Format_RGB32);
    image.setDevicePixelRatio(2);
    {
        QPainter painter(&image);
        forms::qt::paintForm(painter, duel, QApplication::palette());
    }
    // The rule: 8 device pixels thick, centred on y = 480.
    const int x = 1100;  // clear of the pencil and the bubbles
    int thickness = 0;
    for (int y = 460; y < 500; ++y)
        thickness += image.pixelColor(x, y) == Qt::black ? 1 : 0;
    EXPECT_EQ(thickness, 8);
    EXPECT_EQ(image.pixelColor(x, 476), Qt::black);
    EXPECT_EQ(image.pixelColor(x, 483), Qt::black);

    // The player's bubble, 360 x 220 device pixels at (16, 512), above the
    // "You" label that covers its lower edge: no grey.
    int greys = 0;
    for (int by = 512; by < 704; ++by)
        for (int bx = 16; bx < 16 + 360; ++bx) {
            const QColor c = image.pixelColor(bx, by);
            greys += (c != Qt::black && c != Qt::white) ? 1 : 0;
        }
    EXPECT_EQ(greys, 0);
}

// On a screen scaled by two the duel window's client area is 1200 x 798
// device pixels. Runs under QT_SCALE_FACTOR=2; skipped elsewhere.
TEST(HighDensity, DuelWindowIsTwiceAsLargeInDevicePixels)
{
    if (qApp->devicePixelRatio() < 2)
        GTEST_SKIP() << "needs QT_SCALE_FACTOR=2";
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    rt.start<duel::frmzib>();
    QWidget* window = driver.window(*rt.find<duel::frmzib>());
    ASSERT_NE(window, nullptr);
    auto* canvas = window->findChild<QWidget*>(QStringLiteral("canvas"));
    ASSERT_NE(canvas, nullptr);
    const QPixmap shot = canvas->grab();
    EXPECT_EQ(shot.width(), 1200);
    EXPECT_EQ(shot.height(), 798);
}
