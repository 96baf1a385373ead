// SPDX-License-Identifier: MIT
// Zib! played on the virtual clock, for the duel tests and the random player.
#pragma once

#include <string>
#include <vector>

#include "duel/frmzib.h"
#include "results/result_windows.h"

namespace play {

// The skill menu: each level's item and how long the opponent takes to draw, in ms.
struct Level { std::string_view item; int reaction; };
constexpr Level levels[] = {{"mnuVE", 450}, {"mnuE", 350}, {"mnuM", 260}, {"mnuH", 175}, {"mnuVH", 73}};

// A program started afresh, played at instants in ms since start-up by the names of its buttons and its
// menu items (mnu...).
struct Game {
    forms::Runtime rt;
    duel::frmzib& form = *rt.start<duel::frmzib>();
    forms::Control* pencil[40] = {};  // four parts per set, top set first: p11..p14 to p01..p04
    Game()
    {
        for (int k = 0; k < 40; ++k)
            pencil[k] = &form.control("p" + std::to_string((k / 4 + 1) % 10) + std::to_string(k % 4 + 1));
    }
    void at(long ms) { rt.advanceTo(std::chrono::milliseconds(ms)); }
    void use(std::string_view n) { n[0] == 'm' ? rt.click(form.menuItem(n)) : rt.click(form.control(n)); }

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
};

}  // namespace play
