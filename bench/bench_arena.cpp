// Whole games per second: the bare game loop against pelloria-arena's own run
// of the same 1000 seeds (a fresh process per game, call timing, the
// controller's own generator, statistics, outputs).
#include "controller_host.h"
#include "controller_library.h"
#include "game.h"
#include "report.h"
#include "run_results.h"
#include "runner.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int gamesPerRun = 1000;
constexpr int maxSteps = 100000;
QString brainletPath;

void reportRates(benchmark::State &state, long steps)
{
    state.counters["games_per_second"] =
        benchmark::Counter(double(gamesPerRun) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["steps_per_second"] = benchmark::Counter(double(steps), benchmark::Counter::kIsRate);
}

void BM_BareGameLoop(benchmark::State &state)
{
    const LoadedController reference = loadController(brainletPath, QStringLiteral("brainlet"));
    Ball_engine engine;
    engine.setup(arenaAgents, arenaScale);
    engine.setController(reference.function);
    long steps = 0;
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        for (int g = 0; g < gamesPerRun; ++g)
            steps += playSeededGame(engine, 1 + unsigned(g), maxSteps).steps;
    }
    reportRates(state, steps);
}
BENCHMARK(BM_BareGameLoop)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->UseRealTime();

void BM_ArenaRun(benchmark::State &state)
{
    QTemporaryDir logs;
    const QVector<ControllerSpec> specs{
        {brainletPath, QStringLiteral("brainlet"), logs.filePath(QStringLiteral("brainlet.log"))}};
    ArenaSettings settings;
    settings.games = gamesPerRun;
    long steps = 0;
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        QBuffer csv;
        csv.open(QIODevice::WriteOnly);
        RunResults results(specs, 0, true, &csv);
        QString error;
        if (!runArena(specs, settings, results, error)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        benchmark::DoNotOptimize(formatTable(results, settings));
        benchmark::DoNotOptimize(formatJson(results, settings));
        for (const GameRow &g : results.controllers().first().rows)
            steps += g.steps;
    }
    reportRates(state, steps);
}
BENCHMARK(BM_ArenaRun)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    brainletPath = defaultControllerPath(QStringLiteral(BRAINLET_DIR));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
