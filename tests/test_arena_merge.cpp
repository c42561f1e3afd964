// The names of the ways a game ends, and shards holding every one of them
// written by the arena's JSON writer and joined again by its merge. No
// process is started: the rows are made here.
#include "arena/game_row_fields.h"
#include "arena/merge.h"
#include "arena/report.h"
#include "arena/run_results.h"
#include "engine/ball_engine.h"
#include "engine/game.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

constexpr int endKinds = int(sizeof gameEnds / sizeof gameEnds[0]);

// A row ending as gameEnds[kind], with values of its seed's own in every
// field the JSON holds for such a row, and nothing in those it leaves out.
GameRow rowOf(unsigned seed, int kind)
{
    GameRow row;
    parseGameEnd(gameEnds[kind].name, row);
    row.seed = seed;
    row.steps = int(100 + seed);
    if (row.failed()) {
        row.failureCode = int(seed);
    } else {
        row.agent0Radius = seed % 4 == 0 ? 0 : int(10 + seed);
        row.agent0Rank = int(1 + seed % 5);
        row.opponentsAlive = int(seed % 3);
    }
    if (seed % 3 != 0) {
        row.deathStep = int(2 * seed);
        row.deathCause = seed % 3 == 1 ? RadiusChange::Wall : RadiusChange::Contest;
        row.deathOther = seed % 3 == 1 ? -1 : int(1 + seed % 4);
    }
    row.wallLoss = int(seed % 7);
    row.contestLoss = int(seed % 5 * 2);
    row.replayed = int(seed % 2);
    return row;
}

QString describe(const GameRow &g)
{
    return QStringLiteral("seed %1 %2 code %3 steps %4 radius %5 rank %6 opponents %7 death %8/%9/%10 "
                          "loss %11+%12 replay %13")
        .arg(g.seed)
        .arg(QLatin1String(gameEndName(g)))
        .arg(g.failureCode)
        .arg(g.steps)
        .arg(g.agent0Radius)
        .arg(g.agent0Rank)
        .arg(g.opponentsAlive)
        .arg(g.deathStep)
        .arg(g.deathCause)
        .arg(g.deathOther)
        .arg(g.wallLoss)
        .arg(g.contestLoss)
        .arg(g.replayed);
}

const QVector<ControllerSpec> specs{
    {QStringLiteral("/lib/a.so"), QStringLiteral("a"), QString(), QStringLiteral("aa11")},
    {QStringLiteral("/lib/b.so"), QStringLiteral("b"), QString(), QStringLiteral("bb22")}};

// Twenty-one seeds from 7: controller a ends game i as kind i (mod the
// kinds), b as kind 3i + 1, so both play each kind at least twice.
struct Run {
    ArenaSettings settings;
    QVector<QVector<GameRow>> rows{{}, {}};
    explicit Run(int kinds)
    {
        settings.firstSeed = 7;
        settings.games = 21;
        for (int i = 0; i < settings.games; ++i) {
            rows[0].append(rowOf(7 + unsigned(i), i % kinds));
            rows[1].append(rowOf(7 + unsigned(i), (3 * i + 1) % kinds));
        }
    }
    // Shard k of 2, or with n == 1 the whole run, as RunResults gathers it.
    std::unique_ptr<RunResults> results(int k, int n, QIODevice *csv = nullptr) const
    {
        ArenaSettings s = part(k, n);
        auto r = std::make_unique<RunResults>(specs, 0, true, csv);
        const SeedRange range = s.played();
        for (int g = 0; g < range.games; ++g)
            for (int c = 0; c < 2; ++c)
                r->gameRow(c, g, rows[c][int(range.first - settings.firstSeed) + g]);
        // The call times of each half of the seeds; the whole run has both.
        for (int half = 1; half <= 2; ++half) {
            for (int c = 0; c < 2 && (n == 1 || half == k); ++c) {
                CallTiming t;
                t.calls = 10 * half + c;
                t.totalNs = 1500.0 * half;
                t.worstNs = half == 2 ? 7000 : 4000;
                r->timing(c, t);
            }
        }
        return r;
    }
    ArenaSettings part(int k, int n) const
    {
        ArenaSettings s = settings;
        s.shard = k;
        s.shards = n;
        return s;
    }
};

