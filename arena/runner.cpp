#include "runner.h"

#include "call_clock.h"
#include "controller_host.h"
#include "controller_library.h"
#include "controller_symbols.h"
#include "pipe_io.h"
#include "replay.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#ifdef PELLORIA_ISOLATION
#  include <cerrno>
#  include <csignal>
#  include <fcntl.h>
#  include <poll.h>
#  include <sys/mman.h>
#  include <sys/wait.h>
#  include <unistd.h>
#else
#  include "ball_engine.h"
#  include "controller_library.h"
#  include "game.h"
#  include "separate_generators.h"
#endif

QString replayFileName(int controller, const QString &path, uint32_t seed)
{
    return QStringLiteral("%1-%2-seed%3.replay.gz").arg(controller + 1).arg(QFileInfo(path).completeBaseName()).arg(seed);
}

namespace {

// Puts each controller's rows back into seed order, whatever order the
// games finish in, and stops a controller after its allowed failures.
class RowOrder
{
public:
    RowOrder(int controllers, int maxFailures, RunListener &listener)
        : streams(size_t(controllers)), maxFailures(maxFailures), listener(listener)
    {
    }

    void deliver(int c, int index, const GameRow &row)
    {
        Stream &s = streams[size_t(c)];
        if (index >= s.stopIndex)
            return; // played side by side with the game that stopped it
        s.waiting.emplace(index, row);
        for (auto it = s.waiting.find(s.next); it != s.waiting.end(); it = s.waiting.find(s.next)) {
            const GameRow ready = it->second;
            s.waiting.erase(it);
            listener.gameRow(c, s.next, ready);
            ++delivered;
            if (ready.failed() && ++s.failures == maxFailures) {
                s.stopIndex = s.next + 1;
                s.waiting.clear();
                listener.stopped(c, s.next);
                return;
            }
            ++s.next;
        }
    }

    bool stopped(int c) const { return streams[size_t(c)].stopIndex != INT_MAX; }
    int stopIndex(int c) const { return streams[size_t(c)].stopIndex; }
    long long delivered = 0;

private:
    struct Stream {
        int next = 0;
        int failures = 0;
        int stopIndex = INT_MAX;
        std::map<int, GameRow> waiting;
    };
    std::vector<Stream> streams;
    int maxFailures;
    RunListener &listener;
};

} // namespace

#ifdef PELLORIA_ISOLATION

namespace {

using Clock = std::chrono::steady_clock;
constexpr int watchIntervalMs = 5;

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Room for one compressed replay per slot: a long game's is a few
// megabytes; one that does not fit is not written.
constexpr size_t replayCapacity = size_t(32) << 20;

// Games asked for ahead of the slots, per slot: a game's process is then
// waiting for every slot that comes free, and each host keeps as many
// processes forked.
constexpr int gamesAheadPerSlot = 2;

// Memory shared with the hosts, which are programs of their own: each maps
// it by its descriptor, which stays open here for the hosts to come.
// Reserved, not used: only the pages written take memory.
class SharedMemory
{
public:
    explicit SharedMemory(size_t bytes) : bytes(bytes)
    {
        if (bytes == 0)
            return;
#if defined(__linux__)
        fd = ::memfd_create("pelloria-arena", 0);
#else
        static int made = 0;
        char name[64];
        std::snprintf(name, sizeof name, "/pelloria-arena-%d-%d", int(::getpid()), made++);
        fd = ::shm_open(name, O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd >= 0)
            ::shm_unlink(name);
#endif
        void *memory = fd < 0 || ::ftruncate(fd, off_t(bytes)) != 0
            ? MAP_FAILED
            : ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_NORESERVE, fd, 0);
        data = memory == MAP_FAILED ? nullptr : static_cast<char *>(memory);
    }
    ~SharedMemory()
    {
        if (data)
            ::munmap(data, bytes);
        closeFd(fd);
    }
    SharedMemory(const SharedMemory &) = delete;
    SharedMemory &operator=(const SharedMemory &) = delete;

    int fd = -1;
    char *data = nullptr; // null when there is none

private:
    size_t bytes;
};

// A controller's host process and the two pipes to it. The one place a host
// is cleaned up: closing its pipes ends it, then it is reaped.
struct Host {
    pid_t pid = -1;
    int requestFd = -1;
    int messageFd = -1;
    std::vector<char> pending; // a message read in part
    bool gone = false;

