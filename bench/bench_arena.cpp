// Whole games per second: the bare game loop against pelloria-arena's own run
// of the same 1000 seeds (a fresh process per game, call timing, the
// controller's own generator, statistics, outputs). Each repetition times
// the bare loop on either side of the arena's run, so that a noisy machine
// slows both alike; the overhead is their ratio, and its median is the
// figure to quote.
#include "arena/channel/wake.h"
#include "arena/judge/judge.h"
#include "arena/judge/match.h"
#include "arena/report.h"
#include "arena/run_results.h"
#include "arena/runner.h"
#include "engine/ball_engine.h"
#include "engine/game.h"
#include "engine/separate_generators.h"
#include "plugin/controller_library.h"

#include <QBuffer>
#include <QDir>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#if defined(__unix__)
#  include <sched.h>
#  include <sys/mman.h>
#  include <sys/resource.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif

namespace {

constexpr int gamesPerRun = 1000;
constexpr int maxSteps = 100000;
QString brainletPath;

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The arena's games from the `first`-th, every `stride`-th, drawing from
// the same streams, and nothing around them; the steps they took.
long playBareGames(ControllerFunction reference, int first, int stride)
{
    Ball_engine engine;
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    engine.setController(reference);
    SeparateGenerators generators;
    long steps = 0;
    for (int g = first; g < gamesPerRun; g += stride) {
        const unsigned seed = 1 + unsigned(g);
        generators.startGame(seed, engine);
        generators.handOverSharedGenerator();
        steps += playSeededGame(engine, seed, maxSteps).steps;
    }
    return steps;
}

// The bare loop, in this process.
double bareLoopSeconds(ControllerFunction reference)
{
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(playBareGames(reference, 0, 1));
    return secondsSince(start);
}

double arenaSeconds(int jobs, bool sandbox, int recordGames, QString &error)
{
    QTemporaryDir logs;
    const QVector<ControllerSpec> specs{
        {brainletPath, QStringLiteral("brainlet"), logs.filePath(QStringLiteral("brainlet.log"))}};
    ArenaSettings settings;
    settings.games = gamesPerRun;
    settings.maxSteps = maxSteps;
    settings.jobs = jobs;
    settings.sandbox = sandbox;
    settings.recordGames = recordGames;
    // Every run's replays are kept until the benchmark ends: ext4 creates a
    // file slowly right after many were deleted (it scans the inodes it
    // freed), which would time the clean-up of the run before.
    static QTemporaryDir allReplays;
    static int runs = 0;
    settings.recordDir = allReplays.filePath(QString::number(runs++));
    QDir().mkpath(settings.recordDir);
    const auto start = std::chrono::steady_clock::now();
    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    RunResults results(specs, 0, true, &csv);
    if (!runArena(specs, settings, results, error))
        return 0;
    benchmark::DoNotOptimize(formatTable(results, settings));
    benchmark::DoNotOptimize(formatJson(results, settings));
    return secondsSince(start);
}

#if defined(__unix__)
// The same games as bareLoopSeconds, shared out seed by seed among
// `processes` forked processes playing at once, as the arena's jobs share
// them: what the machine itself gives for work that needs nothing from
// anyone, against which the arena's own speed-up is to be read.
double bareLoopInProcesses(ControllerFunction reference, int processes, QString &error)
{
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(playBareGames(reference, p, processes) > 0 ? 0 : 1);
        if (child < 0)
            error = QStringLiteral("cannot fork the bare loop");
        else
            children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            error = QStringLiteral("a bare loop's process failed");
    }
    return secondsSince(start);
}
#endif

// A timed run: its seconds, with `error` set when it failed.
using TimedRun = std::function<double(QString &error)>;

// The first run on either side of the second, averaged, so that a steady
// drift of the machine slows both alike; false when one failed.
bool sideBySide(const TimedRun &first, const TimedRun &second, double &firstSeconds, double &secondSeconds,
                QString &error)
{
    const double before = first(error);
    if (error.isEmpty())
        secondSeconds = second(error);
    if (error.isEmpty())
        firstSeconds = (before + first(error)) / 2;
    return error.isEmpty();
}

#if defined(__unix__)
// The processor time of this process and of its children that have ended,
// theirs included: the arena's host, and through it every game.
double processorSeconds()
{
    double seconds = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage = {};
        ::getrusage(who, &usage);
        seconds += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
            + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return seconds;
}
#endif

// The processor time that a timed run's games took, over all its runs.
struct ProcessorTally {
    double seconds = 0;
    int runs = 0;
    double microsecondsPerGame() const { return runs > 0 ? seconds / runs / gamesPerRun * 1e6 : 0; }
};

