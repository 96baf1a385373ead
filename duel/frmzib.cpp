// SPDX-License-Identifier: MIT
#include "duel/frmzib.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string>
#include <string_view>

#include "results/result_windows.h"

namespace duel {

namespace {

using forms::Box;
using forms::ControlDesign;
using forms::Kind;
using forms::MenuDesign;
using forms::rgb;
using forms::segment;

constexpr forms::Font comicSans(double points) { return {"Comic Sans MS", points, true}; }

constexpr auto red = rgb(0xFF0000);
constexpr auto blue = rgb(0x0000FF);
constexpr auto green = rgb(0x00FF00);
constexpr auto pencilYellow = rgb(0xFFFF00);
constexpr auto pencilEnd = rgb(0xC04000);

constexpr ControlDesign label(std::string_view name, Box box, std::string_view caption, forms::Colour text,
                              double points, int tabIndex)
{
    return {.name = name, .kind = Kind::Label, .box = box, .caption = caption, .font = comicSans(points),
            .foreColour = text, .tabIndex = tabIndex};
}

constexpr ControlDesign alert(ControlDesign label)
{
    label.alert = true;
    return label;
}

constexpr ControlDesign timer(std::string_view name, int interval, bool enabled)
{
    return {.name = name, .kind = Kind::Timer, .enabled = enabled, .interval = interval};
}

// One pencil part: a tip line, or the body or end square with its fill.
constexpr ControlDesign tip(std::string_view name, Box line) { return {.name = name, .kind = Kind::Line, .box = line}; }
constexpr ControlDesign body(std::string_view name, int top)
{
    return {.name = name, .kind = Kind::Shape, .box = {1560, top, 6135, 255}, .backColour = pencilYellow};
}
constexpr ControlDesign endSquare(std::string_view name, int top)
{
    return {.name = name, .kind = Kind::Shape, .box = {7680, top, 255, 255}, .backColour = pencilEnd};
}

// Topmost first. Buttons lie above everything else; within a pencil the tip
// lines lie above the end square, and the end square above the body.
constexpr ControlDesign controls[] = {
    {.name = "Zib", .kind = Kind::CommandButton, .box = {3120, 4560, 2895, 855}, .caption = "ZIB!",
     .font = comicSans(27.75), .tabIndex = 0, .clickOnPress = true},
    {.name = "cbStart", .kind = Kind::CommandButton, .box = {3960, 3840, 495, 495}, .caption = "Start", .tabIndex = 1},
    {.name = "cbStop", .kind = Kind::CommandButton, .box = {4560, 3840, 495, 495}, .caption = "Stop", .tabIndex = 2,
     .cancel = true},

    {.name = "Line2", .kind = Kind::Line, .box = segment(0, 3600, 9120, 3600), .lineWidth = 4},
    label("Label4", {6360, 3840, 1575, 375}, "Opponent", red, 14.25, 5),
    label("ziboppo", {6480, 4560, 2175, 615}, "ZIB!", blue, 27.75, 3),
    {.name = "Image2", .kind = Kind::Image, .box = {6240, 3960, 2700, 1650}, .picture = "bubble-opponent.bmp"},
    label("Label6", {1200, 5280, 1575, 375}, "You", red, 14.25, 6),
    label("zibyou", {360, 4080, 2175, 615}, "ZIB!", red, 27.75, 4),
    {.name = "Image1", .kind = Kind::Image, .box = {120, 3840, 2700, 1650}, .picture = "bubble-you.bmp"},
    alert(label("noskill", {2400, 5520, 4335, 375}, "Select a Skill Level!!", green, 15.75, 7)),

    // The pencil at its ten heights, top row first.
    tip("p13", segment(1080, 240, 1560, 120)), tip("p14", segment(1560, 360, 1080, 240)),
    endSquare("p12", 120), body("p11", 120),
    tip("p21", segment(1080, 600, 1560, 480)), tip("p22", segment(1560, 720, 1080, 600)),
    endSquare("p24", 480), body("p23", 480),
    tip("p34", segment(1080, 960, 1560, 840)), tip("p32", segment(1560, 1080, 1080, 960)),
    endSquare("p33", 840), body("p31", 840),
    tip("p43", segment(1080, 1320, 1560, 1200)), tip("p44", segment(1560, 1440, 1080, 1320)),
    endSquare("p42", 1200), body("p41", 1200),
    tip("p51", segment(1080, 1680, 1560, 1560)), tip("p52", segment(1560, 1800, 1080, 1680)),
    endSquare("p54", 1560), body("p53", 1560),
    tip("p61", segment(1080, 2040, 1560, 1920)), tip("p62", segment(1560, 2160, 1080, 2040)),
    endSquare("p64", 1920), body("p63", 1920),
    tip("p71", segment(1080, 2400, 1560, 2280)), tip("p72", segment(1560, 2520, 1080, 2400)),
    endSquare("p74", 2280), body("p73", 2280),
    tip("p81", segment(1080, 2760, 1560, 2640)), tip("p82", segment(1560, 2880, 1080, 2760)),
    endSquare("p84", 2640), body("p83", 2640),
    tip("p91", segment(1080, 3120, 1560, 3000)), tip("p92", segment(1560, 3240, 1080, 3120)),
    endSquare("p94", 3000), body("p93", 3000),
    tip("p01", segment(1080, 3480, 1560, 3360)), tip("p02", segment(1560, 3600, 1080, 3480)),
    endSquare("p04", 3360), body("p03", 3360),

    // The design's Enabled values are the game's own, though never seen:
    // Form_Load disables all of these timers before the window first shows,
    // as it sets everything else in the idle list. What outlives start-up is
    // answertime's Interval, 0 until the first draw, and cbStart's Enabled.
    timer("Wintime", 500, true),
    timer("Loosetime", 500, true),
    timer("noskilltime", 3000, true),
    timer("answertime", 0, true),  // drop step 10 sets the opponent's reaction time
    timer("Timer1", 50, false),
    timer("Timer2", 50, false),
    timer("Timer3", 50, true),
    timer("Timer4", 50, true),
    timer("Timer5", 50, true),
    timer("Timer6", 50, true),
    timer("Timer7", 50, true),
    timer("Timer8", 50, true),
    timer("Timer9", 50, true),
    timer("Timer10", 50, true),
};

constexpr std::size_t levelCount = std::size(frmzib::skillLevels);

// The Skill menu lists the levels of the skill table, in its order.
constexpr auto menus = [] {
    std::array<MenuDesign, levelCount + 2> menu{};
    menu.front() = {"mnuSkill", "Skill"};
    for (std::size_t i = 0; i < levelCount; ++i)
        menu[i + 1] = {frmzib::skillLevels[i].item, frmzib::skillLevels[i].caption, "mnuSkill"};
    menu.back() = {"mnuQuit", "Quit"};
    return menu;
}();

constexpr forms::FormDesign frmzibDesign{
    .name = "frmzib",
    .caption = "Zib!",
    .border = forms::Border::FixedSingle,
    .width = 9000,
    .height = 5985,
    .onClose = forms::OnClose::EndProgram,
    .controls = controls,
    .menus = menus,
};

// Whether `order` names each level of the skill table once.
template <std::size_t N>
constexpr bool everyLevelOnce(const std::string_view (&order)[N])
{
    if (N != levelCount)
        return false;
    for (const auto& level : frmzib::skillLevels)
        if (std::count(std::begin(order), std::end(order), level.item) != 1)
            return false;
    return true;
}

const frmzib::SkillLevel& skillLevel(std::string_view item)
{
    return *std::find_if(std::begin(frmzib::skillLevels), std::end(frmzib::skillLevels),
                         [item](const auto& level) { return level.item == item; });
}

// Figure set K is drawn by pK1 to pK4, set 10 by p01 to p04.
std::string pencilPart(int set, int part) { return "p" + std::to_string(set % 10) + std::to_string(part); }

}  // namespace

const forms::FormDesign& frmzib::design() { return frmzibDesign; }

frmzib::frmzib(forms::Runtime& runtime) : Form(runtime, frmzibDesign)
{
    static_assert(everyLevelOnce(checksReadOrder) && everyLevelOnce(checksWriteOrder),
                  "the skill items' reading and writing orders each name every level of the skill table once");
    for (int k = 0; k < 10; ++k) {
        dropTimers_[k] = &control("Timer" + std::to_string(k + 1));
        for (int m = 0; m < 4; ++m)
            pencils_[k][m] = &control(pencilPart(k + 1, m + 1));
    }

    onLoad(&frmzib::Form_Load);
    on(cbStop, &frmzib::cbStop_Click);
    for (const auto& level : skillLevels)
        on(menuItem(level.item), level.click);
    on(menuItem("mnuQuit"), &frmzib::mnuQuit_Click);
    on(cbStart, &frmzib::cbStart_Click);
    on(noskilltime, &frmzib::noskilltime_Timer);
    static constexpr void (frmzib::*drops[])() = {
        &frmzib::Timer1_Timer, &frmzib::Timer2_Timer, &frmzib::Timer3_Timer, &frmzib::Timer4_Timer,
        &frmzib::Timer5_Timer, &frmzib::Timer6_Timer, &frmzib::Timer7_Timer, &frmzib::Timer8_Timer,
        &frmzib::Timer9_Timer, &frmzib::Timer10_Timer,
    };
    for (int k = 0; k < 10; ++k)
        on(*dropTimers_[k], drops[k]);
    on(Zib, &frmzib::Zib_Click);
    on(answertime, &frmzib::answertime_Timer);
    on(Wintime, &frmzib::Wintime_Timer);
    on(Loosetime, &frmzib::Loosetime_Timer);
}

// -- Start-up, idle and Stop -------------------------------------------------

void frmzib::Form_Load()
{
    // Both result windows are loaded now and hidden again at once; their
    // close timers run from here, so about a second after start-up each of
    // them hands the duel window back once, idle.
    frmLoose->Show();
    frmWin->Show();
    frmLoose->Visible(false);
    frmWin->Visible(false);
    applyIdleList();
}

void frmzib::applyIdleList()
{
    noskill.Visible(false);
    noskilltime.Enabled(false);
    Zib.Enabled(false);
    ziboppo.Visible(false);
    zibyou.Visible(false);
    Wintime.Enabled(false);
    Loosetime.Enabled(false);
    for (auto* dropTimer : dropTimers_)
        dropTimer->Enabled(false);
    answertime.Enabled(false);
    showPencil(1, true);
    for (int set = 2; set <= 10; ++set)
        showPencil(set, false);
    cbStop.Enabled(false);
}

void frmzib::ResetToIdle()
{
    applyIdleList();
    cbStart.Enabled(true);
}

void frmzib::cbStop_Click() { ResetToIdle(); }

// -- Skill levels and Quit ---------------------------------------------------

void frmzib::chooseLevel(std::string_view chosen)
{
    for (std::string_view item : checksWriteOrder)
        menuItem(item).Checked(item == chosen);
}

void frmzib::mnuVE_Click() { chooseLevel("mnuVE"); }
void frmzib::mnuE_Click() { chooseLevel("mnuE"); }
void frmzib::mnuM_Click() { chooseLevel("mnuM"); }
void frmzib::mnuH_Click() { chooseLevel("mnuH"); }
void frmzib::mnuVH_Click() { chooseLevel("mnuVH"); }

void frmzib::mnuQuit_Click() { End(); }

// -- Start and the drop ------------------------------------------------------

bool frmzib::noLevelChosen()
{
    bool none = true;
    for (std::string_view item : checksReadOrder)
        if (menuItem(item).Checked() != false)
            none = false;
    return none;
}

void frmzib::cbStart_Click()
{
    if (noLevelChosen()) {
        noskill.Visible(true);
        noskilltime.Enabled(true);
        return;
    }
    dropTimers_[0]->Enabled(true);
    cbStart.Enabled(false);
    cbStop.Enabled(true);
}

void frmzib::noskilltime_Timer()
{
    noskilltime.Enabled(false);
    noskill.Visible(false);
}

void frmzib::showPencil(int set, bool visible)
{
    for (auto* part : pencils_[set - 1])
        part->Visible(visible);
}

// Steps 1 to 9 move the pencil down one row and hand over to the next timer.
void frmzib::dropStep(int step)
{
    showPencil(step, false);
    showPencil(step + 1, true);
    dropTimers_[step - 1]->Enabled(false);
    dropTimers_[step]->Enabled(true);
}

void frmzib::Timer1_Timer() { dropStep(1); }
void frmzib::Timer2_Timer() { dropStep(2); }
void frmzib::Timer3_Timer() { dropStep(3); }
void frmzib::Timer4_Timer() { dropStep(4); }
void frmzib::Timer5_Timer() { dropStep(5); }
void frmzib::Timer6_Timer() { dropStep(6); }
void frmzib::Timer7_Timer() { dropStep(7); }
void frmzib::Timer8_Timer() { dropStep(8); }
void frmzib::Timer9_Timer() { dropStep(9); }

// The pencil has landed: the draw. The level is read now, so a level picked
// while the pencil was falling counts for this duel.
void frmzib::Timer10_Timer()
{
    for (std::string_view item : checksReadOrder)
        if (menuItem(item).Checked() == true)
            answertime.Interval(skillLevel(item).reaction);
    dropTimers_[9]->Enabled(false);
    answertime.Enabled(true);
    Zib.Enabled(true);
}

// -- The draw and its outcome ------------------------------------------------

void frmzib::Zib_Click()
{
    Zib.Enabled(false);
    zibyou.Visible(true);
}

// The duel is decided here, never at the press: the player wins by having
// drawn before the opponent does.
void frmzib::answertime_Timer()
{
    bool opponentDrew = ziboppo.Visible();
    bool playerDrew = zibyou.Visible();
    if (playerDrew == true && opponentDrew == false)
        Wintime.Enabled(true);
    ziboppo.Visible(true);
    opponentDrew = ziboppo.Visible();
    playerDrew = zibyou.Visible();
    if (playerDrew == false && opponentDrew == true)
        Loosetime.Enabled(true);
    Zib.Enabled(false);
    answertime.Enabled(false);
}

// The outcome timers keep running until the result window hands back and
// stops them; their repeats change nothing.
void frmzib::Wintime_Timer()
{
    frmWin->Visible(true);
    Visible(false);
}

void frmzib::Loosetime_Timer()
{
    frmLoose->Visible(true);
    Visible(false);
}

}  // namespace duel
