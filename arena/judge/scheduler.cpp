#include "arena/judge/scheduler.h"

#include "arena/channel/descriptors.h"
#include "arena/channel/game_channel.h"
#include "arena/games/game_process.h"
#include "arena/games/launch.h"
#include "arena/judge/controller_log.h"
#include "arena/judge/judge.h"
#include "arena/judge/launcher_link.h"
#include "arena/judge/process_watch.h"
#include "arena/judge/row_order.h"
#include "common/version.h"
#include "plugin/controller_library.h"
#include "plugin/controller_symbols.h"
#include "replay/replay.h"
#include "replay/replay_frames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <memory>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
// How often the arena looks at the games it runs.
constexpr int watchIntervalMs = 5;

struct RunningGame {
    int controller = -1;
    int index = 0;
    bool loadOnly = false;
    uint32_t seed = 0;
    std::unique_ptr<ChannelMemory> channel;
    int output = -1; // read end of what its process prints
    std::string partial;
    pid_t pid = 0;
    Clock::time_point started, progressAt;
    uint32_t progressCount = 0;
    int64_t progressCpu = 0;
    int64_t worstNs = 0; // the longest the arena saw one call run
    bool killed = false;
    ProcessEnd::Way killedAs = ProcessEnd::Way::Lost;
    int32_t killCode = 0;
    // A load check's end, kept for the verdict on the library.
    bool over = false;
    ProcessEnd end;
    int64_t cpuNs = 0;
};

uint32_t actionsSent(const RunningGame &game)
{
    return game.channel->header->actions.load(std::memory_order_acquire);
}

ProcessEnd endOf(const RunningGame &game, int status)
{
    const ProcessEnd kill{game.killed ? game.killedAs : ProcessEnd::Way::Lost, game.killCode};
    return processEnd(*game.channel->header, status, game.killed ? &kill : nullptr, actionsSent(game));
}

} // namespace

namespace {

class Scheduler
{
public:
    Scheduler(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings, RunListener &listener,
              const std::function<void(long long, long long)> &progress)
        : controllers(controllers), settings(settings), listener(listener), progress(progress),
          order(controllers.size(), settings.maxFailures, listener)
    {
    }

    bool start(QString &error);
    void play();
    void handOver(ControllerProcesses &processes)
    {
        processes.launchers = std::move(launchers);
        processes.logs = std::move(logs);
    }

private:
    bool startLaunchers(QString &error);
    bool checkLoads(QString &error);
    uint64_t launch(int c, int index, bool loadOnly);
    void pump();
    void onEvent(int c, const launch::Event &event);
    void onEnded(uint64_t ticket, int status, int64_t cpuNs);
    void watch();
    void watchGame(uint64_t ticket, RunningGame &game, Clock::time_point now);
    void kill(uint64_t ticket, RunningGame &game, ProcessEnd::Way way, int32_t code);
    void drainOutput(RunningGame &game, bool end);
    void deliver(RunningGame &game, int64_t cpuNs);
    void judgeFinished();
    bool saveReplay(const RunningGame &game, const GameRow &row, const GameResult &played, const FrameWriter &frames);
    void launcherGone(int c);
    bool nextTask(int &c, int &index);
    int limitMs(const RunningGame &game) const
    {
        return actionsSent(game) == 0 ? settings.firstCallMs : settings.timeLimitMs;
    }
    unsigned seedOf(int index) const { return settings.played().first + unsigned(index); }