    Host() = default;
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;
    ~Host()
    {
        closeFd(messageFd);
        closeFd(requestFd);
        if (pid > 0) {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
};

// What the arena says of a host that has no controller to play.
QString loadFailure(const HostMessage &hello, const QString &path)
{
    QString text = QString::fromLocal8Bit(hello.text);
    if (hello.type != HostMessageType::LoadFailed)
        return QStringLiteral("%1: the library ended its process while loading").arg(path);
    switch (hello.problem) {
    case LoadProblem::NoSuchFile: return noSuchFileMessage(path);
    case LoadProblem::CannotLoad: return cannotLoadMessage(path, text);
    case LoadProblem::NoController: return missingControllerMessage(path);
    case LoadProblem::HostFailed: break;
    }
    return text;
}

// The host program: the one asked for, else the one beside the running
// program, as installed, else where this build made it.
QString hostProgram(const ArenaSettings &settings)
{
    if (!settings.hostProgram.isEmpty())
        return settings.hostProgram;
    if (QCoreApplication::instance()) {
        QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("pelloria-arena-host"));
        if (QFileInfo(beside).isExecutable())
            return beside;
    }
    return QStringLiteral(PELLORIA_HOST_BUILD_PATH);
}

// In the forked child: becomes the host program, handing it its settings
// through a pipe. If it cannot, the arena hears so as a failed load.
[[noreturn]] void execHost(const QByteArray &program, const HostSettings &settings)
{
    int launch[2];
    if (::pipe(launch) == 0 && writeAll(launch[1], &settings, sizeof settings)) {
        ::close(launch[1]);
        char fd[16];
        std::snprintf(fd, sizeof fd, "%d", launch[0]);
        char *const argv[] = {const_cast<char *>(program.constData()), fd, nullptr};
        ::execv(program.constData(), argv);
    }
    char text[sizeof(HostMessage::text)];
    std::snprintf(text, sizeof text, "cannot start %s: %s", program.constData(), std::strerror(errno));
    tellHostFailed(settings.messageFd, text);
    ::_exit(127);
}

// The descriptors of the memory a host shares with the arena.
struct SharedFds {
    int watches;
    int replays; // -1: no replays
};

// start: starts the host, which loads the library and says whether it could.
bool startHost(const ControllerSpec &entry, const ArenaSettings &settings, SharedFds shared,
               const int freeSlots[2], const std::vector<std::unique_ptr<Host>> &others, Host &host, QString &error)
{
    const QByteArray library = QFileInfo(entry.path).absoluteFilePath().toLocal8Bit();
    if (size_t(library.size()) >= sizeof(HostSettings::libraryPath)) {
        error = QStringLiteral("%1: the path is too long").arg(entry.path);
        return false;
    }
    const QByteArray logPath = entry.logPath.toLocal8Bit();
    int logFd = ::open(logPath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
    if (logFd < 0) {
        error = QStringLiteral("cannot write the log %1: %2").arg(entry.logPath, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    int requests[2], messages[2];
    if (::pipe(requests) != 0) {
        closeFd(logFd);
        error = QStringLiteral("cannot start a process for %1").arg(entry.label);
        return false;
    }
    if (::pipe(messages) != 0) {
        closeFd(requests[0]);
        closeFd(requests[1]);
        closeFd(logFd);
        error = QStringLiteral("cannot start a process for %1").arg(entry.label);
        return false;
    }
    HostSettings setup;
    std::memcpy(setup.libraryPath, library.constData(), size_t(library.size()) + 1);
    setup.logFd = logFd;
    setup.requestFd = requests[0];
    setup.messageFd = messages[1];
    setup.watchesFd = shared.watches;
    setup.slotReadFd = freeSlots[0];
    setup.slotWriteFd = freeSlots[1];
    setup.slots = settings.jobs;
    setup.maxSteps = settings.maxSteps;
    setup.timeLimitNs = double(settings.timeLimitMs) * 1e6;
    setup.nanosecondsPerTick = callclock::nanosecondsPerTick();
    // Enough for every game asked for ahead.
    setup.spares = gamesAheadPerSlot * settings.jobs;
    setup.replaysFd = shared.replays;
    setup.replayBytes = shared.replays >= 0 ? replayCapacity : 0;
    setup.sandbox = settings.sandbox;
    setup.limits.memoryBytes = (long long)settings.memoryLimitMb << 20;
    // A backstop behind the time limit: every call of a game at the
    // limit, and ten seconds more.
    setup.limits.cpuSeconds = (long long)settings.maxSteps * settings.timeLimitMs / 1000 + 10;
    const QByteArray program = QFile::encodeName(hostProgram(settings));
    std::fflush(stdout);
    std::fflush(stderr);
    host.pid = ::fork();
    if (host.pid == 0) {
        // Another host's pipes held open here would hide its end from it.
        for (const auto &other : others) {
            ::close(other->requestFd);
            ::close(other->messageFd);
        }
        ::close(requests[1]);
        ::close(messages[0]);
        execHost(program, setup);
    }
    ::close(requests[0]);
    ::close(messages[1]);
    closeFd(logFd);
    host.requestFd = requests[1];
    host.messageFd = messages[0];
    if (host.pid < 0) {
        error = QStringLiteral("cannot start a process for %1").arg(entry.label);
        return false;
    }
    return true;
}

// A message in full, or false at the host's end.
bool readMessage(Host &host, HostMessage &message)
{
    while (host.pending.size() < sizeof message) {
        char buffer[sizeof message];
        const ssize_t n = ::read(host.messageFd, buffer, sizeof message - host.pending.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        host.pending.insert(host.pending.end(), buffer, buffer + n);
    }
    std::memcpy(&message, host.pending.data(), sizeof message);
    host.pending.clear();
    return true;
}

// A game asked for and not yet counted, by its ticket.
struct InFlight {
    int controller = -1;
    int index = 0;
    bool rerun = false; // recording the steps before a failure
    GameRow failed;     // that failure's row, delivered after the rerun
    bool killed = false;
    int killedStep = 0;
    double killedNs = 0;
};

// What the arena last saw of a slot's call, to notice one that does not
// return.
struct SlotWatch {
    uint64_t ticket = 0;
    uint64_t edges = 0;
    Clock::time_point since;
};

// Whether `pid` is a game of the host `parent`: the arena kills only its
// own games, whatever a game's process may have written into the watches.
bool isGameOf(pid_t pid, pid_t parent)
{
#if defined(Q_OS_LINUX)
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", int(pid));
    FILE *stat = std::fopen(path, "r");
    if (!stat)
        return false;
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, stat) != nullptr;
    std::fclose(stat);
    // "pid (name) state ppid ...": the name may hold anything, even ')'.
    const char *close = read ? std::strrchr(line, ')') : nullptr;
    char state = 0;
    int ppid = 0;
    return close && std::sscanf(close + 1, " %c %d", &state, &ppid) == 2 && ppid == int(parent);
#else
    (void)pid;
    (void)parent;
    return true;
#endif
}

class Scheduler
{
public:
    Scheduler(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings, RunListener &listener,
              const std::function<void(long long, long long)> &progress)
        : controllers(controllers), settings(settings), listener(listener), progress(progress),
          order(controllers.size(), settings.maxFailures, listener),
          watchMemory(sizeof(GameWatch) * size_t(settings.jobs)),
          replays(settings.recordGames != RecordNone ? replayCapacity * size_t(settings.jobs) : 0),
          slotWatches(size_t(settings.jobs))
    {
    }

    ~Scheduler()
    {
        closeFd(freeSlots[0]);
        closeFd(freeSlots[1]);
    }

    bool start(QString &error)
    {
        if (!watchMemory.data || (settings.recordGames != RecordNone && !replays.data)) {
            error = QStringLiteral("cannot share memory with the game processes");
            return false;
        }
        watches = reinterpret_cast<GameWatch *>(watchMemory.data);
        for (int s = 0; s < settings.jobs; ++s)
            new (&watches[s]) GameWatch;
        if (::pipe(freeSlots) != 0) {
            error = QStringLiteral("cannot make a pipe for the game processes");
            return false;
        }
        for (int32_t s = 0; s < settings.jobs; ++s)
            giveBack(s);
        callclock::nanosecondsPerTick(); // measured once, here, and handed to the hosts
        for (const ControllerSpec &entry : controllers) {
            auto host = std::make_unique<Host>();
            if (!startHost(entry, settings, {watchMemory.fd, replays.fd}, freeSlots, hosts, *host, error))
                return false;
            hosts.push_back(std::move(host));
        }
        // Every controller loaded before any game, so a bad file costs nothing.
        for (size_t c = 0; c < hosts.size(); ++c) {
            HostMessage hello;
            if (!readMessage(*hosts[c], hello) || hello.type != HostMessageType::Loaded) {
                hello.text[sizeof hello.text - 1] = '\0';
                error = loadFailure(hello, controllers[int(c)].path);
                return false;
            }
            hello.text[sizeof hello.text - 1] = '\0';
            if (hello.text[0] != '\0')
                listener.note(QStringLiteral("no sandbox (%1): the controllers ran unconfined")
                                  .arg(QString::fromLocal8Bit(hello.text)));
        }
        return true;
    }

    void play()
    {
        total = (long long)settings.played().games * controllers.size();
        for (;;) {
            askAhead();
            if (inFlight.empty())
                break;
            waitForHosts();
            watchCalls();
        }
    }

private:
    // start: games are asked for ahead of the slots, seed by seed and each
    // controller in turn, so that a game's process waits for every slot
    // that comes free.
    void askAhead()
    {
        const size_t ahead = size_t(gamesAheadPerSlot) * size_t(settings.jobs);
        int c = -1, index = 0;
        while (inFlight.size() < ahead && nextTask(c, index)) {
            InFlight game;
            game.controller = c;
            game.index = index;
            request(game, HostRequest());
        }
    }

    void request(const InFlight &game, HostRequest request)
    {
        const uint64_t ticket = ++lastTicket;
        inFlight[ticket] = game;
        Host &host = *hosts[size_t(game.controller)];
        request.seed = seedOf(game);
        request.ticket = ticket;
        request.record = settings.recordGames;
        if (host.gone || !writeAll(host.requestFd, &request, sizeof request)) {
            host.gone = true;
            finish(ticket, failureRow(inFlight[ticket], lostProcess(ticket)));
        }
    }

    unsigned seedOf(const InFlight &game) const { return settings.played().first + unsigned(game.index); }

    void giveBack(int32_t slot) { writeAll(freeSlots[1], &slot, sizeof slot); }

    // A replay's frames from its slot, headed with its header: empty when
    // there is none.
    std::string takeReplay(int32_t slot, const ReplayFacts &facts, uint32_t seed, size_t c) const
    {
        if (slot < 0 || slot >= settings.jobs || facts.bytes <= 0 || size_t(facts.bytes) > replayCapacity)
            return std::string();
        ReplayHeader header;
        header.program = QStringLiteral(PELLORIA_VERSION);
        header.seed = seed;
        header.controller = QFileInfo(controllers[int(c)].path).fileName();
        header.sha256 = controllers[int(c)].sha256;
        header.maxSteps = settings.maxSteps;
        header.steps = facts.steps;
        header.outcome = QString::fromLatin1(facts.outcome, int(qstrnlen(facts.outcome, sizeof facts.outcome)));
        header.failedAtStep = facts.failedAtStep;
        return unpackedReplay(header, replays.data + size_t(slot) * replayCapacity, size_t(facts.bytes));
    }

    // A replay, packed, to its file.
    bool saveReplay(const InFlight &game, const std::string &plain)
    {
        if (plain.empty())
            return false;
        const QByteArray packed = packer.pack(plain.data(), plain.size());
        if (packed.isEmpty())
            return false;
        const QString path = QDir(settings.recordDir)
                                 .filePath(replayFileName(game.controller, controllers[game.controller].path,
                                                          seedOf(game)));
        // Whole or not at all, by a rename; not synced to disk one by one,
        // which would cost more than playing the game.
        const QString part = path + QStringLiteral(".part");
        QFile file(part);
        const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && file.write(packed) == packed.size() && file.flush();
        file.close();
        if (written && ::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) == 0)
            return true;
        QFile::remove(part);
        return false;
    }

    bool nextTask(int &c, int &index)
    {
        while (nextIndex < settings.played().games) {
            c = nextController;
            index = nextIndex;
            if (++nextController == controllers.size()) {
                nextController = 0;
                ++nextIndex;
            }
            if (!order.stopped(c))
                return true;
        }
        return false;
    }

    void waitForHosts()
    {
        std::vector<pollfd> fds;
        for (const auto &host : hosts)
            fds.push_back({host->gone ? -1 : host->messageFd, POLLIN, 0});
        if (::poll(fds.data(), nfds_t(fds.size()), watchIntervalMs) <= 0)
            return;
        for (size_t c = 0; c < hosts.size(); ++c) {
            if (fds[c].revents == 0)
                continue;
            HostMessage message;
            if (!readMessage(*hosts[c], message)) {
                hostGone(int(c));
                continue;
            }
            const auto it = inFlight.find(message.ticket);
            if (it == inFlight.end() || it->second.controller != int(c))
                continue; // the end of a process whose game was already counted
            InFlight &game = it->second;
            if (message.type == HostMessageType::GameDone) {
                // The row is in: the slot is free while the process exits.
                GameRow row = game.rerun ? game.failed : message.row;
                // Copied out first, so that the slot's next game need not
                // wait for the packing.
                const std::string replay = takeReplay(message.slot, message.replay, seedOf(game), c);
                if (message.slotToArena && message.slot >= 0 && message.slot < settings.jobs)
                    giveBack(message.slot);
                row.replayed = saveReplay(game, replay) ? 1 : 0;
                if (!game.rerun)
                    listener.timing(int(c), message.timing);
                finish(message.ticket, row);
            } else if (message.type == HostMessageType::ProcessEnded) {
                finish(message.ticket, game.rerun ? game.failed : failureRow(game, message));
            }
        }
    }

    // watch: a call that does not return within the limit is ended here.
    void watchCalls()
    {
        const auto limit = std::chrono::milliseconds(settings.timeLimitMs);
        const Clock::time_point now = Clock::now();
        for (size_t s = 0; s < slotWatches.size(); ++s) {
            SlotWatch &seen = slotWatches[s];
            const GameWatch &watch = watches[s];
            // A game claims its slot by storing its ticket before its pid,
            // and gives it up by clearing the pid first: a ticket that reads
            // the same on either side of the pid vouches that pid and edges
            // are that game's, not those of the game that follows it.
            const uint64_t ticket = watch.ticket.load();
            const uint64_t edges = watch.callEdges.load();
            const pid_t pid = watch.pid.load();
            if (pid <= 0 || (edges & 1u) == 0 || watch.ticket.load() != ticket)
                continue;
            if (ticket != seen.ticket || edges != seen.edges) {
                seen = SlotWatch{ticket, edges, now};
                continue;
            }
            const auto it = inFlight.find(ticket);
            if (now - seen.since <= limit || it == inFlight.end() || it->second.killed)
                continue;
            InFlight &game = it->second;
            if (!isGameOf(pid, hosts[size_t(game.controller)]->pid))
                continue;
            ::kill(pid, SIGKILL);
            game.killed = true;
            // The step of the call that stalled, not what the watch says by
            // now: once the game is killed its slot may already hold the
            // next game.
            game.killedStep = GameWatch::stepAt(edges);
            game.killedNs = double(std::chrono::duration_cast<std::chrono::nanoseconds>(now - seen.since).count());
        }
    }

    // reap: the game is over, with the row it sent or the failure that
    // ended its process.
    void finish(uint64_t ticket, GameRow row)
    {
        InFlight game = inFlight[ticket];
        inFlight.erase(ticket);
        if (game.killed && !game.rerun)
            listener.timing(game.controller, CallTiming{0, 0, game.killedNs});
        // A failed game is played again up to the step before its failure,
        // recorded, so that its replay holds everything that led there.
        if (!game.rerun && row.failed() && row.failure != FailureKind::Lost && settings.recordGames != RecordNone
            && !hosts[size_t(game.controller)]->gone) {
            InFlight again;
            again.controller = game.controller;
            again.index = game.index;
            again.rerun = true;
            again.failed = row;
            HostRequest rerun;
            rerun.failedAt = std::max(1, row.steps);
            rerun.failure = int32_t(row.failure);
            request(again, rerun);
            return;
        }
        row.seed = seedOf(game);
        order.deliver(game.controller, game.index, row);
        if (progress)
            progress(order.delivered, total);
    }

    // What the arena knows of a game whose host is gone: nothing.
    static HostMessage lostProcess(uint64_t ticket)
    {
        HostMessage lost;
        lost.ticket = ticket;
        lost.waitStatus = -1;
        return lost;
    }

    // report a failure: what ended a game that sent no row.
    GameRow failureRow(const InFlight &game, const HostMessage &ended) const
    {
        GameRow row;
        row.steps = ended.step;
        if (ended.refused >= 0) {
            row.failure = FailureKind::Refused;
            row.failureCode = ended.refused;
        } else if (game.killed) {
            row.failure = FailureKind::TimeLimit;
            row.steps = game.killedStep;
            row.failureCode = settings.timeLimitMs;
        } else if (ended.refused == sandbox::setupFailed || ended.waitStatus == -1 || ended.slot < 0) {
            row.failure = FailureKind::Lost;
        } else if (WIFSIGNALED(ended.waitStatus)) {
            row.failure = FailureKind::Crashed;
            row.failureCode = WTERMSIG(ended.waitStatus);
        } else {
            row.failure = FailureKind::Exited;
            row.failureCode = WIFEXITED(ended.waitStatus) ? WEXITSTATUS(ended.waitStatus) : -1;
        }
        return row;
    }

    // A host that died takes its games with it, and its controller stops.
    // The slots its games held come back here.
    void hostGone(int c)
    {
        hosts[size_t(c)]->gone = true;
        std::vector<uint64_t> lost;
        for (const auto &entry : inFlight)
            if (entry.second.controller == c)
                lost.push_back(entry.first);
        for (int32_t s = 0; s < settings.jobs; ++s) {
            GameWatch &watch = watches[s];
            const int32_t owner = watch.owner.load();
            if (owner != 0 && std::find(lost.begin(), lost.end(), watch.ticket.load()) != lost.end()) {
                ::kill(owner, SIGKILL);
                watch.release();
                giveBack(s);
            }
        }
        for (uint64_t ticket : lost)
            finish(ticket, failureRow(inFlight[ticket], lostProcess(ticket)));
    }

    const QVector<ControllerSpec> &controllers;
    const ArenaSettings &settings;
    RunListener &listener;
    const std::function<void(long long, long long)> &progress;
    RowOrder order;
    SharedMemory watchMemory;
    GameWatch *watches = nullptr; // in watchMemory, one a slot
    SharedMemory replays;
    int freeSlots[2] = {-1, -1};
    ReplayPacker packer;
    std::vector<SlotWatch> slotWatches;
    std::map<uint64_t, InFlight> inFlight;
    std::vector<std::unique_ptr<Host>> hosts;
    uint64_t lastTicket = 0;
    int nextIndex = 0;
    int nextController = 0;
    long long total = 0;
};

} // namespace

bool runArena(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings, RunListener &listener,
              QString &error, const std::function<void(long long, long long)> &progress)
{
    Scheduler scheduler(controllers, settings, listener, progress);
    if (!scheduler.start(error))
        return false;
    scheduler.play();
    return true;
}

#else

// Without fork every game shares this process: no fresh controller per
// game, no crash protection and no log; the generators are still separate.
namespace {
SeparateGenerators *generators = nullptr;
ControllerFunction playing = nullptr;
void separatedController(int &action, const size_t agent, const size_t numAgents, const size_t numResources,
                         const int *circleRadius, const int *xCoordinate, const int *yCoordinate,
                         const int *xVelocity, const int *yVelocity)
{
    generators->enterController();
    playing(action, agent, numAgents, numResources, circleRadius, xCoordinate, yCoordinate, xVelocity, yVelocity);
    generators->leaveController();
}
} // namespace

bool runArena(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings, RunListener &listener,
              QString &error, const std::function<void(long long, long long)> &progress)
{
    QVector<ControllerFunction> functions;
    for (const ControllerSpec &entry : controllers) {
        const LoadedController loaded = loadController(entry.path, entry.label);
        if (!loaded.function) {
            error = loaded.error;
            return false;
        }
        functions.append(loaded.function);
    }
    static SeparateGenerators separate;
    generators = &separate;
    Ball_engine engine;
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    engine.setController(&separatedController);
    RowOrder order(controllers.size(), settings.maxFailures, listener);
    const SeedRange range = settings.played();
    for (int g = 0; g < range.games; ++g) {
        for (int c = 0; c < controllers.size(); ++c) {
            if (order.stopped(c))
                continue;
            const unsigned int seed = range.first + unsigned(g);
            playing = functions[c];
            separate.startGame(seed, engine);
            const GameResult result = playSeededGame(engine, seed, settings.maxSteps);
            order.deliver(c, g, describeGame(engine, seed, result));
            if (progress)
                progress(order.delivered, (long long)range.games * controllers.size());
        }
    }
    return true;
}

#endif
