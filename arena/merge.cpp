#include "arena/merge.h"

#include "arena/outputs.h"
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
    const QJsonObject part = shard.root.value(QStringLiteral("shard")).toObject();
    shard.index = part.isEmpty() ? 1 : part.value(QStringLiteral("index")).toInt();
    shard.count = part.isEmpty() ? 1 : part.value(QStringLiteral("count")).toInt();
    shard.first = part.isEmpty() ? shard.root.value(QStringLiteral("first_seed")).toVariant().toLongLong()
                                 : part.value(QStringLiteral("first_seed")).toVariant().toLongLong();
    shard.games = part.isEmpty() ? shard.root.value(QStringLiteral("games")).toInt()
                                 : part.value(QStringLiteral("games")).toInt();
    return true;
}

bool parseRow(const QJsonObject &o, GameRow &row)
{
    row.seed = uint32_t(o.value(QStringLiteral("seed")).toVariant().toLongLong());
    row.steps = o.value(QStringLiteral("steps")).toInt();
    row.wallLoss = o.value(QStringLiteral("wall_loss")).toInt();
    row.contestLoss = o.value(QStringLiteral("contest_loss")).toInt();
    row.replayed = o.contains(QStringLiteral("replay")) ? 1 : 0;
    if (o.contains(QStringLiteral("death_step"))) {
        row.deathStep = o.value(QStringLiteral("death_step")).toInt();
        const QString cause = o.value(QStringLiteral("death_cause")).toString();
        const QString contest = QStringLiteral("contest with agent ");
        if (cause == QLatin1String("wall")) {
            row.deathCause = RadiusChange::Wall;
        } else if (cause.startsWith(contest)) {
            // "[4]", the label; shards of earlier versions wrote the index, "3".
            const QString other = cause.mid(contest.size());
            const bool label = other.startsWith(QLatin1Char('[')) && other.endsWith(QLatin1Char(']'));
            row.deathCause = RadiusChange::Contest;
            row.deathOther = label ? other.mid(1, other.size() - 2).toInt() - 1 : other.toInt();
        }
    }
    const QByteArray end = o.value(QStringLiteral("outcome")).toString().toUtf8();
    if (!parseGameEnd(std::string_view(end.constData(), size_t(end.size())), row))
        return false;
    if (row.failed()) {
        row.failureCode = o.value(QStringLiteral("failure_code")).toInt();
    } else {
        row.agent0Radius = o.value(QStringLiteral("agent0_radius")).toInt();
        row.agent0Rank = o.value(QStringLiteral("agent0_rank")).toInt();
        row.opponentsAlive = o.value(QStringLiteral("opponents_alive")).toInt();
    }
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
            if (!parseRow(rows[size_t(c)][g].toObject(), row) || row.seed != range.first + unsigned(g)) {
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

// Seed by seed, as the single run hands them over.
bool addShards(const std::map<int, Shard> &shards, const ArenaSettings &settings, const QStringList &labels,
               RunResults &results, QString &error)
{
    const Shard &first = shards.begin()->second;
    int index = 0;
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
        if (!addGames(shard, range, labels, index, results, error))
            return false;
    }
    return true;
}

} // namespace

bool mergeShards(const QStringList &inputs, ArenaSettings &settings, QString &error,
                 const std::function<RunResults &(const QStringList &labels, const QStringList &files,
                                                  const QStringList &hashes, int baseline)> &prepare)
{
    std::map<int, Shard> shards;
    if (!readShards(inputs, shards, error) || !shardsComplete(shards, error))
        return false;
    const QJsonObject &root = shards.begin()->second.root;
    readSettings(root, settings);
    const Controllers played = controllersOf(root);
    if (!shardsAgree(shards, played, error))
        return false;
    const int baseline = int(played.labels.indexOf(root.value(QStringLiteral("baseline")).toString()));
    RunResults &results = prepare(played.labels, played.files, played.hashes, std::max(0, baseline));
    return addShards(shards, settings, played.labels, results, error);
}

int runMerge(const QStringList &inputs, const QString &csvPath, const QString &jsonPath)
{
    auto fail = [](const QString &error) {
        std::fprintf(stderr, "pelloria-arena merge: %s\n", error.toLocal8Bit().constData());
        return int(ExitUnusable);
    };
    ArenaOutputs outputs;
    QString error;
    if (!outputs.open(csvPath, jsonPath, error))
        return fail(error);
    ArenaSettings settings;
    std::unique_ptr<RunResults> results;
    const bool merged
        = mergeShards(inputs, settings, error,
                      [&](const QStringList &labels, const QStringList &files, const QStringList &hashes,
                          int baseline) -> RunResults & {
                          QVector<ControllerSpec> specs;
                          for (int c = 0; c < labels.size(); ++c)
                              specs.append({files[c], labels[c], QString(), hashes[c]});
                          results = std::make_unique<RunResults>(specs, baseline, outputs.wantsJson(), outputs.csv());
                          return *results;
                      });
    if (!merged)
        return fail(error);
    if (!outputs.finish(*results, settings, error))
        return fail(error);
    return results->anyFailure() ? ExitSomeFailed : ExitOk;
}
