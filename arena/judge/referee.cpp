#include "arena/judge/referee.h"

#include "arena/channel/wake.h"
#include "arena/judge/controller_log.h"
#include "arena/judge/launcher_link.h"
#include "arena/judge/process_watch.h"
#include "engine/step.h"
#include "replay/recorder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
// Spins this long for an answer before it sleeps, where the seat has a
// processor of its own: a quick controller answers within it.
constexpr int spinsBeforeSleep = 4000;
constexpr long long sleepSliceNs = 2000000;
constexpr auto seatDeadline = std::chrono::seconds(30);

} // namespace

struct Referee::Seat {
    int controller = 0;
    int agent = 0;
    uint64_t ticket = 0;
    pid_t pid = 0;
    ChannelMemory channel;
    int output = -1;
    std::string partial;
    bool out = false; // its agent was taken out of the game
    SeatOutcome outcome;
};

// The referee and its seats take turns, never run at once: kept to one
// processor, a question and its answer are a switch between two processes
// there, several times cheaper on a virtual machine than waking a process
// on another processor, and no one spins while the other would run.
void Referee::keepToOneProcessor()
{
#if defined(__linux__)
    cpu_set_t former;
    if (::sched_getaffinity(0, sizeof former, &former) != 0)
        return;
    formerAffinity.assign(reinterpret_cast<unsigned char *>(&former), reinterpret_cast<unsigned char *>(&former + 1));
    const int cpu = ::sched_getcpu();
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    if (cpu >= 0 && ::sched_setaffinity(0, sizeof one, &one) == 0)
        processor = cpu;
#endif
}

void Referee::keepSeatWithMe(pid_t pid)
{
#if defined(__linux__)
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(processor, &one);
    if (processor >= 0)
        (void)::sched_setaffinity(pid, sizeof one, &one); // left free where it may not be moved
#else
    (void)pid;
#endif
}

Referee::Referee(const std::vector<LauncherLink *> &launchers, const std::vector<ControllerLog *> &logs,
                 const ArenaSettings &settings)
    : launchers(launchers), logs(logs), settings(settings)
{
    keepToOneProcessor();
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    engine.drawFrom(&stream);
    facts.engine = &engine;
    facts.step = &step;
    engine.setRadiusListener(&RadiusFacts::changed, &facts, rules::agentsPerGame);
}

Referee::~Referee()
{
#if defined(__linux__)
    if (processor >= 0 && formerAffinity.size() == sizeof(cpu_set_t))
        (void)::sched_setaffinity(0, sizeof(cpu_set_t), reinterpret_cast<const cpu_set_t *>(formerAffinity.data()));
#endif
}

void Referee::pumpEvents()
{
    for (LauncherLink *link : launchers) {
        launch::Event event;
        while (link->next(event) > 0) {
            Event &e = events[event.ticket];
            if (event.kind == launch::Event::Started)
                e.pid = event.pid;
            else if (event.kind == launch::Event::Ended)
                e = Event{e.pid, true, event.status, event.cpuNs};
        }
    }
}

void Referee::drain(Seat &s, bool end)
{
    logs[size_t(s.controller)]->drain(s.output, s.partial, end);
}

// The controller's process for this seat, loaded and waiting, or false.
bool Referee::seat(Seat &s, uint32_t seed)
{
    s.ticket = ++lastTicket;
    if (!s.channel.create(0, seed, false))
        return false;
    s.channel.header->seated = 1;
    const bool handed = launchers[size_t(s.controller)]->startGame(s.ticket, s.channel, s.output);
    const Clock::time_point deadline = Clock::now() + seatDeadline;
    while (handed && events[s.ticket].pid == 0 && !events[s.ticket].ended && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        pumpEvents();
    }
    s.pid = events[s.ticket].pid;
    if (s.pid > 0) {
        keepSeatWithMe(s.pid);
        s.channel.header->seat.spins = processor >= 0 ? 0 : spinsBeforeSleep;
    }
    return handed && s.pid > 0;
}

void Referee::unseat(Seat &s, FailureKind failure, int32_t code, int atStep)
{
    s.out = true;
    s.outcome.failure = failure;
    s.outcome.failureCode = code;
    s.outcome.failedAt = atStep;
    engine.getCircleRadius()[s.agent] = 0; // the game goes on for the others
    if (!events[s.ticket].ended)
        launchers[size_t(s.controller)]->kill(s.ticket);
}

// Whether the seat answered question `asked`; on the way, whether it died,
// spent its processor time, stopped or stalled (then it is unseated).
bool Referee::answered(Seat &s, uint32_t asked, int atStep)
{
    channel::SeatExchange &x = s.channel.header->seat;
    const int limit = s.outcome.calls == 0 ? settings.firstCallMs : settings.timeLimitMs;
    const int64_t cpuAtQuestion = cpuOf(s.pid);
    const Clock::time_point askedAt = Clock::now();
    const int spins = processor >= 0 ? 0 : spinsBeforeSleep;
    for (;;) {
        for (int spin = 0; spin < spins; ++spin)
            if (x.answered.load(std::memory_order_acquire) == asked)
                return true;
        wake::waitWhile(x.answered, asked - 1, sleepSliceNs);
        if (x.answered.load(std::memory_order_acquire) == asked)
            return true;
        drain(s, false);
        pumpEvents();
        const Event &e = events[s.ticket];
        if (e.ended) {
            const ProcessEnd end = processEnd(*s.channel.header, e.status, nullptr, uint32_t(s.outcome.calls));
            unseat(s, Judge::failureOf(end), end.code, atStep);
            return false;
        }
        const ProcessEnd::Way late = lateness(s.pid, cpuOf(s.pid) - cpuAtQuestion, limit, Clock::now() - askedAt);
        if (late != ProcessEnd::Way::Finished) {
            unseat(s, Judge::failureOf({late, 0}), late == ProcessEnd::Way::OverTime ? limit : 0, atStep);
            return false;
        }
    }
}

