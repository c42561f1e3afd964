// One seeded game driven step by step from outside, under pelloria-arena's
// rules: the layout of the seed, and opponents, shuffle and resources from
// the game's own generator, which nothing outside can steer. Shared by the
// Python module's Game and VectorGame.
//
// A GameCore touches nothing outside itself: its draws come from a generator
// it owns and agent 0's action is written straight into its engine, so any
// number of them may be stepped from any number of threads at once.
#ifndef GAME_CORE_H
#define GAME_CORE_H

#include "engine/ball_engine.h"
#include "engine/game_rules.h"
#include "engine/inline_generator.h"

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
    static constexpr int circles = int(rules::circlesPerGame);
    static constexpr int agents = int(rules::agentsPerGame);
    static constexpr int actions = BRAINLET_ACTIONS;
    // What a controller sees, in this order: radius, x, y of the circles,
    // then vx, vy of the agents.
    static constexpr int observationSize = 3 * circles + 2 * agents;

    GameCore(int maxSteps, bool playOut);
    GameCore(const GameCore &) = delete;
    GameCore &operator=(const GameCore &) = delete;

    void reset(uint32_t seed);
    // Agent 0 takes `action`, 0..8 (the caller checks). A game that has
    // ended stays as it ended: reward 0 and the flags of its last step.
    StepOutcome step(int action);
    // Makes this game the same as `other` (same rules), so that both go on
    // alike under the same actions.
    void copyFrom(const GameCore &other);

    // The observation, in the order of observationSize, as integers or as
    // floats (every value is exact in a float).
    void observe(int32_t *out) const;
    void observe(float *out) const;
    // The same, split into arrays of circles and agents.
    void observe(int32_t *radius, int32_t *x, int32_t *y, int32_t *vx, int32_t *vy) const;

    uint32_t seed() const { return gameSeed; }
    int steps() const { return stepCount; }
    int alive() const { return aliveCount; }
    bool over() const { return finished; }
    bool started() const { return begun; }
    int stepLimit() const { return maxSteps; }
    bool playsOut() const { return playOut; }
    int agent0Radius() const;
    int agent0Rank() const;
    bool agent0Survived() const;
    // "set", "none-alive", "agent0-dead", "step-limit", or "" while it runs.
    const char *outcome() const;
    const Ball_engine &ballEngine() const { return engine; }

private:
    Ball_engine engine;
    InlineGenerator stream;
    int maxSteps;
    bool playOut; // go on after agent 0 dies, to the game's own end
    uint32_t gameSeed = 0;
    size_t phase = 0;
    int stepCount = 0;
    int aliveCount = 0;
    bool begun = false;
    bool finished = false;
    StepOutcome ending; // the last step's flags, repeated once it has ended
};

#endif
