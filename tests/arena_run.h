// Runs of the arena in the tests' own process: settings with a patient
// time limit, the rows of one controller's games, and what a game is apart
// from how agent 0 played it.
#ifndef TESTS_ARENA_RUN_H
#define TESTS_ARENA_RUN_H

#include "arena/row_text.h"
#include "arena/runner.h"
#include "tests/collected_run.h"

#include <QTemporaryDir>

// A generous time limit: on a loaded machine an honest call may wait its
// turn for the processor; the tests of the limit set their own.
constexpr int patientLimitMs = 10000;

inline ArenaSettings settings(unsigned firstSeed, int games)
{
    ArenaSettings s;
    s.firstSeed = firstSeed;
    s.games = games;
    s.timeLimitMs = patientLimitMs;
    return s;
}

inline QVector<GameRow> play(const char *library, const ArenaSettings &s, CallTiming *timing = nullptr)
{
    static QTemporaryDir logs;
    const QVector<ControllerSpec> specs{
        {QString::fromUtf8(library), QString::fromUtf8(library), logs.filePath(QStringLiteral("run.log"))}};
    Collected collected(1);
    QString error;
    if (!runArena(specs, s, collected, error))
        qWarning("%s", qPrintable(error));
    if (timing)
        *timing = collected.timings[0];
    return collected.rows[0];
}

// What a game is, apart from how agent 0 played it: the same for two
// controllers that store the same actions.
inline QString gameOf(const GameRow &g)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6")
        .arg(g.seed)
        .arg(gameEndName(g))
        .arg(g.steps)
        .arg(g.agent0Radius)
        .arg(g.agent0Rank)
        .arg(g.opponentsAlive);
}

inline QStringList gamesOf(const QVector<GameRow> &rows)
{
    return textsOf(rows, gameOf);
}

#endif
