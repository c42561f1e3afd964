// One seeded game played to its end, for both sides of engine_beside: the
// earlier side includes this with its names changed (earlier_names.h), so
// each side plays it on its own engine.
#ifndef PLAY_TO_END_H
#define PLAY_TO_END_H

#include "engine/ball_engine.h"
#include "engine/step.h"

namespace {

// Adds the game's steps to `steps` and folds how it ended into `check`.
inline void playToEnd(Ball_engine &engine, unsigned seed, long &steps, unsigned long &check)
{
    engine.resetSeeded(seed);
    size_t phase = 0;
    int alive = 0;
    do {
        chooseAllActions(engine);
        alive = stepArena(engine, phase);
        ++steps;
    } while (!isGameSet(alive) && alive > 0);
    check = check * 31 + unsigned(engine.getCircleRadius()[0]) + unsigned(phase);
}

} // namespace

#endif
