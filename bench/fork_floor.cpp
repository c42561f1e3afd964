// The machine's own floor for a game's process: a fork, an exit and a wait
// of a process that maps next to nothing, in processor time (its own and
// its children's). bench_arena runs it beside the arena, in the same
// repetition. Usage: fork_floor N; prints the microseconds of one.
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
double cpuSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    const int n = argc == 2 ? std::atoi(argv[1]) : 0;
    if (n <= 0) {
        std::fprintf(stderr, "usage: fork_floor N\n");
        return 2;
    }
    for (int i = 0; i < n; ++i) {
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(0);
        ::waitpid(child, nullptr, 0);
    }
    const double total = cpuSeconds(RUSAGE_SELF) + cpuSeconds(RUSAGE_CHILDREN);
    std::printf("%.3f\n", total / n * 1e6);
    return 0;
}
