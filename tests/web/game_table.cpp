// SPDX-License-Identifier: MIT
// Writes the game's own timings, which the page's tests and figures play
// by, as JSON to the file named: each skill level's item, caption and the
// opponent's reaction, how long the pencil takes to drop, how long after
// the opponent's moment a result window comes up, and how long a result
// window stays.
#include <cstdio>
#include <string>
#include <string_view>

#include "duel/frmzib.h"
#include "results/result_windows.h"

namespace {

int interval(const forms::FormDesign& design, std::string_view name)
{
    for (const forms::ControlDesign& c : design.controls)
        if (c.name == name)
            return c.interval;
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::FILE* out = argc == 2 ? std::fopen(argv[1], "w") : nullptr;
    if (!out)
        return 1;
    const forms::FormDesign& duel = duel::frmzib::design();
    int drop = 0;
    for (int step = 1; step <= 10; ++step)
        drop += interval(duel, "Timer" + std::to_string(step));
    std::fprintf(out, "{\n  \"levels\": [");
    const char* between = "\n";
    for (const auto& level : duel::frmzib::skillLevels) {
        std::fprintf(out, "%s    {\"item\": \"%.*s\", \"caption\": \"%.*s\", \"reaction\": %d}", between,
                     static_cast<int>(level.item.size()), level.item.data(), static_cast<int>(level.caption.size()),
                     level.caption.data(), level.reaction);
        between = ",\n";
    }
    std::fprintf(out, "\n  ],\n  \"draw\": %d,\n  \"resultAfter\": %d,\n  \"resultStays\": %d\n}\n", drop,
                 interval(duel, "Wintime"), interval(results::frmWin::design(), "Timer1"));
    return std::fclose(out) == 0 ? 0 : 1;
}