int Referee::ask(Seat &s, int atStep)
{
    if (s.out)
        return 0;
    channel::SeatExchange &x = s.channel.header->seat;
    const size_t agents = engine.getNumAgents(), circles = agents + engine.getNumResources();
    x.agent = s.agent;
    x.numAgents = int32_t(agents);
    x.numResources = int32_t(engine.getNumResources());
    std::copy_n(engine.getCircleRadius(), circles, x.radius);
    std::copy_n(engine.getXCoordinate(), circles, x.x);
    std::copy_n(engine.getYCoordinate(), circles, x.y);
    std::copy_n(engine.getXVelocity(), agents, x.vx);
    std::copy_n(engine.getYVelocity(), agents, x.vy);
    const auto start = Clock::now();
    const uint32_t asked = x.asked.load(std::memory_order_relaxed) + 1;
    x.asked.store(asked, std::memory_order_release);
    wake::wakeAll(x.asked);
    if (!answered(s, asked, atStep))
        return 0;
    ++s.outcome.calls;
    ++exchanges;
    exchangeNs += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    return channel::byteOf(x.action);
}

// A seat that played to the end is told so, and its process ends by itself.
void Referee::release(Seat &s)
{
    if (!s.out) {
        channel::SeatExchange &x = s.channel.header->seat;
        x.quit = 1;
        x.asked.store(x.asked.load() + 1, std::memory_order_release);
        wake::wakeAll(x.asked);
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    while (!events[s.ticket].ended && Clock::now() < deadline) {
        drain(s, false);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        pumpEvents();
    }
    if (!events[s.ticket].ended)
        launchers[size_t(s.controller)]->kill(s.ticket);
    drain(s, true);
    s.outcome.cpuNs = events[s.ticket].cpuNs;
    events.erase(s.ticket);
}

// Every seat's process loaded, or its agent out of the game from the start.
void Referee::seatAll(uint32_t seed, const std::vector<int> &controllerOfSeat)
{
    seats.clear();
    for (size_t a = 0; a < controllerOfSeat.size() && a < rules::agentsPerGame; ++a) {
        auto s = std::make_unique<Seat>();
        s->controller = s->outcome.controller = controllerOfSeat[a];
        s->agent = s->outcome.agent = int(a);
        seats.push_back(std::move(s));
    }
    for (auto &s : seats) {
        if (!seat(*s, seed)) {
            s->out = true;
            s->outcome.failure = FailureKind::Lost;
        }
    }
}

void Referee::playSteps(RefereedGame &game, ReplayRecorder *recording)
{
    size_t phase = 0;
    game.result.outcome = GameOutcome::StepLimit;
    while (game.result.steps < settings.maxSteps) {
        step = size_t(game.result.steps) + 1;
        if (recording)
            ReplayRecorder::observe(recording, int(step));
        for (size_t i = 0; i < engine.getNumAgents(); ++i) {
            if (i < seats.size())
                engine.getActions()[i] = ask(*seats[i], int(step));
            else
                engine.chooseAction(i);
        }
        game.result.alive = stepArena(engine, phase);
        game.result.steps = int(step);
        for (size_t a = 0; a < rules::agentsPerGame; ++a)
            if (game.deaths[a].step == 0 && engine.getCircleRadius()[a] <= 0)
                game.deaths[a].step = int(step); // the engine's cause, if it saw one, comes later
        if (isGameSet(game.result.alive) || game.result.alive == 0) {
            game.result.outcome = game.result.alive == 0 ? GameOutcome::NoneAlive : GameOutcome::Set;
            break;
        }
    }
    if (recording)
        recording->finish(game.result);
}

RefereedGame Referee::play(uint32_t seed, const std::vector<int> &controllerOfSeat, FrameWriter *frames)
{
    RefereedGame game;
    game.seed = seed;
    seatAll(seed, controllerOfSeat);
    facts.reset();
    step = 0;
    engine.resetSeeded(seed);
    for (auto &s : seats)
        if (s->out)
            engine.getCircleRadius()[s->agent] = 0;
    std::unique_ptr<ReplayRecorder> recording;
    if (frames)
        recording = std::make_unique<ReplayRecorder>(engine, false, frames);
    facts.recorder = recording.get();
    playSteps(game, recording.get());
    facts.recorder = nullptr;
    for (size_t a = 0; a < rules::agentsPerGame; ++a) {
        game.radius[a] = std::max(0, engine.getCircleRadius()[a]);
        if (facts.deaths[a].step > 0)
            game.deaths[a] = facts.deaths[a];
    }
    facts.into(game.agent0);
    for (auto &s : seats) {
        release(*s);
        game.seats.push_back(s->outcome);
    }
    seats.clear();
    return game;
}
