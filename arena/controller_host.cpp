#include "controller_host.h"

#include "ball_engine.h"
#include "game.h"

#include <algorithm>

GameRow describeGame(const Ball_engine &engine, uint32_t seed, const GameResult &result)
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

#ifdef PELLORIA_ISOLATION

#include "call_clock.h"
#include "controller_output.h"
#include "pipe_io.h"
#include "game.h"
#include "recorder.h"
#include "separate_generators.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void send(int fd, const HostMessage &message)
{
    if (!writeAll(fd, &message, sizeof message))
        ::_exit(4); // the arena is gone
}

// One game, in its own process: everything the controller call needs.
struct Game {
    ControllerFunction function = nullptr;
    const Ball_engine *engine = nullptr;
    ReplayRecorder *recorder = nullptr;
    GameRow facts; // what befell agent 0, for the row
    GameWatch *watch = nullptr;
    SeparateGenerators *generators = nullptr;
    bool switchGenerators = true; // around every call, where the engine shares the generator
    int messageFd = -1;
    int slotWriteFd = -1;
    int32_t slot = -1;
    uint32_t seed = 0;
    uint64_t ticket = 0;
    uint64_t edges = 0;
    uint64_t totalTicks = 0;
    uint64_t worstTicks = 0;
    uint64_t limitTicks = 0;
    int32_t limitMs = 0;
    bool stepAside = false; // once over, see stepAside()
};
Game game;

CallTiming timing()
{
    const double nsPerTick = callclock::nanosecondsPerTick();
    CallTiming t;
    t.calls = (long long)(game.edges / 2);
    t.totalNs = double(game.totalTicks) * nsPerTick;
    t.worstNs = double(game.worstTicks) * nsPerTick;
    return t;
}

// Counts what agent 0 loses and how it dies; every game has these facts in
// its row, recorded or not.
void agent0Changed(void *, const RadiusChange &change)
{
    GameRow &f = game.facts;
    if (change.cause == RadiusChange::Wall)
        f.wallLoss -= change.delta;
    else if (change.cause == RadiusChange::Contest && change.delta < 0)
        f.contestLoss -= change.delta;
    if (f.deathStep == 0 && game.engine->getCircleRadius()[0] <= 0) {
        f.deathStep = int32_t(game.edges / 2);
        f.deathCause = int32_t(change.cause);
        f.deathOther = change.other;
    }
    if (game.recorder)
        ReplayRecorder::changed(game.recorder, change);
}

GameRow withFacts(GameRow row)
{
    row.deathStep = game.facts.deathStep;
    row.deathCause = game.facts.deathCause;
    row.deathOther = game.facts.deathOther;
    row.wallLoss = game.facts.wallLoss;
    row.contestLoss = game.facts.contestLoss;
    return row;
}

// A finished game still has its exit to make (its address space torn
// down). At the lowest priority before it hands its slot over, the next
// game, woken by the slot, is put on this processor (one running only such
// a process counts as idle) and starts at once, and the exit waits for an
// idle processor instead of holding up the game. At --jobs 1 on two cores
// that took the arena's own time per game down by about 40%. With a game
// on every processor there is none idle to take the exits, and the
// replacements of the games' processes then wait for them: there the exit
// is made at once.
void stepAside()
{
    if (game.stepAside)
        sandbox::lowerOwnPriority();
}

// With a game on every processor, each slot's games keep to a processor of
// their own. Left to the scheduler, a game woken for a slot was often queued
// behind another game while a processor went idle (one that idles briefly
// and often does not look for work elsewhere): 8.7% of two processors' time
// in a trace, against 2.0% so.
#if defined(__linux__)
int slotProcessor[CPU_SETSIZE];
#endif
bool pinGames = false;

