// SPDX-License-Identifier: MIT
#include "results/result_windows.h"

#include "duel/frmzib.h"

namespace results {

namespace {

using forms::Box;
using forms::ControlDesign;
using forms::Kind;
using forms::rgb;

// The labels reach past the window's edges on purpose: the window clips
// them. They are transparent, so where they overlap both texts show.
constexpr ControlDesign label(std::string_view name, Box box, std::string_view caption, forms::Colour text,
                              int tabIndex)
{
    return {.name = name, .kind = Kind::Label, .box = box, .caption = caption, .font = {"Jokerman", 48, true},
            .foreColour = text, .transparent = true, .tabIndex = tabIndex};
}

constexpr ControlDesign closeTimer{.name = "Timer1", .kind = Kind::Timer, .interval = 1000};

constexpr ControlDesign winControls[] = {
    label("Label2", {120, 840, 3135, 1335}, "Win!!!", rgb(0xFF0000), 1),
    label("Label1", {480, -120, 2175, 1335}, "You", rgb(0xFF0000), 0),
    closeTimer,
};

constexpr ControlDesign looseControls[] = {
    label("Label2", {-240, 600, 4575, 1215}, "Loose!!!", rgb(0x00FF00), 1),
    label("Label1", {-480, -120, 4575, 1215}, "You", rgb(0x00FF00), 0),
    closeTimer,
};

// The Win window kept the caption its designer's tool gave it, "Form1", and
// the Loose window none; with no title bar neither shows, and a screen reader
// hears each window named by what it says.
constexpr forms::FormDesign winDesign{
    .name = "frmWin",
    .caption = "Form1",
    .border = forms::Border::None,
    .width = 3240,
    .height = 2040,
    .backColour = rgb(0x00FF00),
    .showInTaskbar = false,
    .controls = winControls,
};

constexpr forms::FormDesign looseDesign{
    .name = "frmLoose",
    .caption = "",
    .border = forms::Border::None,
    .width = 4020,
    .height = 1815,
    .backColour = rgb(0xFF0000),
    .showInTaskbar = false,
    .controls = looseControls,
};

}  // namespace

ResultWindow::ResultWindow(forms::Runtime& runtime, const forms::FormDesign& design) : Form(runtime, design)
{
    on(Timer1, &ResultWindow::Timer1_Timer);
}

// The close timer is never disabled: unloading the window ends it, so each
// loading leads to exactly one hand-back.
void ResultWindow::Timer1_Timer()
{
    frmzib->Visible(true);
    Unload();
    frmzib->ResetToIdle();
}

const forms::FormDesign& frmWin::design() { return winDesign; }
frmWin::frmWin(forms::Runtime& runtime) : ResultWindow(runtime, winDesign) {}

const forms::FormDesign& frmLoose::design() { return looseDesign; }
frmLoose::frmLoose(forms::Runtime& runtime) : ResultWindow(runtime, looseDesign) {}

}  // namespace results
