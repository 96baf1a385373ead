// SPDX-License-Identifier: MIT
// CPU instructions counted by callgrind, which counts the same on a busy
// machine as on an idle one.
//
// A frame: frame_cost (the game on its real driver, duels played on the
// runtime's clock) under valgrind, once as built today and once as built
// against an earlier version of the game, side by side. Each part is divided
// by its number of events: a drop step, the draw (ZIB! enabled) and the
// opponent's "ZIB!", each from its timer event to the frame sent to the
// display.
//
// A rewind: bench_duels --count, which gives the runtime alone input stamped
// before events it has already delivered, and the same input on time,
// collecting only around each Runtime::input call.
//
//   bench_cost [--quick] [--baseline FRAME_COST_OF_AN_EARLIER_VERSION] [--baseline-name NAME]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <string>
#include <vector>

#include "harness.h"

namespace {

using Counts = std::map<std::string, double>;

bool haveValgrind()
{
#if defined(__SANITIZE_ADDRESS__)
    return false;  // valgrind cannot run a program built with AddressSanitizer
#else
    return std::system("valgrind --version >/dev/null 2>&1") == 0;
#endif
}

// Runs a program under callgrind, collecting only where it toggles
// collection, and returns the instructions per event of each part it dumped
// (CALLGRIND_DUMP_STATS_AT(part)) and printed as a line "PART EVENTS".
// Empty when the program failed.
Counts instructionsPerEvent(std::vector<std::string> program, bool quick)
{
    char dir[] = "/tmp/zib-callgrind-XXXXXX";
    if (!mkdtemp(dir))
        return {};
    const std::string out(dir);
    std::vector<std::string> command = {"/usr/bin/env", "valgrind", "--tool=callgrind", "--collect-atstart=no",
                                        "--log-file=" + out + "/log", "--callgrind-out-file=" + out + "/callgrind.out"};
    command.insert(command.end(), program.begin(), program.end());
    if (quick)
        command.emplace_back("--quick");
    bench::Program running(command, true);
    const auto printed = running.output();
    Counts events, instructions, perEvent;
    for (std::size_t at = 0; printed && at < printed->size();) {
        const std::size_t end = std::min(printed->find('\n', at), printed->size());
        const std::string line = printed->substr(at, end - at);
        if (const auto space = line.rfind(' '); space != std::string::npos)
            events[line.substr(0, space)] = std::strtod(line.c_str() + space + 1, nullptr);
        at = end + 1;
    }
    // One file per dump, named after the part by its trigger line.
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream dump(entry.path());
        std::string part;
        double total = -1;
        const std::string trigger = "desc: Trigger: Client Request: ";
        for (std::string line; std::getline(dump, line);)
            if (line.starts_with(trigger))
                part = line.substr(trigger.size());
            else if (line.starts_with("summary: "))
                total = std::strtod(line.c_str() + 9, nullptr);
        if (!part.empty() && total >= 0)
            instructions[part] = total;
    }
    std::filesystem::remove_all(dir);
    for (const auto& [part, n] : events)
        if (n > 0 && instructions.contains(part))
            perEvent[part] = instructions[part] / n;
    return perEvent;
}

std::string thousands(const Counts& counts, const std::string& part)
{
    const auto it = counts.find(part);
    return it == counts.end() ? "not measured" : bench::text("%.1f k", it->second / 1000);
}

}  // namespace

int main(int argc, char** argv)
{
    const bench::Args args(argc, argv);
    const auto baseline = args.value("--baseline");
    const std::string before = args.value("--baseline-name", "an earlier version");
    if (!haveValgrind()) {
        std::puts("# bench_cost: valgrind not found, or this is a sanitizer build; skipped");
        return 0;
    }
    // Instructions counted do not depend on what else runs: all at once.
    auto earlierRun = std::async(std::launch::async, [&] {
        return baseline ? instructionsPerEvent({*baseline}, args.quick()) : Counts{};
    });
    auto rewindRun = std::async(std::launch::async, [&] {
        return instructionsPerEvent({BENCH_DUELS, "--count"}, args.quick());
    });
    const Counts today = instructionsPerEvent({FRAME_COST}, args.quick());
    const Counts earlier = earlierRun.get(), rewinds = rewindRun.get();
    if (today.empty()) {
        std::fputs("bench_cost: frame_cost did not run under callgrind\n", stderr);
        return 1;
    }

    const struct {
        const char* part;
        const char* name;
    } frames[] = {{"drop steps", "drop step"}, {"draws", "draw (ZIB! enabled)"}, {"opponent", "opponent's ZIB!"}};
    for (const auto& [part, name] : frames) {
        const std::string ratio = today.contains(part) && earlier.contains(part)
                                      ? bench::text("; today's %.2f x as many", today.at(part) / earlier.at(part))
                                      : "";
        bench::figure("CPU instructions per %s, from its timer event to the frame sent (callgrind): %s  [before, %s: "
                      "%s%s]",
                      name, thousands(today, part).c_str(), before.c_str(), thousands(earlier, part).c_str(),
                      ratio.c_str());
    }
    for (const auto& [input, name] : {std::pair{"press", "ZIB! pressed 1 ms before the opponent, taken 1 ms after"},
                                      {"stop", "Stop made during the drop, taken 200 ms later"}})
        bench::figure("CPU instructions of one rewind, %s (callgrind): %s  [the same on time: %s]", name,
                      thousands(rewinds, std::string(input) + " late").c_str(),
                      thousands(rewinds, std::string(input) + " on time").c_str());
    return 0;
}
