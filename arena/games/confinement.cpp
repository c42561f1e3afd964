#include "arena/games/confinement.h"

#if defined(__linux__)

#  include <cerrno>
#  include <cstdint>
#  include <cstdio>
#  include <cstring>
#  include <csignal>
#  include <fcntl.h>
#  include <grp.h>
#  include <linux/capability.h>
#  include <sched.h>
#  include <sys/prctl.h>
#  include <sys/stat.h>
#  include <sys/syscall.h>
#  include <sys/wait.h>
#  include <unistd.h>

namespace confinement {

namespace {

// Landlock, as the kernel defines it; the system's headers may predate the
// parts used here, so they are written out and the kernel is asked which it
// has.
#  if !defined(SYS_landlock_create_ruleset)
constexpr long landlockCreateRuleset = 444, landlockAddRule = 445, landlockRestrictSelf = 446;
#  else
constexpr long landlockCreateRuleset = SYS_landlock_create_ruleset, landlockAddRule = SYS_landlock_add_rule,
               landlockRestrictSelf = SYS_landlock_restrict_self;
#  endif
constexpr uint32_t askVersion = 1u << 0;
constexpr int rulePathBeneath = 1;
struct RulesetAttr {
    uint64_t handledAccessFs;
    uint64_t handledAccessNet; // ABI 4
    uint64_t scoped;           // ABI 6
};
struct __attribute__((packed)) PathBeneathAttr {
    uint64_t allowedAccess;
    int32_t parentFd;
};
constexpr uint64_t fsExecute = 1u << 0, fsReadFile = 1u << 2, fsReadDir = 1u << 3;
// Every file-system right of each ABI: 13 at first, then REFER, TRUNCATE,
// and IOCTL_DEV.
uint64_t fsRightsOf(int abi)
{
    const int bits = abi >= 5 ? 16 : abi >= 3 ? 15 : abi >= 2 ? 14 : 13;
    return (uint64_t(1) << bits) - 1;
}
constexpr uint64_t netBindTcp = 1u << 0, netConnectTcp = 1u << 1;
constexpr uint64_t scopeAbstractUnix = 1u << 0, scopeSignal = 1u << 1;

std::string errnoText(const char *what)
{
    return std::string(what) + " (" + std::strerror(errno) + ")";
}

bool writeFile(const char *path, const char *text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const ssize_t length = ssize_t(std::strlen(text));
    const bool written = ::write(fd, text, size_t(length)) == length;
    ::close(fd);
    return written;
}

// Whether a user with no rights of its own can reach and read `path` (and,
// for a folder, what is in it).
bool othersCanRead(const std::string &path)
{
    struct stat info {
    };
    if (::stat(path.c_str(), &info) != 0 || (info.st_mode & S_IROTH) == 0)
        return false;
    if (S_ISDIR(info.st_mode) && (info.st_mode & S_IXOTH) == 0)
        return false;
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (::stat(path.substr(0, slash).c_str(), &info) != 0 || (info.st_mode & S_IXOTH) == 0)
            return false;
    }
    return true;
}

// An unprivileged user: the games then own nothing and may touch nothing
// that root's files would allow.
std::string dropRoot(const std::vector<std::string> &needed)
{
    if (::geteuid() != 0)
        return std::string();
    for (const std::string &path : needed)
        if (!othersCanRead(path))
            return "an unprivileged user (nobody cannot read " + path + ")";
    constexpr uid_t nobody = 65534;
    if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
        return errnoText("an unprivileged user");
    // A changed user makes the process undumpable, and its /proc files
    // root's: it could not write its own user namespace's maps.
    ::prctl(PR_SET_DUMPABLE, 1);
    return std::string();
}

// The namespaces' first process: when it ends, the kernel ends every game,
// and it ends with the launcher, whose end of the pipe nothing else keeps.
void startNamespaceInit()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return;
    const pid_t init = ::fork();
    if (init == 0) {
        ::close(ends[1]);
        char byte;
        while (::read(ends[0], &byte, 1) != 0) {
        }
        ::_exit(0);
    }
    ::close(ends[0]);
    if (init < 0)
        ::close(ends[1]);
}

} // namespace

