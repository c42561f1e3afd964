#include "sandbox.h"

#if defined(__unix__)
#  include <sched.h>
#endif

#if defined(PELLORIA_HAVE_SECCOMP)

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace sandbox {

namespace {

std::atomic<int32_t> *refusedRecord = nullptr;
bool mayLowerPriority = false;

// Runs in place of a refused call: say which, and end the game.
void onRefused(int, siginfo_t *info, void *)
{
    if (refusedRecord) {
        refusedRecord->store(info->si_syscall, std::memory_order_relaxed);
        ::syscall(SYS_exit_group, 0);
    }
    ::syscall(SYS_exit_group, refusedUnrecorded);
}

long long mappedBytes()
{
    // The first field of statm is the whole address space, in pages.
    FILE *statm = std::fopen("/proc/self/statm", "r");
    long long pages = 0;
    if (statm) {
        if (std::fscanf(statm, "%lld", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    return pages * ::sysconf(_SC_PAGESIZE);
}

bool setLimit(int resource, rlim_t value)
{
    const rlimit limit{value, value};
    return ::setrlimit(resource, &limit) == 0;
}

// The filter is compiled once, in the process that forks the games, with
// this stand-in for the pid (no real pid is this large); each game's process
// writes its own pid over it and loads the program, which costs a game
// nothing like compiling the filter would.
constexpr uint32_t pidStandIn = 0x7ffffff1;
std::vector<sock_filter> compiled;
long long compiledForMemory = -1;
// The forking process's address space: a game's process starts with the
// same, so it is read once, there.
long long mappedAtStart = 0;

bool compileFilter(const SandboxLimits &limits)
{
    scmp_filter_ctx ctx = ::seccomp_init(SCMP_ACT_TRAP);
    if (!ctx)
        return false;
    const scmp_datum_t self = pidStandIn;
    const scmp_datum_t mappingCap = scmp_datum_t(limits.memoryBytes);
    bool ok = true;
    auto allow = [&](int call) { ok = ok && ::seccomp_rule_add(ctx, SCMP_ACT_ALLOW, call, 0) == 0; };
    // Computing, and using what is already open.
    for (int call : {SCMP_SYS(read), SCMP_SYS(write), SCMP_SYS(readv), SCMP_SYS(writev), SCMP_SYS(lseek),
                     SCMP_SYS(close), SCMP_SYS(brk), SCMP_SYS(munmap), SCMP_SYS(mprotect), SCMP_SYS(madvise),
                     SCMP_SYS(futex), SCMP_SYS(sched_yield), SCMP_SYS(nanosleep), SCMP_SYS(clock_nanosleep),
                     SCMP_SYS(clock_gettime), SCMP_SYS(clock_getres), SCMP_SYS(gettimeofday), SCMP_SYS(time),
                     SCMP_SYS(getpid), SCMP_SYS(gettid), SCMP_SYS(getrandom), SCMP_SYS(getrusage),
                     SCMP_SYS(rt_sigprocmask), SCMP_SYS(rt_sigreturn), SCMP_SYS(sigaltstack),
                     SCMP_SYS(restart_syscall), SCMP_SYS(exit), SCMP_SYS(exit_group)})
        allow(call);
    // A mapping no larger than the memory allowed; a larger one is refused
    // by name rather than failing somewhere later.
    ok = ok && ::seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(mmap), 1, SCMP_A1(SCMP_CMP_LE, mappingCap)) == 0;
    ok = ok && ::seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(mremap), 1, SCMP_A2(SCMP_CMP_LE, mappingCap)) == 0;
    // Signals: its own handlers, but not for the sandbox's own signal, and
    // only to itself (abort() raises SIGABRT this way).
    ok = ok && ::seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(rt_sigaction), 1, SCMP_A0(SCMP_CMP_NE, SIGSYS)) == 0;
    ok = ok && ::seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(tgkill), 1, SCMP_A0(SCMP_CMP_EQ, scmp_datum_t(self))) == 0;
    ok = ok && ::seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(kill), 1, SCMP_A0(SCMP_CMP_EQ, scmp_datum_t(self))) == 0;
    // Its own priority, and only down to the lowest: a finished game steps
    // aside so, and a controller that does the same only slows itself.
    ok = ok && ::seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(sched_setscheduler), 2, SCMP_A0(SCMP_CMP_EQ, 0),
                                  SCMP_A1(SCMP_CMP_EQ, scmp_datum_t(SCHED_IDLE))) == 0;
    // The program in the kernel's own form, through a pipe (libseccomp 2.5
    // exports to a descriptor only).
    int fds[2] = {-1, -1};
    ok = ok && ::pipe(fds) == 0;
    ok = ok && ::seccomp_export_bpf(ctx, fds[1]) == 0;
    ::seccomp_release(ctx);
    if (fds[1] >= 0)
        ::close(fds[1]);
    compiled.clear();
    sock_filter instruction;
    while (ok && ::read(fds[0], &instruction, sizeof instruction) == ssize_t(sizeof instruction))
        compiled.push_back(instruction);
    if (fds[0] >= 0)
        ::close(fds[0]);
    // When a filter is loaded, the kernel runs it ahead for every system
    // call to find those it allows whatever their arguments: 50 us of each
    // game's start, for a process that makes a handful of calls. A load of
    // an argument first tells it at once that no call is decided by its
    // number alone; the program's own first load (the architecture) then
    // replaces it, and jumps, being relative, are not moved.
    if (ok)
        compiled.insert(compiled.begin(), sock_filter BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])));
    compiledForMemory = limits.memoryBytes;
    mappedAtStart = mappedBytes();
    return ok && !compiled.empty();
}

