// SPDX-License-Identifier: MIT
// The CPU instructions of one frame, counted by callgrind, which counts the
// same on a busy machine as on an idle one. It runs frame_cost (the game
// with its real driver, duels played on the runtime's clock) under valgrind,
// once as built today and once as built against an earlier version of the
// game, and divides what each part collected by its number of events: a drop
// step, the draw (ZIB! enabled) and the opponent's "ZIB!", each from its
// timer event to the frame sent to the display.
//
//   bench_cost [--quick] [--baseline FRAME_COST_OF_AN_EARLIER_VERSION] [--baseline-name NAME]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "stats.h"

namespace {

// Instructions per event of each part, by the part's name; empty when the
// program could not be measured.
std::map<std::string, double> measure(const char* program, bool quick)
{
    char dir[] = "/tmp/zib-cost-XXXXXX";
    if (!mkdtemp(dir))
        return {};
    const std::string out = std::string(dir) + "/cost.out";
    const std::string counts = std::string(dir) + "/events";
    const std::string command = "valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file=" + out + " '" +
                                program + "'" + (quick ? " --quick" : "") + " >" + counts + " 2>/dev/null";
    const int status = std::system(command.c_str());
    std::map<std::string, double> events, instructions, perEvent;
    if (status == 0) {
        std::ifstream list(counts);
        std::string line;
        while (std::getline(list, line))
            if (const auto space = line.rfind(' '); space != std::string::npos)
                events[line.substr(0, space)] = std::strtod(line.c_str() + space + 1, nullptr);
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            std::ifstream dump(entry.path());
            std::string part;
            double total = -1;
            while (std::getline(dump, line)) {
                const std::string trigger = "desc: Trigger: Client Request: ";
                if (line.starts_with(trigger))
                    part = line.substr(trigger.size());
                else if (line.starts_with("summary: "))
                    total = std::strtod(line.c_str() + 9, nullptr);
            }
            if (!part.empty() && total >= 0)
                instructions[part] = total;
        }
    }
    for (const auto& [part, n] : events)
        if (n > 0 && instructions.contains(part))
            perEvent[part] = instructions[part] / n;
    std::filesystem::remove_all(dir);
    return perEvent;
}

std::string thousands(const std::map<std::string, double>& figures, const char* part)
{
    const auto it = figures.find(part);
    if (it == figures.end())
        return "not measured";
    char text[32];
    std::snprintf(text, sizeof text, "%.0f k", it->second / 1000);
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool quick = bench::hasFlag(argc, argv, "--quick");
    const char* baseline = bench::argument(argc, argv, "--baseline");
    const std::string before = bench::argument(argc, argv, "--baseline-name") ? bench::argument(argc, argv, "--baseline-name")
                                                                        : "an earlier version";
    if (std::system("valgrind --version >/dev/null 2>&1") != 0) {
        std::puts("# bench_cost: valgrind not found; skipped");
        return 0;
    }
    const auto today = measure(FRAME_COST, quick);
    const auto earlier = baseline ? measure(baseline, quick) : std::map<std::string, double>{};
    if (today.empty()) {
        std::fputs("bench_cost: frame_cost did not run under callgrind\n", stderr);
        return 1;
    }
    const auto drop = today.find("drop steps");
    const auto dropBefore = earlier.find("drop steps");
    char ratio[96] = "";
    if (drop != today.end() && dropBefore != earlier.end())
        std::snprintf(ratio, sizeof ratio, "; %.1f x fewer; target <= a quarter, %.0f k",
                      dropBefore->second / drop->second, dropBefore->second / 4000);
    bench::figure("CPU instructions per drop step, from its timer event to the frame sent (callgrind): %s  [before, "
                  "%s: %s%s]",
                  thousands(today, "drop steps").c_str(), before.c_str(), thousands(earlier, "drop steps").c_str(),
                  ratio);
    bench::figure("CPU instructions per draw, ZIB! enabled (callgrind): %s  [before, %s: %s]",
                  thousands(today, "draws").c_str(), before.c_str(), thousands(earlier, "draws").c_str());
    bench::figure("CPU instructions per opponent's ZIB! (callgrind): %s  [before, %s: %s]",
                  thousands(today, "opponent").c_str(), before.c_str(), thousands(earlier, "opponent").c_str());
    return 0;
}
