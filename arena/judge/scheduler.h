// Plays every controller's games, each in a confined process of its own,
// keeping `jobs` of them running, and judges each from its actions alone.
// Every wait has a deadline: a run always ends, with every row.
#ifndef ARENA_JUDGE_SCHEDULER_H
#define ARENA_JUDGE_SCHEDULER_H

#include "arena/runner.h"

#include <functional>
#include <memory>
#include <vector>

class ControllerLog;
class LauncherLink;

// Loads every controller (in a confined process), then plays. False, with a
// one-line error and nothing played, when a controller cannot be loaded or
// its log cannot be written.
bool runIsolated(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings, RunListener &listener,
                 QString &error, const std::function<void(long long done, long long total)> &progress);

// Each controller's launcher and log, its library checked once, loaded
// confined: what a referee needs to seat the controllers.
struct ControllerProcesses {
    ControllerProcesses();
    ~ControllerProcesses();
    std::vector<std::unique_ptr<LauncherLink>> launchers;
    std::vector<std::unique_ptr<ControllerLog>> logs;
};
bool prepareControllers(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings,
                        RunListener &listener, ControllerProcesses &processes, QString &error);

#endif
