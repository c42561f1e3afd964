#include "arena/statistics.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double z95 = 1.959963984540054;

Interval unbounded(double estimate)
{
    Interval i;
    i.valid = true;
    i.estimate = estimate;
    return i;
}

Interval bounded(double estimate, double low, double high)
{
    Interval i = unbounded(estimate);
    i.bounded = true;
    i.low = low;
    i.high = high;
    return i;
}

// Continued fraction for the regularized incomplete beta function, evaluated
// by the modified Lentz method; converges quickly for x < (a+1)/(a+b+2).
double betaFraction(double a, double b, double x)
{
    constexpr double tiny = 1e-300;
    constexpr int maxTerms = 500;
    double c = 1.0;
    double d = 1.0 - (a + b) * x / (a + 1.0);
    d = 1.0 / (std::fabs(d) < tiny ? tiny : d);
    double h = d;
    for (int m = 1; m <= maxTerms; ++m) {
        for (int half = 0; half < 2; ++half) {
            const double numerator = half == 0 ? m * (b - m) * x / ((a + 2.0 * m - 1.0) * (a + 2.0 * m))
                                               : -(a + m) * (a + b + m) * x / ((a + 2.0 * m) * (a + 2.0 * m + 1.0));
            d = 1.0 + numerator * d;
            d = 1.0 / (std::fabs(d) < tiny ? tiny : d);
            c = 1.0 + numerator / c;
            if (std::fabs(c) < tiny)
                c = tiny;
            const double delta = c * d;
            h *= delta;
            if (half == 1 && std::fabs(delta - 1.0) < 1e-15)
                return h;
        }
    }
    return h;
}

double regularizedBeta(double a, double b, double x)
{
    if (x <= 0)
        return 0;
    if (x >= 1)
        return 1;
    const double front
        = std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x));
    if (x < (a + 1.0) / (a + b + 2.0))
        return front * betaFraction(a, b, x) / a;
    return 1.0 - front * betaFraction(b, a, 1.0 - x) / b;
}

// P(|T| > t) for Student's t with `df` degrees of freedom.
double twoSidedTail(double t, double df)
{
    return regularizedBeta(df / 2.0, 0.5, df / (df + t * t));
}

} // namespace

Interval wilsonInterval(long long successes, long long trials)
{
    if (trials <= 0)
        return Interval();
    const double n = double(trials);
    const double p = double(successes) / n;
    const double z2 = z95 * z95;
    const double centre = (p + z2 / (2 * n)) / (1 + z2 / n);
    const double half = z95 * std::sqrt(p * (1 - p) / n + z2 / (4 * n * n)) / (1 + z2 / n);
    return bounded(p, std::max(0.0, centre - half), std::min(1.0, centre + half));
}

double studentT975(long long df)
{
    if (df <= 0)
        return 0;
    // The tail falls as t grows: bisect on it. 60 halvings of [0, 1e3] are
    // far below the printed precision; df = 1 needs 12.7.
    double low = 0, high = 1e3;
    for (int i = 0; i < 100; ++i) {
        const double mid = 0.5 * (low + high);
        if (twoSidedTail(mid, double(df)) > 0.05)
            low = mid;
        else
            high = mid;
    }
    return 0.5 * (low + high);
}

Interval tInterval(long long n, long long sum, long long sumOfSquares)
{
    if (n <= 0)
        return Interval();
    const double mean = double(sum) / double(n);
    if (n == 1)
        return unbounded(mean);
    // From exact integer sums, so the figure does not depend on the order
    // the games arrived in.
    const double spread = (double(n) * double(sumOfSquares) - double(sum) * double(sum)) / (double(n) * double(n - 1));
    const double half = studentT975(n - 1) * std::sqrt(std::max(0.0, spread) / double(n));
    return bounded(mean, mean - half, mean + half);
}

