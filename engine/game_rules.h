// The game's fixed numbers, each written once; everything else derives from
// them: the window, the workers, the arena tool, the tests and benchmarks.
#ifndef GAME_RULES_H
#define GAME_RULES_H

#include <cstddef>

namespace rules {

constexpr size_t agentsPerGame = 10;
// Arenas are 16:9, `scale` pixels a unit, at most this many.
constexpr int arenaWidthUnits = 16;
constexpr int arenaHeightUnits = 9;
constexpr int maxArenaScale = 100;
constexpr int maxArenaWidth = arenaWidthUnits * maxArenaScale;
constexpr int maxArenaHeight = arenaHeightUnits * maxArenaScale;
// Every clock of the game (actions, steps, repaints) ticks at this period.
constexpr int tickIntervalMs = 50;

} // namespace rules

#endif
