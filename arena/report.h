// What pelloria-arena prints and writes.
#ifndef ARENA_REPORT_H
#define ARENA_REPORT_H

#include "arena/row_text.h"
#include "arena/statistics.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class RunResults;
struct ArenaSettings;

// The readable report for stdout.
QString formatTable(const RunResults &results, const ArenaSettings &settings);
// The settings, the per-game rows and the summaries.
QByteArray formatJson(const RunResults &results, const ArenaSettings &settings);

// The run's settings, and which shard of it this is: the part of the JSON
// that merge compares between shards.
QJsonObject settingsJson(const ArenaSettings &settings);

// Fixed decimals, never "-0.0".
QString fixed(double value, int decimals);

#endif