std::string isolateLauncher(const std::vector<std::string> &needed)
{
    std::string missing = dropRoot(needed);
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    auto add = [&missing](const std::string &what) {
        if (!what.empty())
            missing += (missing.empty() ? "" : ", ") + what;
    };
    if (::unshare(CLONE_NEWUSER) != 0) {
        add(errnoText("user, PID, network and IPC namespaces"));
        return missing;
    }
    char map[64];
    std::snprintf(map, sizeof map, "%u %u 1\n", unsigned(uid), unsigned(uid));
    bool mapped = writeFile("/proc/self/uid_map", map);
    std::snprintf(map, sizeof map, "%u %u 1\n", unsigned(gid), unsigned(gid));
    mapped = writeFile("/proc/self/setgroups", "deny") && writeFile("/proc/self/gid_map", map) && mapped;
    if (!mapped)
        add("the user namespace's user map");
    // Nothing outside may look into the games, whatever their user.
    ::prctl(PR_SET_DUMPABLE, 0);
    if (::unshare(CLONE_NEWPID | CLONE_NEWNET | CLONE_NEWIPC) != 0) {
        add(errnoText("PID, network and IPC namespaces"));
        return missing;
    }
    startNamespaceInit();
    return missing;
}

std::vector<std::string> readableFolders(const std::string &libraryPath, const std::vector<std::string> &extra)
{
    const size_t slash = libraryPath.rfind('/');
    std::vector<std::string> folders{slash == std::string::npos ? std::string(".") : libraryPath.substr(0, slash)};
    for (const char *system : {"/lib", "/lib64", "/usr/lib", "/usr/lib64", "/usr/local/lib", "/etc/ld.so.cache"})
        folders.emplace_back(system);
#  if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizers' runtime reads the process's own maps as libraries load.
    folders.emplace_back("/proc");
#  endif
    folders.insert(folders.end(), extra.begin(), extra.end());
    return folders;
}

int readOnlyRules(const std::vector<std::string> &paths, std::string &why)
{
    const long abi = ::syscall(landlockCreateRuleset, nullptr, 0, askVersion);
    if (abi < 1) {
        why = errnoText("Landlock");
        return -1;
    }
    RulesetAttr attr{fsRightsOf(int(abi)), abi >= 4 ? netBindTcp | netConnectTcp : 0,
                     abi >= 6 ? scopeAbstractUnix | scopeSignal : 0};
    const size_t attrSize = abi >= 6 ? sizeof attr : abi >= 4 ? 2 * sizeof(uint64_t) : sizeof(uint64_t);
    const int rules = int(::syscall(landlockCreateRuleset, &attr, attrSize, 0));
    if (rules < 0) {
        why = errnoText("Landlock");
        return -1;
    }
    for (const std::string &path : paths) {
        const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
        struct stat info {
        };
        if (fd < 0 || ::fstat(fd, &info) != 0) {
            if (fd >= 0)
                ::close(fd);
            continue; // nothing there to read
        }
        const uint64_t rights = S_ISDIR(info.st_mode) ? fsReadFile | fsReadDir | fsExecute : fsReadFile | fsExecute;
        PathBeneathAttr rule{rights, fd};
        const long added = ::syscall(landlockAddRule, rules, rulePathBeneath, &rule, 0);
        ::close(fd);
        if (added != 0) {
            why = errnoText("Landlock");
            ::close(rules);
            return -1;
        }
    }
    ::fcntl(rules, F_SETFD, FD_CLOEXEC);
    return rules;
}

bool restrict(int rulesFd)
{
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::syscall(landlockRestrictSelf, rulesFd, 0) == 0;
}

bool dropCapabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    return ::syscall(SYS_capset, &header, data) == 0;
}

} // namespace confinement

#else

namespace confinement {

std::string isolateLauncher(const std::vector<std::string> &)
{
    return "namespaces (not on this system)";
}

std::vector<std::string> readableFolders(const std::string &, const std::vector<std::string> &extra)
{
    return extra;
}

int readOnlyRules(const std::vector<std::string> &, std::string &why)
{
    why = "Landlock (not on this system)";
    return -1;
}

bool restrict(int)
{
    return false;
}

bool dropCapabilities()
{
    return true;
}

} // namespace confinement

#endif
