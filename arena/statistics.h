// Per-game rows of a run and the figures they add up to, computed as the
// rows arrive so that a run of any length needs the same memory.
#ifndef ARENA_STATISTICS_H
#define ARENA_STATISTICS_H

#include "arena/game_row.h"

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

// One controller's games, added up.
struct ControllerTally {
    long long games = 0;
    long long finished = 0;
    long long survived = 0;
    long long set = 0, noneAlive = 0, stepLimit = 0;
    long long crashed = 0, timeLimit = 0, exited = 0, refused = 0, lost = 0, stalled = 0, badChannel = 0;
    long long radiusSum = 0, radiusSquares = 0; // finished games
    long long rankSum = 0, rankSquares = 0;
    long long stepsSum = 0;

    void add(const GameRow &row);
    long long failures() const { return crashed + timeLimit + exited + refused + lost + stalled + badChannel; }
    // The games that ended so: one of the counts above.
    long long ended(const GameEnd &end) const;
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

#endif
