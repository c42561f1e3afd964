#include "arena/merge.h"

#include "arena/game_row_fields.h"
#include "arena/match_results.h"
#include "arena/match_rows.h"
#include "arena/outputs.h"
#include "arena/row_text.h"
#include "arena/run_results.h"
#include "common/exit_codes.h"

#include "engine/ball_engine.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

namespace {

struct Shard {
    QString path;
    QJsonObject root;
    int index = 1;
    int count = 1;
    qint64 first = 0;
    int games = 0;
    bool match = false; // a match's JSON, not an evaluation's
};

bool readShard(const QString &path, Shard &shard, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!document.isObject() || !document.object().value(QStringLiteral("controllers")).isArray()) {
        error = QStringLiteral("%1 is not the JSON of a pelloria-arena run").arg(path);
        return false;
    }
    shard.path = path;
    shard.root = document.object();
    shard.match = shard.root.value(QStringLiteral("kind")).toString() == QLatin1String("match");
    const QJsonObject part = shard.root.value(QStringLiteral("shard")).toObject();
    shard.index = part.isEmpty() ? 1 : part.value(QStringLiteral("index")).toInt();
    shard.count = part.isEmpty() ? 1 : part.value(QStringLiteral("count")).toInt();
    shard.first = part.isEmpty() ? shard.root.value(QStringLiteral("first_seed")).toVariant().toLongLong()
                                 : part.value(QStringLiteral("first_seed")).toVariant().toLongLong();
    shard.games = part.isEmpty() ? shard.root.value(QStringLiteral("games")).toInt()
                                 : part.value(QStringLiteral("games")).toInt();
    return true;
}

// The merge counts the games anew from the rows; a shard whose own counts
// disagree was edited or damaged, and its rows cannot be trusted either.
bool countsAgree(const QJsonObject &controller, const ControllerTally &tally)
{
    const QJsonObject counts
        = controller.value(QStringLiteral("summary")).toObject().value(QStringLiteral("outcomes")).toObject();
    for (const GameEnd &end : gameEnds) {
        // A shard from before a kind of failure existed has no count of it.
        if (counts.value(QString::fromLatin1(end.countKey)).toDouble() != double(tally.ended(end)))
            return false;
    }
    return true;
}

// One shard's games, handed over seed by seed as the single run would, the
// first of them as game `index` of the whole run.
bool addGames(const Shard &shard, const SeedRange &range, const QStringList &labels, int &index, RunResults &results,
              QString &error)
{
    const QJsonArray controllers = shard.root.value(QStringLiteral("controllers")).toArray();
    std::vector<QJsonArray> rows;
    for (int c = 0; c < labels.size(); ++c) {
        const QJsonObject o = controllers[c].toObject();
        rows.push_back(o.value(QStringLiteral("games")).toArray());
        if (rows.back().size() != range.games) {
            error = QStringLiteral("%1 holds %2 games of %3, not %4")
                        .arg(shard.path)
                        .arg(rows.back().size())
                        .arg(labels[c])
                        .arg(range.games);
            return false;
        }
        const QJsonObject summary = o.value(QStringLiteral("summary")).toObject();
        CallTiming timing;
        timing.calls = summary.value(QStringLiteral("calls")).toVariant().toLongLong();
        timing.totalNs = summary.value(QStringLiteral("call_total_ns")).toDouble();
        timing.worstNs = summary.value(QStringLiteral("call_worst_us")).toDouble() * 1000.0;
        results.timing(c, timing);
    }
    std::vector<ControllerTally> tallies(size_t(labels.size()));
    for (int g = 0; g < range.games; ++g, ++index) {
        for (int c = 0; c < labels.size(); ++c) {
            GameRow row;
            if (!readGameRowJson(rows[size_t(c)][g].toObject(), row) || row.seed != range.first + unsigned(g)) {
                error = QStringLiteral("%1: game %2 of %3 is damaged").arg(shard.path).arg(g + 1).arg(labels[c]);
                return false;
            }
            tallies[size_t(c)].add(row);
            results.gameRow(c, index, row);
        }
    }
    for (int c = 0; c < labels.size(); ++c) {
        if (!countsAgree(controllers[c].toObject(), tallies[size_t(c)])) {
            error = QStringLiteral("%1: the outcomes counted for %2 are not those of its games")
                        .arg(shard.path, labels[c]);
            return false;
        }
    }
    return true;
}

