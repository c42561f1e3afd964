#include "arena/games/game_process.h"

#include "arena/channel/descriptors.h"
#include "arena/channel/game_channel.h"
#include "arena/channel/wake.h"
#include "arena/controller_output.h"
#include "arena/games/confinement.h"
#include "arena/games/launch.h"
#include "engine/ball_engine.h"
#include "engine/game.h"
#include "engine/separate_generators.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The game this process plays: what the controller call needs.
struct Playing {
    ControllerFunction function = nullptr;
    channel::Header *channel = nullptr;
    uint8_t *actions = nullptr;
    uint32_t capacity = 0;
    uint32_t seed = 0;
    uint32_t calls = 0;
    bool inCall = false;
};
Playing game;

// Behind the step it was printed at: the call under way, or the last one.
void tagOutput()
{
    controlleroutput::tag(game.seed, int(game.calls + (game.inCall ? 1 : 0)));
}

// What the controller printed before it crashed reaches the log, then the
// signal ends the process as it would have.
void onCrash(int signal)
{
    tagOutput();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// The controller ended the process itself: its output still buffered goes
// to the log, and the process ends there with the controller's status. The
// handlers the launcher was born with have no business in a game.
#if defined(__GLIBC__)
void endedByController(int status, void *)
{
    tagOutput();
    ::_exit(status);
}
#else
void endedByController()
{
    tagOutput();
}
#endif

// The controller sees copies of the game's arrays: written through, they
// change what it sees this step and nothing else, so its process plays on
// to the same end as the arena's own play of its actions.
struct Observation {
    int radius[rules::agentsPerGame + rules::agentsPerGame / 2];
    int x[rules::agentsPerGame + rules::agentsPerGame / 2];
    int y[rules::agentsPerGame + rules::agentsPerGame / 2];
    int vx[rules::agentsPerGame];
    int vy[rules::agentsPerGame];
};
Observation seen;

void recordingController(int &action, const size_t agent, const size_t numAgents, const size_t numResources,
                         const int *circleRadius, const int *xCoordinate, const int *yCoordinate, const int *xVelocity,
                         const int *yVelocity)
{
    const size_t circles = numAgents + numResources;
    std::copy_n(circleRadius, circles, seen.radius);
    std::copy_n(xCoordinate, circles, seen.x);
    std::copy_n(yCoordinate, circles, seen.y);
    std::copy_n(xVelocity, numAgents, seen.vx);
    std::copy_n(yVelocity, numAgents, seen.vy);
    game.inCall = true;
    game.function(action, agent, numAgents, numResources, seen.radius, seen.x, seen.y, seen.vx, seen.vy);
    game.inCall = false;
    if (game.calls < game.capacity)
        game.actions[game.calls] = channel::byteOf(action);
    ++game.calls;
    game.channel->actions.store(game.calls, std::memory_order_release);
    if (controlleroutput::pending())
        tagOutput();
}

channel::Header *mapChannel(int fd)
{
    struct stat info {
    };
    void *memory = ::fstat(fd, &info) == 0 && size_t(info.st_size) > sizeof(channel::Header)
        ? ::mmap(nullptr, size_t(info.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
        : MAP_FAILED;
    ::close(fd);
    if (memory == MAP_FAILED)
        ::_exit(0); // the arena counts a game that never played
    auto *header = static_cast<channel::Header *>(memory);
    const size_t room = size_t(info.st_size) - sizeof(channel::Header);
    game.capacity = uint32_t(std::min<size_t>(room, size_t(header->capacity)));
    return header;
}

// Where the library's loading prints, before the process has its game:
// a pipe of its own, read once the game's output is known.
int loadingOutput = -1;
// Why the library could not be loaded, told once there is a channel.
channel::LoadProblem loadProblem = channel::LoadProblem::None;
char loadText[sizeof channel::Header::loadText] = {};

void captureLoading()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        ::_exit(ExitUnconfined);
    controlleroutput::capture(ends[1]);
    ::close(ends[1]);
    loadingOutput = ends[0];
}

void load(const char *path)
{
    void *library = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        loadProblem = channel::LoadProblem::CannotLoad;
        const char *why = ::dlerror();
        std::snprintf(loadText, sizeof loadText, "%s", why ? why : "");
        return;
    }
    game.function = reinterpret_cast<ControllerFunction>(::dlsym(library, "controller"));
    if (!game.function)
        loadProblem = channel::LoadProblem::NoController;
}

// Waits for its game, then keeps nothing of the launcher's; what the
// library printed as it loaded goes to the game's output first.
void takeGame(const GameProcessSetup &setup)
{
    launch::Order order;
    int fds[2] = {-1, -1};
    int count = 2;
    const long got = descriptors::receive(setup.socketFd, &order, sizeof order, fds, count);
    if (got <= 0 || count != 2)
        ::_exit(0); // the launcher is done
    ::close(setup.socketFd);
    game.channel = mapChannel(fds[0]);
    game.actions = channel::actionsOf(game.channel);
    game.seed = game.channel->seed;
    char early[4096];
    ssize_t n;
    while ((n = ::read(loadingOutput, early, sizeof early)) > 0)
        (void)!::write(fds[1], early, size_t(n));
    ::close(loadingOutput);
    ::dup2(fds[1], STDOUT_FILENO);
    ::dup2(fds[1], STDERR_FILENO);
    ::close(fds[1]);
    sandbox::recordRefusalsIn(&game.channel->refused);
}

void reportLoad()
{
    if (loadProblem != channel::LoadProblem::None) {
        game.channel->loadProblem = int32_t(loadProblem);
        std::memcpy(game.channel->loadText, loadText, sizeof loadText);
        game.channel->stage.store(int32_t(channel::Stage::LoadFailed));
        controlleroutput::tag(0, 0, "load");
        ::_exit(0);
    }
    if (game.channel->loadOnly) {
        game.channel->stage.store(int32_t(channel::Stage::Loaded));
        controlleroutput::tag(0, 0, "load");
        ::_exit(0);
    }
    // What the library printed as it loaded, and our buffers again where
    // it changed them (an embedded interpreter may).
    controlleroutput::tag(game.seed, 0);
    controlleroutput::rebuffer();
}

long long mappedBytes(int statm)
{
    char text[64] = {};
    long long pages = 0;
    if (statm >= 0 && ::pread(statm, text, sizeof text - 1, 0) > 0)
        pages = std::atoll(text);
    return pages * ::sysconf(_SC_PAGESIZE);
}

void confineBeforeItsGame(const GameProcessSetup &setup)
{
    if (!setup.confine)
        return;
    const bool ruled = setup.rulesFd < 0 || confinement::restrict(setup.rulesFd);
    if (!ruled || !confinement::dropCapabilities() || !sandbox::enterLoading(setup.limits))
        ::_exit(ExitUnconfined);
}

[[noreturn]] void play(Ball_engine &engine)
{
    SeparateGenerators generators;
    generators.startGame(game.seed, engine);
    // The game is this process's only one: the shared generator is the
    // controller's from now on.
    const bool handedOver = generators.handOverSharedGenerator();
    (void)handedOver; // the launcher runs only where the engine has a stream of its own
    engine.setController(&recordingController);
    game.channel->stage.store(int32_t(channel::Stage::Playing));
    playSeededGame(engine, game.seed, game.channel->maxSteps);
    tagOutput();
    game.channel->stage.store(int32_t(channel::Stage::Done));
    ::_exit(0);
}

// Looks for the referee's next question as long as the referee says (it
// asks again as soon as the step is played), then sleeps.
uint32_t nextQuestion(channel::SeatExchange &seat, uint32_t answered)
{
    const int spins = std::max(0, std::min(seat.spins, 1 << 20));
    for (int spin = 0; spin < spins; ++spin) {
        const uint32_t asked = seat.asked.load(std::memory_order_acquire);
        if (asked != answered)
            return asked;
    }
    uint32_t asked;
    while ((asked = seat.asked.load(std::memory_order_acquire)) == answered)
        wake::waitWhile(seat.asked, answered, 1000000000LL);
    return asked;
}

// A seat at a referee's game: no engine here, only the question the
// referee asks each step and the controller's answer. The controller sees
// a copy of what the referee sent, and its own generator as in any game.
[[noreturn]] void sit(Ball_engine &engine)
{
    SeparateGenerators generators;
    generators.startGame(game.seed, engine);
    (void)generators.handOverSharedGenerator();
    channel::SeatExchange &seat = game.channel->seat;
    game.channel->stage.store(int32_t(channel::Stage::Playing));
    uint32_t answered = 0;
    for (;;) {
        const uint32_t asked = nextQuestion(seat, answered);
        if (seat.quit)
            break;
        const size_t agents = size_t(std::min(std::max(seat.numAgents, 0), int(rules::agentsPerGame)));
        const size_t resources = size_t(std::min(std::max(seat.numResources, 0), int(rules::agentsPerGame / 2)));
        std::copy_n(seat.radius, agents + resources, seen.radius);
        std::copy_n(seat.x, agents + resources, seen.x);
        std::copy_n(seat.y, agents + resources, seen.y);
        std::copy_n(seat.vx, agents, seen.vx);
        std::copy_n(seat.vy, agents, seen.vy);
        int action = 0;
        game.inCall = true;
        game.function(action, size_t(std::max(seat.agent, 0)), agents, resources, seen.radius, seen.x, seen.y, seen.vx,
                      seen.vy);
        game.inCall = false;
        ++game.calls;
        if (controlleroutput::pending())
            tagOutput();
        seat.action = action;
        answered = asked;
        seat.answered.store(asked, std::memory_order_release);
        wake::wakeAll(seat.answered);
    }
    tagOutput();
    game.channel->stage.store(int32_t(channel::Stage::Done));
    ::_exit(0);
}

} // namespace

void runGameProcess(const GameProcessSetup &setup)
{
    // Read before the rules shut /proc away; read again once loaded.
    const int statm = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    descriptors::closeAllBut({setup.socketFd, setup.rulesFd, statm});
    for (int sig : {SIGCHLD, SIGPIPE})
        ::signal(sig, SIG_DFL);
    // No game outlives its launcher, namespaces or not.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    confineBeforeItsGame(setup);
    if (setup.rulesFd >= 0)
        ::close(setup.rulesFd);
    captureLoading();
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        ::signal(sig, &onCrash);
#if defined(__GLIBC__)
    ::on_exit(&endedByController, nullptr);
#else
    std::atexit(&endedByController);
#endif
    // Loaded ahead of its game, confined: the constructors can reach
    // nothing but this process and its own game's order, when it comes.
    load(setup.libraryPath);
    takeGame(setup);
    reportLoad();
    if (setup.confine && !sandbox::enterGame(setup.limits, mappedBytes(statm)))
        ::_exit(ExitUnconfined);
    if (statm >= 0)
        ::close(statm);
    if (game.channel->seated)
        sit(*setup.engine);
    play(*setup.engine);
}