struct Merged {
    bool ok = false;
    QString error;
    ArenaSettings settings;
    std::unique_ptr<RunResults> results;
    QBuffer csv;
};

void merge(const QStringList &files, Merged &m)
{
    m.csv.open(QIODevice::WriteOnly);
    m.ok = mergeShards(files, m.settings, m.error,
                       [&](const QStringList &labels, const QStringList &paths, const QStringList &hashes,
                           int baseline) -> RunResults & {
                           QVector<ControllerSpec> merged;
                           for (int c = 0; c < labels.size(); ++c)
                               merged.append({paths[c], labels[c], QString(), hashes[c]});
                           m.results = std::make_unique<RunResults>(merged, baseline, true, &m.csv);
                           return *m.results;
                       });
}

QString tallyText(const ControllerTally &t)
{
    QString text = QStringLiteral("games %1 finished %2 survived %3 sums %4 %5 %6 %7 %8;")
                       .arg(t.games)
                       .arg(t.finished)
                       .arg(t.survived)
                       .arg(t.radiusSum)
                       .arg(t.radiusSquares)
                       .arg(t.rankSum)
                       .arg(t.rankSquares)
                       .arg(t.stepsSum);
    for (const GameEnd &end : gameEnds)
        text += QStringLiteral(" %1 %2").arg(QLatin1String(end.countKey)).arg(t.ended(end));
    return text;
}

// Controller a's entry in a shard's JSON, changed by `edit`.
QByteArray edited(const QByteArray &json, const std::function<void(QJsonObject &)> &edit)
{
    QJsonObject root = QJsonDocument::fromJson(json).object();
    QJsonArray controllers = root.value(QStringLiteral("controllers")).toArray();
    QJsonObject a = controllers[0].toObject();
    edit(a);
    controllers[0] = a;
    root[QStringLiteral("controllers")] = controllers;
    return QJsonDocument(root).toJson();
}

void setOutcome(QJsonObject &controller, int game, const QJsonValue &value)
{
    QJsonArray games = controller.value(QStringLiteral("games")).toArray();
    QJsonObject o = games[game].toObject();
    o[QStringLiteral("outcome")] = value;
    games[game] = o;
    controller[QStringLiteral("games")] = games;
}

void setCount(QJsonObject &controller, const QString &key, const QJsonValue &value)
{
    QJsonObject summary = controller.value(QStringLiteral("summary")).toObject();
    QJsonObject outcomes = summary.value(QStringLiteral("outcomes")).toObject();
    if (value.isUndefined())
        outcomes.remove(key);
    else
        outcomes[key] = value;
    summary[QStringLiteral("outcomes")] = outcomes;
    controller[QStringLiteral("summary")] = summary;
}

} // namespace

class TestArenaMerge : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyGameEndNameRoundTrips();
    void everyRowValueRoundTripsThroughItsColumns();
    void damagedRowsAreRefused();
    void otherNamesAndValuesAreNoGameEnd();
    void tallyAndTableCountEveryFailure();
    void shardsOfEveryEndMergeIntoTheSingleRun();
    void mergeRefusesShardsThatContradictThemselves();

private:
    QTemporaryDir dir;
    QString write(const QString &name, const QByteArray &data)
    {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return file.fileName();
    }
};

void TestArenaMerge::everyGameEndNameRoundTrips()
{
    QCOMPARE(endKinds, 10);
    QSet<QString> names, keys;
    for (const GameEnd &end : gameEnds) {
        GameRow row;
        QVERIFY2(parseGameEnd(end.name, row), end.name);
        QCOMPARE(row.failure, end.failure);
        QCOMPARE(int(row.outcome), int(end.outcome));
        QCOMPARE(gameEndName(row), end.name);
        QCOMPARE(gameEndOf(row), &end);
        if (!row.failed()) // replays name a finished game through the engine
            QCOMPARE(gameEndName(row), gameOutcomeName(end.outcome));
        names.insert(QLatin1String(end.name));
        keys.insert(QLatin1String(end.countKey));
    }
    QCOMPARE(names.size(), endKinds);
    QCOMPARE(keys.size(), endKinds);
    GameRow row;
    QVERIFY(parseGameEnd("refused", row));
    QCOMPARE(row.failure, FailureKind::Refused);
    QVERIFY(parseGameEnd("bad-channel", row));
    QCOMPARE(row.failure, FailureKind::BadChannel);
    QVERIFY(parseGameEnd("none-alive", row));
    QCOMPARE(row.failure, FailureKind::None);
    QCOMPARE(int(row.outcome), int(GameOutcome::NoneAlive));
}

