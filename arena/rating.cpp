#include "arena/rating.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

namespace {

constexpr int maxIterations = 10000;
constexpr double tolerance = 1e-12;

WinTable emptyTable(size_t n)
{
    return WinTable(n, std::vector<long long>(n, 0));
}

void addInto(WinTable &sum, const WinTable &part)
{
    for (size_t i = 0; i < sum.size(); ++i)
        for (size_t j = 0; j < sum.size(); ++j)
            sum[i][j] += part[i][j];
}

// One MM step: p_i = W_i / sum_j n_ij / (p_i + p_j), then scaled to a
// geometric mean of 1. Returns the largest change of a log-strength.
double iterate(const WinTable &wins, std::vector<double> &p)
{
    const size_t n = p.size();
    std::vector<double> next(n, 1.0);
    for (size_t i = 0; i < n; ++i) {
        double won = 0, denominator = 0;
        for (size_t j = 0; j < n; ++j) {
            if (j == i)
                continue;
            won += double(wins[i][j]);
            const double games = double(wins[i][j] + wins[j][i]);
            if (games > 0)
                denominator += games / (p[i] + p[j]);
        }
        next[i] = denominator > 0 ? won / denominator : p[i];
    }
    double logSum = 0;
    for (double v : next)
        logSum += std::log(std::max(v, 1e-300));
    const double scale = std::exp(-logSum / double(n));
    double change = 0;
    for (size_t i = 0; i < n; ++i) {
        const double v = std::max(next[i] * scale, 1e-300);
        change = std::max(change, std::fabs(std::log(v) - std::log(p[i])));
        p[i] = v;
    }
    return change;
}

} // namespace

std::vector<double> bradleyTerry(const WinTable &wins, double bound)
{
    const size_t n = wins.size();
    std::vector<double> p(n, 1.0);
    for (int k = 0; k < maxIterations; ++k)
        if (iterate(wins, p) < tolerance)
            break;
    std::vector<double> ratings(n);
    for (size_t i = 0; i < n; ++i)
        ratings[i] = std::max(-bound, std::min(bound, std::log(p[i])));
    const double mean = n > 0 ? std::accumulate(ratings.begin(), ratings.end(), 0.0) / double(n) : 0;
    for (double &r : ratings)
        r -= mean;
    return ratings;
}

std::vector<RatingInterval> ratingsWithIntervals(const std::vector<WinTable> &winsBySeed, int resamples, uint32_t seed)
{
    const size_t n = winsBySeed.empty() ? 0 : winsBySeed.front().size();
    WinTable all = emptyTable(n);
    for (const WinTable &t : winsBySeed)
        addInto(all, t);
    const std::vector<double> fitted = bradleyTerry(all);
    std::vector<std::vector<double>> draws(n);
    std::mt19937 random(seed);
    std::uniform_int_distribution<size_t> pick(0, winsBySeed.empty() ? 0 : winsBySeed.size() - 1);
    for (int b = 0; b < resamples && !winsBySeed.empty(); ++b) {
        WinTable sample = emptyTable(n);
        for (size_t s = 0; s < winsBySeed.size(); ++s)
            addInto(sample, winsBySeed[pick(random)]);
        const std::vector<double> r = bradleyTerry(sample);
        for (size_t i = 0; i < n; ++i)
            draws[i].push_back(r[i]);
    }
    std::vector<RatingInterval> out(n);
    for (size_t i = 0; i < n; ++i) {
        out[i].rating = out[i].low = out[i].high = fitted[i];
        std::vector<double> &d = draws[i];
        if (d.empty())
            continue;
        std::sort(d.begin(), d.end());
        out[i].low = d[size_t(0.025 * double(d.size() - 1))];
        out[i].high = d[size_t(0.975 * double(d.size() - 1))];
    }
    return out;
}
