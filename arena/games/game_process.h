// A game's process: forked by the launcher ahead of its game, confined
// before anything of the controller's is in it, then handed its game, its
// channel and its output; it loads the library (whose constructors run
// confined), plays, and ends.
#ifndef ARENA_GAMES_GAME_PROCESS_H
#define ARENA_GAMES_GAME_PROCESS_H

#include "arena/games/sandbox.h"
#include "common/exit_codes.h"

class Ball_engine;

struct GameProcessSetup {
    const char *libraryPath = nullptr;
    int socketFd = -1; // where its game comes from
    int rulesFd = -1;  // the Landlock rules, -1 for none
    bool confine = true;
    SandboxLimits limits;
    Ball_engine *engine = nullptr; // laid out by the launcher, inherited ready
};

// It exits with ExitUnconfined (exit_codes.h) when it could not be
// confined, before any game.

[[noreturn]] void runGameProcess(const GameProcessSetup &setup);

#endif