// Every end, with every death cause (none, a wall, a contest with each
// other agent), with and without a replay: written as a JSON row, read back
// the same; and a CSV line worked by hand for a finished and a failed game.
void TestArenaMerge::everyRowValueRoundTripsThroughItsColumns()
{
    int checked = 0;
    for (int kind = 0; kind < endKinds; ++kind)
        for (int cause = -2; cause < int(rules::agentsPerGame); ++cause)
            for (const QString &replay : {QString(), QStringLiteral("1-lib-seed7.replay.gz")}) {
                GameRow row = rowOf(7 + unsigned(kind), kind);
                row.deathStep = cause == -2 ? 0 : 40 + kind;
                row.deathCause = cause == -2 ? -1 : cause == -1 ? RadiusChange::Wall : RadiusChange::Contest;
                row.deathOther = cause >= 0 ? cause : -1;
                row.replayed = replay.isEmpty() ? 0 : 1;
                const QJsonObject json = gameRowJson(row, replay);
                GameRow back;
                QVERIFY2(readGameRowJson(json, back), QJsonDocument(json).toJson().constData());
                QCOMPARE(QByteArray(reinterpret_cast<const char *>(&back), sizeof back),
                         QByteArray(reinterpret_cast<const char *>(&row), sizeof row));
                ++checked;
            }
    QCOMPARE(checked, endKinds * 12 * 2);

    QCOMPARE(csvHeader(),
             QByteArray("controller,seed,outcome,steps,agent0_survived,agent0_radius,agent0_rank,"
                        "opponents_alive,failure,death_step,death_cause,wall_loss,contest_loss,replay\n"));
    GameRow set;
    set.seed = 12;
    set.outcome = GameOutcome::Set;
    set.steps = 950;
    set.agent0Radius = 31;
    set.agent0Rank = 1;
    set.opponentsAlive = 2;
    set.wallLoss = 3;
    QCOMPARE(csvRow(QStringLiteral("my \"best\""), set, QString()),
             QByteArray("\"my \"\"best\"\"\",12,set,950,1,31,1,2,,,,3,0,\n"));
    GameRow crashed;
    crashed.seed = 4;
    crashed.failure = FailureKind::TimeLimit;
    crashed.failureCode = 50;
    crashed.steps = 1381;
    crashed.deathStep = 900;
    crashed.deathCause = RadiusChange::Contest;
    crashed.deathOther = 3;
    QCOMPARE(
        csvRow(QStringLiteral("c"), crashed, QStringLiteral("r.gz")),
        QByteArray("\"c\",4,time-limit,1381,0,,,,\"a call took over 50 ms\",900,contest with agent [4],0,0,r.gz\n"));
}

// What the writer never gives is no row: a number out of range or of the
// wrong type, an unknown end or cause, or a derived column that disagrees.
void TestArenaMerge::damagedRowsAreRefused()
{
    GameRow played = rowOf(9, 0);
    played.deathStep = 12;
    played.deathCause = RadiusChange::Wall;
    const QJsonObject good = gameRowJson(played, QString());
    GameRow back;
    QVERIFY(readGameRowJson(good, back));
    const QList<QPair<QString, QJsonValue>> damages{
        {QStringLiteral("seed"), 0},
        {QStringLiteral("seed"), QStringLiteral("9")},
        {QStringLiteral("seed"), 4294967296.0},
        {QStringLiteral("steps"), -1},
        {QStringLiteral("steps"), 2.5},
        {QStringLiteral("outcome"), QStringLiteral("won")},
        {QStringLiteral("death_cause"), QStringLiteral("fell over")},
        {QStringLiteral("agent0_survived"), !played.agent0Survived()},
        {QStringLiteral("agent0_survived"), 1},
        {QStringLiteral("failure"), QStringLiteral("crashed")},
        {QStringLiteral("wall_loss"), QStringLiteral("")},
    };
    for (const auto &damage : damages) {
        QJsonObject bad = good;
        bad.insert(damage.first, damage.second);
        QVERIFY2(!readGameRowJson(bad, back), qPrintable(damage.first));
    }
    QJsonObject noSeed = good;
    noSeed.remove(QStringLiteral("seed"));
    QVERIFY(!readGameRowJson(noSeed, back));
}