// The settings every shard must share, as one comparable line.
QString settingsOf(const QJsonObject &root)
{
    return QStringLiteral("seeds from %1, %2 games, step limit %3, time limit %4 ms, max failures %5, "
                          "sandbox %6, memory limit %7 MB, recording %8")
        .arg(root.value(QStringLiteral("first_seed")).toVariant().toLongLong())
        .arg(root.value(QStringLiteral("games")).toInt())
        .arg(root.value(QStringLiteral("max_steps")).toInt())
        .arg(root.value(QStringLiteral("time_limit_ms")).toInt())
        .arg(root.value(QStringLiteral("max_failures")).toInt())
        .arg(root.value(QStringLiteral("sandbox")).toBool() ? QStringLiteral("on") : QStringLiteral("off"))
        .arg(root.value(QStringLiteral("memory_limit_mb")).toInt())
        .arg(root.value(QStringLiteral("record_games")).toInt());
}

// Every input read, each a different shard of runs with the same settings.
bool readShards(const QStringList &inputs, std::map<int, Shard> &shards, QString &error)
{
    for (const QString &path : inputs) {
        Shard shard;
        if (!readShard(path, shard, error))
            return false;
        const Shard &first = shards.empty() ? shard : shards.begin()->second;
        if (shard.match != first.match) {
            error = QStringLiteral("%1 is the JSON of %2 and %3 of %4: the two do not merge")
                        .arg(path, shard.match ? QStringLiteral("a match") : QStringLiteral("an evaluation"),
                             first.path, first.match ? QStringLiteral("a match") : QStringLiteral("an evaluation"));
            return false;
        }
        if (settingsOf(shard.root) != settingsOf(first.root)) {
            error = QStringLiteral("%1 has different settings (%2) from %3 (%4)")
                        .arg(path, settingsOf(shard.root), first.path, settingsOf(first.root));
            return false;
        }
        if (shard.count != first.count) {
            error = QStringLiteral("%1 is a shard of %2, %3 of %4")
                        .arg(path)
                        .arg(shard.count)
                        .arg(first.path)
                        .arg(first.count);
            return false;
        }
        if (shards.count(shard.index)) {
            error = QStringLiteral("%1 and %2 are both shard %3 of %4: they overlap")
                        .arg(shards.at(shard.index).path, path)
                        .arg(shard.index)
                        .arg(shard.count);
            return false;
        }
        shards.emplace(shard.index, shard);
    }
    return true;
}

// Shards 1 to N, each there, and none beyond.
bool shardsComplete(const std::map<int, Shard> &shards, QString &error)
{
    const Shard &first = shards.begin()->second;
    for (int k = 1; k <= first.count; ++k) {
        if (!shards.count(k)) {
            error = QStringLiteral("shard %1 of %2 is missing").arg(k).arg(first.count);
            return false;
        }
    }
    if (int(shards.size()) != first.count) {
        error = QStringLiteral("the shards are numbered beyond their count of %1").arg(first.count);
        return false;
    }
    return true;
}

// The whole run's settings, as a shard's JSON gives them.
void readSettings(const QJsonObject &root, ArenaSettings &settings)
{
    settings.firstSeed = unsigned(root.value(QStringLiteral("first_seed")).toVariant().toLongLong());
    settings.games = root.value(QStringLiteral("games")).toInt();
    settings.maxSteps = root.value(QStringLiteral("max_steps")).toInt();
    settings.timeLimitMs = root.value(QStringLiteral("time_limit_ms")).toInt();
    settings.maxFailures = root.value(QStringLiteral("max_failures")).toInt();
    settings.sandbox = root.value(QStringLiteral("sandbox")).toBool();
    settings.memoryLimitMb = root.value(QStringLiteral("memory_limit_mb")).toInt();
    settings.recordGames = root.value(QStringLiteral("record_games")).toInt();
    settings.shard = settings.shards = 1;
}

// The controllers a shard played, in its order.
struct Controllers {
    QStringList labels, hashes, files;
};

Controllers controllersOf(const QJsonObject &root)
{
    Controllers played;
    for (const auto &c : root.value(QStringLiteral("controllers")).toArray()) {
        played.labels << c.toObject().value(QStringLiteral("controller")).toString();
        played.hashes << c.toObject().value(QStringLiteral("sha256")).toString();
        played.files << c.toObject().value(QStringLiteral("file")).toString();
    }
    return played;
}

