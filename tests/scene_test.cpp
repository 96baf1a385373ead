// SPDX-License-Identifier: MIT
// What the duel window shows, as every backend draws it: its colours and
// fonts in the player's scheme, and what lies above what. Where things land
// is held to the pixel by the drawing tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "duel/frmzib.h"
#include "forms/scene.h"

namespace {

const forms::Item& item(const forms::Scene& s, std::string_view name)
{
    return *std::find_if(s.items.begin(), s.items.end(), [&](const forms::Item& i) { return i.design->name == name; });
}
std::size_t place(const forms::Scene& s, std::string_view name) { return &item(s, name) - s.items.data(); }

TEST(Scene, TheSchemesColoursAndFontsInPixels)
{
    // The window and label backgrounds take the scheme's highlight-text colour, the rule its window-text colour.
    // A font in points is drawn at 96 dots per inch; a control without one has the window's small default font.
    forms::Runtime rt;
    const auto s = forms::scene(rt.instance<duel::frmzib>(), {.highlightText = 0xFEFEFE, .windowText = 0x010101});
    EXPECT_EQ(s.background, 0xFEFEFEu);
    EXPECT_EQ(item(s, "zibyou").back, 0xFEFEFEu);
    EXPECT_EQ(item(s, "Line2").fore, 0x010101u);
    EXPECT_EQ(item(s, "zibyou").fontPixels, 37);
    EXPECT_EQ(item(s, "cbStart").fontPixels, 11);
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

}  // namespace
