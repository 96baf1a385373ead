// SPDX-License-Identifier: MIT
// The game as a desktop citizen: what a screen reader announces, and how it
// draws on a screen of twice the usual density.
#include <QAccessible>
#include <QApplication>
#include <QMetaEnum>
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>

#include "duel/frmzib.h"
#include "forms/qt/driver.h"
#include "forms/qt/paint.h"
#include "results/result_windows.h"

// What a screen reader finds from `element` down: each accessible element as its role, name and state.
static void listen(QAccessibleInterface* element, QStringList& heard)
{
    const QAccessible::State state = element->state();
    heard << QString("%1 %2%3%4%5").arg(QMetaEnum::fromType<QAccessible::Role>().valueToKey(element->role()),
                                        element->text(QAccessible::Name), state.invisible ? " hidden" : "",
                                        state.disabled ? " disabled" : "", state.checked ? " checked" : "");
    for (int i = 0; i < element->childCount(); ++i)
        listen(element->child(i), heard);
}

// The duel window announces its buttons and painted labels, a hidden one as hidden, and its skill items with
// their check marks; the result windows announce their texts.
TEST(Accessibility, WindowsAnnounceButtonsLabelsAndSkillLevels)
{
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    driver.click(rt.start<duel::frmzib>()->menuItem("mnuM"));
    QStringList heard;  // in the duel window, then in the result windows
    for (QWidget* w : {driver.window(*rt.find<duel::frmzib>()), driver.window(*rt.start<results::frmWin>()),
                       driver.window(*rt.start<results::frmLoose>())})
        listen(QAccessible::queryAccessibleInterface(w), heard);
    for (const char* item : {"Button ZIB! disabled", "Button Start", "StaticText Opponent", "StaticText You",
                             "StaticText Select a Skill Level!! hidden", "MenuItem Medium hidden checked",
                             "MenuItem Easy hidden", "StaticText Win!!!", "StaticText Loose!!!"})
        EXPECT_TRUE(heard.contains(item)) << item << "\n" << heard.join("\n").toStdString();
}

// At twice the density the rule is 8 device pixels thick and the bubbles stay crisp: drawn from their
// double-size bitmaps, the player's, above the "You" label covering its lower edge, is only black and white
// and finer than the usual bitmap doubled.
TEST(HighDensity, DuelWindowDrawsSharpAtTwiceTheDensity)
{
    forms::Runtime rt;
    QImage image(1200, 798, QImage::Format_RGB32);
    image.setDevicePixelRatio(2);
    QPainter painter(&image);
    forms::qt::paintForm(painter, rt.instance<duel::frmzib>(), QApplication::palette());
    for (int y = 470; y < 490; ++y)  // clear of the pencil and the bubbles
        EXPECT_EQ(image.pixelColor(1100, y) == Qt::black, y >= 476 && y < 484) << y;
    const QImage bubble = image.copy(16, 512, 360, 192);  // 360 x 220 device pixels at (16, 512), above "You"
    EXPECT_EQ(bubble.convertToFormat(QImage::Format_Mono).convertToFormat(bubble.format()), bubble);
    EXPECT_NE(bubble.scaled(180, 96).scaled(360, 192), bubble);  // not the usual bitmap, doubled
}

// On a screen scaled by two the duel window's client area is 1200 x 798 device pixels.
// Runs under QT_SCALE_FACTOR=2; skipped elsewhere.
TEST(HighDensity, DuelWindowIsTwiceAsLargeInDevicePixels)
{
    if (qApp->devicePixelRatio() < 2)
        GTEST_SKIP() << "needs QT_SCALE_FACTOR=2";
    forms::Runtime rt;
    forms::qt::Driver driver(rt);
    QWidget* canvas = driver.window(*rt.start<duel::frmzib>())->findChild<QWidget*>("canvas");
    EXPECT_EQ(canvas ? canvas->grab().size() : QSize(), QSize(1200, 798));
}