// How many processors the host may use; where they are exactly one a slot,
// each slot is given one of them, and games keep to it.
int planProcessors(int slots)
{
#if defined(__linux__)
    cpu_set_t usable;
    if (::sched_getaffinity(0, sizeof usable, &usable) == 0) {
        const int count = CPU_COUNT(&usable);
        if (count == slots && slots >= 2) {
            int s = 0;
            for (int cpu = 0; cpu < CPU_SETSIZE && s < slots; ++cpu)
                if (CPU_ISSET(cpu, &usable))
                    slotProcessor[s++] = cpu;
            pinGames = s == slots;
        }
        return count;
    }
#endif
    return int(::sysconf(_SC_NPROCESSORS_ONLN));
}

// Before the sandbox, which refuses the call: a game cannot move itself.
// A processor taken away since the plan only leaves the game free.
void keepToSlotProcessor(int32_t slot)
{
#if defined(__linux__)
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(slotProcessor[slot], &one);
    (void)::sched_setaffinity(0, sizeof one, &one);
#else
    (void)slot;
#endif
}

void sendGame(const GameRow &row, const ReplayFacts &replay = ReplayFacts())
{
    controlleroutput::tag(game.seed, int(game.edges / 2));
    HostMessage message;
    message.replay = replay;
    message.type = HostMessageType::GameDone;
    message.slot = game.slot;
    message.seed = game.seed;
    message.ticket = game.ticket;
    message.row = withFacts(row);
    message.timing = timing();
    // The slot goes back the moment the game is over, so that the next game
    // starts at once; with a replay in the slot's buffer, the arena gives it
    // back once it has the replay.
    message.slotToArena = replay.bytes > 0 ? 1 : 0;
    game.watch->release();
    // The watch may be the next game's from here on: nothing this process
    // does now may be said there.
    sandbox::recordRefusalsIn(nullptr);
    send(game.messageFd, message);
    stepAside();
    if (!message.slotToArena)
        writeAll(game.slotWriteFd, &game.slot, sizeof game.slot);
}

// The controller ended the process itself: its output still buffered goes
// to the log, and the process ends there with the controller's status. The
// handlers the arena's process was born with (leak checks, toolkit
// clean-ups) have no business in a game, and would break its sandbox.
#if defined(__GLIBC__)
void endedByController(int status, void *)
{
    controlleroutput::tag(game.seed, int((game.edges + 1) / 2));
    ::_exit(status);
}
#else
void endedByController()
{
    controlleroutput::tag(game.seed, int((game.edges + 1) / 2));
}
#endif

void timedController(int &action, const size_t agent, const size_t numAgents, const size_t numResources,
                     const int *circleRadius, const int *xCoordinate, const int *yCoordinate,
                     const int *xVelocity, const int *yVelocity)
{
    game.watch->callEdges.store(++game.edges, std::memory_order_relaxed);
    if (game.switchGenerators)
        game.generators->enterController();
    const uint64_t start = callclock::ticks();
    game.function(action, agent, numAgents, numResources, circleRadius, xCoordinate, yCoordinate, xVelocity,
                  yVelocity);
    const uint64_t spent = callclock::ticks() - start;
    if (game.switchGenerators)
        game.generators->leaveController();
    game.watch->callEdges.store(++game.edges, std::memory_order_relaxed);
    game.totalTicks += spent;
    game.worstTicks = std::max(game.worstTicks, spent);
    if (controlleroutput::pending())
        controlleroutput::tag(game.seed, int(game.edges / 2));
    if (spent > game.limitTicks) {
        // A call that came back late still loses the game, here and now.
        GameRow row;
        row.seed = game.seed;
        row.failure = FailureKind::TimeLimit;
        row.failureCode = game.limitMs;
        row.steps = int(game.edges / 2);
        sendGame(row);
        ::_exit(0);
    }
}

// Constructed in the game's process, which then owns the generators' state.
SeparateGenerators &gameGenerators()
{
    static SeparateGenerators generators;
    return generators;
}

// Where a recorded game's frames go; made by every spare before it waits
// (see rehearse), so that its room is the spare's own before its game.
FrameWriter &gameFrames()
{
    static FrameWriter frames;
    return frames;
}