void TestArenaMerge::otherNamesAndValuesAreNoGameEnd()
{
    for (const char *name : {"", "Refused", "refused ", "bad_channel", "not_started", "unknown", "none"}) {
        GameRow row;
        row.failure = FailureKind::Exited;
        QVERIFY2(!parseGameEnd(name, row), name);
        QCOMPARE(row.failure, FailureKind::Exited); // untouched
    }
    GameRow row;
    QVERIFY(!parseGameEnd(std::string_view("stalled\0", 8), row));
    QVERIFY(!parseGameEnd(std::string_view("stalled", 5), row));
    row.failure = FailureKind(99);
    QVERIFY(!gameEndOf(row));
    QCOMPARE(QByteArray(gameEndName(row)), QByteArray("unknown"));
    row.failure = FailureKind::None;
    row.outcome = GameOutcome(-1);
    QCOMPARE(QByteArray(gameEndName(row)), QByteArray("unknown"));
}

void TestArenaMerge::tallyAndTableCountEveryFailure()
{
    const Run run(endKinds);
    const std::unique_ptr<RunResults> whole = run.results(1, 1);
    const ControllerTally &a = whole->controllers()[0].tally;
    // 21 games over 10 kinds: set thrice, every other kind twice.
    QCOMPARE(a.games, 21LL);
    QCOMPARE(a.set, 3LL);
    QCOMPARE(a.refused, 2LL);
    QCOMPARE(a.stalled, 2LL);
    QCOMPARE(a.badChannel, 2LL);
    QCOMPARE(a.failures(), 14LL);
    QCOMPARE(a.finished, 7LL);
    const QString table = formatTable(*whole, run.settings);
    QVERIFY2(table.contains(QStringLiteral(
                 "  failed games          14: crashed 2, over the time limit 2, ended the process 2, refused by the "
                 "sandbox 2, not started 2, stalled 2, bad channel 2\n")),
             qPrintable(table));
    QVERIFY(table.contains(QStringLiteral("  FAILED                bad-channel at seed 13, step 113: its process sent "
                                          "something other than actions\n")));

    // Without the new kinds the line is the one it always was.
    const std::unique_ptr<RunResults> old = Run(8).results(1, 1);
    QCOMPARE(old->controllers()[0].tally.stalled + old->controllers()[0].tally.badChannel, 0LL);
    const QString oldTable = formatTable(*old, run.settings);
    QVERIFY2(oldTable.contains(QStringLiteral("  failed games          12: crashed 3, over the time limit 3, ended the "
                                              "process 2, refused by the sandbox 2, not started 2\n  controller call")),
             qPrintable(oldTable));
}