// The same controllers as the first shard's, in the same order, from the
// same files, none stopped early.
bool sameControllers(const Shard &shard, const Shard &first, const Controllers &played, QString &error)
{
    const QJsonArray controllers = shard.root.value(QStringLiteral("controllers")).toArray();
    if (controllers.size() != played.labels.size()) {
        error = QStringLiteral("%1 played %2 controllers, %3 played %4")
                    .arg(shard.path)
                    .arg(controllers.size())
                    .arg(first.path)
                    .arg(played.labels.size());
        return false;
    }
    for (int c = 0; c < played.labels.size(); ++c) {
        const QJsonObject o = controllers[c].toObject();
        if (o.value(QStringLiteral("controller")).toString() != played.labels[c]) {
            error
                = QStringLiteral("%1 played %2 where %3 played %4")
                      .arg(shard.path, o.value(QStringLiteral("controller")).toString(), first.path, played.labels[c]);
            return false;
        }
        if (o.value(QStringLiteral("sha256")).toString() != played.hashes[c]) {
            error = QStringLiteral("%1 is a different file in %2 than in %3 (another SHA-256)")
                        .arg(played.labels[c], shard.path, first.path);
            return false;
        }
        if (o.contains(QStringLiteral("stopped_after_seed"))) {
            error = QStringLiteral("%1 stopped %2 after --max-failures; stopped shards do not add up to one run")
                        .arg(shard.path, played.labels[c]);
            return false;
        }
    }
    return true;
}

bool shardsAgree(const std::map<int, Shard> &shards, const Controllers &played, QString &error)
{
    const Shard &first = shards.begin()->second;
    for (const auto &[k, shard] : shards) {
        if (!sameControllers(shard, first, played, error))
            return false;
        if (shard.root.value(QStringLiteral("baseline")) != first.root.value(QStringLiteral("baseline"))) {
            error = QStringLiteral("%1 has another baseline than %2").arg(shard.path, first.path);
            return false;
        }
    }
    return true;
}

// Seed by seed, as the single run hands them over: each shard checked to
// hold its part of the seeds, then given to `add`.
bool addShards(const std::map<int, Shard> &shards, const ArenaSettings &settings, QString &error,
               const std::function<bool(const Shard &, const SeedRange &)> &add)
{
    const Shard &first = shards.begin()->second;
    for (const auto &[k, shard] : shards) {
        ArenaSettings part = settings;
        part.shard = k;
        part.shards = first.count;
        const SeedRange range = part.played();
        if (shard.first != qint64(range.first) || shard.games != range.games) {
            error = QStringLiteral("%1 holds seeds %2 to %3, but shard %4 of %5 is seeds %6 to %7")
                        .arg(shard.path)
                        .arg(shard.first)
                        .arg(shard.first + shard.games - 1)
                        .arg(k)
                        .arg(first.count)
                        .arg(range.first)
                        .arg(qint64(range.first) + range.games - 1);
            return false;
        }
        if (!add(shard, range))
            return false;
    }
    return true;
}

// Shards read, complete and agreeing: the run they make up.
struct Gathered {
    std::map<int, Shard> shards;
    Controllers played;
    ArenaSettings settings;
    bool match = false;
};

bool gather(const QStringList &inputs, Gathered &run, QString &error)
{
    if (!readShards(inputs, run.shards, error) || !shardsComplete(run.shards, error))
        return false;
    const QJsonObject &root = run.shards.begin()->second.root;
    readSettings(root, run.settings);
    run.played = controllersOf(root);
    run.match = run.shards.begin()->second.match;
    return shardsAgree(run.shards, run.played, error);
}

bool mergeEvaluation(const Gathered &run, RunResults &results, QString &error)
{
    int index = 0;
    return addShards(run.shards, run.settings, error, [&](const Shard &shard, const SeedRange &range) {
        return addGames(shard, range, run.played.labels, index, results, error);
    });
}

// A match shard's rows, every seed's seatings in order, each row read by
// the table its writer used; and the shard's own counts must be those of
// its rows.
bool addMatchGames(const Shard &shard, const SeedRange &range, const QStringList &labels, MatchResults &results,
                   QString &error)
{
    const QJsonArray rows = shard.root.value(QStringLiteral("rows")).toArray();
    const int k = labels.size();
    if (rows.size() != range.games * k * k) {
        error = QStringLiteral("%1 holds %2 rows, not the %3 of %4 games seated %5 times by %5 controllers")
                    .arg(shard.path)
                    .arg(rows.size())
                    .arg(range.games * k * k)
                    .arg(range.games)
                    .arg(k);
        return false;
    }
    std::vector<long long> failed(size_t(k), 0);
    std::vector<MatchRow> game;
    for (int i = 0; i < rows.size(); ++i) {
        MatchRow row;
        if (!readMatchRow(rows[i].toObject(), labels, row) || row.seed != range.first + unsigned(i / (k * k))
            || row.rotation != i / k % k || row.agent != i % k) {
            error = QStringLiteral("%1: row %2 is damaged or out of its place").arg(shard.path).arg(i + 1);
            return false;
        }
        failed[size_t(row.controller)] += row.failure != FailureKind::None ? 1 : 0;
        game.push_back(row);
        if (int(game.size()) == k) {
            results.game(game);
            game.clear();
        }
    }
    const QJsonArray controllers = shard.root.value(QStringLiteral("controllers")).toArray();
    for (int c = 0; c < k; ++c) {
        const QJsonObject o = controllers[c].toObject();
        if (o.value(QStringLiteral("games")).toDouble() != double(range.games) * k
            || o.value(QStringLiteral("failed")).toDouble() != double(failed[size_t(c)])) {
            error = QStringLiteral("%1: the games counted for %2 are not those of its rows").arg(shard.path, labels[c]);
            return false;
        }
    }
    return true;
}