// `run`, with the processor time it takes added to `tally`.
TimedRun tallied(TimedRun run, ProcessorTally &tally)
{
#if defined(__unix__)
    return [run, &tally](QString &error) {
        const double before = processorSeconds();
        const double seconds = run(error);
        tally.seconds += processorSeconds() - before;
        ++tally.runs;
        return seconds;
    };
#else
    (void)tally;
    return run;
#endif
}

// Two runs side by side in each repetition; false, with the benchmark
// skipped, when one fails.
bool timeBackToBack(benchmark::State &state, const TimedRun &first, const TimedRun &second, double &firstSeconds,
                    double &secondSeconds)
{
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        QString error;
        if (!sideBySide(first, second, firstSeconds, secondSeconds, error)) {
            state.SkipWithError(qPrintable(error));
            return false;
        }
        state.SetIterationTime(secondSeconds);
    }
    return true;
}

// The arena with the sandbox on, as a timed run.
TimedRun arenaRun(int jobs, int recordGames)
{
    return [jobs, recordGames](QString &error) { return arenaSeconds(jobs, true, recordGames, error); };
}

// The reference controller, for the bare loop; null, with the benchmark
// skipped, when it cannot be loaded.
ControllerFunction referenceOrSkip(benchmark::State &state)
{
    const LoadedController reference = loadController(brainletPath, QStringLiteral("brainlet"));
    if (!reference.function)
        state.SkipWithError(qPrintable(reference.error));
    return reference.function;
}

void BM_ArenaAgainstBareLoop(benchmark::State &state)
{
    const ControllerFunction reference = referenceOrSkip(state);
    if (!reference)
        return;
    const int jobs = int(state.range(0));
    const bool sandbox = state.range(1) != 0;
    const int recordGames = int(state.range(2));
    double bare = 0, arena = 0;
    const TimedRun bareLoop = [reference](QString &) { return bareLoopSeconds(reference); };
    const TimedRun arenaLoop = [=](QString &error) { return arenaSeconds(jobs, sandbox, recordGames, error); };
    if (!timeBackToBack(state, bareLoop, arenaLoop, bare, arena))
        return;
    state.counters["bare_ms"] = bare * 1e3;
    state.counters["arena_ms"] = arena * 1e3;
    state.counters["arena_games_per_s"] = gamesPerRun / arena;
    state.counters["overhead_percent"] = 100.0 * (arena / bare - 1.0);
}
// One repetition a benchmark, timed by hand: each compares two runs timed
// side by side, and reports the median of its ratios.
void timedSideBySide(benchmark::internal::Benchmark *b)
{
    b->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->UseManualTime()->ReportAggregatesOnly(true);
}

// jobs 1 and 2 with the sandbox, and jobs 1 without it, to show its cost.
BENCHMARK(BM_ArenaAgainstBareLoop)
    ->ArgNames({"jobs", "sandbox", "record"})
    ->Args({1, 1, 0})
    ->Args({2, 1, 0})
    ->Args({1, 0, 0})
    ->Apply(timedSideBySide);

// The arena writing a replay of every game (--record-games all) against the
// same run writing none: `recorded_over_plain` is the figure to quote.
void BM_RecordingAgainstPlainRun(benchmark::State &state)
{
    const int jobs = int(state.range(0));
    double plain = 0, recorded = 0;
    if (!timeBackToBack(state, arenaRun(jobs, RecordNone), arenaRun(jobs, RecordAll), plain, recorded))
        return;
    state.counters["plain_ms"] = plain * 1e3;
    state.counters["recorded_ms"] = recorded * 1e3;
    state.counters["recorded_over_plain"] = recorded / plain;
}
BENCHMARK(BM_RecordingAgainstPlainRun)->ArgNames({"jobs"})->Arg(1)->Arg(2)->Apply(timedSideBySide);

