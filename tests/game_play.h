// SPDX-License-Identifier: MIT
// Zib! played on the virtual clock, and the durations its rules are told in, for the game's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "duel/frmzib.h"

namespace play {

// The game's durations in ms, each named once: tests tell their moments by these.
constexpr long dropStep = 50;          // the pencil's stay at each height
constexpr long draw = 500;             // from Start to the draw: ten drop steps
constexpr long outcomePause = 500;     // from the opponent's draw to the result window
constexpr long resultWindow = 1000;    // from the result window to the hand-back
constexpr long startUpHandBack = 1000; // from start-up to the hidden result windows' hand-back
constexpr long skillWarning = 3000;    // "Select a Skill Level!!" on screen

// How long the opponent takes to draw at each level, in ms, as the rules give it; the game's own skill table
// is held to it. 0 for an item that is no level.
constexpr long reaction(std::string_view item)
{
    constexpr std::pair<std::string_view, long> rules[] = {
        {"mnuVE", 450}, {"mnuE", 350}, {"mnuM", 260}, {"mnuH", 175}, {"mnuVH", 73}};
    for (const auto& [level, ms] : rules)
        if (level == item) return ms;
    return 0;
}
// The levels the game offers, from its skill table, in menu order.
inline constexpr auto& levels = duel::frmzib::skillLevels;

// A program started afresh, played at instants in ms since start-up. It notes each result window reaching
// the screen, by its loading, and fails the test on a run-time error.
struct Game {
    forms::Runtime rt;
    duel::frmzib& form = *rt.start<duel::frmzib>();
    forms::Control* pencil[40] = {};  // four parts per set, top set first: p11..p14 to p01..p04
    std::set<std::uint64_t> shown;
    Game()
    {
        for (int k = 0; k < 40; ++k)
            pencil[k] = &form.control("p" + std::to_string((k / 4 + 1) % 10) + std::to_string(k % 4 + 1));
        rt.afterEvent([this] {
            for (std::string_view name : {"frmWin", "frmLoose"})
                if (const forms::Form* f = rt.find(name); f && f->Visible()) shown.insert(f->loading());
        });
    }
    ~Game() { EXPECT_EQ(rt.exitStatus(), 0) << "a run-time error ended the game"; }
    void at(long ms) { rt.advanceTo(std::chrono::milliseconds(ms)); }
    // Clicks a button or menu item of the duel window, by its name; "" clicks nothing.
    void use(std::string_view name)
    {
        for (const auto& item : form.menuItems())
            if (item.Name() == name) return rt.click(item);
        if (!name.empty()) rt.click(form.control(name));
    }

    // What the player sees: the duel window's pencil set (0 unless one whole set alone is drawn), its enabled
    // buttons and shown labels, then any result window shown. Idle is "pencil1 cbStart".
    std::string screen() const
    {
        std::vector<int> parts;  // the pencil parts drawn
        for (int k = 0; k < 40; ++k)
            if (pencil[k]->Visible()) parts.push_back(k);
        const int set = parts.size() == 4 && parts[0] / 4 == parts[3] / 4 ? parts[0] / 4 + 1 : 0;
        std::string s = form.Visible() ? "pencil" + std::to_string(set) : "";
        for (std::string_view name : {"cbStart", "cbStop", "Zib"})
            s += form.Visible() && form.control(name).Enabled() ? " " + std::string(name) : "";
        for (std::string_view name : {"zibyou", "ziboppo", "noskill"})
            s += form.Visible() && form.control(name).Visible() ? " " + std::string(name) : "";
        for (std::string_view name : {"frmWin", "frmLoose"})
            s += rt.find(name) && rt.find(name)->Visible() ? (s.empty() ? "" : " ") + std::string(name) : "";
        return s;
    }
    // Behind the screen: the loaded forms, the skill items checked, the result windows shown so far and when
    // the next timer falls due.
    std::string state() const
    {
        std::string s;
        for (const auto& f : rt.forms()) s += std::string(f->Name()) + " ";
        const auto due = rt.nextDue();
        return s + "| checked: " + checked() + " | shown: " + std::to_string(shown.size())
               + " | due: " + (due ? std::to_string(due->count()) : "never");
    }
    // The skill items checked, by name.
    std::string checked() const
    {
        std::string items;
        for (const auto& item : form.menuItems()) items += item.Checked() ? item.Name() : "";
        return items;
    }
};

}  // namespace play
