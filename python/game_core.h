// One seeded game driven step by step from outside, under pelloria-arena's
// rules: the layout of the seed, and opponents, shuffle and resources from
// the game's own generator, which nothing outside can steer. Shared by the
// Python module's Game and VectorGame.
#ifndef GAME_CORE_H
#define GAME_CORE_H

#include "ball_engine.h"
#include "separate_generators.h"

#include <cstdint>

// What a step gave, for the caller's reward and episode bookkeeping.
struct StepOutcome {
    float reward = 0;
    bool terminated = false;
    bool truncated = false;
};

// Agent 0 dies: the reward of that step falls by this much more.
constexpr float deathPenalty = -20.0f;

class GameCore
{
public:
    GameCore(int maxSteps, bool playOut);
    GameCore(const GameCore &) = delete;
    GameCore &operator=(const GameCore &) = delete;

    void reset(uint32_t seed);
    // Agent 0 takes `action` (any int: outside 0..8 is no acceleration).
    StepOutcome step(int action);

    // Copies what a controller sees: the circles' radii and centres, the
    // agents' velocities.
    void observe(int32_t *radius, int32_t *x, int32_t *y, int32_t *vx, int32_t *vy) const;

    uint32_t seed() const { return gameSeed; }
    int steps() const { return stepCount; }
    int alive() const { return aliveCount; }
    bool over() const { return finished; }
    int agent0Radius() const;
    int agent0Rank() const;
    // "set", "none-alive", "agent0-dead", "step-limit", or "" while it runs.
    const char *outcome() const;
    const Ball_engine &arena() const { return engine; }

    static constexpr int circles = 15;
    static constexpr int agents = 10;

private:
    Ball_engine engine;
    SeparateGenerators generators;
    int maxSteps;
    bool playOut; // go on after agent 0 dies, to the game's own end
    uint32_t gameSeed = 0;
    size_t phase = 0;
    int stepCount = 0;
    int aliveCount = 0;
    bool finished = false;
};

#endif
