// The earlier revision's side, compiled against its own headers with
// earlier_names.h included first.
#include "engine/ball_engine.h"
#include "engine/inline_generator.h"
#include "engine/step.h"

struct EarlierGame {
    Ball_engine engine;
    InlineGenerator stream;
};

EarlierGame *earlierGame()
{
    auto *game = new EarlierGame;
    game->engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    game->engine.drawFrom(&game->stream);
    return game;
}

void playEarlier(EarlierGame *game, unsigned seed, long &steps, unsigned long &check)
{
    Ball_engine &engine = game->engine;
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
