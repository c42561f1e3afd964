// One tick of the game, shared by the game's workers, the tests and the tools.
#ifndef STEP_H
#define STEP_H

#include <cstddef>

class Ball_engine;

// Asks every agent for its action: agent 0 through the controller, the others
// at random. The agent count is read again before every pass.
void chooseAllActions(Ball_engine &engine);

// Advances the arena by one step and returns the number of living agents.
// `stepPhase` counts steps modulo the agent count; resources get a respawn
// tick whenever it wraps to 0.
int stepArena(Ball_engine &engine, size_t &stepPhase);

// A game is set when, after a step, one to three agents are left. None left
// is not a set game: nothing is announced.
constexpr int maxAliveWhenSet = 3;
inline bool isGameSet(int alive)
{
    return alive > 0 && alive <= maxAliveWhenSet;
}

#endif