// A few steps played with a stand-in for the controller before a spare
// waits for its seed: the pages a game writes (the engine's, the
// generators', the stack's) become this process's own now, instead of being
// copied from the host one fault at a time once its game has started. The
// game then starts afresh from its seed, as every seeded game does.
constexpr int rehearsalSteps = 4;

void standIn(int &action, size_t, size_t, size_t, const int *, const int *, const int *, const int *, const int *)
{
    action = 0;
}

// The end of a game, as far as it can be gone through without one: the
// message's room on the stack, and the code that words it.
__attribute__((noinline)) void rehearseTheEnd()
{
    HostMessage message;
    message.row = withFacts(describeGame(*game.engine, 0, GameResult()));
    message.timing = timing();
    controlleroutput::discard();
    controlleroutput::tag(0, 0); // nothing to tag: the words only
    asm volatile("" : : "r"(&message) : "memory");
}

void rehearse(const HostSetup &setup, Ball_engine &engine)
{
    if (setup.replayBytes > 0)
        gameFrames();
    gameGenerators().startGame(0, engine);
    engine.setController(&standIn);
    playSeededGame(engine, 0, rehearsalSteps);
    game.engine = &engine;
    rehearseTheEnd();
    // The watches are shared memory, which a fork leaves unmapped until
    // touched: read here, they are mapped before the game writes its own.
    for (int32_t s = 0; s < setup.slots; ++s)
        (void)setup.watches[s].pid.load(std::memory_order_relaxed);

    // A crash must end the game's process plainly, so that the host sees the
    // signal; handlers inherited from the host would hide it.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGCHLD, SIGPIPE})
        ::signal(sig, SIG_DFL);
#if defined(__GLIBC__)
    ::on_exit(&endedByController, nullptr);
#else
    std::atexit(&endedByController);
#endif
}

[[noreturn]] void gameMain(const HostSetup &setup, Ball_engine &engine, ControllerFunction function,
                           const HostRequest &request, int32_t slot)
{
    // Nothing the controller does can take other games' requests or slots.
    ::close(setup.requestFd);
    ::close(setup.slotReadFd);
    controlleroutput::discard();

    GameWatch &watch = setup.watches[slot];

    SeparateGenerators &generators = gameGenerators();
    generators.startGame(request.seed, engine);
    // The game is this process's only one: the shared generator is the
    // controller's from now on.
    game.switchGenerators = !generators.handOverSharedGenerator();
    game.function = function;
    game.watch = &watch;
    game.generators = &generators;
    game.messageFd = setup.messageFd;
    game.slot = slot;
    game.slotWriteFd = setup.slotWriteFd;
    game.seed = request.seed;
    game.ticket = request.ticket;
    game.limitTicks = uint64_t(setup.timeLimitNs / callclock::nanosecondsPerTick());
    game.limitMs = int32_t(setup.timeLimitNs / 1e6);

    engine.setController(&timedController);
    game.engine = &engine;
    engine.setRadiusListener(&agent0Changed, nullptr);
    if (request.record == RecordNone) {
        const GameResult result = playSeededGame(engine, request.seed, setup.maxSteps);
        sendGame(describeGame(engine, request.seed, result));
        ::_exit(0);
    }

    // Recorded: the whole game, or for a failed one its steps before the
    // failure, which this second run never reaches.
    // Static: the process ends in this function, and the game's hooks keep
    // pointing at it until then.
    FrameWriter &frames = gameFrames();
    static ReplayRecorder recorder(engine, false, &frames);
    game.recorder = &recorder;
    const int steps = request.failedAt > 0 ? request.failedAt - 1 : setup.maxSteps;
    const GameResult result = playSeededGame(engine, request.seed, steps, &ReplayRecorder::observe, &recorder);
    recorder.finish(result);
    GameRow row = describeGame(engine, request.seed, result);
    row.failure = FailureKind(request.failure);
    const bool chosen = request.failedAt > 0 || request.record == RecordAll
        || (request.record == RecordLost && !row.agent0Survived());
    ReplayFacts replay;
    if (chosen && frames.size() <= setup.replayBytes) {
        // The frames only: the arena heads them with the replay's header and
        // packs them, keeping its packer's state from game to game, while
        // the next game plays.
        char *room = setup.replays + size_t(slot) * setup.replayBytes;
        std::copy(frames.data(), frames.data() + frames.size(), room);
        replay.bytes = int64_t(frames.size());
        replay.steps = result.steps;
        replay.failedAtStep = request.failedAt;
        std::snprintf(replay.outcome, sizeof replay.outcome, "%s",
                      request.failedAt > 0 ? gameEndName(row) : gameOutcomeName(result.outcome));
    }
    sendGame(row, replay);
    ::_exit(0);
}

