// SPDX-License-Identifier: MIT
// What the duel window shows in pixels, as every backend draws it: where the
// pencil, the rule and the bubbles land, what lies above what, and which
// pixels a step of the game changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "forms/scene.h"
#include "game_play.h"

namespace {

const forms::Item& item(const forms::Scene& s, std::string_view name)
{
    return *std::find_if(s.items.begin(), s.items.end(), [&](const forms::Item& i) { return i.design->name == name; });
}
std::size_t place(const forms::Scene& s, std::string_view name) { return &item(s, name) - s.items.data(); }

TEST(Scene, DuelWindowInPixelsWithItsColoursResolved)
{
    // The rule is 4 px wide across the 600 x 399 client area at y 240; the pencil's body sits at 8 + 24 (K - 1);
    // the window and label backgrounds take the scheme's highlight-text colour, borders its window-text colour.
    forms::Runtime rt;
    const auto s = forms::scene(rt.instance<duel::frmzib>(), {.highlightText = 0xFEFEFE, .windowText = 0x010101});
    EXPECT_EQ(s.client, (forms::Rect{0, 0, 600, 399}));
    EXPECT_EQ(s.background, 0xFEFEFEu);
    const auto& rule = item(s, "Line2");
    EXPECT_EQ(rule.from, (forms::Point{0, 240}));
    EXPECT_EQ(rule.to, (forms::Point{608, 240}));
    EXPECT_EQ(rule.fore, 0x010101u);
    for (const auto& [name, top] : {std::pair{"p11", 8}, {"p23", 32}, {"p03", 224}})
        EXPECT_EQ(item(s, name).box, (forms::Rect{104, top, 409, 17})) << name;
    EXPECT_EQ(item(s, "p04").back, 0xC04000u);
    EXPECT_EQ(item(s, "Image1").box, (forms::Rect{8, 256, 180, 110}));
    EXPECT_EQ(item(s, "zibyou").back, 0xFEFEFEu);
    EXPECT_EQ(item(s, "zibyou").fontPixels, 37);
    EXPECT_EQ(item(s, "cbStart").fontPixels, 11);  // the window's small default font
}

TEST(Scene, StackedAsDesignedWithTheButtonsOnTop)
{
    // Drawn bottom first: each "ZIB!" above its bubble, the right bubble above the warning, the rule above the
    // lowest pencil, the tips above the end square above the body, and the buttons last, ZIB! topmost.
    forms::Runtime rt;
    const auto s = forms::scene(rt.instance<duel::frmzib>());
    const std::pair<const char*, const char*> above[] = {{"zibyou", "Image1"}, {"ziboppo", "Image2"},
        {"Label6", "Image1"}, {"Label4", "Image2"}, {"Image2", "noskill"}, {"Line2", "p03"}, {"p01", "p04"},
        {"p04", "p03"}, {"cbStart", "Line2"}, {"Zib", "cbStop"}};
    for (const auto& [top, under] : above)
        EXPECT_GT(place(s, top), place(s, under)) << top << " over " << under;
    EXPECT_EQ(s.items.back().design->name, "Zib");
    EXPECT_EQ(s.items.size(), 51u);  // every control but the fourteen timers
}

TEST(Scene, TheFocusMovesThroughTheButtonsInTabOrderWhateverTheirStacking)
{
    using enum forms::Kind;
    constexpr forms::ControlDesign buttons[] = {{.name = "cbLast", .kind = CommandButton, .tabIndex = 2},
        {.name = "cbFirst", .kind = CommandButton, .tabIndex = 0}, {.name = "lblNote", .kind = Label, .tabIndex = 1},
        {.name = "cbMiddle", .kind = CommandButton, .tabIndex = 1}};
    const forms::FormDesign form{.name = "frmTabs", .caption = "", .controls = buttons};
    EXPECT_EQ(forms::tabOrder(form), (std::vector<std::size_t>{1, 3, 0}));
}

TEST(Scene, EachDropStepChangesOnlyTheTwoPencilRows)
{
    // From Start on, each drop step hides one pencil and shows the next: the damage is the eight parts of those
    // two pencils, inside their rows. Start itself changes the two buttons.
    play::Game g;
    g.at(play::startUpHandBack);
    g.use("mnuM");
    auto before = forms::scene(g.form);
    g.use("cbStart");
    auto after = forms::scene(g.form);
    EXPECT_EQ(forms::damage(before, after), (std::vector{item(after, "cbStop").box, item(after, "cbStart").box}));
    for (int step = 1; step <= 9; ++step) {
        before = after;
        g.at(play::startUpHandBack + play::dropStep * step);
        after = forms::scene(g.form);
        const auto changed = forms::damage(before, after);
        const forms::Rect rows{0, 8 + 24 * (step - 1) - 2, 600, 24 + 17 + 4};
        EXPECT_EQ(changed.size(), 8u) << "step " << step;
        for (const auto& r : changed)
            EXPECT_EQ(forms::united(rows, r), rows) << "step " << step;
    }
}

}  // namespace
