// The launcher's own work: forks games' processes ahead, hands each its game
// when the arena asks, and tells the arena which process plays which game
// and how it ended. It never loads the controller's library.
#ifndef ARENA_GAMES_LAUNCHER_H
#define ARENA_GAMES_LAUNCHER_H

#include "arena/games/launch.h"

[[noreturn]] void launcherMain(const launch::Settings &settings);

#endif
