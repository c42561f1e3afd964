#include "python/game_core.h"

#include "engine/game.h"
#include "engine/game_rules.h"
#include "engine/step.h"

#include <algorithm>
#include <cstring>

static_assert(GameCore::agents == int(rules::agentsPerGame), "the observation has one entry per agent");
static_assert(GameCore::actions == int(BRAINLET_ACTIONS), "actions are the plug-ins' codes");

namespace {

// Agent 0's action is written into the engine before the others are drawn,
// never asked for; the engine still needs a controller to hold, and this one
// leaves the action as it is.
void noController(int &, const size_t, const size_t, const size_t, const int *, const int *, const int *,
                  const int *, const int *)
{
}

template <typename T>
void copyArray(const T *from, T *to, int count)
{
    std::copy_n(from, count, to);
}

} // namespace

GameCore::GameCore(int maxSteps, bool playOut) : maxSteps(maxSteps), playOut(playOut)
{
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    engine.setController(&noController);
    engine.drawFrom(&stream);
}

void GameCore::reset(uint32_t seed)
{
    engine.resetSeeded(seed);
    gameSeed = seed;
    phase = 0;
    stepCount = 0;
    aliveCount = engine.countAliveAgents();
    begun = true;
    finished = false;
    ending = StepOutcome{};
}

StepOutcome GameCore::step(int action)
{
    if (finished)
        return StepOutcome{0.0f, ending.terminated, ending.truncated};
    const int before = agent0Radius();
    // As chooseAllActions does, with agent 0's action given: the controller
    // draws nothing, the others draw in order.
    engine.getActions()[0] = action;
    engine.chooseOpponentActions();
    aliveCount = stepArena(engine, phase);
    ++stepCount;
    const int after = agent0Radius();
    StepOutcome outcome;
    outcome.reward = float(after - before);
    if (before > 0 && after == 0)
        outcome.reward += deathPenalty;
    const bool gameOver = isGameSet(aliveCount) || aliveCount == 0;
    outcome.terminated = gameOver || (!playOut && after == 0);
    outcome.truncated = !outcome.terminated && stepCount >= maxSteps;
    finished = outcome.terminated || outcome.truncated;
    ending = outcome;
    return outcome;
}

void GameCore::copyFrom(const GameCore &other)
{
    maxSteps = other.maxSteps;
    playOut = other.playOut;
    if (!other.begun) {
        begun = false;
        return;
    }
    reset(other.gameSeed);
    // The engine keeps its respawn rhythm to itself: it is 0 after a reset
    // and ticks once every `agents` steps, so ticking it as often as the
    // other's ticked brings it level. What the ticks draw and respawn is
    // overwritten below.
    for (int tick = 0; tick < other.stepCount / agents; ++tick)
        engine.tickRespawnCounter();
    const Ball_engine &from = other.engine;
    copyArray(from.getCircleRadius(), engine.getCircleRadius(), circles);
    copyArray(from.getXCoordinate(), engine.getXCoordinate(), circles);
    copyArray(from.getYCoordinate(), engine.getYCoordinate(), circles);
    copyArray(from.getPrevX(), engine.getPrevX(), agents);
    copyArray(from.getPrevY(), engine.getPrevY(), agents);
    copyArray(from.getXVelocity(), engine.getXVelocity(), agents);
    copyArray(from.getYVelocity(), engine.getYVelocity(), agents);
    copyArray(from.xAcceleration, engine.xAcceleration, agents);
    copyArray(from.yAcceleration, engine.yAcceleration, agents);
    copyArray(from.getActions(), engine.getActions(), agents);
    copyArray(from.getVisitOrder(), engine.getVisitOrder(), agents);
    stream = other.stream;
    phase = other.phase;
    stepCount = other.stepCount;
    aliveCount = other.aliveCount;
    finished = other.finished;
    ending = other.ending;
}

// memcpy, not copy_n: copy_n may overlap, so it calls memmove, which for
// rows this short costs more than the copy.
void GameCore::observe(int32_t *radius, int32_t *x, int32_t *y, int32_t *vx, int32_t *vy) const
{
    static_assert(sizeof(int) == sizeof(int32_t), "the engine's arrays are copied as they are");
    std::memcpy(radius, engine.getCircleRadius(), circles * sizeof(int32_t));
    std::memcpy(x, engine.getXCoordinate(), circles * sizeof(int32_t));
    std::memcpy(y, engine.getYCoordinate(), circles * sizeof(int32_t));
    std::memcpy(vx, engine.getXVelocity(), agents * sizeof(int32_t));
    std::memcpy(vy, engine.getYVelocity(), agents * sizeof(int32_t));
}

void GameCore::observe(int32_t *out) const
{
    observe(out, out + circles, out + 2 * circles, out + 3 * circles, out + 3 * circles + agents);
}

void GameCore::observe(float *out) const
{
    int32_t values[observationSize];
    observe(values);
    std::copy_n(values, observationSize, out);
}

int GameCore::agent0Radius() const
{
    return std::max(0, engine.getCircleRadius()[0]);
}

int GameCore::agent0Rank() const
{
    return finalRank(engine.getCircleRadius(), agents, 0);
}

bool GameCore::agent0Survived() const
{
    return finished && isGameSet(aliveCount) && agent0Radius() > 0;
}

const char *GameCore::outcome() const
{
    if (!finished)
        return "";
    if (isGameSet(aliveCount))
        return "set";
    if (aliveCount == 0)
        return "none-alive";
    if (agent0Radius() == 0 && !playOut)
        return "agent0-dead";
    return "step-limit";
}
