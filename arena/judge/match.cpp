#include "arena/judge/match.h"

#include "arena/judge/controller_log.h"
#include "arena/judge/launcher_link.h"
#include "arena/judge/referee.h"
#include "arena/judge/row_order.h"
#include "arena/judge/scheduler.h"
#include "arena/row_text.h"
#include "common/version.h"
#include "replay/replay.h"
#include "replay/replay_frames.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

// Notes of the controllers' start, passed on to whoever listens.
struct NoteOnly : RunListener {
    explicit NoteOnly(std::function<void(const QString &)> say) : say(std::move(say)) { }
    void gameRow(int, int, const GameRow &) override { }
    void stopped(int, int) override { }
    void timing(int, const CallTiming &) override { }
    void note(const QString &line) override { say(line); }
    std::function<void(const QString &)> say;
};

struct Seated {
    ControllerProcesses processes;
    std::vector<LauncherLink *> launchers;
    std::vector<ControllerLog *> logs;
};

bool seatControllers(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings, RunListener &notes,
                     Seated &seated, QString &error)
{
    if (!prepareControllers(controllers, settings, notes, seated.processes, error))
        return false;
    for (const auto &link : seated.processes.launchers)
        seated.launchers.push_back(link.get());
    for (const auto &log : seated.processes.logs)
        seated.logs.push_back(log.get());
    return true;
}

int rankOf(const RefereedGame &game, int agent)
{
    return finalRank(game.radius.data(), game.radius.size(), size_t(agent));
}

MatchRow rowOf(const RefereedGame &game, const SeatOutcome &seat, int rotation)
{
    MatchRow row;
    row.seed = game.seed;
    row.rotation = rotation;
    row.agent = seat.agent;
    row.controller = seat.controller;
    row.outcome = game.result.outcome;
    row.steps = game.result.steps;
    row.radius = game.radius[size_t(seat.agent)];
    row.rank = rankOf(game, seat.agent);
    const AgentDeath &death = game.deaths[size_t(seat.agent)];
    row.deathStep = death.step;
    row.deathCause = death.cause;
    row.deathOther = death.other;
    row.failure = seat.failure;
    row.failureCode = seat.failureCode;
    row.failedAt = seat.failedAt;
    row.calls = seat.calls;
    row.cpuNs = seat.cpuNs;
    return row;
}

// Agent 0's row of a strict game, as the arena's default mode words it.
GameRow strictRow(const RefereedGame &game)
{
    const SeatOutcome &seat = game.seats.front();
    GameRow row;
    row.seed = game.seed;
    if (seat.failure != FailureKind::None) {
        row.failure = seat.failure;
        row.failureCode = seat.failureCode;
        row.steps = seat.failedAt;
    } else {
        row.outcome = game.result.outcome;
        row.steps = game.result.steps;
        row.agent0Radius = game.radius[0];
        row.agent0Rank = rankOf(game, 0);
        for (size_t a = 1; a < game.radius.size(); ++a)
            row.opponentsAlive += game.radius[a] > 0 ? 1 : 0;
    }
    row.deathStep = game.agent0.deathStep;
    row.deathCause = game.agent0.deathCause;
    row.deathOther = game.agent0.deathOther;
    row.wallLoss = game.agent0.wallLoss;
    row.contestLoss = game.agent0.contestLoss;
    return row;
}

} // namespace

GameRow failureRow(const MatchRow &row)
{
    GameRow g;
    g.seed = row.seed;
    g.failure = row.failure;
    g.failureCode = row.failureCode;
    g.steps = row.failedAt;
    return g;
}

namespace {

// A match game's replay, its header naming every seat's controller, when
// --record-games asks for it for any of its seats.
bool saveMatchReplay(const RefereedGame &game, const std::vector<MatchRow> &rows,
                     const QVector<ControllerSpec> &controllers, const ArenaSettings &settings,
                     const FrameWriter &frames, ReplayPacker &packer)
{
    bool chosen = false;
    ReplayHeader header;
    for (const MatchRow &r : rows) {
        chosen = chosen || recordsGame(settings.recordGames, r.failure, r.survived());
        const ControllerSpec &c = controllers[r.controller];
        ReplaySeat seat{r.agent, c.label, c.sha256, 0, QString()};
        if (r.failure != FailureKind::None) {
            seat.failedAtStep = r.failedAt;
            seat.failure = failureLine(failureRow(r));
        }
        header.seats.push_back(seat);
    }
    if (!chosen || frames.size() == 0)
        return false;
    const ControllerSpec &first = controllers[rows.front().controller];
    header.program = QStringLiteral(PELLORIA_VERSION);
    header.seed = game.seed;
    header.controller = QFileInfo(first.path).fileName();
    header.sha256 = first.sha256;
    header.maxSteps = settings.maxSteps;
    header.steps = game.result.steps;
    header.outcome = QString::fromLatin1(gameOutcomeName(game.result.outcome));
    const QString name = matchReplayFileName(game.seed, rows.front().rotation);
    return saveRecordedGame(QDir(settings.recordDir).filePath(name), header, frames, packer);
}

} // namespace

bool runMatch(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings, MatchListener &listener,
              QString &error, double *exchangeNs, bool rotate)
{
    NoteOnly notes([&listener](const QString &line) { listener.note(line); });
    Seated seated;
    if (!seatControllers(controllers, settings, notes, seated, error))
        return false;
    Referee referee(seated.launchers, seated.logs, settings);
    ReplayPacker packer;
    const int k = std::min(int(controllers.size()), int(rules::agentsPerGame));
    const SeedRange range = settings.played();
    for (int g = 0; g < range.games; ++g) {
        for (int rotation = 0; rotation < (rotate ? k : 1); ++rotation) {
            std::vector<int> seats(size_t(k), 0);
            for (int s = 0; s < k; ++s)
                seats[size_t(s)] = (s + rotation) % k;
            FrameWriter frames;
            const bool record = settings.recordGames != RecordNone;
            const RefereedGame game = referee.play(range.first + unsigned(g), seats, record ? &frames : nullptr);
            std::vector<MatchRow> rows;
            for (const SeatOutcome &seat : game.seats)
                rows.push_back(rowOf(game, seat, rotation));
            if (record && saveMatchReplay(game, rows, controllers, settings, frames, packer))
                for (MatchRow &r : rows)
                    r.replayed = 1;
            listener.game(rows);
        }
    }
    if (exchangeNs)
        *exchangeNs = referee.meanExchangeNs();
    return true;
}

bool runStrict(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings, RunListener &listener,
               QString &error)
{
    Seated seated;
    if (!seatControllers(controllers, settings, listener, seated, error))
        return false;
    Referee referee(seated.launchers, seated.logs, settings);
    RowOrder order(controllers.size(), settings.maxFailures, listener);
    playInTurn(settings, controllers.size(), order, [&](int c, unsigned seed) {
        const RefereedGame game = referee.play(seed, {c});
        const SeatOutcome &seat = game.seats.front();
        listener.timing(
            c,
            CallTiming{seat.calls, double(seat.cpuNs), seat.calls > 0 ? double(seat.cpuNs) / double(seat.calls) : 0});
        return strictRow(game);
    });
    return true;
}
