#include "arena/games/sandbox.h"

#include "arena/channel/descriptors.h"
#include "arena/channel/game_channel.h"
#include "common/exit_codes.h"

#if defined(PELLORIA_HAVE_SECCOMP)

#  include <csignal>
#  include <cstddef>
#  include <cstdio>
#  include <cstdlib>
#  include <cstring>
#  include <fcntl.h>
#  include <linux/filter.h>
#  include <linux/seccomp.h>
#  include <sched.h>
#  include <seccomp.h>
#  include <sys/prctl.h>
#  include <sys/resource.h>
#  include <sys/syscall.h>
#  include <sys/wait.h>
#  include <unistd.h>
#  include <vector>

namespace sandbox {

namespace {

std::atomic<int32_t> *refusedRecord = nullptr;

// Runs in place of a refused call: say which, and end the game.
void onRefused(int, siginfo_t *info, void *)
{
    if (refusedRecord)
        refusedRecord->store(info->si_syscall, std::memory_order_relaxed);
    ::syscall(SYS_exit_group, ExitRefused);
}

bool setLimit(int resource, rlim_t value)
{
    const rlimit limit{value, value};
    return ::setrlimit(resource, &limit) == 0;
}

// The filters are compiled once, in the process that forks the games, with
// this stand-in for the pid (no real pid is this large); each game's process
// writes its own pid over it and loads the program, which costs a game
// nothing like compiling a filter would.
constexpr uint32_t pidStandIn = 0x7ffffff1;
std::vector<sock_filter> loadingProgram, gameProgram;
long long compiledForMemory = -1;

// Calls that a library has no business making: refused with EPERM, so that
// a library that probes what it may do still loads, having done none of it.
const char *const refusedWhileLoading[] = {"socket",
                                           "socketpair",
                                           "connect",
                                           "bind",
                                           "listen",
                                           "accept",
                                           "accept4",
                                           "execve",
                                           "execveat",
                                           "fork",
                                           "vfork",
                                           "clone",
                                           "clone3",
                                           "ptrace",
                                           "process_vm_readv",
                                           "process_vm_writev",
                                           "unshare",
                                           "setns",
                                           "mount",
                                           "umount2",
                                           "pivot_root",
                                           "chroot",
                                           "bpf",
                                           "perf_event_open",
                                           "keyctl",
                                           "add_key",
                                           "request_key",
                                           "userfaultfd",
                                           "io_uring_setup",
                                           "io_uring_enter",
                                           "io_uring_register",
                                           "open_by_handle_at",
                                           "name_to_handle_at",
                                           "kexec_load",
                                           "kexec_file_load",
                                           "init_module",
                                           "finit_module",
                                           "delete_module",
                                           "reboot",
                                           "swapon",
                                           "swapoff",
                                           "setuid",
                                           "setgid",
                                           "setreuid",
                                           "setregid",
                                           "setresuid",
                                           "setresgid",
                                           "setgroups",
                                           "setfsuid",
                                           "setfsgid",
                                           "capset",
                                           "pidfd_open",
                                           "pidfd_getfd",
                                           "pidfd_send_signal",
                                           "kcmp",
                                           "move_pages",
                                           "migrate_pages",
                                           "settimeofday",
                                           "clock_settime",
                                           "clock_adjtime",
                                           "adjtimex",
                                           "sethostname",
                                           "setdomainname",
                                           "iopl",
                                           "ioperm",
                                           "quotactl",
                                           "acct",
                                           "sched_setattr",
                                           "fanotify_init",
                                           "mount_setattr",
                                           "fsopen",
                                           "fsmount",
                                           "fsconfig",
                                           "fspick",
                                           "move_mount",
                                           "open_tree",
                                           "process_madvise",
                                           "tkill",
                                           "openat2"};
// Changes to the file system: answered "permission denied".
const char *const deniedWhileLoading[]
    = {"mkdir",     "mkdirat",     "rmdir",        "unlink",       "unlinkat",  "rename",   "renameat",
       "renameat2", "link",        "linkat",       "symlink",      "symlinkat", "mknod",    "mknodat",
       "chmod",     "fchmod",      "fchmodat",     "chown",        "fchown",    "lchown",   "fchownat",
       "truncate",  "utime",       "utimes",       "utimensat",    "futimesat", "setxattr", "lsetxattr",
       "fsetxattr", "removexattr", "lremovexattr", "fremovexattr", "creat"};

using Rules = bool (*)(scmp_filter_ctx, const SandboxLimits &);

bool addByName(scmp_filter_ctx ctx, uint32_t action, const char *name)
{
    const int call = ::seccomp_syscall_resolve_name(name);
    return call == __NR_SCMP_ERROR || ::seccomp_rule_add(ctx, action, call, 0) == 0;
}

// Signals only to itself, never a handler for the sandbox's own signal, and
// its priority only down to the lowest.
bool addSignalRules(scmp_filter_ctx ctx, uint32_t refuse)
{
    const scmp_datum_t self = pidStandIn;
    bool ok = true;
    for (int call : {SCMP_SYS(kill), SCMP_SYS(tgkill), SCMP_SYS(rt_sigqueueinfo), SCMP_SYS(rt_tgsigqueueinfo)})
        ok = ok && ::seccomp_rule_add(ctx, refuse, call, 1, SCMP_A0(SCMP_CMP_NE, self)) == 0;
    ok = ok && ::seccomp_rule_add(ctx, refuse, SCMP_SYS(rt_sigaction), 1, SCMP_A0(SCMP_CMP_EQ, SIGSYS)) == 0;
    ok = ok && ::seccomp_rule_add(ctx, refuse, SCMP_SYS(sched_setscheduler), 1, SCMP_A0(SCMP_CMP_NE, 0)) == 0;
    ok = ok
        && ::seccomp_rule_add(ctx, refuse, SCMP_SYS(sched_setscheduler), 1,
                              SCMP_A1(SCMP_CMP_NE, scmp_datum_t(SCHED_IDLE)))
            == 0;
    return ok;
}

bool loadingRules(scmp_filter_ctx ctx, const SandboxLimits &)
{
    const uint32_t refused = SCMP_ACT_ERRNO(EPERM);
    bool ok = addSignalRules(ctx, refused);
    for (const char *name : refusedWhileLoading)
        ok = ok && addByName(ctx, refused, name);
    const uint32_t denied = SCMP_ACT_ERRNO(EACCES);
    for (const char *name : deniedWhileLoading)
        ok = ok && addByName(ctx, denied, name);
    // Opened for writing or creating: denied too.
    for (scmp_datum_t flag : {scmp_datum_t(O_WRONLY), scmp_datum_t(O_RDWR), scmp_datum_t(O_CREAT)}) {
        ok = ok && ::seccomp_rule_add(ctx, denied, SCMP_SYS(openat), 1, SCMP_A2(SCMP_CMP_MASKED_EQ, flag, flag)) == 0;
        ok = ok && ::seccomp_rule_add(ctx, denied, SCMP_SYS(open), 1, SCMP_A1(SCMP_CMP_MASKED_EQ, flag, flag)) == 0;
    }
    return ok;
}

bool gameRules(scmp_filter_ctx ctx, const SandboxLimits &limits)
{
    const scmp_datum_t self = pidStandIn;
    const scmp_datum_t mappingCap = scmp_datum_t(limits.memoryBytes);
    bool ok = true;
    auto allow = [&](int call) { ok = ok && ::seccomp_rule_add(ctx, SCMP_ACT_ALLOW, call, 0) == 0; };
    // Computing, and using what is already open.
    for (int call : {SCMP_SYS(read),         SCMP_SYS(write),           SCMP_SYS(readv),
                     SCMP_SYS(writev),       SCMP_SYS(lseek),           SCMP_SYS(close),
                     SCMP_SYS(brk),          SCMP_SYS(munmap),          SCMP_SYS(mprotect),
                     SCMP_SYS(madvise),      SCMP_SYS(futex),           SCMP_SYS(sched_yield),
                     SCMP_SYS(nanosleep),    SCMP_SYS(clock_nanosleep), SCMP_SYS(clock_gettime),
                     SCMP_SYS(clock_getres), SCMP_SYS(gettimeofday),    SCMP_SYS(time),
                     SCMP_SYS(getpid),       SCMP_SYS(gettid),          SCMP_SYS(getrandom),
                     SCMP_SYS(getrusage),    SCMP_SYS(rt_sigprocmask),  SCMP_SYS(rt_sigreturn),
                     SCMP_SYS(sigaltstack),  SCMP_SYS(restart_syscall), SCMP_SYS(exit),
                     SCMP_SYS(exit_group)})
        allow(call);
    // A mapping no larger than the memory allowed; a larger one is refused
    // by name rather than failing somewhere later.
    ok = ok && ::seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(mmap), 1, SCMP_A1(SCMP_CMP_LE, mappingCap)) == 0;
    ok = ok && ::seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(mremap), 1, SCMP_A2(SCMP_CMP_LE, mappingCap)) == 0;
    ok = ok && ::seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(rt_sigaction), 1, SCMP_A0(SCMP_CMP_NE, SIGSYS)) == 0;
    ok = ok && ::seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(tgkill), 1, SCMP_A0(SCMP_CMP_EQ, self)) == 0;
    ok = ok && ::seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(kill), 1, SCMP_A0(SCMP_CMP_EQ, self)) == 0;
    ok = ok
        && ::seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(sched_setscheduler), 2, SCMP_A0(SCMP_CMP_EQ, 0),
                              SCMP_A1(SCMP_CMP_EQ, scmp_datum_t(SCHED_IDLE)))
            == 0;
    return ok;
}