QVector<ControllerSpec> specsOf(const Controllers &played)
{
    QVector<ControllerSpec> specs;
    for (int c = 0; c < played.labels.size(); ++c)
        specs.append({played.files[c], played.labels[c], QString(), played.hashes[c]});
    return specs;
}

} // namespace

namespace {

// A match's shards for mergeMatchShards, an evaluation's for mergeShards.
bool kindIs(const Gathered &run, bool match, QString &error)
{
    if (run.match != match)
        error = QStringLiteral("%1 is the JSON of %2")
                    .arg(run.shards.begin()->second.path,
                         run.match ? QStringLiteral("a match, not of an evaluation")
                                   : QStringLiteral("an evaluation, not of a match"));
    return run.match == match;
}

bool evaluationOf(const Gathered &run, QString &error, const PrepareRun &prepare)
{
    const QJsonObject &root = run.shards.begin()->second.root;
    const int baseline = int(run.played.labels.indexOf(root.value(QStringLiteral("baseline")).toString()));
    RunResults &results = prepare(run.played.labels, run.played.files, run.played.hashes, std::max(0, baseline));
    return mergeEvaluation(run, results, error);
}

bool matchOf(const Gathered &run, QString &error, const PrepareMatch &prepare)
{
    MatchResults &results = prepare(specsOf(run.played));
    return addShards(run.shards, run.settings, error, [&](const Shard &shard, const SeedRange &range) {
        return addMatchGames(shard, range, run.played.labels, results, error);
    });
}

} // namespace

bool mergeShards(const QStringList &inputs, ArenaSettings &settings, QString &error, const PrepareRun &prepare)
{
    Gathered run;
    if (!gather(inputs, run, error) || !kindIs(run, false, error))
        return false;
    settings = run.settings;
    return evaluationOf(run, error, prepare);
}

bool mergeMatchShards(const QStringList &inputs, ArenaSettings &settings, QString &error, const PrepareMatch &prepare)
{
    Gathered run;
    if (!gather(inputs, run, error) || !kindIs(run, true, error))
        return false;
    settings = run.settings;
    return matchOf(run, error, prepare);
}

int runMerge(const QStringList &inputs, const QString &csvPath, const QString &jsonPath)
{
    auto fail = [](const QString &error) {
        std::fprintf(stderr, "pelloria-arena merge: %s\n", error.toLocal8Bit().constData());
        return int(ExitUnusable);
    };
    ArenaOutputs outputs;
    QString error;
    Gathered run;
    if (!outputs.open(csvPath, jsonPath, error) || !gather(inputs, run, error))
        return fail(error);
    if (run.match) {
        std::unique_ptr<MatchResults> match;
        const bool merged = matchOf(run, error, [&](const QVector<ControllerSpec> &specs) -> MatchResults & {
            match = std::make_unique<MatchResults>(specs, outputs.csv(), outputs.wantsJson());
            return *match;
        });
        if (!merged || !outputs.finish(*match, run.settings, 0, error))
            return fail(error);
        return match->anyFailure() ? ExitSomeFailed : ExitOk;
    }
    std::unique_ptr<RunResults> results;
    const bool merged
        = evaluationOf(run, error,
                       [&](const QStringList &labels, const QStringList &files, const QStringList &hashes,
                           int baseline) -> RunResults & {
                           QVector<ControllerSpec> specs;
                           for (int c = 0; c < labels.size(); ++c)
                               specs.append({files[c], labels[c], QString(), hashes[c]});
                           results = std::make_unique<RunResults>(specs, baseline, outputs.wantsJson(), outputs.csv());
                           return *results;
                       });
    if (!merged || !outputs.finish(*results, run.settings, error))
        return fail(error);
    return results->anyFailure() ? ExitSomeFailed : ExitOk;
}
