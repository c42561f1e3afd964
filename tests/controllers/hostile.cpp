// Controllers that misbehave: crash, take too long, write nonsense, read
// every entry they are given, draw heavily on or reseed the generator, keep
// state, print, or end the process.
#include "brainlet.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#if defined(USES_CXX_RUNTIME)
#  include <sstream>
#  include <stdexcept>
#  include <string>
#  include <vector>
#endif

#if defined(__unix__)
#  include <cstring>
#  include <csignal>
#  include <sys/ptrace.h>
#  include <sys/socket.h>
#  include <netinet/in.h>
#  include <sched.h>
#  include <unistd.h>
#endif

namespace {
long calls = 0;

#if defined(SPIN_MS_AT_CALL) || defined(SPIN_MS_EVERY_CALL)
// Processor time, not the clock's: the arena counts what a call computes.
void spin(long ms)
{
    const std::clock_t end = std::clock() + std::clock_t(ms * (CLOCKS_PER_SEC / 1000));
    while (std::clock() < end) {
    }
}
#endif

#if defined(REPORTS_QT) && defined(__unix__)
// Says, as it loads (before any sandbox), whether Qt shares its process: the
// arena's games must be forked from a host that maps none of it.
const bool reported = [] {
    bool qt = false;
    if (FILE *maps = std::fopen("/proc/self/maps", "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, maps))
            qt = qt || std::strstr(line, "libQt5") != nullptr;
        std::fclose(maps);
    }
    std::printf("maps Qt: %s\n", qt ? "yes" : "no");
    return true;
}();
#endif

#if defined(EXITS_AT_LOAD)
// Ends the process that loads it, before any game: the arena must say so,
// not wait for a word that never comes.
const bool leaving = [] {
    std::_Exit(3);
    return true;
}();
#endif

#if defined(ON_SEED)
// The arena seeds a controller's own generator with seed ^ 0x9E3779B9, so a
// controller can tell the seed it plays by its first draw. This also checks
// that the stream is the documented one.
bool onChosenSeed()
{
    static int chosen = -1;
    if (chosen < 0) {
        const int first = std::rand();
        std::srand(unsigned(ON_SEED) ^ 0x9E3779B9u);
        chosen = std::rand() == first ? 1 : 0;
    }
    return chosen == 1;
}
#endif

#if defined(SANDBOX_TRESPASS)
void sandboxTrespass()
{
#  if defined(SANDBOX_OPENS_PASSWD)
    if (FILE *f = std::fopen("/etc/passwd", "r")) {
        std::printf("read: %c\n", std::fgetc(f));
        std::fclose(f);
    }
#  elif defined(SANDBOX_WRITES_FILE)
    if (FILE *f = std::fopen("pelloria-sandbox-escape.txt", "w")) {
        std::fputs("escaped\n", f);
        std::fclose(f);
    }
#  elif defined(SANDBOX_SOCKET)
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    std::printf("socket %d\n", s);
#  elif defined(SANDBOX_FORKS)
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    std::printf("forked %d\n", int(child));
#  elif defined(SANDBOX_EXECS)
    char *const argv[] = {const_cast<char *>("/bin/true"), nullptr};
    ::execv("/bin/true", argv);
    std::printf("exec failed\n");
#  elif defined(SANDBOX_ALLOCATES)
    // 2 GB, touched, so that no lazy allocation lets it pass.
    const size_t size = size_t(2) << 30;
    char *block = static_cast<char *>(std::malloc(size));
    if (block)
        std::memset(block, 1, size);
    std::printf("allocated %p\n", static_cast<void *>(block));
#  elif defined(SANDBOX_PTRACE)
    const long traced = ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    std::printf("ptrace %ld\n", traced);
#  elif defined(SANDBOX_RAISES_PRIORITY)
    // Real-time priority would take a processor from every other game.
    const sched_param first = {1};
    std::printf("fifo %d\n", ::sched_setscheduler(0, SCHED_FIFO, &first));
#  elif defined(SANDBOX_SIGNALS_INIT)
    // Signal 0 only asks whether the process is there: harmless, yet a
    // signal to a process other than its own.
    std::printf("kill %d\n", ::kill(1, 0));
#  endif
}
#endif
} // namespace

extern "C" BRAINLET_API void BRAINLET_CALL controller(int &action, const size_t agent, const size_t num_agents,
                                                      const size_t num_resources, const int *circleRadius,
                                                      const int *xCoordinate, const int *yCoordinate,
                                                      const int *xVelocity, const int *yVelocity)
{
    ++calls;
    action = 0;
#if defined(CRASH_AT_CALL)
    if (calls == CRASH_AT_CALL) {
        volatile int *nowhere = nullptr;
        *nowhere = 1; // NOLINT(clang-analyzer-core.NullDereference): the point of this plug-in
    }
#elif defined(SLEEP_MS_AT_CALL)
    if (calls == SLEEP_AT_CALL)
        std::this_thread::sleep_for(std::chrono::milliseconds(SLEEP_MS_AT_CALL));
#elif defined(SPIN_MS_AT_CALL)
    if (calls == SPIN_AT_CALL)
        spin(SPIN_MS_AT_CALL);
#elif defined(SPIN_MS_EVERY_CALL)
    spin(SPIN_MS_EVERY_CALL);
#elif defined(SLEEP_MS_EVERY_CALL)
    std::this_thread::sleep_for(std::chrono::milliseconds(SLEEP_MS_EVERY_CALL));
#elif defined(HUGE_CODES)
    static const int codes[] = {INT_MAX, INT_MIN, 9, -1, 1000000, -9};
    action = codes[calls % 6];
#elif defined(READ_EVERYTHING)
    // The contract: agent 0 of 10, 5 resources. Anything else is a fault of
    // the caller, and so is an entry past the ends (the sanitizers watch).
    if (agent != 0 || num_agents != 10 || num_resources != 5)
        std::abort();
    long sum = 0;
    for (size_t k = 0; k < num_agents + num_resources; ++k)
        sum += circleRadius[k] + xCoordinate[k] + yCoordinate[k];
    for (size_t k = 0; k < num_agents; ++k)
        sum += xVelocity[k] + yVelocity[k];
    action = int((sum % 9 + 9) % 9);
#elif defined(RAND_HEAVY)
    int last = 0;
    for (int i = 0; i < 1000; ++i)
        last = std::rand();
    action = last % 9;
#elif defined(RESEEDS)
    std::srand(12345);
#elif defined(GENERATOR_ABUSE)
    // Everything the C library offers to steer its generator, and thousands
    // of draws; agent 0 still stores 0.
    static char own[256];
    switch (calls % 4) {
    case 0: std::srand(unsigned(calls)); break;
    case 1: ::srandom(7); break;
    case 2: ::initstate(unsigned(calls), own, sizeof own); break;
    case 3: ::setstate(own); break;
    }
    for (int i = 0; i < 3000; ++i)
        (void)::random();
#elif defined(COUNTS_CALLS)
    // Remembers every call, across games if it is let.
    action = int(calls % 9);
#elif defined(ON_SEED) && defined(CRASH_AT_STEP)
    if (onChosenSeed() && calls == CRASH_AT_STEP) {
        volatile int *nowhere = nullptr;
        *nowhere = 1; // NOLINT(clang-analyzer-core.NullDereference): the point of this plug-in
    }
#elif defined(ON_SEED) && defined(HANG_AT_STEP)
    if (onChosenSeed() && calls == HANG_AT_STEP)
        for (volatile long spins = 0;;)
            spins = spins + 1;
#elif defined(ON_SEED) && defined(EXIT_AT_STEP)
    if (onChosenSeed() && calls == EXIT_AT_STEP) {
        std::printf("leaving at call %ld\n", calls);
        std::exit(0);
    }
#elif defined(SANDBOX_TRESPASS)
    // Tries what a controller must not, at its 5th call; it stores 0 up to
    // there, so the report can name the step.
    if (calls == 5)
        sandboxTrespass();
#elif defined(REPORTS_POLICY) && defined(__linux__)
    // Says how its game is scheduled: the host that forked it may yield to
    // games, but no game may be held back behind the host's choices; and
    // on how many processors it may run.
    if (calls == 1) {
        cpu_set_t usable;
        const int processors = ::sched_getaffinity(0, sizeof usable, &usable) == 0 ? CPU_COUNT(&usable) : -1;
        std::printf("policy %d, processors %d\n", ::sched_getscheduler(0), processors);
    }
#elif defined(STEPS_ASIDE) && defined(__linux__)
    // Lowers its own priority, as every finished game does: allowed, and
    // its own loss only.
    if (calls == 5) {
        const sched_param none = {};
        std::printf("stepped aside: %d\n", ::sched_setscheduler(0, SCHED_IDLE, &none));
    }
#elif defined(USES_CXX_RUNTIME)
    // C++'s runtime of its own, beside the one linked into the host:
    // strings, streams, and an exception thrown and caught every third call.
    static std::vector<std::string> seen;
    try {
        std::ostringstream words;
        words << "radius " << circleRadius[0];
        seen.push_back(words.str());
        if (seen.size() % 3 == 0)
            throw std::runtime_error("every third call");
        action = int(seen.size() % 9);
    } catch (const std::exception &e) {
        action = 4;
        if (seen.size() == 3)
            std::printf("caught: %s\n", e.what());
    }
#elif defined(PRINTS)
    std::printf("call %ld, radius %d\n", calls, circleRadius[0]);
    if (calls % 100 == 0)
        std::fprintf(stderr, "hundredth call\n");
#endif
    (void)agent;
    (void)num_agents;
    (void)num_resources;
    (void)circleRadius;
    (void)xCoordinate;
    (void)yCoordinate;
    (void)xVelocity;
    (void)yVelocity;
}
