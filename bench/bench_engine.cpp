// Cost of one tick (actions for all agents, then the step) and of whole games.
#include "ball_engine.h"
#include "game.h"
#include "step.h"

#include <benchmark/benchmark.h>

namespace {

constexpr unsigned firstSeed = 1;
constexpr int maxSteps = 100000;

// A tick on a live game: when the game ends, a fresh one is laid out outside
// the timed region so that every timed tick steps ten-ish circles.
void BM_TickWithActionChoice(benchmark::State &state)
{
    Ball_engine engine;
    engine.setup(10, 100);
    unsigned seed = firstSeed;
    engine.resetSeeded(seed);
    size_t phase = 0;
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        chooseAllActions(engine);
        const int alive = stepArena(engine, phase);
        if (alive <= maxAliveWhenSet) {
            state.PauseTiming();
            engine.resetSeeded(++seed);
            phase = 0;
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TickWithActionChoice);

void BM_WholeGame(benchmark::State &state)
{
    Ball_engine engine;
    engine.setup(10, 100);
    unsigned seed = firstSeed;
    long steps = 0;
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        const GameResult game = playSeededGame(engine, seed++, maxSteps);
        steps += game.steps;
        benchmark::DoNotOptimize(game.alive);
    }
    state.counters["steps_per_game"] =
        benchmark::Counter(double(steps), benchmark::Counter::kAvgIterations);
    state.counters["steps_per_second"] = benchmark::Counter(double(steps), benchmark::Counter::kIsRate);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WholeGame);

} // namespace

BENCHMARK_MAIN();
