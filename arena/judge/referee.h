// A game with the engine, its generator and the clock in the arena's own
// process, and each seated controller in a confined process of its own
// that sees a copy of the arrays each step and returns only its action.
// No seat can read the engine's memory, the generator or another seat's
// memory: they share nothing but their own exchange with the referee.
#ifndef ARENA_JUDGE_REFEREE_H
#define ARENA_JUDGE_REFEREE_H

#include "arena/game_row.h"
#include "arena/judge/judge.h"
#include "arena/runner.h"
#include "engine/ball_engine.h"
#include "engine/game.h"
#include "engine/inline_generator.h"

#include <array>
#include <map>
#include <memory>
#include <vector>

#include <sys/types.h>

class ControllerLog;
class FrameWriter;
class LauncherLink;
class ReplayRecorder;

// How one seat's controller did in a refereed game.
struct SeatOutcome {
    int controller = 0;
    int agent = 0;
    FailureKind failure = FailureKind::None; // its agent was taken out of the game then
    int32_t failureCode = 0;
    int32_t failedAt = 0; // the step
    long long calls = 0;
    int64_t cpuNs = 0;
};

struct RefereedGame {
    uint32_t seed = 0;
    GameResult result;
    std::array<int, rules::agentsPerGame> radius{};        // at the end; 0 for dead
    std::array<AgentDeath, rules::agentsPerGame> deaths{}; // each agent's, taken out or not
    GameRow agent0;                                        // agent 0's death and losses
    std::vector<SeatOutcome> seats;                        // by agent
};

class Referee
{
public:
    Referee(const std::vector<LauncherLink *> &launchers, const std::vector<ControllerLog *> &logs,
            const ArenaSettings &settings);
    ~Referee();
    Referee(const Referee &) = delete;
    Referee &operator=(const Referee &) = delete;

    // The game of `seed` with controller `controllerOfSeat[a]` steering
    // agent a; its replay's frames go to `frames` when given.
    RefereedGame play(uint32_t seed, const std::vector<int> &controllerOfSeat, FrameWriter *frames = nullptr);

    // The round trip of one question and answer, on average so far.
    double meanExchangeNs() const { return exchanges > 0 ? double(exchangeNs) / double(exchanges) : 0; }

private:
    struct Seat;
    void seatAll(uint32_t seed, const std::vector<int> &controllerOfSeat);
    void playSteps(RefereedGame &game, ReplayRecorder *recording);
    bool seat(Seat &s, uint32_t seed);
    int ask(Seat &s, int step);
    bool answered(Seat &s, uint32_t asked, int step);
    void unseat(Seat &s, FailureKind failure, int32_t code, int step);
    void release(Seat &s);
    void pumpEvents();
    void drain(Seat &s, bool end);
    void keepToOneProcessor();
    void keepSeatWithMe(pid_t pid);

    std::vector<LauncherLink *> launchers;
    std::vector<ControllerLog *> logs;
    const ArenaSettings &settings;
    Ball_engine engine;
    InlineGenerator stream;
    RadiusFacts facts;
    size_t step = 0;
    std::vector<std::unique_ptr<Seat>> seats;
    struct Event {
        int pid = 0;
        bool ended = false;
        int status = 0;
        int64_t cpuNs = 0;
    };
    std::map<uint64_t, Event> events;
    uint64_t lastTicket = 1ULL << 62; // apart from the scheduler's tickets
    long long exchanges = 0;
    long long exchangeNs = 0;
    // The processor the referee and its seats keep to, or -1 for none.
    int processor = -1;
    std::vector<unsigned char> formerAffinity;
};

#endif