// Children that ended are reported from the SIGCHLD handler's wake-up.
int childPipe[2] = {-1, -1};

void onChild(int)
{
    const int saved = errno;
    const char byte = 1;
    (void)!::write(childPipe[1], &byte, 1);
    errno = saved;
}

// Games' processes are forked ahead of time and wait, all reading the
// arena's request pipe, so a game starts the moment the arena asks for it:
// the fork happens while earlier games play. A spare that takes a request
// notes so in this pipe, which the host reads when a game's process ends.
// The host does not watch the pipe: waking it there would put its fork on
// the game's own CPU just as the game starts (pipe wake-ups pull the reader
// to the writer's CPU) and cost the game a fork's time. Instead the host
// keeps one spare more than the arena asks for games ahead, and replaces
// the spares taken whenever it is woken by a game's end.
struct Taken {
    pid_t pid;
    HostRequest request;
};
int takenPipe[2] = {-1, -1};
int keeperPipe = -1;
constexpr int maxSpares = 128;

// Waits for a free slot and claims it. A slot number that is out of range
// or already held (which only a game's own code could have written) is
// passed over.
int32_t takeSlot(const HostSetup &setup, int32_t self)
{
    for (;;) {
        int32_t slot = -1;
        if (!readAll(setup.slotReadFd, &slot, sizeof slot))
            return -1;
        if (slot < 0 || slot >= setup.slots)
            continue;
        int32_t free = 0;
        if (setup.watches[slot].owner.compare_exchange_strong(free, self))
            return slot;
    }
}

// A game's process that ended still holding its slot (it crashed, ran out
// of time or was ended by its controller) has it given back here, with
// what its watch says about how far it got.
void giveBackSlot(const HostSetup &setup, int32_t pid, HostMessage &ended)
{
    for (int32_t s = 0; s < setup.slots; ++s) {
        GameWatch &watch = setup.watches[s];
        if (watch.owner.load() != pid)
            continue;
        ended.slot = s;
        ended.step = watch.step();
        ended.refused = watch.refused.load();
        watch.release();
        writeAll(setup.slotWriteFd, &s, sizeof s);
        return;
    }
}

pid_t forkSpare(const HostSetup &setup, Ball_engine &engine, ControllerFunction function, bool confine)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(childPipe[0]);
        ::close(childPipe[1]);
        ::close(takenPipe[0]);
        if (keeperPipe >= 0)
            ::close(keeperPipe);
        rehearse(setup, engine);
        // Confined before it even learns its seed: nothing of the
        // controller's runs in this process outside the sandbox. A game
        // kept to its slot's processor is confined once it has its slot,
        // and keeps to the processor first; loading the sandbox then costs
        // the game's start a few microseconds, but no processor time that
        // another game could have had, since every processor has a game.
        static std::atomic<int32_t> refusedBeforeItsSlot{sandbox::nothingRefused};
        bool confined = confine && !pinGames && sandbox::enter(setup.limits, &refusedBeforeItsSlot);
        HostRequest request;
        if (!readAll(setup.requestFd, &request, sizeof request) || request.quit)
            ::_exit(0); // the arena is done
        const int32_t self = int32_t(::getpid());
        const Taken taken{self, request};
        if (!writeAll(takenPipe[1], &taken, sizeof taken))
            ::_exit(0);
        ::close(takenPipe[1]);
        const int32_t slot = takeSlot(setup, self);
        if (slot < 0)
            ::_exit(0); // the arena is done
        if (pinGames) {
            keepToSlotProcessor(slot);
            confined = confine && sandbox::enter(setup.limits, &refusedBeforeItsSlot);
        }
        GameWatch &watch = setup.watches[slot];
        watch.callEdges.store(0);
        watch.refused.store(sandbox::nothingRefused);
        watch.ticket.store(request.ticket);
        watch.pid.store(self);
        sandbox::recordRefusalsIn(&watch.refused);
        if (confine && !confined) {
            watch.refused.store(sandbox::setupFailed);
            ::_exit(0); // never play unconfined when confined was asked for
        }
        gameMain(setup, engine, function, request, slot);
    }
    return pid;
}

