// A match's rows added up: each controller's placement, survival and final
// radius with intervals, who finished ahead of whom on the same seeds and
// seatings (with an exact sign test), and one rating each (rating.h).
#ifndef ARENA_MATCH_RESULTS_H
#define ARENA_MATCH_RESULTS_H

#include "arena/judge/match.h"
#include "arena/rating.h"
#include "arena/runner.h"
#include "arena/statistics.h"

#include <QIODevice>

#include <array>
#include <map>
#include <vector>

class MatchResults : public MatchListener
{
public:
    // `csv` (may be null) receives the header now and the rows as they
    // come; `keepRows` keeps them too, for the JSON that merge reads.
    MatchResults(const QVector<ControllerSpec> &controllers, QIODevice *csv, bool keepRows = false);
    void game(const std::vector<MatchRow> &rows) override;
    void note(const QString &line) override { notes << line; }

    struct Tally {
        long long games = 0, survived = 0, failed = 0;
        long long rankSum = 0, rankSquares = 0, radiusSum = 0, radiusSquares = 0;
        std::array<long long, rules::agentsPerGame> seats{};
        Interval survival() const { return wilsonInterval(survived, games); }
        Interval rank() const { return tInterval(games, rankSum, rankSquares); }
        Interval radius() const { return tInterval(games, radiusSum, radiusSquares); }
    };
    const std::vector<Tally> &tallies() const { return perController; }
    // How often i finished ahead of j, over all games where both sat.
    const WinTable &ahead() const { return aheadOf; }
    std::vector<RatingInterval> ratings() const;
    bool anyFailure() const;
    bool csvFailed() const { return csvError; }

    QString table(const ArenaSettings &settings, double exchangeNs) const;
    static constexpr int failuresListed = 5;
    QByteArray json(const ArenaSettings &settings) const;

private:
    QStringList labels, files, hashes;
    bool keepRows;
    std::vector<MatchRow> kept;             // the rows, only for the JSON
    std::vector<QStringList> firstFailures; // a few per controller, for the table
    std::vector<Tally> perController;
    WinTable aheadOf;
    std::map<uint32_t, WinTable> bySeed;
    QStringList notes;
    QIODevice *csv;
    bool csvError = false;
};

#endif
