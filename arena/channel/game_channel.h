// The one thing a game's process tells the arena: the action its controller
// chose at each step, one byte a step, in memory shared by the arena and
// that one process alone. Everything else about the game (its row, the
// steps, how agent 0 died, the replay) the arena works out for itself by
// playing the seed again with these actions.
//
// The process is the controller's from the moment the library loads, so it
// may write anything here; the arena reads this memory for this game only,
// and checks every byte before it believes it.
#ifndef ARENA_CHANNEL_GAME_CHANNEL_H
#define ARENA_CHANNEL_GAME_CHANNEL_H

#include "common/exit_codes.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace channel {

// An action outside 0..8, which the game plays as no acceleration.
constexpr uint8_t outOfRange = 9;
inline uint8_t byteOf(int action)
{
    return action >= 0 && action <= 8 ? uint8_t(action) : outOfRange;
}

// How far a game's process got, in its own words.
enum class Stage : int32_t { Waiting, Loading, LoadFailed, Loaded, Playing, Done };

enum class LoadProblem : int32_t { None, CannotLoad, NoController };

// The refused system call's number, in `refused`, when the sandbox ended
// the process: it then exits with ExitRefused (exit_codes.h).
constexpr int32_t nothingRefused = -1;

// A seat at a referee's game: the referee plays the game in its own
// process and, each step, hands the controller a copy of what it sees and
// its agent's number, and takes back the action. One exchange at a time:
// the referee raises `asked` (and wakes it), the seat answers with `action`
// and sets `answered` to the same number (and wakes the referee).
struct SeatExchange {
    std::atomic<uint32_t> asked{0};
    std::atomic<uint32_t> answered{0};
    int32_t quit = 0;
    int32_t spins = 0; // how long a seat looks for the next question before it sleeps
    int32_t agent = 0;
    int32_t numAgents = 0;
    int32_t numResources = 0;
    int32_t radius[16] = {}, x[16] = {}, y[16] = {};
    int32_t vx[16] = {}, vy[16] = {};
    int32_t action = 0;
};

struct Header {
    // Written by the arena before the game is handed over.
    uint32_t seed = 0;
    int32_t maxSteps = 0;
    int32_t loadOnly = 0; // load the library, say whether it could, and end
    int32_t capacity = 0; // bytes of actions after the header
    int32_t seated = 0;   // a seat at a referee's game, not a game of its own
    // Written by the game's process.
    std::atomic<uint32_t> actions{0}; // how many of the bytes below are written
    std::atomic<int32_t> stage{int32_t(Stage::Waiting)};
    std::atomic<int32_t> refused{nothingRefused};
    int32_t loadProblem = int32_t(LoadProblem::None);
    char loadText[512] = {};
    SeatExchange seat;
};
static_assert(std::is_standard_layout<Header>::value, "shared between processes");

// Room enough for a game of `maxSteps`, and a little more, so that a game
// that writes too many actions is seen doing so.
inline size_t bytesFor(int maxSteps)
{
    return sizeof(Header) + size_t(maxSteps) + 64;
}

inline uint8_t *actionsOf(Header *header)
{
    return reinterpret_cast<uint8_t *>(header + 1);
}
inline const uint8_t *actionsOf(const Header *header)
{
    return reinterpret_cast<const uint8_t *>(header + 1);
}

// The index of the first byte that is not an action, or `count` when all are.
size_t firstNonAction(const uint8_t *bytes, size_t count);

} // namespace channel

#endif
