// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <string_view>

#include "forms/runtime.h"

namespace results {
class frmWin;
class frmLoose;
}  // namespace results

namespace duel {

// The duel window: the skill menu, the falling pencil, Start, Stop and the
// big ZIB! button. Everything the game knows lives in its controls: the
// level in the skill items' check marks, the progress of a duel in which
// timer is enabled and which "ZIB!" labels show.
class frmzib : public forms::Form {
public:
    static const forms::FormDesign& design();

    explicit frmzib(forms::Runtime& runtime);

    // Back to idle with Start enabled: what Stop does, and what a result
    // window does when it hands the duel window back.
    void ResetToIdle();

private:
    void Form_Load();
    void cbStop_Click();
    void mnuVE_Click();
    void mnuE_Click();
    void mnuM_Click();
    void mnuH_Click();
    void mnuVH_Click();
    void mnuQuit_Click();
    void cbStart_Click();
    void noskilltime_Timer();
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void Timer4_Timer();
    void Timer5_Timer();
    void Timer6_Timer();
    void Timer7_Timer();
    void Timer8_Timer();
    void Timer9_Timer();
    void Timer10_Timer();
    void Zib_Click();
    void answertime_Timer();
    void Wintime_Timer();
    void Loosetime_Timer();

public:
    // A skill level: its item in the Skill menu, with the item's caption and
    // Click handler, and how long the opponent takes to draw, in ms.
    struct SkillLevel {
        std::string_view item;
        std::string_view caption;
        void (frmzib::*click)();
        int reaction;
    };
    // The skill table, in menu order. The level chosen lives only in the
    // items' check marks.
    static constexpr SkillLevel skillLevels[] = {
        {"mnuVE", "Very Easy", &frmzib::mnuVE_Click, 450},
        {"mnuE", "Easy", &frmzib::mnuE_Click, 350},
        {"mnuM", "Medium", &frmzib::mnuM_Click, 260},  // not 250
        {"mnuH", "Hard", &frmzib::mnuH_Click, 175},
        {"mnuVH", "Very Hard", &frmzib::mnuVH_Click, 73},  // not 75
    };

private:
    // Two orders over the same items, both the game's own: Start and drop
    // step 10 read every check mark in the first, and choosing a level
    // writes every one in the second. No event comes between the reads, or
    // between the writes, so neither order shows; they are kept as the game
    // has them all the same.
    static constexpr std::string_view checksReadOrder[] = {"mnuVE", "mnuE", "mnuM", "mnuVH", "mnuH"};
    static constexpr std::string_view checksWriteOrder[] = {"mnuE", "mnuVE", "mnuM", "mnuVH", "mnuH"};

    void applyIdleList();
    void showPencil(int set, bool visible);
    void dropStep(int step);
    void chooseLevel(std::string_view chosen);
    bool noLevelChosen();

    forms::Slot<results::frmWin> frmWin{runtime()};
    forms::Slot<results::frmLoose> frmLoose{runtime()};

    forms::Control& Zib = control("Zib");
    forms::Control& cbStart = control("cbStart");
    forms::Control& cbStop = control("cbStop");
    forms::Control& ziboppo = control("ziboppo");
    forms::Control& zibyou = control("zibyou");
    forms::Control& noskill = control("noskill");
    forms::Control& Wintime = control("Wintime");
    forms::Control& Loosetime = control("Loosetime");
    forms::Control& noskilltime = control("noskilltime");
    forms::Control& answertime = control("answertime");

    // Drop timers Timer1 to Timer10, and the pencil at its ten heights, each
    // by the four controls that draw it.
    std::array<forms::Control*, 10> dropTimers_;
    std::array<std::array<forms::Control*, 4>, 10> pencils_;
};

}  // namespace duel