bool installFilter(const SandboxLimits &limits)
{
    if ((compiledForMemory != limits.memoryBytes || compiled.empty()) && !compileFilter(limits))
        return false;
    std::vector<sock_filter> program = compiled;
    const uint32_t self = uint32_t(::getpid());
    for (sock_filter &instruction : program)
        if (instruction.code == (BPF_JMP | BPF_JEQ | BPF_K) && instruction.k == pidStandIn)
            instruction.k = self;
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0
        && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

} // namespace

bool enter(const SandboxLimits &limits, std::atomic<int32_t> *refused)
{
    refusedRecord = refused;
    struct sigaction action = {};
    action.sa_sigaction = &onRefused;
    action.sa_flags = SA_SIGINFO;
    if (::sigaction(SIGSYS, &action, nullptr) != 0)
        return false;
    bool ok = setLimit(RLIMIT_CORE, 0);
#if !defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of address space for itself, so a
    // sanitizer build goes without this one limit; the mapping cap stays.
    ok = ok && setLimit(RLIMIT_AS, rlim_t((mappedAtStart > 0 ? mappedAtStart : mappedBytes()) + limits.memoryBytes));
#endif
    if (limits.cpuSeconds > 0)
        ok = ok && setLimit(RLIMIT_CPU, rlim_t(limits.cpuSeconds));
    ok = ok && setLimit(RLIMIT_NOFILE, 0); // what is open stays usable
    return ok && installFilter(limits);
}

void recordRefusalsIn(std::atomic<int32_t> *refused)
{
    refusedRecord = refused;
}

bool available(std::string &why, const SandboxLimits &limits)
{
    if (!compileFilter(limits)) {
        why = "libseccomp cannot compile the filter here";
        return false;
    }
    std::fflush(nullptr);
    const pid_t probe = ::fork();
    if (probe == 0) {
        if (!enter(limits, nullptr))
            ::_exit(3);
        ::_exit(lowerOwnPriority() ? 0 : 4);
    }
    if (probe < 0) {
        why = "cannot start a process to try it";
        return false;
    }
    int status = 0;
    while (::waitpid(probe, &status, 0) < 0 && errno == EINTR) {
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    mayLowerPriority = code == 0;
    if (code == 0 || code == 4 || code == refusedUnrecorded)
        return true;
    why = "this system refuses a seccomp filter";
    return false;
}

bool confinedMayLowerPriority()
{
    return mayLowerPriority;
}

std::string callName(int32_t number)
{
    char *name = ::seccomp_syscall_resolve_num_arch(SCMP_ARCH_NATIVE, number);
    std::string text = name ? std::string(name) : "system call " + std::to_string(number);
    std::free(name);
    return text;
}

} // namespace sandbox

#else

namespace sandbox {

bool available(std::string &why, const SandboxLimits &)
{
#if defined(__linux__)
    why = "this build has no seccomp (install libseccomp-dev and rebuild)";
#else
    why = "there is no seccomp on this system";
#endif
    return false;
}

bool enter(const SandboxLimits &, std::atomic<int32_t> *)
{
    return false;
}

void recordRefusalsIn(std::atomic<int32_t> *) {}

bool confinedMayLowerPriority()
{
    return false;
}

std::string callName(int32_t number)
{
    return "system call " + std::to_string(number);
}

} // namespace sandbox

#endif

bool sandbox::lowerOwnPriority()
{
#if defined(SCHED_IDLE)
    const sched_param none = {};
    return ::sched_setscheduler(0, SCHED_IDLE, &none) == 0;
#else
    return false;
#endif
}