// The program in the kernel's own form, through a pipe (libseccomp 2.5
// exports to a descriptor only).
bool compileProgram(uint32_t byDefault, Rules rules, const SandboxLimits &limits, std::vector<sock_filter> &out)
{
    scmp_filter_ctx ctx = ::seccomp_init(byDefault);
    if (!ctx)
        return false;
    bool ok = rules(ctx, limits);
    int fds[2] = {-1, -1};
    ok = ok && ::pipe(fds) == 0;
    ok = ok && ::seccomp_export_bpf(ctx, fds[1]) == 0;
    ::seccomp_release(ctx);
    if (fds[1] >= 0)
        ::close(fds[1]);
    out.clear();
    sock_filter instruction;
    while (ok && ::read(fds[0], &instruction, sizeof instruction) == ssize_t(sizeof instruction))
        out.push_back(instruction);
    if (fds[0] >= 0)
        ::close(fds[0]);
    // When a filter is loaded, the kernel runs it ahead for every system
    // call to find those it allows whatever their arguments: costly for a
    // process that makes a handful of calls. A load of an argument first
    // tells it at once that no call is decided by its number alone; the
    // program's own first load (the architecture) then replaces it, and
    // jumps, being relative, are not moved.
    if (ok)
        out.insert(out.begin(), sock_filter BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])));
    return ok && out.size() > 1;
}

