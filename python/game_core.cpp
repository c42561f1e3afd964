#include "game_core.h"

#include "game_rules.h"
#include "step.h"

#include <algorithm>

static_assert(GameCore::agents == int(rules::agentsPerGame), "the observation has one entry per agent");

namespace {

// Agent 0's action for the step being played, handed to the engine through
// its controller hook; games are stepped one at a time.
int pendingAction = 0;

void storedAction(int &action, const size_t, const size_t, const size_t, const int *, const int *, const int *,
                  const int *, const int *)
{
    action = pendingAction;
}

} // namespace

GameCore::GameCore(int maxSteps, bool playOut) : maxSteps(maxSteps), playOut(playOut)
{
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    engine.setController(&storedAction);
}

void GameCore::reset(uint32_t seed)
{
    generators.enterGame();
    generators.startGame(seed, engine);
    engine.resetSeeded(seed);
    generators.leaveGame();
    gameSeed = seed;
    phase = 0;
    stepCount = 0;
    aliveCount = engine.countAliveAgents();
    finished = false;
}

StepOutcome GameCore::step(int action)
{
    StepOutcome outcome;
    if (finished) {
        outcome.terminated = true;
        return outcome;
    }
    const int before = agent0Radius();
    pendingAction = action;
    generators.enterGame();
    chooseAllActions(engine);
    aliveCount = stepArena(engine, phase);
    generators.leaveGame();
    ++stepCount;
    const int after = agent0Radius();
    outcome.reward = float(after - before);
    if (before > 0 && after == 0)
        outcome.reward += deathPenalty;
    const bool gameOver = isGameSet(aliveCount) || aliveCount == 0;
    outcome.terminated = gameOver || (!playOut && after == 0);
    outcome.truncated = !outcome.terminated && stepCount >= maxSteps;
    finished = outcome.terminated || outcome.truncated;
    return outcome;
}

void GameCore::observe(int32_t *radius, int32_t *x, int32_t *y, int32_t *vx, int32_t *vy) const
{
    std::copy_n(engine.getCircleRadius(), circles, radius);
    std::copy_n(engine.getXCoordinate(), circles, x);
    std::copy_n(engine.getYCoordinate(), circles, y);
    std::copy_n(engine.getXVelocity(), agents, vx);
    std::copy_n(engine.getYVelocity(), agents, vy);
}

int GameCore::agent0Radius() const
{
    return std::max(0, engine.getCircleRadius()[0]);
}

int GameCore::agent0Rank() const
{
    const int *r = engine.getCircleRadius();
    int rank = 1;
    for (int i = 1; i < agents; ++i)
        rank += r[i] > agent0Radius() ? 1 : 0;
    return rank;
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
