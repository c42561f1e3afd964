// Controllers playing each other: every seed played once per seating, the
// seats rotated so that each controller sits in each seat equally often,
// every game refereed (see referee.h). And the single-controller
// evaluation played the same way (--strict).
#ifndef ARENA_JUDGE_MATCH_H
#define ARENA_JUDGE_MATCH_H

#include "arena/game_row.h"
#include "arena/runner.h"
#include "engine/game.h"

#include <functional>

// One controller's agent in one game of a match.
struct MatchRow {
    uint32_t seed = 0;
    int rotation = 0; // which seating of the seed
    int agent = 0;    // its seat: the agent it steered
    int controller = 0;
    GameOutcome outcome = GameOutcome::StepLimit; // the game's
    int steps = 0;
    int rank = 0;        // 1 + agents with a larger final radius
    int radius = 0;      // final; 0 when dead or taken out
    int deathStep = 0;   // 0 while it lives
    int deathCause = -1; // as GameRow's: -1 none (taken out), else a RadiusChange::Cause
    int deathOther = -1;
    FailureKind failure = FailureKind::None; // its agent was taken out of the game then
    int32_t failureCode = 0;
    int failedAt = 0;
    long long calls = 0;
    long long cpuNs = 0;
    int replayed = 0; // --record wrote the game's replay (matchReplayFileName)
    bool survived() const { return failure == FailureKind::None && outcome == GameOutcome::Set && radius > 0; }
};

// The seat's failure as an evaluation's row holds it, for the same words.
GameRow failureRow(const MatchRow &row);

class MatchListener
{
public:
    virtual ~MatchListener() = default;
    // The rows of one game, by seat, seeds and seatings in order.
    virtual void game(const std::vector<MatchRow> &rows) = 0;
    virtual void note(const QString &line) { Q_UNUSED(line); }
};

// Plays the match; false, with a one-line error and nothing played, when a
// controller cannot be loaded. The mean exchange time goes to `exchangeNs`.
// Without `rotate`, each seed is played once, controller i at agent i.
// --record's replays are written as games end.
bool runMatch(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings, MatchListener &listener,
              QString &error, double *exchangeNs = nullptr, bool rotate = true);

// The single-controller evaluation through the referee: the rows of
// runArena, with the engine out of every controller's process.
bool runStrict(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings, RunListener &listener,
               QString &error);

#endif
