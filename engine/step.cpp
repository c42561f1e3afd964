#include "engine/step.h"

#include "engine/ball_engine.h"

void chooseAllActions(Ball_engine &engine)
{
    engine.chooseActions();
}

int stepArena(Ball_engine &engine, size_t &stepPhase)
{
    return engine.step(stepPhase);
}
