// SPDX-License-Identifier: MIT
// Zib! played on the virtual clock: what the player sees and can do, from
// start-up through duels, Stop, the skill warning and Quit.
#include <gtest/gtest.h>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include "duel/frmzib.h"
#include "results/result_windows.h"

namespace {

using duel::frmzib;
using results::frmLoose;
using results::frmWin;

// The skill menu: each level's item and how long the opponent takes to draw.
struct Level { std::string_view item; int reaction; std::string_view name; };
void PrintTo(const Level& level, std::ostream* out) { *out << level.name; }
constexpr Level kLevels[] = {
    {"mnuVE", 450, "VeryEasy"}, {"mnuE", 350, "Easy"}, {"mnuM", 260, "Medium"},
    {"mnuH", 175, "Hard"},      {"mnuVH", 73, "VeryHard"},
};

// A fresh program per test, with helpers to play it and to read the screen.
template <class Base>
class Game : public Base {
protected:
    Game()
    {
        rt.onError([this](std::string_view message) { errors += std::string(message) + "\n"; });
        rt.afterEvent([this] {  // every result window that reaches the screen, by its loading
            ++events;
            if (auto* w = rt.find<frmWin>(); w && w->Visible()) winShown.insert(w->serial());
            if (auto* l = rt.find<frmLoose>(); l && l->Visible()) looseShown.insert(l->serial());
        });
        rt.start<frmzib>();
    }
    void SetUp() override { ASSERT_NE(rt.find<frmzib>(), nullptr) << errors; }
    void TearDown() override { EXPECT_EQ(errors, "") << "run-time error"; }

    frmzib& form() { return *rt.find<frmzib>(); }
    int now() const { return static_cast<int>(rt.now().count()); }
    void at(int t) { rt.advanceTo(std::chrono::milliseconds(t)); }
    void pass(int ms) { rt.advance(std::chrono::milliseconds(ms)); }
    void afterDraw(int ms) { at(draw + ms); }
    void press(std::string_view button) { rt.click(form().control(button)); }
    void pick(std::string_view item) { rt.click(form().menuItem(item)); }
    bool shows(std::string_view name) { return form().control(name).Visible(); }
    bool enabled(std::string_view name) { return form().control(name).Enabled(); }
    template <class F> bool loaded() const { return rt.find<F>() != nullptr; }
    template <class F> bool showing() const { return loaded<F>() && rt.find<F>()->Visible(); }
    bool noResultWindow() const { return !loaded<frmWin>() && !loaded<frmLoose>(); }
    bool noResultEverShown() const { return winShown.empty() && looseShown.empty(); }

    // Picks the level (if given) and presses Start once the start-up second is
    // over; the draw opens 500 ms later.
    void startDuel(std::string_view level = {})
    {
        if (now() < 1000) at(1000);
        if (!level.empty()) pick(level);
        press("cbStart");
        draw = now() + 500;
    }

    // Which pencil set 1..10 shows, or 0 unless exactly one whole set shows.
    int pencilShown()
    {
        int shown = 0;
        for (int set = 1; set <= 10; ++set) {
            int parts = 0;
            for (int part = 1; part <= 4; ++part)
                parts += form().control("p" + std::to_string(set % 10) + std::to_string(part)).Visible();
            if (parts == 4 && shown == 0) shown = set;
            else if (parts != 0) return 0;
        }
        return shown;
    }

    // The checked skill items, space separated.
    std::string checked()
    {
        std::string items;
        for (const auto& level : kLevels)
            if (form().menuItem(level.item).Checked()) items += (items.empty() ? "" : " ") + std::string(level.item);
        return items;
    }

