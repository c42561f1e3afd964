// What pelloria-arena prints and writes.
#ifndef ARENA_REPORT_H
#define ARENA_REPORT_H

#include "statistics.h"

#include <QByteArray>
#include <QString>

class RunResults;
struct ArenaSettings;

// The readable report for stdout.
QString formatTable(const RunResults &results, const ArenaSettings &settings);
// One row per game, seeds in order.
QByteArray csvHeader();
QByteArray csvRow(const QString &controller, const GameRow &row, const QString &replay);
// "wall", "contest with agent 3", or empty while agent 0 lives.
QString deathCauseText(const GameRow &row);
// The settings, the per-game rows and the summaries.
QByteArray formatJson(const RunResults &results, const ArenaSettings &settings);

// Why a game failed, in words: "signal 11 (SIGSEGV)", ...
QString failureReason(const GameRow &row);

// Fixed decimals, never "-0.0".
QString fixed(double value, int decimals);

#endif
