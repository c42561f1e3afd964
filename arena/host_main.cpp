// pelloria-arena-host: the process that hosts one controller for
// pelloria-arena and forks a fresh process for each of its games.
//
// A program of its own, without Qt, rather than a fork of the arena: every
// game is a fork of this process that later exits, and a fork and exit
// cost about 2 us more for each region the process maps. The arena, with
// Qt's libraries, maps some 210; this program maps some 30.
#include "call_clock.h"
#include "controller_host.h"
#include "pipe_io.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {

int exitWith(const char *why)
{
    std::fprintf(stderr, "pelloria-arena-host: %s\n", why);
    return 2;
}

// Told to the arena as a library that could not be loaded: it stops there,
// with this line.
int failStart(const HostSettings &settings, const char *why)
{
    char text[256];
    std::snprintf(text, sizeof text, "pelloria-arena-host: %s", why);
    tellHostFailed(settings.messageFd, text);
    return 2;
}

void *mapShared(int fd, size_t bytes, int extraFlags)
{
    void *memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | extraFlags, fd, 0);
    ::close(fd);
    return memory;
}

} // namespace

int main(int argc, char **argv)
{
    // argv[1]: the descriptor the arena wrote the settings to.
    char *end = nullptr;
    const long fd = argc == 2 ? std::strtol(argv[1], &end, 10) : -1;
    if (argc != 2 || end == argv[1] || *end != '\0' || fd < 0 || fd > INT_MAX)
        return exitWith("pelloria-arena starts this program; it is not run by hand");
    HostSetup setup;
    HostSettings &settings = setup;
    const bool read = readAll(int(fd), &settings, sizeof settings);
    ::close(int(fd));
    if (!read || settings.slots <= 0 || settings.libraryPath[sizeof settings.libraryPath - 1] != '\0')
        return exitWith("no settings from pelloria-arena");

    void *watches = mapShared(settings.watchesFd, sizeof(GameWatch) * size_t(settings.slots), 0);
    if (watches == MAP_FAILED)
        return failStart(settings, "cannot map the games' watches");
    setup.watches = static_cast<GameWatch *>(watches);
    if (settings.replayBytes > 0) {
        void *replays = mapShared(settings.replaysFd, settings.replayBytes * size_t(settings.slots), MAP_NORESERVE);
        if (replays == MAP_FAILED)
            return failStart(settings, "cannot map the replays' room");
        setup.replays = static_cast<char *>(replays);
    }
    callclock::useNanosecondsPerTick(settings.nanosecondsPerTick);
    hostMain(setup);
}
