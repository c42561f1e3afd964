// The earlier revision's side, compiled against its own headers with
// earlier_names.h included first.
#include "engine/ball_engine.h"
#include "engine/inline_generator.h"
#include "engine/step.h"
#include "bench/beside/play_to_end.h"

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
    playToEnd(game->engine, seed, steps, check);
}