void TestArenaMerge::shardsOfEveryEndMergeIntoTheSingleRun()
{
    const Run run(endKinds);
    QBuffer singleCsv;
    singleCsv.open(QIODevice::WriteOnly);
    const std::unique_ptr<RunResults> single = run.results(1, 1, &singleCsv);
    // Given out of order; the shards hold 10 and 11 seeds.
    const QStringList files{write(QStringLiteral("every2.json"), formatJson(*run.results(2, 2), run.part(2, 2))),
                            write(QStringLiteral("every1.json"), formatJson(*run.results(1, 2), run.part(1, 2)))};
    Merged m;
    merge(files, m);
    QVERIFY2(m.ok, qPrintable(m.error));
    for (int c = 0; c < 2; ++c) {
        const ControllerResult &back = m.results->controllers()[c];
        QCOMPARE(back.rows.size(), run.rows[c].size());
        for (int g = 0; g < back.rows.size(); ++g)
            QCOMPARE(describe(back.rows[g]), describe(run.rows[c][g]));
        QCOMPARE(tallyText(back.tally), tallyText(single->controllers()[c].tally));
        QCOMPARE(back.timing.calls, 30LL + 2 * c);
        QCOMPARE(back.timing.totalNs, 4500.0);
        QCOMPARE(back.timing.worstNs, 7000.0);
    }
    QCOMPARE(formatJson(*m.results, m.settings), formatJson(*single, run.settings));
    QCOMPARE(m.csv.data(), singleCsv.data());
    QVERIFY(m.csv.data().contains("\n\"a\",15,stalled,115,0,,,,\"the game stopped making progress\",,,1,0,"
                                  "1-a-seed15.replay.gz\n"));
    const QJsonObject outcomes = QJsonDocument::fromJson(formatJson(*m.results, m.settings))
                                     .object()["controllers"]
                                     .toArray()[1]
                                     .toObject()["summary"]
                                     .toObject()["outcomes"]
                                     .toObject();
    // b ends game i as kind 3i + 1 (mod 10): stalled (8) at i = 9 and 19,
    // bad-channel (9) at 6 and 16, none-alive (1) at 0, 10 and 20.
    QCOMPARE(outcomes.value(QStringLiteral("stalled")).toInt(), 2);
    QCOMPARE(outcomes.value(QStringLiteral("bad_channel")).toInt(), 2);
    QCOMPARE(outcomes.value(QStringLiteral("none_alive")).toInt(), 3);
}

void TestArenaMerge::mergeRefusesShardsThatContradictThemselves()
{
    const Run run(endKinds);
    const QByteArray first = formatJson(*run.results(1, 2), run.part(1, 2));
    const QString second = write(QStringLiteral("good2.json"), formatJson(*run.results(2, 2), run.part(2, 2)));
    const struct {
        const char *name;
        std::function<void(QJsonObject &)> edit;
        const char *error;
    } cases[] = {
        {"renamed", [](QJsonObject &a) { setOutcome(a, 6, QStringLiteral("Refused")); }, "game 7 of a is damaged"},
        {"nul", [](QJsonObject &a) { setOutcome(a, 8, QString::fromLatin1("stalled\0", 8)); },
         "game 9 of a is damaged"},
        {"number", [](QJsonObject &a) { setOutcome(a, 0, 3); }, "game 1 of a is damaged"},
        {"recounted", [](QJsonObject &a) { setCount(a, QStringLiteral("stalled"), 2); },
         "the outcomes counted for a are not those of its games"},
        {"uncounted", [](QJsonObject &a) { setCount(a, QStringLiteral("bad_channel"), QJsonValue::Undefined); },
         "the outcomes counted for a are not those of its games"},
        // Its failure's words and its final radius now say otherwise.
        {"relabelled", [](QJsonObject &a) { setOutcome(a, 9, QStringLiteral("stalled")); }, "game 10 of a is damaged"},
    };
    for (const auto &c : cases) {
        Merged m;
        merge({write(QLatin1String(c.name) + QStringLiteral(".json"), edited(first, c.edit)), second}, m);
        QVERIFY2(!m.ok, c.name);
        QVERIFY2(m.error.contains(QLatin1String(c.error)), qPrintable(m.error));
        QVERIFY2(m.error.startsWith(dir.filePath(QLatin1String(c.name))), qPrintable(m.error));
    }

    // A shard written before stalled and bad-channel existed has no count
    // of them, and none of its games ended so: it merges.
    const Run old(8);
    auto withoutNewCounts = [](QJsonObject &a) {
        setCount(a, QStringLiteral("stalled"), QJsonValue::Undefined);
        setCount(a, QStringLiteral("bad_channel"), QJsonValue::Undefined);
    };
    QStringList files;
    for (int k = 1; k <= 2; ++k)
        files << write(QStringLiteral("old%1.json").arg(k),
                       edited(formatJson(*old.results(k, 2), old.part(k, 2)), withoutNewCounts));
    Merged m;
    merge(files, m);
    QVERIFY2(m.ok, qPrintable(m.error));
    QCOMPARE(formatJson(*m.results, m.settings), formatJson(*old.results(1, 1), old.settings));
}

QTEST_GUILESS_MAIN(TestArenaMerge)
#include "test_arena_merge.moc"
