// This build's headless engine and an earlier revision's, game by game in
// one process, so that the machine's drift slows both alike: the figure to
// read is this build's time over the earlier one's. Built and run by
// bench/engine_beside_revision.sh, which compiles the earlier engine with
// its names changed (earlier_names.h).
#include "engine/ball_engine.h"
#include "engine/separate_generators.h"
#include "engine/step.h"
#include "bench/beside/play_to_end.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

// The earlier engine, from earlier_side.cpp.
struct EarlierGame;
EarlierGame *earlierGame();
// Plays the game of `seed` to its end; adds its steps, folds its end into
// `check`.
void playEarlier(EarlierGame *game, unsigned seed, long &steps, unsigned long &check);

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    const long steps = argc > 1 ? std::atol(argv[1]) : 1000000;
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 9;
    Ball_engine engine;
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    SeparateGenerators generators;
    EarlierGame *earlier = earlierGame();
    std::vector<double> thisNs, earlierNs, ratios;
    unsigned seed = 1;
    for (int r = 0; r < repetitions; ++r) {
        Clock::duration inThis{}, inEarlier{};
        long thisSteps = 0, earlierSteps = 0;
        unsigned long thisCheck = 0, earlierCheck = 0;
        for (; thisSteps < steps; ++seed) {
            // The reference controller draws from the shared generator,
            // handed over afresh before each engine plays the seed.
            generators.startGame(seed, engine);
            generators.handOverSharedGenerator();
            const auto start = Clock::now();
            playToEnd(engine, seed, thisSteps, thisCheck);
            const auto played = Clock::now();
            generators.startGame(seed, engine);
            generators.handOverSharedGenerator();
            const auto again = Clock::now();
            playEarlier(earlier, seed, earlierSteps, earlierCheck);
            inThis += played - start;
            inEarlier += Clock::now() - again;
        }
        if (thisCheck != earlierCheck || thisSteps != earlierSteps) {
            std::fprintf(stderr, "the two engines played different games\n");
            return 1;
        }
        thisNs.push_back(std::chrono::duration<double, std::nano>(inThis).count() / double(thisSteps));
        earlierNs.push_back(std::chrono::duration<double, std::nano>(inEarlier).count() / double(earlierSteps));
        ratios.push_back(thisNs.back() / earlierNs.back());
    }
    std::printf("ns a step, median of %d: this build %.1f, the earlier one %.1f; this over earlier %.3f (%.3f to "
                "%.3f)\n",
                repetitions, median(thisNs), median(earlierNs), median(ratios),
                *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()));
    return 0;
}