bool compileFilters(const SandboxLimits &limits)
{
    compiledForMemory = limits.memoryBytes;
    return compileProgram(SCMP_ACT_ALLOW, &loadingRules, limits, loadingProgram)
        && compileProgram(SCMP_ACT_TRAP, &gameRules, limits, gameProgram);
}

bool install(const std::vector<sock_filter> &compiled)
{
    std::vector<sock_filter> program = compiled;
    const uint32_t self = uint32_t(::getpid());
    for (sock_filter &instruction : program)
        if (instruction.code == (BPF_JMP | BPF_JEQ | BPF_K) && instruction.k == pidStandIn)
            instruction.k = self;
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

bool ready(const SandboxLimits &limits)
{
    return (compiledForMemory == limits.memoryBytes && !gameProgram.empty()) || compileFilters(limits);
}

} // namespace

void recordRefusalsIn(std::atomic<int32_t> *refused)
{
    refusedRecord = refused;
}

bool enterLoading(const SandboxLimits &limits)
{
    struct sigaction action = {};
    action.sa_sigaction = &onRefused;
    action.sa_flags = SA_SIGINFO;
    bool ok = ready(limits) && ::sigaction(SIGSYS, &action, nullptr) == 0 && setLimit(RLIMIT_CORE, 0);
    if (limits.cpuSeconds > 0)
        ok = ok && setLimit(RLIMIT_CPU, rlim_t(limits.cpuSeconds));
    return ok && install(loadingProgram);
}

bool enterGame(const SandboxLimits &limits, long long mappedNow)
{
    bool ok = ready(limits);
#  if !defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of address space for itself, so a
    // sanitizer build goes without this one limit; the mapping cap stays.
    ok = ok && setLimit(RLIMIT_AS, rlim_t(mappedNow + limits.memoryBytes));
#  else
    (void)mappedNow;
#  endif
    ok = ok && setLimit(RLIMIT_NOFILE, 0); // what is open stays usable
    return ok && install(gameProgram);
}

bool available(std::string &why, const SandboxLimits &limits)
{
    if (!compileFilters(limits)) {
        why = "libseccomp cannot compile the filter here";
        return false;
    }
    std::fflush(nullptr);
    const pid_t probe = ::fork();
    if (probe == 0)
        ::_exit(enterLoading(limits) && enterGame(limits, 0) ? 0 : 3);
    if (probe < 0) {
        why = "cannot start a process to try it";
        return false;
    }
    int status = 0;
    descriptors::retryInterrupted([&] { return ::waitpid(probe, &status, 0); });
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    why = "this system refuses a seccomp filter";
    return false;
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
#  if defined(__linux__)
    why = "this build has no seccomp (install libseccomp-dev and rebuild)";
#  else
    why = "there is no seccomp on this system";
#  endif
    return false;
}

void recordRefusalsIn(std::atomic<int32_t> *) { }

bool enterLoading(const SandboxLimits &)
{
    return false;
}

bool enterGame(const SandboxLimits &, long long)
{
    return false;
}

std::string callName(int32_t number)
{
    return "system call " + std::to_string(number);
}

} // namespace sandbox

#endif
