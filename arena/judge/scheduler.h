// Plays every controller's games, each in a confined process of its own,
// keeping `jobs` of them running, and judges each from its actions alone.
// Every wait has a deadline: a run always ends, with every row.
#ifndef ARENA_JUDGE_SCHEDULER_H
#define ARENA_JUDGE_SCHEDULER_H

#include "runner.h"

#include <functional>

// Loads every controller (in a confined process), then plays. False, with a
// one-line error and nothing played, when a controller cannot be loaded or
// its log cannot be written.
bool runIsolated(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings, RunListener &listener,
                 QString &error, const std::function<void(long long done, long long total)> &progress);

#endif
