#include "engine/game.h"

#include "engine/ball_engine.h"
#include "engine/step.h"

#include <cstddef>

int finalRank(const int *radius, size_t agents, size_t agent)
{
    const int own = radius[agent] > 0 ? radius[agent] : 0;
    int rank = 1;
    for (size_t i = 0; i < agents; ++i)
        rank += i != agent && radius[i] > own ? 1 : 0;
    return rank;
}

const char *gameOutcomeName(GameOutcome outcome)
{
    switch (outcome) {
    case GameOutcome::Set: return "set";
    case GameOutcome::NoneAlive: return "none-alive";
    case GameOutcome::StepLimit: return "step-limit";
    }
    return "unknown";
}

GameResult playSeededGame(Ball_engine &engine, unsigned int seed, int maxSteps, StepObserver observer, void *context)
{
    engine.resetSeeded(seed);
    size_t stepPhase = 0;
    GameResult result;
    result.alive = engine.countAliveAgents();
    while (result.steps < maxSteps) {
        if (observer)
            observer(context, result.steps + 1);
        chooseAllActions(engine);
        result.alive = stepArena(engine, stepPhase);
        ++result.steps;
        if (isGameSet(result.alive)) {
            result.outcome = GameOutcome::Set;
            return result;
        }
        if (result.alive == 0) {
            result.outcome = GameOutcome::NoneAlive;
            return result;
        }
    }
    result.outcome = GameOutcome::StepLimit;
    return result;
}
