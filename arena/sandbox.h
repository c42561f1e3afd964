// Confining a game's process before a controller runs in it: it may compute,
// and nothing else.
//
// A seccomp filter lets through only what a game needs: memory management,
// reading and writing the descriptors already open, the clocks, sleeping,
// futexes, signals to itself and exiting. Anything else (opening files,
// sockets, new processes, exec, ptrace, ...) ends the game at once, and the
// refused call is recorded for the report. Resource limits add a cap on the
// address space, no core files, no new descriptors and a CPU time backstop.
#ifndef ARENA_SANDBOX_H
#define ARENA_SANDBOX_H

#include <atomic>
#include <cstdint>
#include <string>

struct SandboxLimits {
    long long memoryBytes = 512LL << 20; // beyond what the process maps already
    long long cpuSeconds = 0;            // 0: no CPU limit
};

namespace sandbox {

// Where a refused call is recorded: a system call number, or one of these.
constexpr int32_t nothingRefused = -1;
constexpr int32_t setupFailed = -2;

// Whether this build and this system can confine games; `why` says why not.
// Compiles the filter for the games this process will fork, and tries it in
// a child process, so the caller stays unconfined.
bool available(std::string &why, const SandboxLimits &limits);

// Confines the calling process for good. `refused` receives the number of
// the first call refused (the process then ends). False when the sandbox
// could not be set up: the process must then not play.
bool enter(const SandboxLimits &limits, std::atomic<int32_t> *refused);

// Points refusals at another record (a game learns its slot after it is
// confined), or at none: a refused call then ends the process with
// refusedUnrecorded as its status, never as a clean exit.
void recordRefusalsIn(std::atomic<int32_t> *refused);
constexpr int refusedUnrecorded = 128 + 31; // as a shell says "killed by SIGSYS"

// Lowers the calling process to the lowest priority, which the sandbox
// allows; false where it did not happen.
bool lowerOwnPriority();
// Whether a confined process may, as available()'s trial found.
bool confinedMayLowerPriority();

// "openat", for a refused call's number.
std::string callName(int32_t number);

} // namespace sandbox

#endif
