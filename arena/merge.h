// pelloria-arena merge: joins the JSON of a run's shards into the output the
// single run would have given, rows and statistics alike.
#ifndef ARENA_MERGE_H
#define ARENA_MERGE_H

#include "arena/runner.h"

#include <QString>
#include <QStringList>

#include <functional>

class MatchResults;
class RunResults;

// Exit code as for a run; 2 with one line on stderr when the shards do not
// make one run (overlapping, missing, different settings or controllers).
int runMerge(const QStringList &inputs, const QString &csvPath, const QString &jsonPath);

// The same, without printing: fills `results` (already made for the shards'
// controllers by the caller through `prepare`) and the run's settings.
using PrepareRun = std::function<RunResults &(const QStringList &labels, const QStringList &files,
                                              const QStringList &hashes, int baseline)>;
bool mergeShards(const QStringList &inputs, ArenaSettings &settings, QString &error, const PrepareRun &prepare);

// The same for a match's shards, whose JSON holds every row: a match's and
// an evaluation's shards never merge.
using PrepareMatch = std::function<MatchResults &(const QVector<ControllerSpec> &controllers)>;
bool mergeMatchShards(const QStringList &inputs, ArenaSettings &settings, QString &error, const PrepareMatch &prepare);

#endif
