// One rating per controller from who finished ahead of whom: the
// Bradley-Terry model fitted by maximum likelihood, with intervals from a
// bootstrap over seeds.
//
// Controller i has a strength p_i; it finishes ahead of j with chance
// p_i / (p_i + p_j). Its rating is ln p_i, the ratings summing to 0, so that
// a difference of ratings d gives the chance 1 / (1 + e^-d).
#ifndef ARENA_RATING_H
#define ARENA_RATING_H

#include <cstdint>
#include <vector>

// wins[i][j]: how often i finished ahead of j.
using WinTable = std::vector<std::vector<long long>>;

// The ratings that maximise the likelihood (Hunter's minorisation-
// maximisation iterations, which converge for any table where every
// controller both wins and loses somewhere, directly or through others).
// A controller that never loses, or never wins, gets a rating of +/-
// `bound`.
std::vector<double> bradleyTerry(const WinTable &wins, double bound = 10.0);

struct RatingInterval {
    double rating = 0, low = 0, high = 0;
};

// `winsBySeed[s]` is seed s's own table; the ratings of their sum, and 95%
// percentile intervals from `resamples` resamplings of the seeds (seeded,
// so that the same games give the same intervals).
std::vector<RatingInterval> ratingsWithIntervals(const std::vector<WinTable> &winsBySeed, int resamples = 200,
                                                 uint32_t seed = 1);

#endif