// Games per second with every core against one: `speed_up` is the figure
// to quote. Beside it, `bare_speed_up`: the bare loop in as many processes
// against one, in the same repetition, which is as much as this machine
// gives (a virtual machine's processors need not run alike, nor at once).
// And what bounds it: with a job per processor the processors can do no
// more than play games back to back, so games per second cannot pass the
// processors over the processor time a game takes; with one job the arena
// overlaps a game's process handling with the play on an idle processor,
// so one job's game takes less time on the clock than in processor time.
// `speed_up_ceiling` is the processors times one job's clock time a game
// over the processor time a game takes with every job: the speed-up that a
// machine with every processor busy all the time would give.
void BM_JobsSpeedUp(benchmark::State &state)
{
    const ControllerFunction reference = referenceOrSkip(state);
    if (!reference)
        return;
    const int jobs = int(state.range(0));
    ProcessorTally oneTally, allTally, bareTally;
#if defined(__unix__)
    const TimedRun bareAlone
        = tallied([reference](QString &error) { return bareLoopInProcesses(reference, 1, error); }, bareTally);
    const TimedRun bareShared
        = [reference, jobs](QString &error) { return bareLoopInProcesses(reference, jobs, error); };
#else
    // Where games are not forked, neither is the bare loop: no figure.
    const TimedRun bareAlone = [](QString &) { return 0.0; };
    const TimedRun bareShared = bareAlone;
#endif
    const TimedRun oneJob = tallied(arenaRun(1, RecordNone), oneTally);
    const TimedRun allJobs = tallied(arenaRun(jobs, RecordNone), allTally);
    double one = 0, all = 0, bareOne = 0, bareAll = 0;
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        QString error;
        if (!sideBySide(oneJob, allJobs, one, all, error)
            || !sideBySide(bareAlone, bareShared, bareOne, bareAll, error)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        state.SetIterationTime(all);
    }
    state.counters["games_per_s_1_job"] = gamesPerRun / one;
    state.counters["games_per_s"] = gamesPerRun / all;
    state.counters["speed_up"] = one / all;
    if (bareAll > 0)
        state.counters["bare_speed_up"] = bareOne / bareAll;
    if (allTally.seconds > 0) {
        const double clockOne = one / gamesPerRun * 1e6;
        const int busy = std::min(jobs, QThread::idealThreadCount());
        state.counters["clock_us_a_game_1_job"] = clockOne;
        state.counters["cpu_us_a_game_1_job"] = oneTally.microsecondsPerGame();
        state.counters["cpu_us_a_game"] = allTally.microsecondsPerGame();
        state.counters["bare_cpu_us_a_game"] = bareTally.microsecondsPerGame();
        state.counters["speed_up_ceiling"] = busy * clockOne / allTally.microsecondsPerGame();
    }
}
BENCHMARK(BM_JobsSpeedUp)->ArgNames({"jobs"})->Arg(2)->Apply(timedSideBySide);

#if defined(__unix__)
// The bare loop's games with the actions each chose, for the judge to play
// again as it plays every game the arena runs.
std::vector<std::vector<uint8_t>> recordedActions;
ControllerFunction recordedFrom = nullptr;
void recordingReference(int &action, size_t agent, size_t agents, size_t resources, const int *r, const int *x,
                        const int *y, const int *vx, const int *vy)
{
    recordedFrom(action, agent, agents, resources, r, x, y, vx, vy);
    recordedActions.back().push_back(uint8_t(action >= 0 && action <= 8 ? action : 9));
}

void recordBareGames(ControllerFunction reference)
{
    recordedFrom = reference;
    recordedActions.clear();
    Ball_engine engine;
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    engine.setController(&recordingReference);
    SeparateGenerators generators;
    for (int g = 0; g < gamesPerRun; ++g) {
        recordedActions.emplace_back();
        generators.startGame(1 + unsigned(g), engine);
        generators.handOverSharedGenerator();
        playSeededGame(engine, 1 + unsigned(g), maxSteps);
    }
}

// The judge's own work: every game of the run played again from its actions.
double judgeSeconds(QString &error)
{
    static Judge judge;
    const auto start = std::chrono::steady_clock::now();
    for (size_t g = 0; g < recordedActions.size(); ++g) {
        const std::vector<uint8_t> &actions = recordedActions[g];
        const GameRow row = judge.judge(1 + unsigned(g), maxSteps, actions.data(), actions.size(), ProcessEnd());
        if (row.failed())
            error = QStringLiteral("the judge failed a game the bare loop played");
    }
    return secondsSince(start);
}

// The machine's fork-and-exit floor, from a process that maps next to
// nothing; 0 when the helper cannot be run.
double forkFloorMicroseconds()
{
    FILE *helper = ::popen(FORK_FLOOR " 2000", "r");
    double us = 0;
    if (helper) {
        if (std::fscanf(helper, "%lf", &us) != 1)
            us = 0;
        ::pclose(helper);
    }
    return us;
}

