// pelloria-arena merge: joins the JSON of a run's shards into the output the
// single run would have given, rows and statistics alike.
#ifndef ARENA_MERGE_H
#define ARENA_MERGE_H

#include <QString>
#include <QStringList>

#include <functional>

class RunResults;
struct ArenaSettings;

// Exit code as for a run; 2 with one line on stderr when the shards do not
// make one run (overlapping, missing, different settings or controllers).
int runMerge(const QStringList &inputs, const QString &csvPath, const QString &jsonPath);

// The same, without printing: fills `results` (already made for the shards'
// controllers by the caller through `prepare`) and the run's settings.
bool mergeShards(const QStringList &inputs, ArenaSettings &settings, QString &error,
                 const std::function<RunResults &(const QStringList &labels, const QStringList &files,
                                                  const QStringList &hashes, int baseline)> &prepare);

#endif
