// SPDX-License-Identifier: MIT
// What the duel window shows, as every backend draws it: its colours and
// fonts in the player's scheme, and what lies above what. Where things land
// is held to the pixel by the drawing tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "duel/frmzib.h"
#include "forms/scene.h"

namespace {

TEST(Scene, TheSchemesColoursAndFontsInPixelsStackedAsDesigned)
{
    // The window and label backgrounds take the scheme's highlight-text colour, the rule its window-text colour.
    // A font in points is drawn at 96 dots per inch; a control without one has the window's small default font.
    forms::Runtime rt;
    const auto s = forms::scene(rt.instance<duel::frmzib>(), {.highlightText = 0xFEFEFE, .windowText = 0x010101});
    const auto item = [&s](std::string_view name) {
        return *std::find_if(s.items.begin(), s.items.end(), [&](const auto& i) { return i.design->name == name; });
    };
    EXPECT_EQ((std::vector{s.background, item("zibyou").back, item("Line2").fore}),
              (std::vector{0xFEFEFEu, 0xFEFEFEu, 0x010101u}));
    EXPECT_EQ((std::vector{item("zibyou").fontPixels, item("cbStart").fontPixels}), (std::vector{37, 11}));
    // Drawn bottom first: the pencils from the lowest up, each body, end square and tips in turn, then the
    // warning, each bubble under its "ZIB!" and name, the rule, and the buttons last, ZIB! topmost. Timers are
    // not drawn.
    std::string drawn;
    for (const auto& i : s.items) drawn += " " + std::string(i.design->name);
    EXPECT_TRUE(drawn.starts_with(" p03 p04 p02 p01 p93")) << drawn;
    EXPECT_TRUE(drawn.ends_with(" p13 noskill Image1 zibyou Label6 Image2 ziboppo Label4 Line2 cbStop cbStart Zib"))
        << drawn;
}

TEST(Scene, TheFocusMovesThroughTheButtonsInTabOrderWhateverTheirStacking)
{
    using enum forms::Kind;
    constexpr forms::ControlDesign buttons[] = {{.name = "cbLast", .kind = CommandButton, .tabIndex = 2},
        {.name = "cbFirst", .kind = CommandButton, .tabIndex = 0}, {.name = "lblNote", .kind = Label, .tabIndex = 1},
        {.name = "cbMiddle", .kind = CommandButton, .tabIndex = 1}};
    EXPECT_EQ(forms::tabOrder({.name = "frmTabs", .caption = "", .controls = buttons}),
              (std::vector<std::size_t>{1, 3, 0}));
}

}  // namespace