    const QVector<ControllerSpec> &controllers;
    const ArenaSettings &settings;
    RunListener &listener;
    const std::function<void(long long, long long)> &progress;
    RowOrder order;
    Judge judge;
    ReplayPacker packer;
    std::vector<std::unique_ptr<LauncherLink>> launchers;
    std::vector<std::unique_ptr<ControllerLog>> logs;
    std::map<uint64_t, RunningGame> games;
    std::vector<uint64_t> finished; // ended, not yet judged
    uint64_t lastTicket = 0;
    int running = 0; // games, not load checks
    int nextIndex = 0;
    int nextController = 0;
    long long total = 0;
};

bool Scheduler::start(QString &error)
{
    for (const ControllerSpec &entry : controllers) {
        if (size_t(QFile::encodeName(QFileInfo(entry.path).absoluteFilePath()).size())
            >= sizeof(launch::Settings::libraryPath)) {
            error = QStringLiteral("%1: the path is too long").arg(entry.path);
            return false;
        }
        if (!QFileInfo::exists(entry.path)) {
            error = noSuchFileMessage(entry.path);
            return false;
        }
        logs.push_back(std::make_unique<ControllerLog>());
        if (!logs.back()->open(entry.logPath, settings.logLimitBytes, error))
            return false;
    }
    return startLaunchers(error) && checkLoads(error);
}

bool Scheduler::startLaunchers(QString &error)
{
    QStringList notes;
    for (const ControllerSpec &entry : controllers) {
        launchers.push_back(std::make_unique<LauncherLink>());
        if (!launchers.back()->start(entry, settings, notes, error))
            return false;
    }
    for (const QString &note : notes)
        listener.note(note);
    return true;
}

// Every controller loaded once, confined, before any game: a bad file costs
// nothing, and is said in one line.
bool Scheduler::checkLoads(QString &error)
{
    std::vector<uint64_t> checks;
    checks.reserve(size_t(controllers.size()));
    for (int c = 0; c < controllers.size(); ++c)
        checks.push_back(launch(c, 0, true));
    while (std::any_of(checks.begin(), checks.end(), [this](uint64_t t) { return !games[t].over; }))
        pump();
    for (int c = 0; c < controllers.size(); ++c) {
        error = loadFailure(*games[checks[size_t(c)]].channel->header, games[checks[size_t(c)]].end,
                            controllers[c].path, settings.firstCallMs);
        games.erase(checks[size_t(c)]);
        if (!error.isEmpty())
            return false;
    }
    return true;
}

void Scheduler::play()
{
    total = (long long)settings.played().games * controllers.size();
    for (;;) {
        int c = -1, index = 0;
        while (running < settings.jobs && nextTask(c, index)) {
            ++running;
            launch(c, index, false);
        }
        judgeFinished();
        if (games.empty())
            break;
        pump();
    }
    for (int c = 0; c < controllers.size(); ++c) {
        const ControllerLog &log = *logs[size_t(c)];
        if (log.droppedLines() > 0)
            listener.note(QStringLiteral("%1: its log reached its limit of %2 bytes; %3 lines were not written")
                              .arg(controllers[c].label)
                              .arg(log.limit())
                              .arg(log.droppedLines()));
    }
}

bool Scheduler::nextTask(int &c, int &index)
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

// A game's channel and output made here, handed to its launcher, and kept
// by no other process.
uint64_t Scheduler::launch(int c, int index, bool loadOnly)
{
    const uint64_t ticket = ++lastTicket;
    RunningGame &game = games[ticket];
    game.controller = c;
    game.index = index;
    game.loadOnly = loadOnly;
    game.seed = loadOnly ? 0 : seedOf(index);
    game.channel = std::make_unique<ChannelMemory>();
    const bool handed = game.channel->create(settings.maxSteps, game.seed, loadOnly)
        && launchers[size_t(c)]->startGame(ticket, *game.channel, game.output);
    if (!handed)
        onEnded(ticket, -1, 0);
    return ticket;
}

void Scheduler::pump()
{
    std::vector<pollfd> fds;
    for (const auto &link : launchers)
        fds.push_back({link->gone ? -1 : link->fd(), POLLIN, 0});
    std::vector<uint64_t> outputs;
    for (const auto &entry : games) {
        if (entry.second.output >= 0) {
            fds.push_back({entry.second.output, POLLIN, 0});
            outputs.push_back(entry.first);
        }
    }
    if (::poll(fds.data(), nfds_t(fds.size()), watchIntervalMs) > 0) {
        for (size_t i = 0; i < outputs.size(); ++i)
            if (fds[launchers.size() + i].revents)
                drainOutput(games[outputs[i]], false);
        for (size_t c = 0; c < launchers.size(); ++c) {
            launch::Event event;
            while (fds[c].revents && launchers[c]->next(event) > 0)
                onEvent(int(c), event);
            if (launchers[c]->gone)
                launcherGone(int(c));
        }
    }
    watch();
}

void Scheduler::onEvent(int c, const launch::Event &event)
{
    const auto it = games.find(event.ticket);
    if (event.kind == launch::Event::Note) {
        listener.note(QString::fromLocal8Bit(event.text));
        return;
    }
    if (it == games.end() || it->second.controller != c)
        return;
    RunningGame &game = it->second;
    if (event.kind == launch::Event::Started && event.pid > 0) {
        game.pid = event.pid;
        game.started = game.progressAt = Clock::now();
        game.progressCpu = std::max<int64_t>(0, cpuOf(game.pid));
    } else if (event.kind == launch::Event::Ended) {
        onEnded(event.ticket, event.status, event.cpuNs);
    }
}

// The process is gone: what it printed goes to the log, and the game is
// judged from what it sent.
void Scheduler::onEnded(uint64_t ticket, int status, int64_t cpuNs)
{
    RunningGame &game = games[ticket];
    if (game.output >= 0)
        drainOutput(game, true);
    game.end = endOf(game, status);
    game.over = true;
    game.cpuNs = cpuNs;
    if (game.loadOnly)
        return; // judged by checkLoads
    // Judged once the next game is under way.
    finished.push_back(ticket);
    --running;
}

void Scheduler::judgeFinished()
{
    for (uint64_t ticket : finished) {
        deliver(games[ticket], games[ticket].cpuNs);
        games.erase(ticket);
    }
    finished.clear();
}

void Scheduler::deliver(RunningGame &game, int64_t cpuNs)
{
    const channel::Header &h = *game.channel->header;
    const size_t sent = std::min<size_t>(actionsSent(game), size_t(h.capacity) + 1);
    // Copied out: the judge reads nothing the game could still change.
    std::vector<uint8_t> actions(channel::actionsOf(&h), channel::actionsOf(&h) + std::min<size_t>(sent, h.capacity));
    if (sent > actions.size())
        actions.push_back(0xff); // more than it had room for: not actions
    const bool record = settings.recordGames != RecordNone;
    FrameWriter frames;
    GameResult played;
    GameRow row = judge.judge(game.seed, settings.maxSteps, actions.data(), actions.size(), game.end,
                              record ? &frames : nullptr, &played);
    if (record)
        row.replayed = saveReplay(game, row, played, frames) ? 1 : 0;
    CallTiming timing;
    timing.calls = (long long)actions.size();
    timing.totalNs = double(cpuNs);
    timing.worstNs = double(std::max<int64_t>(game.worstNs, timing.calls > 0 ? cpuNs / timing.calls : 0));
    listener.timing(game.controller, timing);
    order.deliver(game.controller, game.index, row);
    if (progress)
        progress(order.delivered, total);
}

void Scheduler::drainOutput(RunningGame &game, bool end)
{
    logs[size_t(game.controller)]->drain(game.output, game.partial, end);
}

void Scheduler::watch()
{
    const Clock::time_point now = Clock::now();
    for (auto &entry : games)
        if (entry.second.pid > 0 && !entry.second.killed)
            watchGame(entry.first, entry.second, now);
}

// A call's processor time, read from the kernel while it is late: the
// machine's load is not the controller's. A process that stopped, sleeps
// past every reason, or outlasts the game's clock cap is ended too.
void Scheduler::watchGame(uint64_t ticket, RunningGame &game, Clock::time_point now)
{
    const uint32_t count = actionsSent(game);
    const int64_t cpu = cpuOf(game.pid);
    if (cpu < 0)
        return; // ended: its launcher says so
    if (count != game.progressCount) {
        game.progressCount = count;
        game.progressCpu = cpu;
        game.progressAt = now;
        return;
    }
    const int limit = limitMs(game);
    const int64_t spent = cpu - game.progressCpu;
    game.worstNs = std::max(game.worstNs, spent);
    const auto gameCap = std::chrono::milliseconds(
        std::max<long long>(10000, 10LL * std::max<uint32_t>(count, 1) * settings.timeLimitMs) + settings.firstCallMs);
    const ProcessEnd::Way late = now - game.started > gameCap ? ProcessEnd::Way::Stalled
                                                              : lateness(game.pid, spent, limit, now - game.progressAt);
    if (late != ProcessEnd::Way::Finished)
        kill(ticket, game, late, late == ProcessEnd::Way::OverTime ? limit : 0);
}

void Scheduler::kill(uint64_t ticket, RunningGame &game, ProcessEnd::Way way, int32_t code)
{
    game.killed = true;
    game.killedAs = way;
    game.killCode = code;
    launchers[size_t(game.controller)]->kill(ticket);
}

void Scheduler::launcherGone(int c)
{
    std::vector<uint64_t> lost;
    for (const auto &entry : games)
        if (entry.second.controller == c)
            lost.push_back(entry.first);
    for (uint64_t ticket : lost)
        onEnded(ticket, -1, 0);
}

// The replay of a game the run records: whole or not at all, by a rename.
bool Scheduler::saveReplay(const RunningGame &game, const GameRow &row, const GameResult &played,
                           const FrameWriter &frames)
{
    if (!recordsGame(settings.recordGames, row.failure, row.agent0Survived()) || frames.size() == 0)
        return false;
    const ControllerSpec &entry = controllers[game.controller];
    ReplayHeader header;
    header.program = QStringLiteral(PELLORIA_VERSION);
    header.seed = game.seed;
    header.controller = QFileInfo(entry.path).fileName();
    header.sha256 = entry.sha256;
    header.maxSteps = settings.maxSteps;
    header.steps = played.steps;
    header.outcome = QString::fromLatin1(row.failed() ? gameEndName(row) : gameOutcomeName(played.outcome));
    header.failedAtStep = row.failed() ? row.steps : 0;
    return saveRecordedGame(QDir(settings.recordDir).filePath(replayFileName(game.controller, entry.path, game.seed)),
                            header, frames, packer);
}

} // namespace

bool runIsolated(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings, RunListener &listener,
                 QString &error, const std::function<void(long long, long long)> &progress)
{
    Scheduler scheduler(controllers, settings, listener, progress);
    if (!scheduler.start(error))
        return false;
    scheduler.play();
    return true;
}

bool prepareControllers(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings,
                        RunListener &listener, ControllerProcesses &processes, QString &error)
{
    const std::function<void(long long, long long)> noProgress;
    Scheduler scheduler(controllers, settings, listener, noProgress);
    if (!scheduler.start(error))
        return false;
    scheduler.handOver(processes);
    return true;
}

ControllerProcesses::ControllerProcesses() = default;
ControllerProcesses::~ControllerProcesses() = default;