    // The duel window at a glance: shown (+) or hidden (-), the pencil set, which
    // buttons are enabled and which labels show.
    std::string screen()
    {
        auto mark = [](bool on, std::string_view name) { return (on ? "+" : "-") + std::string(name) + " "; };
        return mark(form().Visible(), "window") + "pencil" + std::to_string(pencilShown()) + " " +
               mark(enabled("cbStart"), "Start") + mark(enabled("cbStop"), "Stop") + mark(enabled("Zib"), "Zib") +
               mark(shows("zibyou"), "zibyou") + mark(shows("ziboppo"), "ziboppo") + mark(shows("noskill"), "noskill");
    }
    static constexpr std::string_view kIdle = "+window pencil1 +Start -Stop -Zib -zibyou -ziboppo -noskill ";
    static constexpr std::string_view kWarning = "+window pencil1 +Start -Stop -Zib -zibyou -ziboppo +noskill ";

    // The opponent drew r ms after the draw: result window F alone shows from
    // r+500 for one second, once, then the duel window is idle for good.
    template <class F>
    void expectResultWindow(int r)
    {
        afterDraw(r + 499); EXPECT_TRUE(form().Visible() && noResultWindow()) << "result window early";
        afterDraw(r + 500); EXPECT_TRUE(showing<F>() && !form().Visible());
        EXPECT_EQ(rt.forms().size(), 2u) << "the other result window is loaded too";
        afterDraw(r + 1499); EXPECT_TRUE(showing<F>() && !form().Visible());
        afterDraw(r + 1500); EXPECT_TRUE(noResultWindow()); EXPECT_EQ(screen(), kIdle);
        afterDraw(r + 4500); EXPECT_TRUE(noResultWindow()); EXPECT_EQ(screen(), kIdle);
        EXPECT_EQ(winShown.size() + looseShown.size(), 1u) << "result windows shown";
    }

