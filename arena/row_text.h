// One game's row in words: why it failed and how agent 0 died. Apart from
// the reports, so that what streams rows as games finish needs none of the
// summaries.
#ifndef ARENA_ROW_TEXT_H
#define ARENA_ROW_TEXT_H

#include "arena/game_row.h"

#include <QByteArray>
#include <QString>

// Why a game failed, in words: "signal 11 (SIGSEGV)", ...
QString failureReason(const GameRow &row);
// A failed game as the arena words it: "crashed at seed 3, step 100:
// signal 11 (SIGSEGV)".
QString failureLine(const GameRow &row);
// "wall", "contest with agent [4]" (the other agent by its label, its index
// plus one), or empty while agent 0 lives.
QString deathCauseText(const GameRow &row);
// The cause and other agent back from deathCauseText's words; earlier
// versions named the other agent by its index, "contest with agent 3", and
// are read too. False for any other text.
bool parseDeathCause(const QString &text, int32_t &cause, int32_t &other);

#endif
