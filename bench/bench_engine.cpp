// Cost of one tick (actions for all agents, then the step) and of whole games.
#include "engine/ball_engine.h"
#include "engine/game.h"
#include "engine/inline_generator.h"
#include "engine/separate_generators.h"
#include "engine/step.h"

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

using Clock = std::chrono::steady_clock;

// Plays the game of `seed` to its end, or to `limit` steps, adding its time
// to `spent`; returns its steps.
int playTimedGame(Ball_engine &engine, unsigned seed, int limit, Clock::duration &spent)
{
    engine.resetSeeded(seed);
    size_t phase = 0;
    int steps = 0, alive = 0;
    const auto start = Clock::now();
    do {
        chooseAllActions(engine);
        alive = stepArena(engine, phase);
        ++steps;
    } while (steps < limit && alive > maxAliveWhenSet);
    spent += Clock::now() - start;
    return steps;
}

// Both in one measurement, game by game: each game's ticks are timed, then
// as many steps' worth of its floor, so that a machine whose speed drifts
// from one moment to the next (a shared one does) slows
// both alike. `tick_over_floor` is the figure to quote.
void BM_TickOverFloor(benchmark::State &state)
{
    constexpr int ticks = 200000;
    Ball_engine engine;
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    unsigned seed = firstSeed;
    double tickNs = 0, floorNs = 0;
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        Clock::duration inTicks{}, inFloor{};
        unsigned sum = 0;
        for (int done = 0; done < ticks;) {
            const int steps = playTimedGame(engine, seed++, ticks - done, inTicks);
            const auto ticked = Clock::now();
            for (int d = 0; d < steps * drawsPerStep; ++d)
                sum += unsigned(std::rand());
            inFloor += Clock::now() - ticked;
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

// The draws the rules require of `steps` steps, from the inline copy.
unsigned timedInlineFloor(InlineGenerator &generator, int steps, Clock::duration &spent)
{
    unsigned sum = 0;
    const auto start = Clock::now();
    for (int d = 0; d < steps * drawsPerStep; ++d)
        sum += unsigned(generator.next());
    spent += Clock::now() - start;
    return sum;
}

// Time and steps of one way of stepping, over a measurement.
struct StepTally {
    Clock::duration spent{};
    long steps = 0;
    double nsPerStep() const { return std::chrono::duration<double, std::nano>(spent).count() / double(steps); }
};

// The figures per step of one measurement, game by game, so that drift
// slows them alike: the headless step (the engine on the inline copy that
// SeparateGenerators hands it, the reference controller on the shared
// generator handed over to it, as in the arena's game process), the step
// of the designed engine (everything on rand()), the floor under the
// headless step (its draws from the inline copy, and nothing else) and,
// with the GNU C library, the engine on a random_r stream of its own (as
// the arena's judge still has it).
void BM_HeadlessStepBesideDesigned(benchmark::State &state)
{
    constexpr long ticks = 200000;
    Ball_engine headless, designed, onLibraryStream;
    for (Ball_engine *engine : {&headless, &designed, &onLibraryStream})
        engine->setup(rules::agentsPerGame, rules::maxArenaScale);
    SeparateGenerators generators;
    InlineGenerator floorStream(firstSeed);
#if defined(__GLIBC__)
    random_data stream{};
    alignas(8) char streamState[128] = {};
    ::initstate_r(1, streamState, sizeof streamState, &stream);
    onLibraryStream.drawFrom(&stream);
#endif
    unsigned seed = firstSeed;
    StepTally inHeadless, inDesigned, inFloor, inLibraryStream;
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        inHeadless = inDesigned = inFloor = inLibraryStream = StepTally();
        unsigned sum = 0;
        for (; inHeadless.steps < ticks; ++seed) {
            generators.startGame(seed, headless);
            generators.handOverSharedGenerator();
            const int steps = playTimedGame(headless, seed, int(ticks - inHeadless.steps), inHeadless.spent);
            inHeadless.steps += steps;
            inDesigned.steps += playTimedGame(designed, seed, maxSteps, inDesigned.spent);
            sum += timedInlineFloor(floorStream, steps, inFloor.spent);
            inFloor.steps += steps;
            inLibraryStream.steps += playTimedGame(onLibraryStream, seed, maxSteps, inLibraryStream.spent);
        }
        benchmark::DoNotOptimize(sum);
        state.SetIterationTime(std::chrono::duration<double>(inHeadless.spent).count());
    }
    state.counters["headless_ns"] = inHeadless.nsPerStep();
    state.counters["designed_ns"] = inDesigned.nsPerStep();
    state.counters["floor_ns"] = inFloor.nsPerStep();
    state.counters["headless_over_floor"] = inHeadless.nsPerStep() / inFloor.nsPerStep();
    state.counters["designed_over_headless"] = inDesigned.nsPerStep() / inHeadless.nsPerStep();
#if defined(__GLIBC__)
    state.counters["random_r_ns"] = inLibraryStream.nsPerStep();
#endif
}
BENCHMARK(BM_HeadlessStepBesideDesigned)->Iterations(1)->Repetitions(9)->UseManualTime()->ReportAggregatesOnly(true);

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
    state.counters["steps_per_game"] = benchmark::Counter(double(steps), benchmark::Counter::kAvgIterations);
    state.counters["steps_per_second"] = benchmark::Counter(double(steps), benchmark::Counter::kIsRate);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WholeGame);

} // namespace

BENCHMARK_MAIN();
