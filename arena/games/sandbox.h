// The system-call filters of a controller's games: it may compute, and
// nothing else.
//
// Two filters, the second on top of the first. While the library loads (its
// constructors run then), no sockets, no new processes or threads, no exec,
// no ptrace, no signals to others, no changes to the file system: each is
// answered with an error (EACCES for the file system, which libraries that
// try to cache something expect, else EPERM), so that a library that merely
// probes still loads. While the game plays, only what a game needs: memory,
// the descriptors already open, the clocks, sleeping, futexes, signals to
// itself and exiting; any other call ends the process, and its number is
// recorded where the arena reads it. Resource limits add a cap on the
// address space, no core files, no new descriptors and a CPU time backstop.
#ifndef ARENA_GAMES_SANDBOX_H
#define ARENA_GAMES_SANDBOX_H

#include <atomic>
#include <cstdint>
#include <string>

struct SandboxLimits {
    long long memoryBytes = 512LL << 20; // beyond what the process maps once loaded
    long long cpuSeconds = 0;            // 0: no CPU limit
};

namespace sandbox {

// Whether this build and this system can filter games' calls; `why` says
// why not. Compiles both filters for the games this process will fork, and
// tries them in a child process, so the caller stays unfiltered.
bool available(std::string &why, const SandboxLimits &limits);

// Where a refused call's number goes (null: nowhere); the process then
// ends with ExitRefused (exit_codes.h).
void recordRefusalsIn(std::atomic<int32_t> *refused);

// Before the library loads: no core files, the CPU backstop, and the
// loading filter.
bool enterLoading(const SandboxLimits &limits);
// Once it has loaded: the address space capped at what is mapped now plus
// the memory allowed, no new descriptors, and the game's filter.
bool enterGame(const SandboxLimits &limits, long long mappedNow);

// "openat", for a refused call's number.
std::string callName(int32_t number);

} // namespace sandbox

#endif
