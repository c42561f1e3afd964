// The game's fixed numbers, each written once; everything else derives from
// them: the window, the workers, the arena tool, the tests and benchmarks.
// What a controller may rely on is published in brainlet.h and taken from
// there.
#ifndef GAME_RULES_H
#define GAME_RULES_H

#include "brainlet/brainlet.h"

#include <cstddef>

namespace rules {

constexpr size_t agentsPerGame = BRAINLET_AGENTS;
constexpr size_t resourcesPerGame = BRAINLET_RESOURCES;
constexpr size_t circlesPerGame = agentsPerGame + resourcesPerGame;
static_assert(resourcesPerGame == agentsPerGame / 2, "the engine lays out a resource for every two agents");
// Arenas are 16:9, `scale` pixels a unit, at most 1600 x 900.
constexpr int arenaWidthUnits = 16;
constexpr int arenaHeightUnits = 9;
constexpr int maxArenaWidth = BRAINLET_MAX_ARENA_WIDTH;
constexpr int maxArenaHeight = BRAINLET_MAX_ARENA_HEIGHT;
constexpr int maxArenaScale = maxArenaWidth / arenaWidthUnits;
static_assert(maxArenaScale * arenaHeightUnits == maxArenaHeight, "the arena is 16:9");
constexpr int startRadius = BRAINLET_START_RADIUS;
constexpr int maxRadius = BRAINLET_MAX_RADIUS;
// Every clock of the game (actions, steps, repaints) ticks at this period.
constexpr int tickIntervalMs = 50;

} // namespace rules

#endif
