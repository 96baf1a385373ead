// SPDX-License-Identifier: MIT
// Zib! played on the virtual clock, for the duel tests and the random player.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "duel/frmzib.h"

namespace play {

// What the player can use in the duel window, by the game's names: its buttons, then its menu items.
enum class Input { nothing, cbStart, cbStop, Zib, mnuVE, mnuE, mnuM, mnuH, mnuVH, mnuQuit };
constexpr std::string_view names[] = {"", "cbStart", "cbStop", "Zib", "mnuVE", "mnuE", "mnuM", "mnuH", "mnuVH",
                                      "mnuQuit"};
constexpr std::string_view name(Input input) { return names[static_cast<int>(input)]; }

// The skill menu: each level's item and how long the opponent takes to draw, in ms.
struct Level { Input item; int reaction; };
constexpr Level levels[] = {
    {Input::mnuVE, 450}, {Input::mnuE, 350}, {Input::mnuM, 260}, {Input::mnuH, 175}, {Input::mnuVH, 73}};

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
                if (const forms::Form* f = rt.find(name); f && f->Visible()) shown.insert(f->serial());
        });
    }
    ~Game() { EXPECT_EQ(rt.exitStatus(), 0) << "a run-time error ended the game"; }
    void at(long ms) { rt.advanceTo(std::chrono::milliseconds(ms)); }
    void use(Input input)
    {
        if (input >= Input::mnuVE) rt.click(form.menuItem(name(input)));
        else if (input != Input::nothing) rt.click(form.control(name(input)));
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
        for (const auto& [item, reaction] : levels) items += form.menuItem(name(item)).Checked() ? name(item) : "";
        return items;
    }
};

}  // namespace play
