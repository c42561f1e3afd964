// Per-game rows of a run and the figures they add up to, computed as the
// rows arrive so that a run of any length needs the same memory.
#ifndef ARENA_STATISTICS_H
#define ARENA_STATISTICS_H

#include "game.h"

#include <cstdint>

// A figure with its 95% interval; `valid` is false where there is no data
// to estimate it from, and the report prints "n/a" then.
struct Interval {
    bool valid = false;   // there is an estimate
    bool bounded = false; // and an interval around it (a mean of one has none)
    double estimate = 0;
    double low = 0;
    double high = 0;
};

// Wilson score interval for `successes` out of `trials`.
Interval wilsonInterval(long long successes, long long trials);

// Student's t quantile for a two-sided 95% interval: t(0.975, df).
double studentT975(long long df);

// Mean with its t interval, from exact integer sums.
Interval tInterval(long long n, long long sum, long long sumOfSquares);

// Paired proportions: survival difference (other minus base) over n pairs,
// given the four cells: both survived, only the other, only the base,
// neither. Newcombe's hybrid score interval (his method 10).
Interval newcombePairedDifference(long long both, long long onlyOther, long long onlyBase, long long neither);

// McNemar's exact two-sided p-value for `b` and `c` discordant pairs.
double mcnemarExactP(long long b, long long c);

// How a controller's game ended, as the arena sees it.
enum class FailureKind : int32_t {
    None,      // the game was played to its end
    Crashed,   // the process died of a signal
    TimeLimit, // a call went over --time-limit
    Exited,    // the controller ended the process itself
    Refused,   // the sandbox refused a system call it made
    Lost,      // the arena could not run the game at all
};

// One game. Trivially copyable: a game's process sends it through a pipe.
struct GameRow {
    uint32_t seed = 0;
    GameOutcome outcome = GameOutcome::StepLimit; // meaningful when not failed
    FailureKind failure = FailureKind::None;
    int32_t failureCode = 0; // the signal, or the exit code
    int32_t steps = 0;       // for a failure, the step where it happened
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

// One controller's games, added up.
struct ControllerTally {
    long long games = 0;
    long long finished = 0;
    long long survived = 0;
    long long set = 0, noneAlive = 0, stepLimit = 0;
    long long crashed = 0, timeLimit = 0, exited = 0, refused = 0, lost = 0;
    long long radiusSum = 0, radiusSquares = 0; // finished games
    long long rankSum = 0, rankSquares = 0;
    long long stepsSum = 0;

    void add(const GameRow &row);
    long long failures() const { return crashed + timeLimit + exited + refused + lost; }
    Interval survival() const { return wilsonInterval(survived, games); }
    Interval radius() const { return tInterval(finished, radiusSum, radiusSquares); }
    Interval rank() const { return tInterval(finished, rankSum, rankSquares); }
    double meanSteps() const { return finished > 0 ? double(stepsSum) / double(finished) : 0; }
};

// Another controller against the baseline, seed by seed.
struct PairedTally {
    long long pairs = 0;
    long long both = 0, onlyOther = 0, onlyBase = 0, neither = 0;
    // Radius and rank need both games finished.
    long long finishedPairs = 0;
    long long radiusDiffSum = 0, radiusDiffSquares = 0;
    long long rankDiffSum = 0, rankDiffSquares = 0;

    void add(const GameRow &base, const GameRow &other);
    Interval survivalDifference() const { return newcombePairedDifference(both, onlyOther, onlyBase, neither); }
    double survivalP() const { return mcnemarExactP(onlyOther, onlyBase); }
    Interval radiusDifference() const { return tInterval(finishedPairs, radiusDiffSum, radiusDiffSquares); }
    Interval rankDifference() const { return tInterval(finishedPairs, rankDiffSum, rankDiffSquares); }
};

// The time spent in controller calls; not part of any row, since it is the
// one thing that differs between two runs of the same games.
struct CallTiming {
    long long calls = 0;
    double totalNs = 0;
    double worstNs = 0;
    void add(const CallTiming &other);
};

// "set", "none-alive", "step-limit", or the failure: "crashed", ...
const char *gameEndName(const GameRow &row);

#endif
