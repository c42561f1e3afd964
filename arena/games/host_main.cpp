// pelloria-arena-host: launches the games of one controller for
// pelloria-arena (see launch.h).
//
// A program of its own, without Qt, rather than a fork of the arena: every
// game is a fork of this process, and a fork and exit cost more for each
// region the process maps; the arena, with Qt's libraries, maps many times
// more than this program.
#include "arena/games/launch.h"
#include "arena/games/launcher.h"

#include "common/exit_codes.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

bool readAll(int fd, void *data, size_t size)
{
    char *p = static_cast<char *>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // argv[1]: the descriptor the arena wrote the settings to.
    char *end = nullptr;
    const long fd = argc == 2 ? std::strtol(argv[1], &end, 10) : -1;
    if (argc != 2 || end == argv[1] || *end != '\0' || fd < 0 || fd > INT_MAX) {
        std::fprintf(stderr, "pelloria-arena-host: pelloria-arena starts this program; it is not run by hand\n");
        return ExitUnusable;
    }
    static launch::Settings settings;
    const bool read = readAll(int(fd), &settings, sizeof settings);
    ::close(int(fd));
    if (!read || settings.controlFd < 0 || settings.libraryPath[sizeof settings.libraryPath - 1] != '\0') {
        std::fprintf(stderr, "pelloria-arena-host: no settings from pelloria-arena\n");
        return ExitUnusable;
    }
    launcherMain(settings);
}
