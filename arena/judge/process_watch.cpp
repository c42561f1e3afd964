#include "arena/judge/process_watch.h"

#include "arena/games/game_process.h"
#include "arena/games/sandbox.h"
#include "plugin/controller_library.h"
#include "plugin/controller_symbols.h"

#include <algorithm>
#include <csignal>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

ChannelMemory::~ChannelMemory()
{
    if (header)
        ::munmap(header, bytes);
    closeFd();
}

bool ChannelMemory::create(int maxSteps, uint32_t seed, bool loadOnly)
{
    bytes = channel::bytesFor(maxSteps);
    fd = ::memfd_create("pelloria-game", MFD_CLOEXEC);
    void *memory = fd < 0 || ::ftruncate(fd, off_t(bytes)) != 0
        ? MAP_FAILED
        : ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory == MAP_FAILED)
        return false;
    header = new (memory) channel::Header;
    header->seed = seed;
    header->maxSteps = maxSteps;
    header->loadOnly = loadOnly ? 1 : 0;
    header->capacity = int32_t(bytes - sizeof(channel::Header));
    return true;
}

void ChannelMemory::closeFd()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

int64_t cpuOf(pid_t pid)
{
    clockid_t clock;
    timespec now{};
    if (::clock_getcpuclockid(pid, &clock) != 0 || ::clock_gettime(clock, &now) != 0)
        return -1;
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

bool isStopped(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", int(pid));
    FILE *stat = std::fopen(path, "r");
    if (!stat)
        return false;
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, stat) != nullptr;
    std::fclose(stat);
    // "pid (name) state ...": the name may hold anything, even ')'.
    const char *close = read ? std::strrchr(line, ')') : nullptr;
    return close && (close[2] == 'T' || close[2] == 't');
}

QString loadFailure(const channel::Header &h, const ProcessEnd &end, const QString &path, int firstCallMs)
{
    const auto stage = channel::Stage(h.stage.load());
    if (end.way == ProcessEnd::Way::Finished || stage == channel::Stage::Loaded)
        return QString();
    if (stage == channel::Stage::LoadFailed) {
        char text[sizeof h.loadText + 1] = {};
        std::memcpy(text, h.loadText, sizeof h.loadText);
        if (h.loadProblem == int32_t(channel::LoadProblem::NoController))
            return missingControllerMessage(path);
        return cannotLoadMessage(path, QString::fromLocal8Bit(text));
    }
    switch (end.way) {
    case ProcessEnd::Way::Refused:
        return QStringLiteral("%1: the sandbox refused %2 while the library loaded")
            .arg(path, QString::fromStdString(sandbox::callName(end.code)));
    case ProcessEnd::Way::OverTime:
        return QStringLiteral("%1: the library took over %2 ms of processor time to load").arg(path).arg(firstCallMs);
    case ProcessEnd::Way::Stalled: return QStringLiteral("%1: the library stopped while it loaded").arg(path);
    case ProcessEnd::Way::Lost: return QStringLiteral("%1: the arena could not start a process to load it").arg(path);
    default: return QStringLiteral("%1: the library ended its process while loading").arg(path);
    }
}

ProcessEnd processEnd(const channel::Header &h, int status, const ProcessEnd *killedAs, uint32_t calls)
{
    if (status == -1)
        return {ProcessEnd::Way::Lost, 0};
    if (killedAs && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        return *killedAs;
    if (WIFSIGNALED(status))
        return {ProcessEnd::Way::Crashed, WTERMSIG(status)};
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const int32_t refused = h.refused.load();
    if (code == ExitRefused && refused >= 0)
        return {ProcessEnd::Way::Refused, refused};
    if (code == ExitUnconfined && calls == 0)
        return {ProcessEnd::Way::Lost, 0}; // never played unconfined when confined was asked for
    if (code == 0 && h.stage.load() == int32_t(channel::Stage::Done))
        return {ProcessEnd::Way::Finished, 0};
    return {ProcessEnd::Way::Exited, code};
}

ProcessEnd::Way lateness(pid_t pid, int64_t spentNs, int limitMs, std::chrono::steady_clock::duration still)
{
    // A step this late is looked at more closely: a process that stopped
    // itself is ended at once.
    constexpr auto lateStep = std::chrono::milliseconds(100);
    const auto stallCap = std::chrono::milliseconds(std::max(10000, 20 * limitMs));
    if (spentNs > int64_t(limitMs) * 1000000)
        return ProcessEnd::Way::OverTime;
    if (still > stallCap || (still > lateStep && isStopped(pid)))
        return ProcessEnd::Way::Stalled;
    return ProcessEnd::Way::Finished;
}
