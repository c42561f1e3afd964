// Cost of one tick (actions for all agents, then the step) and of whole games.
#include "ball_engine.h"
#include "game.h"
#include "step.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>

namespace {

constexpr unsigned firstSeed = 1;
constexpr int maxSteps = 100000;

// A tick on a live game: when the game ends, a fresh one is laid out outside
// the timed region so that every timed tick steps ten-ish circles.
void BM_TickWithActionChoice(benchmark::State &state)
{
    Ball_engine engine;
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
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

// The floor under a tick: the draws the rules require of the generator
// every step (nine opponents' actions, the reference controller's action
// and nine swaps of the visit order's shuffle), and nothing else.
constexpr int drawsPerStep = 9 + 1 + 9;

void BM_DrawFloor(benchmark::State &state)
{
    std::srand(firstSeed);
    unsigned sum = 0;
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        for (int d = 0; d < drawsPerStep; ++d)
            sum += unsigned(std::rand());
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DrawFloor);

// Both in one measurement, game by game: each game's ticks are timed, then
// as many steps' worth of its floor, so that a machine whose speed drifts
// from one moment to the next (this one does, by a quarter and more) slows
// both alike. `tick_over_floor` is the figure to quote.
void BM_TickOverFloor(benchmark::State &state)
{
    constexpr int ticks = 200000;
    Ball_engine engine;
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    unsigned seed = firstSeed;
    using Clock = std::chrono::steady_clock;
    double tickNs = 0, floorNs = 0;
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        Clock::duration inTicks{}, inFloor{};
        unsigned sum = 0;
        for (int done = 0; done < ticks;) {
            engine.resetSeeded(seed++);
            size_t phase = 0;
            int steps = 0, alive = 0;
            const auto start = Clock::now();
            do {
                chooseAllActions(engine);
                alive = stepArena(engine, phase);
                ++steps;
            } while (done + steps < ticks && alive > maxAliveWhenSet);
            const auto ticked = Clock::now();
            for (int d = 0; d < steps * drawsPerStep; ++d)
                sum += unsigned(std::rand());
            inFloor += Clock::now() - ticked;
            inTicks += ticked - start;
            done += steps;
        }
        benchmark::DoNotOptimize(sum);
        floorNs = std::chrono::duration<double, std::nano>(inFloor).count() / ticks;
        tickNs = std::chrono::duration<double, std::nano>(inTicks).count() / ticks;
        state.SetIterationTime(tickNs * ticks * 1e-9);
    }
    state.counters["tick_ns"] = tickNs;
    state.counters["floor_ns"] = floorNs;
    state.counters["tick_over_floor"] = tickNs / floorNs;
}
BENCHMARK(BM_TickOverFloor)->Iterations(1)->Repetitions(5)->UseManualTime()->ReportAggregatesOnly(true);

void BM_WholeGame(benchmark::State &state)
{
    Ball_engine engine;
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
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