    forms::Runtime rt;
    std::string errors;
    int events = 0;
    int draw = 0;
    std::set<std::uint64_t> winShown, looseShown;
};

// -- Start-up --------------------------------------------------------------------------

using Launch = Game<::testing::Test>;

TEST_F(Launch, OpensIdleWithNoLevelAndBothResultWindowsLoadedButHidden)
{
    // The first screen: an idle duel window, nothing chosen, result windows waiting unseen.
    EXPECT_EQ(screen(), kIdle);
    EXPECT_EQ(checked(), "");
    EXPECT_TRUE(loaded<frmWin>() && loaded<frmLoose>());
    EXPECT_FALSE(showing<frmWin>() || showing<frmLoose>());
}

TEST_F(Launch, HiddenResultWindowsLeaveAfterOneSecondWithoutEverShowing)
{
    // At one second both result windows hand the idle duel window back and are gone for good.
    at(999); EXPECT_TRUE(loaded<frmWin>() && loaded<frmLoose>());
    at(1000); EXPECT_TRUE(noResultWindow()); EXPECT_EQ(screen(), kIdle);
    at(6000); EXPECT_TRUE(noResultWindow()); EXPECT_EQ(screen(), kIdle);
    EXPECT_EQ(rt.liveForms(), 1u);
    EXPECT_TRUE(noResultEverShown());
    EXPECT_FALSE(rt.nextDue().has_value()) << "something still ticks while idle";
}

TEST_F(Launch, DuelStartedInTheFirstSecondIsCutOffAtOneSecond)
{
    // The start-up hand-back at one second ends a duel already under way.
    pick("mnuM");
    at(600); press("cbStart");
    at(999); EXPECT_EQ(pencilShown(), 8); EXPECT_TRUE(enabled("cbStop"));
    at(1000); EXPECT_EQ(screen(), kIdle); EXPECT_EQ(checked(), "mnuM");
    at(5000); EXPECT_EQ(screen(), kIdle); EXPECT_TRUE(noResultWindow() && noResultEverShown());
}

TEST_F(Launch, CloseRequestOnAResultWindowIsIgnored)
{
    // Result windows, hidden or shown, can't be closed by the player: they leave on their own timer.
    rt.close(*rt.find<frmWin>()); rt.close(*rt.find<frmLoose>());
    EXPECT_FALSE(rt.ended()); EXPECT_TRUE(loaded<frmWin>() && loaded<frmLoose>());
    at(1000); EXPECT_EQ(screen(), kIdle);
    startDuel("mnuH");
    afterDraw(175 + 600); ASSERT_TRUE(showing<frmLoose>());
    rt.close(*rt.find<frmLoose>());
    EXPECT_FALSE(rt.ended()); EXPECT_TRUE(showing<frmLoose>());
    afterDraw(175 + 1500); EXPECT_EQ(screen(), kIdle); EXPECT_TRUE(noResultWindow());
}

// -- Each level: the check mark, and a whole duel lost or won --------------------------

class SkillLevels : public Game<::testing::TestWithParam<Level>> {};

TEST_P(SkillLevels, ChoosingALevelLeavesItTheOnlyOneChecked)
{
    // Whatever was checked before, and however often it is chosen, one check mark remains.
    for (const auto& other : kLevels) {
        pick(other.item); pick(GetParam().item);
        EXPECT_EQ(checked(), GetParam().item) << "after " << other.name;
    }
    pick(GetParam().item);
    EXPECT_EQ(checked(), GetParam().item);
}

TEST_P(SkillLevels, UnansweredDrawIsLostWhenTheOpponentDraws)
{
    // Nobody presses ZIB!: the opponent draws after its reaction time, then the loss shows.
    const int r = GetParam().reaction;
    startDuel(GetParam().item);
    afterDraw(-1); EXPECT_FALSE(enabled("Zib")); EXPECT_EQ(pencilShown(), 10);
    afterDraw(0); EXPECT_TRUE(enabled("Zib"));
    afterDraw(r - 1); EXPECT_FALSE(shows("ziboppo"));
    afterDraw(r); EXPECT_TRUE(shows("ziboppo")); EXPECT_FALSE(enabled("Zib"));
    press("Zib");
    EXPECT_FALSE(shows("zibyou")) << "a press after the opponent drew counted";
    expectResultWindow<frmLoose>(r);
    EXPECT_EQ(checked(), GetParam().item);
}

TEST_P(SkillLevels, PressOneMillisecondBeforeTheOpponentWins)
{
    // The player beats the opponent by a millisecond: both draws show, then the win.
    const int r = GetParam().reaction;
    startDuel(GetParam().item);
    afterDraw(r - 1); press("Zib");
    EXPECT_TRUE(shows("zibyou")); EXPECT_FALSE(shows("ziboppo"));
    afterDraw(r); EXPECT_TRUE(shows("zibyou") && shows("ziboppo"));
    expectResultWindow<frmWin>(r);
    EXPECT_EQ(checked(), GetParam().item);
}

INSTANTIATE_TEST_SUITE_P(EachLevel, SkillLevels, ::testing::ValuesIn(kLevels),
                         [](const auto& p) { return std::string(p.param.name); });

// -- The falling pencil and Stop --------------------------------------------------------

using FallingPencil = Game<::testing::Test>;

TEST_F(FallingPencil, DropsASetEvery50MillisecondsAndEarlyPressesDoNotCount)
{
    // For 500 ms the pencil falls one set per 50 ms; ZIB! stays dead until it lands.
    startDuel("mnuVE");
    for (int t = 0; t < 500; ++t) {
        afterDraw(t - 500);
        ASSERT_EQ(pencilShown(), t / 50 + 1) << "at +" << t;
        ASSERT_TRUE(!enabled("Zib") && !enabled("cbStart") && enabled("cbStop")) << "at +" << t;
        press("Zib");
        ASSERT_FALSE(shows("zibyou")) << "at +" << t;
    }
    afterDraw(0); EXPECT_TRUE(enabled("Zib")); EXPECT_EQ(pencilShown(), 10);
    expectResultWindow<frmLoose>(450);
}

class StopWhileFalling : public Game<::testing::TestWithParam<int>> {};

TEST_P(StopWhileFalling, ReturnsToIdleAtOnceAndNothingFollows)
{
    // Stop while pencil set K shows puts the pencil back up and cancels the duel.
    const int set = GetParam();
    startDuel("mnuH");
    afterDraw(-500 + 50 * (set - 1) + 25); ASSERT_EQ(pencilShown(), set);
    press("cbStop");
    EXPECT_EQ(screen(), kIdle);
    pass(3000); EXPECT_EQ(screen(), kIdle); EXPECT_TRUE(noResultWindow() && noResultEverShown());
    EXPECT_EQ(checked(), "mnuH");
}

INSTANTIATE_TEST_SUITE_P(EverySet, StopWhileFalling, ::testing::Range(1, 11));

// A moment in a Medium duel (opponent at 260 ms): when the player presses ZIB!
// (-1: never) and presses Stop, in ms after the draw.
struct Moment { std::string_view name; int press; int stop; };
void PrintTo(const Moment& moment, std::ostream* out) { *out << moment.name; }
constexpr Moment kMoments[] = {
    {"DrawBeforePress", -1, 100},           {"DrawAfterPress", 50, 100},
    {"WinPendingRightAfterDraw", 50, 260},  {"WinPending", 50, 759},
    {"LossPendingRightAfterDraw", -1, 260}, {"LossPending", -1, 759},
};

class StopDuringTheDraw : public Game<::testing::TestWithParam<Moment>> {};

TEST_P(StopDuringTheDraw, ReturnsToIdleAtOnceAndNoResultFollows)
{
    // Stop during the draw, or with the outcome pending, throws the duel away.
    startDuel("mnuM");
    if (GetParam().press >= 0) { afterDraw(GetParam().press); press("Zib"); }
    afterDraw(GetParam().stop); ASSERT_TRUE(form().Visible());
    press("cbStop");
    EXPECT_EQ(screen(), kIdle);
    pass(3000); EXPECT_EQ(screen(), kIdle); EXPECT_TRUE(noResultWindow() && noResultEverShown());
}

INSTANTIATE_TEST_SUITE_P(EachMoment, StopDuringTheDraw, ::testing::ValuesIn(kMoments),
                         [](const auto& p) { return std::string(p.param.name); });

// -- The skill warning, and changing level mid-duel -------------------------------------

using SkillChoice = Game<::testing::Test>;

TEST_F(SkillChoice, StartWithoutLevelWarnsForThreeSecondsAndStartsNothing)
{
    // Start with no level chosen only shows the warning, for three seconds.
    at(1000); press("cbStart");
    for (int t : {0, 600, 2999}) {
        at(1000 + t);
        EXPECT_EQ(screen(), kWarning) << "at +" << t;
    }
    at(4000); EXPECT_EQ(screen(), kIdle);
    at(9000); EXPECT_EQ(screen(), kIdle); EXPECT_TRUE(noResultWindow());
}

TEST_F(SkillChoice, LevelPickedWhileThePencilFallsSetsThisDuelsOpponent)
{
    // Switching to Very Hard while set 5 shows makes the opponent draw after 73 ms.
    startDuel("mnuVE");
    afterDraw(-500 + 225); ASSERT_EQ(pencilShown(), 5);
    pick("mnuVH");
    afterDraw(72); EXPECT_FALSE(shows("ziboppo"));
    afterDraw(73); EXPECT_TRUE(shows("ziboppo")); EXPECT_EQ(checked(), "mnuVH");
}

TEST_F(SkillChoice, LevelPickedDuringTheDrawWaitsForTheNextDuel)
{
    // Switching level after the draw leaves this opponent alone; the next duel uses it.
    startDuel("mnuVH");
    afterDraw(10); pick("mnuVE");
    afterDraw(72); EXPECT_FALSE(shows("ziboppo"));
    afterDraw(73); EXPECT_TRUE(shows("ziboppo"));
    afterDraw(73 + 1500); ASSERT_EQ(screen(), kIdle);
    startDuel();
    afterDraw(449); EXPECT_FALSE(shows("ziboppo"));
    afterDraw(450); EXPECT_TRUE(shows("ziboppo"));
}

// -- Many duels in a row -----------------------------------------------------------------

using DuelSeries = Game<::testing::Test>;

TEST_F(DuelSeries, EveryDuelShowsAFreshResultWindowOnceAndEndsIdle)
{
    // 300 duels, winning and losing in turn at every level: one new result window each.
    std::uint64_t previous = 0;
    for (int i = 0; i < 300; ++i) {
        const Level& level = kLevels[i % 5];  // five levels, and won or lost in turn: all ten pairs
        const bool won = i % 2 == 0;
        startDuel(level.item);
        if (won) { afterDraw(level.reaction - 1); press("Zib"); }
        afterDraw(level.reaction + 500);
        forms::Form* result = won ? static_cast<forms::Form*>(rt.find<frmWin>()) : rt.find<frmLoose>();
        ASSERT_TRUE(result && result->Visible() && !form().Visible()) << "duel " << i;
        ASSERT_NE(result->serial(), previous) << "duel " << i;
        previous = result->serial();
        afterDraw(level.reaction + 1500);
        ASSERT_EQ(screen(), kIdle) << "duel " << i;
        ASSERT_TRUE(noResultWindow() && rt.liveForms() == 1u) << "duel " << i;
        ASSERT_EQ(checked(), level.item) << "duel " << i;
    }
    pass(3000); EXPECT_EQ(screen(), kIdle);
    EXPECT_TRUE(winShown.size() == 150u && looseShown.size() == 150u);
}

// -- Quitting ----------------------------------------------------------------------------

enum class State { FirstSecond, Idle, Warning, Dropping, Draw, OutcomePending };
constexpr std::string_view kStateNames[] = {"FirstSecond", "Idle", "Warning", "Dropping", "Draw", "OutcomePending"};

class Quitting : public Game<::testing::TestWithParam<std::tuple<State, bool>>> {
protected:
    void reach(State state)
    {
        switch (state) {
        case State::FirstSecond: at(500); break;
        case State::Idle: at(1500); break;
        case State::Warning: at(1000); press("cbStart"); at(2000); break;
        case State::Dropping: startDuel("mnuE"); afterDraw(-250); break;
        case State::Draw: startDuel("mnuE"); afterDraw(100); break;
        case State::OutcomePending: startDuel("mnuE"); afterDraw(350 + 200); break;
        }
    }
};

TEST_P(Quitting, ProgramEndsAtOnceAndNothingHappensAfterwards)
{
    // Quit, or closing the duel window, ends the game on the spot whatever it is doing.
    const auto [state, viaMenu] = GetParam();
    reach(state);
    ASSERT_FALSE(rt.ended());
    if (viaMenu) pick("mnuQuit"); else rt.close(form());
    ASSERT_TRUE(rt.ended()); EXPECT_EQ(rt.exitStatus(), 0);
    const auto revision = form().revision();
    const bool win = loaded<frmWin>(), loose = loaded<frmLoose>();
    const int seen = events;
    pass(5000);
    EXPECT_EQ(form().revision(), revision) << "the duel window changed after the end";
    EXPECT_TRUE(loaded<frmWin>() == win && loaded<frmLoose>() == loose);
    EXPECT_EQ(events, seen) << "events delivered after the end";
    EXPECT_FALSE(rt.nextDue().has_value());
}

constexpr State kStates[] = {State::FirstSecond, State::Idle, State::Warning,
                             State::Dropping,    State::Draw, State::OutcomePending};
INSTANTIATE_TEST_SUITE_P(EveryState, Quitting, ::testing::Combine(::testing::ValuesIn(kStates), ::testing::Bool()),
                         [](const auto& p) {
                             return std::string(kStateNames[static_cast<int>(std::get<0>(p.param))]) +
                                    (std::get<1>(p.param) ? "_Quit" : "_CloseWindow");
                         });

}  // namespace