// A confined process that does nothing but outlive the games. The kernel
// keeps the executable memory its compiled filters live in only while some
// filter holds it: without one that outlives the games, it was released
// and taken anew for game after game, and taking it stops every CPU for a
// flush of its address translations, the running games' included. The
// keeper ends when the host does: its pipe's other end closes.
void keepFiltersCompiled(const HostSetup &setup)
{
    int ends[2];
    if (::pipe(ends) != 0)
        return;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ends[1]);
        ::close(setup.requestFd);
        ::close(setup.messageFd);
        ::close(setup.slotReadFd);
        ::close(setup.slotWriteFd);
        static std::atomic<int32_t> refused{sandbox::nothingRefused};
        char byte;
        if (sandbox::enter(setup.limits, &refused))
            while (::read(ends[0], &byte, 1) < 0 && errno == EINTR) {
            }
        ::_exit(0);
    }
    ::close(ends[0]);
    // Left open until the host ends; forked games and spares close it.
    keeperPipe = pid > 0 ? ends[1] : -1;
    if (pid < 0)
        ::close(ends[1]);
}

// Loads the library, every symbol bound now rather than lazily in each
// game's process, and finds `controller`; null, with `failed` saying why,
// when it cannot. The library stays loaded for the rest of the process.
ControllerFunction openController(const char *path, HostMessage &failed)
{
    failed.type = HostMessageType::LoadFailed;
    if (::access(path, F_OK) != 0) {
        failed.problem = LoadProblem::NoSuchFile;
        return nullptr;
    }
    void *library = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char *why = ::dlerror();
        failed.problem = LoadProblem::CannotLoad;
        std::snprintf(failed.text, sizeof failed.text, "%s", why ? why : "unknown error");
        return nullptr;
    }
    auto function = reinterpret_cast<ControllerFunction>(::dlsym(library, "controller"));
    // Why it lacks one is worked out by the arena from the file itself.
    failed.problem = LoadProblem::NoController;
    return function;
}

} // namespace

void tellHostFailed(int messageFd, const char *text)
{
    HostMessage failed;
    failed.type = HostMessageType::LoadFailed;
    failed.problem = LoadProblem::HostFailed;
    std::snprintf(failed.text, sizeof failed.text, "%s", text);
    (void)writeAll(messageFd, &failed, sizeof failed);
}

