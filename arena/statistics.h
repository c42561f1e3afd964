// Per-game records of a controller's run and what they add up to.
#ifndef ARENA_STATISTICS_H
#define ARENA_STATISTICS_H

#include "game.h"

#include <QString>
#include <QVector>

struct Interval {
    double estimate = 0;
    double low = 0;
    double high = 0;
};

// 95% Wilson score interval for `successes` out of `trials`.
Interval wilsonInterval(int successes, int trials);
// Mean with a 95% normal-approximation interval.
Interval meanInterval(const QVector<double> &values);

struct GameRow {
    unsigned int seed = 0;
    GameOutcome outcome = GameOutcome::StepLimit;
    int steps = 0;
    int agent0Radius = 0;  // final; 0 when dead
    int agent0Rank = 0;    // 1 + agents with a larger final radius
    int opponentsAlive = 0;
    bool agent0Survived() const { return outcome == GameOutcome::Set && agent0Radius > 0; }
};

enum class FailureKind { None, Crashed, TimeLimit, Lost };

struct Failure {
    FailureKind kind = FailureKind::None;
    unsigned int seed = 0;
    int step = 0;
    QString detail;
};

struct ControllerRun {
    QString label;
    QVector<GameRow> games;
    long long calls = 0;
    double totalCallNs = 0;
    double worstCallNs = 0;
    Failure failure;
};

struct Summary {
    int games = 0;
    Interval survival;
    Interval opponentSurvival; // the random opponents' mean, as the baseline
    double meanRadius = 0;
    double meanRank = 0;
    double meanSteps = 0;
    int set = 0;
    int noneAlive = 0;
    int stepLimit = 0;
    double meanCallUs = 0;
    double worstCallUs = 0;
};

Summary summarize(const ControllerRun &run, int opponents);

// Survival of `other` minus survival of `base`, over the seeds both played.
struct PairedDifference {
    int pairs = 0;
    Interval difference;
};
PairedDifference pairedSurvivalDifference(const ControllerRun &base, const ControllerRun &other);

const char *outcomeName(GameOutcome outcome);

#endif
