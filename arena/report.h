// What pelloria-arena prints and writes.
#ifndef ARENA_REPORT_H
#define ARENA_REPORT_H

#include "statistics.h"

#include <QByteArray>
#include <QString>
#include <QVector>

struct ArenaSettings;

// The readable table for stdout.
QString formatTable(const QVector<ControllerRun> &runs, const ArenaSettings &settings);
// One row per game, every controller.
QByteArray formatCsv(const QVector<ControllerRun> &runs);
// The settings, the per-game rows and the summary.
QByteArray formatJson(const QVector<ControllerRun> &runs, const ArenaSettings &settings);

constexpr int arenaOpponents = 9;

#endif
