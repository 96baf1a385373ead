// SPDX-License-Identifier: MIT
// Zib! played on the virtual clock, and the durations its rules are told in, for the game's tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
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
    return item == "mnuVE" ? 450 : item == "mnuE" ? 350 : item == "mnuM" ? 260
           : item == "mnuH" ? 175 : item == "mnuVH" ? 73 : 0;
}
// The levels the game offers, from its skill table, in menu order.
inline constexpr auto& levels = duel::frmzib::skillLevels;

// A program started afresh, played at instants in ms since start-up. It notes each result window that reaches
// the screen, and when input could no longer be taken back, and fails the test on a run-time error.
struct Game {
    forms::Runtime rt;
    duel::frmzib& form = *rt.start<duel::frmzib>();
    std::map<std::uint64_t, std::string> results;  // each result window shown and when, by its loading
    std::function<void()> watch;                   // anything a test does after each event
    // When input could no longer be taken back: a window came or went, or was due to unless stopped, or the
    // program ended. The windows: how many are loaded, whether the duel window shows, whether it has ended.
    std::set<long> changes{startUpHandBack};
    std::tuple<std::size_t, bool, bool> windows{};
    Game()
    {
        rt.afterEvent([this] {
            for (const auto& f : rt.forms())
                if (f.get() != &form && f->Visible())
                    results.emplace(f->loading(), std::string(f->Name()) + "@" + std::to_string(now()));
            const std::tuple seen{rt.forms().size(), form.Visible(), rt.ended()};
            if (std::exchange(windows, seen) != seen) changes.insert(now());
            if (form.control("Wintime").Enabled() || form.control("Loosetime").Enabled())
                changes.insert(now() + outcomePause);
            if (watch) watch();
        });
    }
    ~Game() { EXPECT_EQ(rt.exitStatus(), 0) << "a run-time error ended the game"; }
    void at(long ms) { rt.advanceTo(std::chrono::milliseconds(ms)); }

    // Something the player uses in the duel window: a button or menu item by its name, "close" (a close
    // request), or a key ("Space", "Enter" or "Escape") with the focus "on" a button or nowhere.
    forms::Target target(std::string_view what) const
    {
        constexpr std::string_view keys[] = {"Space", "Enter", "Escape"};  // as forms::Key numbers them
        const auto on = what.find(" on ");
        std::optional<std::size_t> focused;
        if (on != what.npos) focused = &form.control(what.substr(on + 4)) - form.controls().data();
        for (std::size_t k = 0; k < std::size(keys); ++k)
            if (what.starts_with(keys[k])) return forms::Target::of(form, forms::Key(k), focused);
        for (const auto& item : form.menuItems())
            if (item.Name() == what) return forms::Target::of(item);
        return what == "close" ? forms::Target::of(form) : forms::Target::of(form.control(what));
    }
    // Uses it ("" is nothing) as made at `made` ms, or now.
    void use(std::string_view what, std::optional<long> made = {})
    {
        if (!what.empty()) rt.input(target(what), std::chrono::milliseconds(made.value_or(now())));
    }
    long now() const { return static_cast<long>(rt.now().count()); }

    // What the player sees: the duel window's pencil set (0 unless one whole set alone is drawn), its enabled
    // buttons and shown labels, then any result window shown. Idle is "pencil1 cbStart".
    std::string screen() const
    {
        std::vector<int> sets;  // the set of each pencil part drawn: pK1 to pK4 draw set K, p01 to p04 set 10
        for (const auto& c : form.controls())
            if (c.Name()[0] == 'p' && c.Visible()) sets.push_back(c.Name()[1] == '0' ? 10 : c.Name()[1] - '0');
        std::string s;
        if (form.Visible()) {
            s = "pencil" + std::to_string(sets.size() == 4 && sets[0] == sets[3] ? sets[0] : 0);
            for (std::string_view name : {"cbStart", "cbStop", "Zib"})
                s += form.control(name).Enabled() ? " " + std::string(name) : "";
            for (std::string_view name : {"zibyou", "ziboppo", "noskill"})
                s += form.control(name).Visible() ? " " + std::string(name) : "";
        }
        for (std::string_view name : {"frmWin", "frmLoose"})
            s += rt.find(name) && rt.find(name)->Visible() ? (s.empty() ? "" : " ") + std::string(name) : "";
        return s;
    }
    // Behind the screen: the loaded forms, the skill item checked, the result windows shown so far, when the
    // next timer falls due, and whether the program has ended.
    std::string state() const
    {
        std::string s;
        for (const auto& f : rt.forms()) s += std::string(f->Name()) + " ";
        s += "| checked:";
        for (const auto& item : form.menuItems()) s += item.Checked() ? " " + std::string(item.Name()) : "";
        s += " | shown:";
        for (const auto& [loading, name] : results) s += " " + name;
        const auto due = rt.nextDue();
        return s + " | due: " + (due ? std::to_string(due->count()) : "never") + (rt.ended() ? " | ended" : "");
    }
};

}  // namespace play
