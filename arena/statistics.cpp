#include "statistics.h"

#include <QHash>

#include <cmath>

namespace {
constexpr double z95 = 1.959963984540054;
}

Interval wilsonInterval(int successes, int trials)
{
    Interval result;
    if (trials <= 0)
        return result;
    const double n = trials;
    const double p = successes / n;
    const double z2 = z95 * z95;
    const double centre = (p + z2 / (2 * n)) / (1 + z2 / n);
    const double half = z95 * std::sqrt(p * (1 - p) / n + z2 / (4 * n * n)) / (1 + z2 / n);
    result.estimate = p;
    result.low = std::max(0.0, centre - half);
    result.high = std::min(1.0, centre + half);
    return result;
}

Interval meanInterval(const QVector<double> &values)
{
    Interval result;
    const int n = values.size();
    if (n == 0)
        return result;
    double sum = 0;
    for (double v : values)
        sum += v;
    const double mean = sum / n;
    double squares = 0;
    for (double v : values)
        squares += (v - mean) * (v - mean);
    const double half = n > 1 ? z95 * std::sqrt(squares / (n - 1) / n) : 0;
    result.estimate = mean;
    result.low = mean - half;
    result.high = mean + half;
    return result;
}

Summary summarize(const ControllerRun &run, int opponents)
{
    Summary s;
    s.games = run.games.size();
    int survived = 0;
    QVector<double> opponentShares;
    opponentShares.reserve(s.games);
    for (const GameRow &g : run.games) {
        survived += g.agent0Survived() ? 1 : 0;
        const bool set = g.outcome == GameOutcome::Set;
        opponentShares.append(set && opponents > 0 ? double(g.opponentsAlive) / opponents : 0.0);
        s.meanRadius += g.agent0Radius;
        s.meanRank += g.agent0Rank;
        s.meanSteps += g.steps;
        switch (g.outcome) {
        case GameOutcome::Set: ++s.set; break;
        case GameOutcome::NoneAlive: ++s.noneAlive; break;
        case GameOutcome::StepLimit: ++s.stepLimit; break;
        }
    }
    if (s.games > 0) {
        s.meanRadius /= s.games;
        s.meanRank /= s.games;
        s.meanSteps /= s.games;
    }
    s.survival = wilsonInterval(survived, s.games);
    s.opponentSurvival = meanInterval(opponentShares);
    if (run.calls > 0)
        s.meanCallUs = run.totalCallNs / run.calls / 1000.0;
    s.worstCallUs = run.worstCallNs / 1000.0;
    return s;
}

PairedDifference pairedSurvivalDifference(const ControllerRun &base, const ControllerRun &other)
{
    QHash<unsigned int, bool> baseSurvival;
    for (const GameRow &g : base.games)
        baseSurvival.insert(g.seed, g.agent0Survived());
    QVector<double> differences;
    for (const GameRow &g : other.games) {
        auto it = baseSurvival.constFind(g.seed);
        if (it == baseSurvival.constEnd())
            continue;
        differences.append(double(g.agent0Survived()) - double(it.value()));
    }
    PairedDifference result;
    result.pairs = differences.size();
    result.difference = meanInterval(differences);
    return result;
}

const char *outcomeName(GameOutcome outcome)
{
    switch (outcome) {
    case GameOutcome::Set: return "set";
    case GameOutcome::NoneAlive: return "none-alive";
    case GameOutcome::StepLimit: return "step-limit";
    }
    return "unknown";
}
