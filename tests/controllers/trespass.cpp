// Controllers that attack the arena rather than play: from their
// constructors, through their arrays, their descriptors, their signals and
// their output. Each plays action 0 otherwise, so that its rows can be
// compared with those of a controller that only stores 0.
#include "brainlet.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {
long calls = 0;

#if defined(CONSTRUCTOR_TRESPASS)
// Tries, as it loads, what the arena's own process may do; prints what it
// managed, so that the log shows every attempt's fate.
void attempt(const char *what, bool managed)
{
    std::printf("trespass %s: %s\n", what, managed ? "done" : "refused");
}

bool canOpen(const char *path, int flags)
{
    const int fd = ::open(path, flags, 0600);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

const bool attempted = [] {
    attempt("write a file in /tmp", canOpen("/tmp/pelloria-trespass.txt", O_WRONLY | O_CREAT));
    attempt("write a file here", canOpen("pelloria-trespass.txt", O_WRONLY | O_CREAT));
    attempt("read /etc/passwd", canOpen("/etc/passwd", O_RDONLY));
    DIR *proc = ::opendir("/proc");
    attempt("list /proc", proc != nullptr && ::readdir(proc) != nullptr);
    if (proc)
        ::closedir(proc);
    pid_t child = -1;
    char *const argv[] = {const_cast<char *>("/bin/sh"), const_cast<char *>("-c"), const_cast<char *>("true"), nullptr};
    attempt("start /bin/sh", ::posix_spawn(&child, "/bin/sh", nullptr, nullptr, argv, environ) == 0);
    const pid_t forked = ::fork();
    if (forked == 0)
        ::_exit(0);
    attempt("fork", forked > 0);
    const std::string parentFds = "/proc/" + std::to_string(::getppid()) + "/fd/3";
    attempt("open its parent's descriptor", canOpen(parentFds.c_str(), O_RDWR));
    attempt("open init's descriptor", canOpen("/proc/1/fd/0", O_RDONLY));
    attempt("read init's memory", canOpen("/proc/1/mem", O_RDONLY));
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    attempt("make a socket", s >= 0);
    attempt("signal its parent", ::kill(::getppid(), 0) == 0);
    std::fflush(stdout);
    return true;
}();
#endif

#if defined(BLOCKS_SIGNALS_AND_SPINS)
void blockAllAndSpin()
{
    sigset_t all;
    sigfillset(&all);
    ::sigprocmask(SIG_BLOCK, &all, nullptr);
    for (int sig = 1; sig < NSIG; ++sig)
        if (sig != SIGSYS) // a handler for it is refused, and would end the game as such
            ::signal(sig, SIG_IGN);
    volatile long spins = 0;
    for (;;)
        spins = spins + 1;
}
#endif

#if defined(PRINTS_FLOOD)
// A megabyte a call, a hundred calls: far past any log's cap.
void flood()
{
    static char line[1024];
    if (line[0] == '\0') {
        std::memset(line, 'x', sizeof line - 1);
        line[sizeof line - 2] = '\n';
    }
    if (calls <= 100)
        for (int i = 0; i < 1024; ++i)
            std::fputs(line, stdout);
}
#endif

// A policy of the observations: the same for a controller that writes
// through its arrays afterwards and for one that does not.
[[maybe_unused]] int chosenFrom(const int *radius, const int *x, const int *y)
{
    return int((radius[0] + x[0] + y[0] + calls) % 9);
}
} // namespace

extern "C" BRAINLET_API void BRAINLET_CALL controller(int &action, const size_t agent, const size_t num_agents,
                                                      const size_t num_resources, const int *circleRadius,
                                                      const int *xCoordinate, const int *yCoordinate,
                                                      const int *xVelocity, const int *yVelocity)
{
    ++calls;
    action = 0;
    (void)agent;
    (void)num_agents;
    (void)num_resources;
    (void)circleRadius;
    (void)xCoordinate;
    (void)yCoordinate;
    (void)xVelocity;
    (void)yVelocity;
#if defined(PLAYS_OBSERVATIONS) || defined(WRITES_ARRAYS)
    action = chosenFrom(circleRadius, xCoordinate, yCoordinate);
#endif
#if defined(WRITES_ARRAYS)
    // Radius 200 for itself, 0 for everyone else, and standing still.
    auto *radius = const_cast<int *>(circleRadius);
    radius[0] = 200;
    for (size_t i = 1; i < num_agents; ++i)
        radius[i] = 0;
    const_cast<int *>(xVelocity)[0] = 0;
    const_cast<int *>(yVelocity)[0] = 0;
#elif defined(SCRIBBLES_DESCRIPTORS)
    if (calls == 1 || calls == 50)
        for (int fd = 0; fd < 256; ++fd)
            (void)!::write(fd, "\x01\x02 forged\n", 10);
#elif defined(CLOSES_DESCRIPTORS)
    if (calls == 5)
        for (int fd = 0; fd < 1024; ++fd)
            ::close(fd);
#elif defined(PRINTS_THEN_CRASHES)
    // Printed, never flushed, then a crash: the line must reach the log.
    if (calls == 7) {
        std::printf("about to crash at call %ld\n", calls);
        volatile int *nowhere = nullptr;
        // cppcheck-suppress nullPointer
        *nowhere = 1; // NOLINT(clang-analyzer-core.NullDereference): the point of this plug-in
    }
#elif defined(STOPS_ITSELF)
    if (calls == 10)
        ::raise(SIGSTOP);
#elif defined(BLOCKS_SIGNALS_AND_SPINS)
    if (calls == 10)
        blockAllAndSpin();
#elif defined(PRINTS_FLOOD)
    flood();
#endif
}
