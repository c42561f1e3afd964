// One game's row in words: why it failed, how agent 0 died, and its CSV
// line. Apart from the reports, so that what streams rows as games finish
// needs none of the summaries.
#ifndef ARENA_ROW_TEXT_H
#define ARENA_ROW_TEXT_H

#include "arena/game_row.h"

#include <QByteArray>
#include <QString>

// Why a game failed, in words: "signal 11 (SIGSEGV)", ...
QString failureReason(const GameRow &row);
// "wall", "contest with agent [4]" (the other agent by its label, its index
// plus one), or empty while agent 0 lives.
QString deathCauseText(const GameRow &row);
// One row per game, seeds in order.
QByteArray csvHeader();
QByteArray csvRow(const QString &controller, const GameRow &row, const QString &replay);

#endif
