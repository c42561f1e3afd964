// The process that hosts one controller, and the game processes it forks.
//
// The host loads the controller's library once, then forks a fresh process
// for every game, so each game starts with the library just loaded and none
// of its memory from earlier games. Stranger's code never runs in the
// arena's own process. Only POSIX systems have this; elsewhere the arena
// plays in its own process.
#ifndef CONTROLLER_HOST_H
#define CONTROLLER_HOST_H

#include "sandbox.h"
#include "game_row.h"

#include <atomic>
#include <cstdint>
#include <cstddef>
#include <type_traits>

#if defined(__unix__) || defined(__APPLE__)
#  define PELLORIA_ISOLATION 1
#  include <sys/types.h>
#endif

// Where a running game stands, in memory shared with the arena, which reads
// it to say where a game died and to notice a call that does not return.
// A line of the cache each: games side by side store their call edges twice
// a step, and a shared line would send every store to the other CPU.
struct alignas(64) GameWatch {
    std::atomic<int32_t> pid{0};
    // The game in the slot, and the process that holds the slot: it gives
    // the slot back when its game is over; if it dies first, its host does.
    std::atomic<uint64_t> ticket{0};
    std::atomic<int32_t> owner{0};
    // Two edges a call, odd while inside the controller. One call a step, so
    // the edges give the step without any bookkeeping in the game loop.
    std::atomic<uint64_t> callEdges{0};
    // The system call the sandbox refused, or sandbox::nothingRefused.
    std::atomic<int32_t> refused{-1};

    int step() const { return stepAt(callEdges.load(std::memory_order_relaxed)); }
    static int stepAt(uint64_t edges) { return int((edges + 1) / 2); }
    // The slot is free for the next game once no process owns it; only then
    // may its number go back into the pipe, or the game that takes it cannot
    // claim it.
    void release()
    {
        pid.store(0);
        owner.store(0);
    }
};

// What the arena asks a host for: a game, or to quit. Every request has a
// ticket of its own, by which the arena knows what is said about the game.
struct HostRequest {
    int32_t quit = 0;
    uint32_t seed = 0;
    uint64_t ticket = 0;
    // Replays: which games to record (RecordGames), and for the second run
    // of a failed game, the step it failed at and how: that run stops before
    // it and is recorded whatever its outcome.
    int32_t record = 0;
    int32_t failedAt = 0;
    int32_t failure = 0;
};

// Which games get a replay written.
enum RecordGames : int32_t { RecordNone = 0, RecordLost = 1, RecordFailed = 2, RecordAll = 3 };

enum class HostMessageType : int32_t { Loaded, LoadFailed, GameDone, ProcessEnded };

// Why a host has no controller to play: the arena words it, with the path.
enum class LoadProblem : int32_t {
    NoSuchFile,
    CannotLoad,   // the loader's own words in the message's text
    NoController, // loaded, but without `controller`
    HostFailed,   // the host program itself could not start: the text says why
};

// A recorded game's frames, left in its slot's replay buffer, and what the
// arena needs besides to head them with the replay's header.
struct ReplayFacts {
    int64_t bytes = 0; // 0: no replay
    int32_t steps = 0;
    int32_t failedAtStep = 0;
    char outcome[32] = {};
};

// Everything a host and its games tell the arena. Fixed-size and smaller
// than PIPE_BUF, so that each arrives whole although several processes
// write to the same pipe.
struct HostMessage {
    HostMessageType type = HostMessageType::Loaded;
    int32_t slot = -1; // where the game played, -1 if it never got a slot
    uint32_t seed = 0;
    uint64_t ticket = 0;
    int32_t waitStatus = 0; // ProcessEnded
    int32_t step = 0;       // ProcessEnded: the step its game reached
    int32_t refused = -1;   // ProcessEnded: the call the sandbox refused
    int32_t slotToArena = 0; // GameDone: the arena gives the slot back, once it has the replay
    LoadProblem problem = LoadProblem::HostFailed; // LoadFailed
    GameRow row;            // GameDone
    CallTiming timing;      // GameDone
    ReplayFacts replay;     // GameDone: frames in the slot's replay buffer, if any
    char text[512] = {};    // LoadFailed: the detail; Loaded: why there is no sandbox, if there is none
};
static_assert(std::is_trivially_copyable<HostMessage>::value, "messages are copied through a pipe");
static_assert(sizeof(HostMessage) <= 4096, "a message must be written in one piece");

class Ball_engine;
struct GameResult;


// The row of a game that was played to its end.
GameRow describeGame(const Ball_engine &engine, uint32_t seed, const GameResult &result);

// What a host is told when it starts: a program of its own, it gets this
// through a pipe, and the memory it shares with the arena by descriptors.
struct HostSettings {
    char libraryPath[4096] = {};
    int logFd = -1;
    int requestFd = -1; // read end
    int messageFd = -1; // write end
    // The free slots, as slot numbers in a pipe shared by every host's
    // games: a game takes one before it starts and puts it back when over,
    // so that no more games run at once than there are slots, and the next
    // game starts the moment one ends, without waiting for the arena.
    int slotReadFd = -1;
    int slotWriteFd = -1;
    int slots = 0;
    int watchesFd = -1; // the slots' GameWatch array
    int maxSteps = 0;
    double timeLimitNs = 0;
    double nanosecondsPerTick = 0; // the call clock, as the arena measured it
    int spares = 1; // games' processes kept forked ahead
    bool sandbox = true;
    SandboxLimits limits;
    // Each slot's room for a replay's frames, shared with the arena.
    int replaysFd = -1;
    size_t replayBytes = 0;
};
static_assert(std::is_trivially_copyable<HostSettings>::value, "settings are copied through a pipe");

struct HostSetup : HostSettings {
    GameWatch *watches = nullptr;
    char *replays = nullptr;
};

#ifdef PELLORIA_ISOLATION
// A host program that could not start, told to the arena on `messageFd` as
// a library that could not be loaded: the arena stops with `text`.
void tellHostFailed(int messageFd, const char *text);

// The host program's own work, once it has mapped the shared memory; never
// returns.
[[noreturn]] void hostMain(const HostSetup &setup);
#endif

#endif
