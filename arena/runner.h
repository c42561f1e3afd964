// Plays every controller's games, each game in a process of its own, and
// hands the rows over in seed order.
#ifndef ARENA_RUNNER_H
#define ARENA_RUNNER_H

#include "arena/statistics.h"
#include "engine/game_rules.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <utility>

// Which games get a replay written.
enum RecordGames : int { RecordNone = 0, RecordLost = 1, RecordFailed = 2, RecordAll = 3 };

struct SeedRange {
    unsigned int first = 1;
    int games = 0;
};

struct ArenaSettings {
    unsigned int firstSeed = 1; // the whole run's seeds, over all shards
    int games = 100;
    int maxSteps = 100000;
    int timeLimitMs = rules::tickIntervalMs; // processor time a call may take
    int firstCallMs = 1000;                  // the first call's, with the library's loading
    long long logLimitBytes = 10LL << 20;    // each controller's log
    int maxFailures = 0;                     // a controller stops after this many failed games; 0: never
    int jobs = 1;                            // games played side by side
    int shard = 1;                           // this run plays shard `shard` of `shards`
    int shards = 1;
    bool sandbox = true;    // confine every game's process
    bool inProcess = false; // every game in the arena's own process, for a debugger
    bool strict = false;    // the engine in the arena's process, each controller in its own (a referee)
    int memoryLimitMb = 512;
    int recordGames = 0; // a RecordGames
    QString recordDir;
    // The program that hosts each controller and forks its games; empty:
    // the one beside the running program, or else this build's.
    QString hostProgram;
    // Folders the controllers may read besides their library's own.
    QStringList readable;

    // Shard K of N plays the K-th of N contiguous parts of the seeds, as
    // even as whole games allow: seeds [first + (K-1)G/N, first + KG/N).
    SeedRange played() const
    {
        const long long from = (long long)(shard - 1) * games / shards;
        const long long to = (long long)shard * games / shards;
        return SeedRange{firstSeed + unsigned(from), int(to - from)};
    }
};

struct ControllerSpec {
    ControllerSpec() = default;
    ControllerSpec(QString path, QString label, QString logPath = QString(), QString sha256 = QString())
        : path(std::move(path)), label(std::move(label)), logPath(std::move(logPath)), sha256(std::move(sha256))
    {
    }
    QString path;
    QString label;
    QString logPath; // where its output goes
    QString sha256;  // of the file, for replays' headers
};

// A replay's file name in the --record folder: the controller's place and
// file name, and the seed.
QString replayFileName(int controller, const QString &path, uint32_t seed);

// A match's game's replay in the --record folder: its seed and seating.
QString matchReplayFileName(uint32_t seed, int rotation);

// Whether --record-games (a RecordGames) writes a game a controller ended
// with `failure`, its agent alive at the end or not: a failed game always,
// unless it never started.
bool recordsGame(int recordGames, FailureKind failure, bool survived);

// Told each game's row, per controller in seed order; game `index` is seed
// played().first + index. A controller stopped by --max-failures gets no rows
// after its last failure.
class RunListener
{
public:
    virtual ~RunListener() = default;
    virtual void gameRow(int controller, int index, const GameRow &row) = 0;
    virtual void stopped(int controller, int afterIndex) = 0;
    virtual void timing(int controller, const CallTiming &timing) = 0;
    // Something the report must say, such as that games ran unconfined.
    virtual void note(const QString &line) { Q_UNUSED(line); }
};

// Loads every controller, then plays. Returns false, with a one-line error
// and nothing played, when a controller cannot be loaded or its log cannot
// be written.
bool runArena(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings, RunListener &listener,
              QString &error, const std::function<void(long long done, long long total)> &progress = {});

#endif
