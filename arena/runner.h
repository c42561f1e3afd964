// Plays a controller's games in a child process, so that a controller that
// crashes or hangs costs only its own results.
#ifndef ARENA_RUNNER_H
#define ARENA_RUNNER_H

#include "controller_library.h"
#include "statistics.h"

#include <functional>

struct ArenaSettings {
    unsigned int firstSeed = 1;
    int games = 100;
    int maxSteps = 100000;
    int timeLimitMs = 50;
    bool isolate = true; // false plays in this process (no crash protection)
};

constexpr size_t arenaAgents = 10;
constexpr int arenaScale = 100;

// `progress` is told the number of games finished so far.
ControllerRun runController(const LoadedController &controller, const ArenaSettings &settings,
                            const std::function<void(int)> &progress = {});

#endif