// Where a game's processor time goes, with one job: the arena's whole run
// (itself, the launcher and every game) against, in the same repetition,
// the bare loop's play, the judge's replay of every game and the machine's
// own fork-and-exit floor. What is left besides play and replay is the
// process cost: fork, confinement, the library's load, the channel, exit,
// and the scheduling.
void BM_ArenaProcessorTime(benchmark::State &state)
{
    const ControllerFunction reference = referenceOrSkip(state);
    if (!reference)
        return;
    recordBareGames(reference);
    ProcessorTally arenaTally, bareTally, judgeTally;
    const TimedRun arena = tallied(arenaRun(1, RecordNone), arenaTally);
    const TimedRun bare = tallied([reference](QString &) { return bareLoopSeconds(reference); }, bareTally);
    const TimedRun replay = tallied(&judgeSeconds, judgeTally);
    double floorUs = 0;
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        QString error;
        double a = 0, b = 0;
        if (!sideBySide(bare, arena, b, a, error) || replay(error) <= 0 || !error.isEmpty()) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        floorUs += forkFloorMicroseconds();
        state.SetIterationTime(a);
    }
    const double arenaUs = arenaTally.microsecondsPerGame(), playUs = bareTally.microsecondsPerGame();
    const double judgeUs = judgeTally.microsecondsPerGame();
    state.counters["arena_cpu_us_a_game"] = arenaUs;
    state.counters["play_cpu_us_a_game"] = playUs;
    state.counters["judge_cpu_us_a_game"] = judgeUs;
    state.counters["process_cpu_us_a_game"] = arenaUs - playUs - judgeUs;
    state.counters["fork_floor_us"] = floorUs / double(state.iterations());
    state.counters["judge_over_play"] = judgeUs / playUs;
}
BENCHMARK(BM_ArenaProcessorTime)->Apply(timedSideBySide);

// The machine's own round trip between two processes through a word of
// shared memory, both kept to one processor and sleeping on a futex, as the
// referee and its seats are: the floor under the referee's exchange.
double futexRoundTripNs(int trips)
{
    cpu_set_t former, one;
    ::sched_getaffinity(0, sizeof former, &former);
    CPU_ZERO(&one);
    CPU_SET(::sched_getcpu(), &one);
    ::sched_setaffinity(0, sizeof one, &one);
    void *memory = ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    auto *words = static_cast<std::atomic<uint32_t> *>(memory);
    new (&words[0]) std::atomic<uint32_t>(0);
    new (&words[1]) std::atomic<uint32_t>(0);
    const auto waitFor = [](std::atomic<uint32_t> &w, uint32_t value) {
        while (w.load(std::memory_order_acquire) != value)
            wake::waitWhile(w, value - 1, 2000000);
    };
    const pid_t child = ::fork();
    if (child == 0) {
        for (uint32_t t = 1; t <= uint32_t(trips); ++t) {
            waitFor(words[0], t);
            words[1].store(t, std::memory_order_release);
            wake::wakeAll(words[1]);
        }
        ::_exit(0);
    }
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t t = 1; t <= uint32_t(trips); ++t) {
        words[0].store(t, std::memory_order_release);
        wake::wakeAll(words[0]);
        waitFor(words[1], t);
    }
    const double seconds = secondsSince(start);
    ::waitpid(child, nullptr, 0);
    ::munmap(memory, 4096);
    ::sched_setaffinity(0, sizeof former, &former);
    return seconds / trips * 1e9;
}

// A match of `controllers` reference controllers: games per second, the
// referee's mean exchange, and beside it the machine's own round trip.
void BM_MatchExchange(benchmark::State &state)
{
    const int controllers = int(state.range(0));
    constexpr int seeds = 50;
    QTemporaryDir logs;
    QVector<ControllerSpec> specs;
    for (int c = 0; c < controllers; ++c)
        specs.append({brainletPath, QStringLiteral("c%1").arg(c), logs.filePath(QStringLiteral("%1.log").arg(c))});
    ArenaSettings settings;
    settings.games = seeds;
    struct Quiet : MatchListener {
        void game(const std::vector<MatchRow> &) override { }
    } quiet;
    double exchangeNs = 0, floorNs = 0, seconds = 0;
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        floorNs = futexRoundTripNs(20000);
        QString error;
        const auto start = std::chrono::steady_clock::now();
        if (!runMatch(specs, settings, quiet, error, &exchangeNs)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        seconds = secondsSince(start);
        state.SetIterationTime(seconds);
    }
    state.counters["exchange_us"] = exchangeNs / 1000;
    state.counters["futex_round_trip_us"] = floorNs / 1000;
    state.counters["exchange_over_floor"] = floorNs > 0 ? exchangeNs / floorNs : 0;
    state.counters["games_per_s"] = seeds * controllers / seconds;
}
BENCHMARK(BM_MatchExchange)->ArgNames({"controllers"})->Arg(2)->Arg(4)->Apply(timedSideBySide);
#endif

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
