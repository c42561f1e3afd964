// Plays every controller's games, each game in a process of its own, and
// hands the rows over in seed order.
#ifndef ARENA_RUNNER_H
#define ARENA_RUNNER_H

#include "statistics.h"

#include <QString>
#include <QVector>

#include <functional>

struct ArenaSettings {
    unsigned int firstSeed = 1;
    int games = 100;
    int maxSteps = 100000;
    int timeLimitMs = 50;
    int maxFailures = 0; // a controller stops after this many failed games; 0: never
    int jobs = 1;        // games played side by side
};

struct ControllerSpec {
    QString path;
    QString label;
    QString logPath; // where its output goes
};

// Told each game's row, per controller in seed order; game `index` is seed
// firstSeed + index. A controller stopped by --max-failures gets no rows
// after its last failure.
class RunListener
{
public:
    virtual ~RunListener() = default;
    virtual void gameRow(int controller, int index, const GameRow &row) = 0;
    virtual void stopped(int controller, int afterIndex) = 0;
    virtual void timing(int controller, const CallTiming &timing) = 0;
};

// Loads every controller, then plays. Returns false, with a one-line error
// and nothing played, when a controller cannot be loaded or its log cannot
// be written.
bool runArena(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings, RunListener &listener,
              QString &error, const std::function<void(long long done, long long total)> &progress = {});

#endif