Interval newcombePairedDifference(long long both, long long onlyOther, long long onlyBase, long long neither)
{
    const long long n = both + onlyOther + onlyBase + neither;
    if (n <= 0)
        return Interval();
    const Interval other = wilsonInterval(both + onlyOther, n);
    const Interval base = wilsonInterval(both + onlyBase, n);
    const double p1 = other.estimate;
    const double p2 = base.estimate;
    const double marginals
        = double(both + onlyOther) * double(onlyBase + neither) * double(both + onlyBase) * double(onlyOther + neither);
    const double phi = marginals > 0
        ? (double(both) * double(neither) - double(onlyOther) * double(onlyBase)) / std::sqrt(marginals)
        : 0.0;
    const double dl1 = p1 - other.low, du1 = other.high - p1;
    const double dl2 = p2 - base.low, du2 = base.high - p2;
    const double delta = std::sqrt(std::max(0.0, dl1 * dl1 - 2 * phi * dl1 * du2 + du2 * du2));
    const double epsilon = std::sqrt(std::max(0.0, du1 * du1 - 2 * phi * du1 * dl2 + dl2 * dl2));
    const double theta = p1 - p2;
    return bounded(theta, std::max(-1.0, theta - delta), std::min(1.0, theta + epsilon));
}

double mcnemarExactP(long long b, long long c)
{
    const long long n = b + c;
    if (n == 0)
        return 1.0;
    const long long k = std::min(b, c);
    // 2 * P(X <= k) for X ~ Binomial(n, 1/2), summed in logs: n may be in
    // the millions.
    const double logHalfN = double(n) * std::log(0.5);
    const double lgN = std::lgamma(double(n) + 1);
    double largest = -INFINITY;
    for (long long i = 0; i <= k; ++i)
        largest = std::max(largest, lgN - std::lgamma(double(i) + 1) - std::lgamma(double(n - i) + 1));
    double sum = 0;
    for (long long i = 0; i <= k; ++i)
        sum += std::exp(lgN - std::lgamma(double(i) + 1) - std::lgamma(double(n - i) + 1) - largest);
    return std::min(1.0, 2.0 * std::exp(largest + logHalfN) * sum);
}

namespace {

// The count a game that ended so goes to; null for a value outside the enums.
long long ControllerTally::*countOf(FailureKind failure, GameOutcome outcome)
{
    switch (failure) {
    case FailureKind::Crashed: return &ControllerTally::crashed;
    case FailureKind::TimeLimit: return &ControllerTally::timeLimit;
    case FailureKind::Exited: return &ControllerTally::exited;
    case FailureKind::Refused: return &ControllerTally::refused;
    case FailureKind::Lost: return &ControllerTally::lost;
    case FailureKind::Stalled: return &ControllerTally::stalled;
    case FailureKind::BadChannel: return &ControllerTally::badChannel;
    case FailureKind::None: break;
    }
    if (failure != FailureKind::None)
        return nullptr;
    switch (outcome) {
    case GameOutcome::Set: return &ControllerTally::set;
    case GameOutcome::NoneAlive: return &ControllerTally::noneAlive;
    case GameOutcome::StepLimit: return &ControllerTally::stepLimit;
    }
    return nullptr;
}

} // namespace

long long ControllerTally::ended(const GameEnd &end) const
{
    const auto count = countOf(end.failure, end.outcome);
    return count ? this->*count : 0;
}

void ControllerTally::add(const GameRow &row)
{
    ++games;
    if (const auto count = countOf(row.failure, row.outcome))
        ++(this->*count);
    if (row.failed())
        return;
    ++finished;
    survived += row.agent0Survived() ? 1 : 0;
    radiusSum += row.agent0Radius;
    radiusSquares += (long long)row.agent0Radius * row.agent0Radius;
    rankSum += row.agent0Rank;
    rankSquares += (long long)row.agent0Rank * row.agent0Rank;
    stepsSum += row.steps;
}

void PairedTally::add(const GameRow &base, const GameRow &other)
{
    ++pairs;
    const bool b = base.agent0Survived();
    const bool o = other.agent0Survived();
    both += (b && o) ? 1 : 0;
    onlyOther += (!b && o) ? 1 : 0;
    onlyBase += (b && !o) ? 1 : 0;
    neither += (!b && !o) ? 1 : 0;
    if (base.failed() || other.failed())
        return;
    ++finishedPairs;
    const long long dr = other.agent0Radius - base.agent0Radius;
    const long long dk = other.agent0Rank - base.agent0Rank;
    radiusDiffSum += dr;
    radiusDiffSquares += dr * dr;
    rankDiffSum += dk;
    rankDiffSquares += dk * dk;
}