void hostMain(const HostSetup &setup)
{
    // Even what the library prints while it loads belongs in its log.
    controlleroutput::capture(setup.logFd);
    ::close(setup.logFd);
    ::signal(SIGPIPE, SIG_IGN);

    HostMessage hello;
    const ControllerFunction function = openController(setup.libraryPath, hello);
    controlleroutput::tag(0, 0, "load");
    controlleroutput::rebuffer();
    if (!function) {
        send(setup.messageFd, hello);
        ::_exit(0);
    }
    hello.type = HostMessageType::Loaded;
    // Tried once here, so that a system without it is said once, up front.
    std::string noSandbox;
    const bool confine = setup.sandbox && sandbox::available(noSandbox, setup.limits);
    if (setup.sandbox && !confine)
        std::snprintf(hello.text, sizeof hello.text, "%s", noSandbox.c_str());
    send(setup.messageFd, hello);
    if (confine)
        keepFiltersCompiled(setup);

    // Asked here, where the sandbox allows it: every game inherits it. A
    // confined game steps aside only where the sandbox was found to let it:
    // refused, it would end without handing over its slot.
    const int processors = planProcessors(setup.slots);
    game.stepAside = processors > setup.slots && (!confine || sandbox::confinedMayLowerPriority());
    // Laid out once here; every game's process inherits it ready.
    static Ball_engine engine;
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);

    if (::pipe(childPipe) != 0 || ::pipe(takenPipe) != 0)
        ::_exit(5);
    ::fcntl(takenPipe[0], F_SETFL, O_NONBLOCK);
    struct sigaction action = {};
    action.sa_handler = &onChild;
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    ::sigaction(SIGCHLD, &action, nullptr);

    struct Running {
        pid_t pid;
        HostRequest request;
    };
    // The arena never has more games running than it has slots.
    constexpr int maxRunning = 1024;
    static Running running[maxRunning];
    int runningCount = 0;
    static pid_t spares[maxSpares];
    int spareCount = 0;
    const int wantedSpares = std::max(1, std::min(setup.spares + 1, maxSpares));

    auto endedMessage = [](const HostRequest &request, int status) {
        HostMessage ended;
        ended.type = HostMessageType::ProcessEnded;
        ended.seed = request.seed;
        ended.ticket = request.ticket;
        ended.waitStatus = status;
        return ended;
    };

    for (;;) {
        while (spareCount < wantedSpares && runningCount + spareCount < maxRunning) {
            const pid_t pid = forkSpare(setup, engine, function, confine);
            if (pid < 0)
                break;
            spares[spareCount++] = pid;
        }
        // With no spare to read them, requests are answered here: the game
        // cannot be started.
        pollfd fds[2] = {{setup.requestFd, short(spareCount == 0 ? POLLIN : 0), 0}, {childPipe[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        // A spare says it took a game before the game can end.
        auto readTaken = [&]() {
            Taken taken;
            while (::read(takenPipe[0], &taken, sizeof taken) == ssize_t(sizeof taken)) {
                for (int i = 0; i < spareCount; ++i) {
                    if (spares[i] == taken.pid) {
                        spares[i] = spares[--spareCount];
                        break;
                    }
                }
                if (runningCount < maxRunning)
                    running[runningCount++] = {taken.pid, taken.request};
            }
        };
        auto reportEnded = [&](pid_t pid, int status) {
            for (int i = 0; i < runningCount; ++i) {
                if (running[i].pid == pid) {
                    HostMessage ended = endedMessage(running[i].request, status);
                    giveBackSlot(setup, int32_t(pid), ended);
                    send(setup.messageFd, ended);
                    running[i] = running[--runningCount];
                    return true;
                }
            }
            return false;
        };
        readTaken();
        if (fds[1].revents & POLLIN) {
            char drain[64];
            (void)!::read(childPipe[0], drain, sizeof drain);
            int status = 0;
            pid_t pid;
            while ((pid = ::waitpid(-1, &status, WNOHANG)) > 0) {
                if (reportEnded(pid, status))
                    continue;
                // A spare may have taken a game, played it and ended since
                // the last look at the pipe: it wrote so before it ended.
                readTaken();
                if (reportEnded(pid, status))
                    continue;
                for (int i = 0; i < spareCount; ++i) {
                    if (spares[i] == pid) {
                        spares[i] = spares[--spareCount];
                        break;
                    }
                }
            }
        }
        if (fds[0].revents & POLLIN) {
            HostRequest request;
            if (!readAll(setup.requestFd, &request, sizeof request) || request.quit)
                break;
            send(setup.messageFd, endedMessage(request, -1));
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            break; // the arena closed its end: it is done, or gone
        }
    }
    // No game outlives the arena.
    for (int i = 0; i < runningCount; ++i)
        ::kill(running[i].pid, SIGKILL);
    for (int i = 0; i < spareCount; ++i)
        ::kill(spares[i], SIGKILL);
    if (keeperPipe >= 0)
        ::close(keeperPipe);
    while (::waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
    }
    ::_exit(0);
}

#endif
