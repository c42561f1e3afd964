#include "engine/step.h"

#include "engine/ball_engine.h"

void chooseAllActions(Ball_engine &engine)
{
    for (size_t i = 0; i < engine.getNumAgents(); ++i)
        engine.chooseAction(i);
}

int stepArena(Ball_engine &engine, size_t &stepPhase)
{
    const size_t n = engine.getNumAgents();
    engine.savePositions();
    stepPhase = (stepPhase + 1) % n;
    for (size_t i = 0; i < n; ++i)
        engine.moveAgent(i);
    engine.resolveContests();
    if (stepPhase == 0)
        engine.tickRespawnCounter();
    engine.eatResources();
    return engine.countAliveAgents();
}
