#include "runner.h"

#include "ball_engine.h"
#include "call_clock.h"
#include "game.h"

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <type_traits>

#if defined(Q_OS_UNIX)
#  include <cerrno>
#  include <csignal>
#  include <poll.h>
#  include <sys/mman.h>
#  include <sys/wait.h>
#  include <unistd.h>
#  define PELLORIA_ISOLATION 1
#endif

namespace {

// Where the games stand, shared with the parent so that it can say where a
// child died and notice a call that does not return.
// Agent 0's controller is called once per step, so the calls tell the step
// without any extra bookkeeping in the game loop.
struct Shared {
    std::atomic<uint32_t> seed{0};
    std::atomic<uint64_t> gameStartEdges{0};
    std::atomic<uint64_t> callEdges{0}; // odd while inside a controller call

    int step() const
    {
        const uint64_t inGame = callEdges.load(std::memory_order_relaxed)
            - gameStartEdges.load(std::memory_order_relaxed);
        return int((inGame + 1) / 2);
    }
};

enum RecordType : int32_t { GameRecordType = 1, TimeLimitRecordType = 2 };

// One fixed-size message from child to parent; smaller than PIPE_BUF, so
// each write arrives whole. The game row travels as it is: both ends are the
// same program.
struct Record {
    int32_t type = 0;
    GameRow row;   // a finished game; for a time-limit record, its seed only
    int32_t step = 0; // where a call went over the limit
    int64_t calls = 0;
    double totalNs = 0;
    double worstNs = 0;
};
static_assert(std::is_trivially_copyable<Record>::value, "records are copied through a pipe");

struct CallState {
    ControllerFunction function = nullptr;
    Shared *shared = nullptr;
    uint64_t edges = 0;
    uint64_t calls = 0;
    uint64_t totalTicks = 0;
    uint64_t worstTicks = 0;
    uint64_t limitTicks = 0;
    uint64_t overLimitTicks = 0; // the first call over the limit, 0 if none
    int overLimitStep = 0;
};

// The controller runs through this trampoline; one per process is enough
// since each run plays one controller at a time.
CallState callState;

void timedController(int &action, const size_t agent, const size_t numAgents, const size_t numResources,
                     const int *circleRadius, const int *xCoordinate, const int *yCoordinate,
                     const int *xVelocity, const int *yVelocity)
{
    CallState &s = callState;
    s.shared->callEdges.store(++s.edges, std::memory_order_relaxed);
    const uint64_t start = callclock::ticks();
    s.function(action, agent, numAgents, numResources, circleRadius, xCoordinate, yCoordinate, xVelocity,
               yVelocity);
    const uint64_t spent = callclock::ticks() - start;
    s.shared->callEdges.store(++s.edges, std::memory_order_relaxed);
    ++s.calls;
    s.totalTicks += spent;
    s.worstTicks = std::max(s.worstTicks, spent);
    if (spent > s.limitTicks && s.overLimitTicks == 0) {
        s.overLimitTicks = spent;
        s.overLimitStep = s.shared->step();
    }
}

GameRow describeGame(const Ball_engine &engine, unsigned int seed, const GameResult &result)
{
    GameRow row;
    row.seed = seed;
    row.outcome = result.outcome;
    row.steps = result.steps;
    const int *r = engine.getCircleRadius();
    row.agent0Radius = std::max(0, r[0]);
    row.agent0Rank = 1;
    for (size_t i = 1; i < engine.getNumAgents(); ++i) {
        if (r[i] > row.agent0Radius)
            ++row.agent0Rank;
        if (r[i] > 0)
            ++row.opponentsAlive;
    }
    return row;
}

// Plays every game, handing each finished game's record to `deliver`. Returns
// false when a call went over the time limit; `deliver` has then had a
// TimeLimitRecordType record.
template <typename Deliver>
bool playGames(const LoadedController &controller, const ArenaSettings &settings, Shared &shared,
               Deliver deliver)
{
    const double nsPerTick = callclock::nanosecondsPerTick();
    callState = CallState();
    callState.function = controller.function;
    callState.shared = &shared;
    callState.limitTicks = uint64_t(double(settings.timeLimitMs) * 1e6 / nsPerTick);

    Ball_engine engine;
    engine.setup(arenaAgents, arenaScale);
    engine.setController(&timedController);
    for (int g = 0; g < settings.games; ++g) {
        const unsigned int seed = settings.firstSeed + unsigned(g);
        shared.seed.store(seed, std::memory_order_relaxed);
        shared.gameStartEdges.store(callState.edges, std::memory_order_relaxed);
        const GameResult result = playSeededGame(engine, seed, settings.maxSteps);
        Record record;
        record.calls = int64_t(callState.calls);
        record.totalNs = double(callState.totalTicks) * nsPerTick;
        record.worstNs = double(callState.worstTicks) * nsPerTick;
        if (callState.overLimitTicks != 0) {
            record.type = TimeLimitRecordType;
            record.row.seed = seed;
            record.step = callState.overLimitStep;
            record.worstNs = double(callState.overLimitTicks) * nsPerTick;
            deliver(record);
            return false;
        }
        record.type = GameRecordType;
        record.row = describeGame(engine, seed, result);
        deliver(record);
    }
    return true;
}

// Folds one record into the run; returns false once the run has failed.
bool absorb(ControllerRun &run, const Record &record, int timeLimitMs)
{
    run.calls = record.calls;
    run.totalCallNs = record.totalNs;
    run.worstCallNs = std::max(run.worstCallNs, record.worstNs);
    if (record.type == TimeLimitRecordType) {
        run.failure.kind = FailureKind::TimeLimit;
        run.failure.seed = record.row.seed;
        run.failure.step = record.step;
        run.failure.detail = QStringLiteral("a call took %1 ms, over the limit of %2 ms")
                                 .arg(record.worstNs / 1e6, 0, 'f', 1)
                                 .arg(timeLimitMs);
        return false;
    }
    run.games.append(record.row);
    return true;
}

ControllerRun runInProcess(const LoadedController &controller, const ArenaSettings &settings,
                           const std::function<void(int)> &progress)
{
    ControllerRun run;
    run.label = controller.label;
    Shared shared;
    playGames(controller, settings, shared, [&](const Record &record) {
        if (absorb(run, record, settings.timeLimitMs) && progress)
            progress(run.games.size());
    });
    return run;
}

#ifdef PELLORIA_ISOLATION

bool writeAll(int fd, const void *data, size_t size)
{
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

constexpr int watchIntervalMs = 5;

ControllerRun runIsolated(const LoadedController &controller, const ArenaSettings &settings,
                          const std::function<void(int)> &progress)
{
    ControllerRun run;
    run.label = controller.label;
    callclock::nanosecondsPerTick(); // calibrate once, before the child copies it

    void *memory = ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    int fds[2];
    if (memory == MAP_FAILED || ::pipe(fds) != 0) {
        if (memory != MAP_FAILED)
            ::munmap(memory, sizeof(Shared));
        run.failure = {FailureKind::Lost, settings.firstSeed, 0, QStringLiteral("cannot set up a child process")};
        return run;
    }
    Shared *shared = new (memory) Shared;

    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        // A crash must end the child plainly, so that the parent sees the
        // signal; handlers inherited from the host program would hide it.
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
            ::signal(sig, SIG_DFL);
        const bool finished = playGames(controller, settings, *shared, [&](const Record &record) {
            if (!writeAll(fds[1], &record, sizeof record))
                ::_exit(4);
        });
        ::_exit(finished ? 0 : 3);
    }
    ::close(fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        ::munmap(memory, sizeof(Shared));
        run.failure = {FailureKind::Lost, settings.firstSeed, 0, QStringLiteral("cannot start a child process")};
        return run;
    }

    using clock = std::chrono::steady_clock;
    const auto limit = std::chrono::milliseconds(settings.timeLimitMs);
    uint64_t watchedEdges = 0;
    clock::time_point watchedSince;
    bool killedForTime = false;
    Record record;
    size_t filled = 0;
    for (;;) {
        pollfd pfd{fds[0], POLLIN, 0};
        const int ready = ::poll(&pfd, 1, watchIntervalMs);
        if (ready > 0) {
            const ssize_t n = ::read(fds[0], reinterpret_cast<char *>(&record) + filled, sizeof record - filled);
            if (n == 0)
                break;
            if (n < 0 && errno != EINTR)
                break;
            if (n > 0) {
                filled += size_t(n);
                if (filled == sizeof record) {
                    filled = 0;
                    if (absorb(run, record, settings.timeLimitMs) && progress)
                        progress(run.games.size());
                }
            }
        }
        // A call that never returns is stopped from here.
        const uint64_t edges = shared->callEdges.load(std::memory_order_relaxed);
        if (!killedForTime && (edges & 1u) != 0) {
            if (edges != watchedEdges) {
                watchedEdges = edges;
                watchedSince = clock::now();
            } else if (clock::now() - watchedSince > limit) {
                ::kill(child, SIGKILL);
                killedForTime = true;
                run.failure.kind = FailureKind::TimeLimit;
                run.failure.seed = shared->seed.load();
                run.failure.step = shared->step();
                run.failure.detail = QStringLiteral("a call did not return within %1 ms").arg(settings.timeLimitMs);
            }
        }
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (run.failure.kind == FailureKind::None) {
        if (WIFSIGNALED(status)) {
            run.failure.kind = FailureKind::Crashed;
            run.failure.seed = shared->seed.load();
            run.failure.step = shared->step();
            run.failure.detail = QStringLiteral("killed by signal %1 (%2)")
                                     .arg(WTERMSIG(status))
                                     .arg(QString::fromLocal8Bit(strsignal(WTERMSIG(status))));
        } else if (run.games.size() < settings.games) {
            run.failure.kind = FailureKind::Lost;
            run.failure.seed = shared->seed.load();
            run.failure.step = shared->step();
            run.failure.detail = QStringLiteral("the child process ended early with exit code %1")
                                     .arg(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        }
    }
    ::munmap(memory, sizeof(Shared));
    return run;
}

#endif

} // namespace

ControllerRun runController(const LoadedController &controller, const ArenaSettings &settings,
                            const std::function<void(int)> &progress)
{
#ifdef PELLORIA_ISOLATION
    if (settings.isolate)
        return runIsolated(controller, settings, progress);
#endif
    return runInProcess(controller, settings, progress);
}
