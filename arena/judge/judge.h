// The arena's verdict on one game: the seed played again, on the arena's own
// engine, with the actions the game's process sent. The row, the steps, how
// agent 0 died and the replay all come from this play, so nothing a
// controller writes into its own process's memory changes them; only its
// actions do.
#ifndef ARENA_JUDGE_JUDGE_H
#define ARENA_JUDGE_JUDGE_H

#include "arena/game_row.h"
#include "engine/ball_engine.h"
#include "engine/game.h"
#include "engine/inline_generator.h"

#include <array>
#include <cstddef>
#include <cstdint>

class FrameWriter;

// How a game's process ended, as its host saw it and the arena decided.
struct ProcessEnd {
    enum class Way {
        Finished, // it said it played the game to its end, and exited cleanly
        Exited,   // it ended before that: `code` is its exit status
        Crashed,  // `code` is the signal
        Refused,  // `code` is the refused system call
        OverTime, // the arena ended it: `code` is the limit in ms
        Stalled,  // the arena ended it: it made no progress
        Lost,     // it never played
    };
    Way way = Way::Lost;
    int32_t code = 0;
};

// The row of a game that was played to its end.
GameRow describeGame(const Ball_engine &engine, uint32_t seed, const GameResult &result);

// How an agent died: the step (0 while it lives), the cause (-1 for none
// the engine saw, such as a seat taken out; else a RadiusChange::Cause) and
// the agent it contested.
struct AgentDeath {
    int32_t step = 0;
    int32_t cause = -1;
    int32_t other = -1;
};

// What agent 0 loses, and how each agent the engine reports on dies, as the
// engine's radius listener tells it: `step` says which step is being played.
struct RadiusFacts {
    GameRow facts; // agent 0's losses
    std::array<AgentDeath, rules::agentsPerGame> deaths{};
    const Ball_engine *engine = nullptr;
    const size_t *step = nullptr;
    void *recorder = nullptr; // a ReplayRecorder told agent 0's changes too, or none
    static void changed(void *context, const RadiusChange &change);
    void reset();
    // Copies agent 0's facts into `row`.
    void into(GameRow &row) const;
};

class Judge
{
public:
    Judge();
    Judge(const Judge &) = delete;
    Judge &operator=(const Judge &) = delete;

    // The row of the game of `seed` played with `count` action bytes. With
    // `frames`, the replay's frames of what was played (for a failed game,
    // the steps before its failure) are written there, and `played` says
    // how many steps that is.
    GameRow judge(uint32_t seed, int maxSteps, const uint8_t *actions, size_t count, const ProcessEnd &end,
                  FrameWriter *frames = nullptr, GameResult *played = nullptr);

    // The failure a process's end stands for.
    static FailureKind failureOf(const ProcessEnd &end);

private:
    static void nextAction(int &action, size_t, size_t, size_t, const int *, const int *, const int *, const int *,
                           const int *);
    GameResult replay(uint32_t seed, int steps, FrameWriter *frames);
    GameRow failure(const ProcessEnd &end, int step) const;

    Ball_engine engine;
    InlineGenerator stream;
    const uint8_t *actions = nullptr;
    size_t next = 0;
    RadiusFacts agent0;
};

#endif
