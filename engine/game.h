// A whole seeded game without a window: the loop that tools and tests share.
#ifndef GAME_H
#define GAME_H

#include <cstddef>

class Ball_engine;

enum class GameOutcome {
    Set,       // one to three agents left
    NoneAlive, // the last agents died in the same step
    StepLimit, // still going when the limit was reached
};

struct GameResult {
    GameOutcome outcome = GameOutcome::StepLimit;
    int steps = 0;
    int alive = 0;
};

// An agent's place at the end: 1 plus the agents with a larger radius, a
// dead agent's (its radius 0 or below) counting as 0.
int finalRank(const int *radius, size_t agents, size_t agent);

// "set", "none-alive" or "step-limit", as rows and replays name them.
const char *gameOutcomeName(GameOutcome outcome);

// Told the number of each step before its actions are chosen.
using StepObserver = void (*)(void *context, int step);

// Lays out the game of `seed` and plays it to its end: one choice of actions
// before each step, as the game's two clocks would make them.
GameResult playSeededGame(Ball_engine &engine, unsigned int seed, int maxSteps, StepObserver observer = nullptr,
                          void *context = nullptr);

#endif
