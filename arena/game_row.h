// One game's row as the arena reports it, and the time its controller's
// calls took: what a game's process sends back, kept apart from the
// statistics so that the game host needs none of their maths.
#ifndef ARENA_GAME_ROW_H
#define ARENA_GAME_ROW_H

#include "engine/game.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// How a controller's game ended, as the arena sees it. A new kind goes last
// (rows cross a pipe as these numbers) and into gameEnds below.
enum class FailureKind : int32_t {
    None,       // the game was played to its end
    Crashed,    // the process died of a signal
    TimeLimit,  // a call went over --time-limit
    Exited,     // the controller ended the process itself
    Refused,    // the sandbox refused a system call it made
    Lost,       // the arena could not run the game at all
    Stalled,    // the game stopped making progress (stopped itself, or past the game's clock cap)
    BadChannel, // the game's process said something other than its actions
};

// One game. Trivially copyable: a game's process sends it through a pipe.
struct GameRow {
    uint32_t seed = 0;
    GameOutcome outcome = GameOutcome::StepLimit; // meaningful when not failed
    FailureKind failure = FailureKind::None;
    int32_t failureCode = 0;  // the signal, or the exit code
    int32_t steps = 0;        // for a failure, the step where it happened
    int32_t agent0Radius = 0; // final; 0 when dead
    int32_t agent0Rank = 0;   // 1 + agents with a larger final radius
    int32_t opponentsAlive = 0;
    // Why agent 0 lost what it lost: the step it died (0 if it did not) and
    // how (-1 none, else a RadiusChange::Cause and the agent it contested).
    int32_t deathStep = 0;
    int32_t deathCause = -1;
    int32_t deathOther = -1;
    int32_t wallLoss = 0;    // radius lost to walls
    int32_t contestLoss = 0; // radius lost to contests
    int32_t replayed = 0;    // a replay of this game was written

    bool failed() const { return failure != FailureKind::None; }
    // A failed game is lost, like a game agent 0 died in.
    bool agent0Survived() const { return !failed() && outcome == GameOutcome::Set && agent0Radius > 0; }
};

// The time spent in controller calls; not part of any row, since it is the
// one thing that differs between two runs of the same games.
struct CallTiming {
    long long calls = 0;
    double totalNs = 0;
    double worstNs = 0;
    void add(const CallTiming &other);
};

// The one list of how a game can end: the name rows (CSV, JSON) and
// replays give it, and the key of its count in the JSON's "outcomes". The
// writers and the merge's reader all go through it, so that no name can be
// written that cannot be read back.
struct GameEnd {
    const char *name;
    GameOutcome outcome; // for a failure, a row's default: it means nothing there
    FailureKind failure;
    const char *countKey;
};

inline constexpr GameEnd gameEnds[] = {
    {"set", GameOutcome::Set, FailureKind::None, "set"},
    {"none-alive", GameOutcome::NoneAlive, FailureKind::None, "none_alive"},
    {"step-limit", GameOutcome::StepLimit, FailureKind::None, "step_limit"},
    {"crashed", GameOutcome::StepLimit, FailureKind::Crashed, "crashed"},
    {"time-limit", GameOutcome::StepLimit, FailureKind::TimeLimit, "time_limit"},
    {"exited", GameOutcome::StepLimit, FailureKind::Exited, "exited"},
    {"refused", GameOutcome::StepLimit, FailureKind::Refused, "refused"},
    {"lost", GameOutcome::StepLimit, FailureKind::Lost, "not_started"},
    {"stalled", GameOutcome::StepLimit, FailureKind::Stalled, "stalled"},
    {"bad-channel", GameOutcome::StepLimit, FailureKind::BadChannel, "bad_channel"},
};

// The entry for a row: its failure, or for a finished game its outcome;
// null for a value outside the enums.
const GameEnd *gameEndOf(const GameRow &row);

// "set", "none-alive", "step-limit", or the failure: "crashed", ...;
// "unknown" for a value outside the enums.
const char *gameEndName(const GameRow &row);

// Sets the row's outcome and failure from a name gameEndName gives; false,
// with the row untouched, for any other.
bool parseGameEnd(std::string_view name, GameRow &row);

#endif
