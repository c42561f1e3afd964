// A match's rows by their one table of columns: every value of every named
// field written and read back; and a match split into shards and merged
// again, which must give the whole match's outputs, while shards that do not
// make one match are refused.
#include "arena/match_results.h"
#include "arena/match_rows.h"
#include "arena/row_text.h"
#include "engine/ball_engine.h"
#include "tests/arena_process.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(data), qint64(data.size()));
}

// The table without the referee's timing, which no two runs share.
QString withoutTiming(const QString &table)
{
    QStringList kept;
    for (const QString &line : table.split(QLatin1Char('\n')))
        if (!line.startsWith(QLatin1String("A referee's question")))
            kept << line;
    return kept.join(QLatin1Char('\n')).trimmed();
}

QStringList matchArguments(const QString &first, const QString &second, const QString &logDir)
{
    return {QStringLiteral("match"),
            QStringLiteral("--controller"),
            first,
            QStringLiteral("--controller"),
            second,
            QStringLiteral("--games"),
            QStringLiteral("5"),
            QStringLiteral("--seed"),
            QStringLiteral("11"),
            QStringLiteral("--max-steps"),
            QStringLiteral("3000"),
            QStringLiteral("--time-limit"),
            QStringLiteral("10000"),
            QStringLiteral("--log-dir"),
            logDir};
}

// The JSON's rows, edited by `edit`, written as `path`.
void editRows(const QString &from, const QString &path, const std::function<void(QJsonArray &)> &edit)
{
    QJsonObject root = QJsonDocument::fromJson(contents(from)).object();
    QJsonArray rows = root.value(QStringLiteral("rows")).toArray();
    edit(rows);
    root.insert(QStringLiteral("rows"), rows);
    writeFile(path, QJsonDocument(root).toJson());
}

} // namespace

class TestMatchMerge : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyValueOfEveryFieldRoundTrips();
    void initTestCase();
    void shardsMergeToTheWholeMatch();
    void shardsThatAreNotOneMatchAreRefused();
    void aDamagedRowIsRefused();
    void theLadderRanksInTheExpectedOrder();

private:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
};

void TestMatchMerge::everyValueOfEveryFieldRoundTrips()
{
    const QStringList labels{QStringLiteral("a, \"the first\""), QStringLiteral("b"), QStringLiteral("c")};
    QCOMPARE(matchCsvHeader().count(',') + 1, matchFieldCount);
    int checked = 0;
    // Every outcome, every failure (none included), every death cause and
    // every other agent a contest can name, each in some seat and seating.
    for (const GameEnd &end : gameEnds) {
        for (int cause = -1; cause <= RadiusChange::Contest; ++cause) {
            for (int other = cause == RadiusChange::Contest ? 0 : -1;
                 other < (cause == RadiusChange::Contest ? int(rules::agentsPerGame) : 0); ++other) {
                MatchRow row;
                row.seed = uint32_t(7 + checked);
                row.rotation = checked % 3;
                row.agent = (checked / 3) % 3;
                row.controller = (row.agent + row.rotation) % 3;
                row.outcome = end.failure == FailureKind::None ? end.outcome : GameOutcome(checked % 3);
                row.failure = end.failure;
                row.failureCode = end.failure == FailureKind::None ? 0 : 11 + checked % 3;
                row.failedAt = end.failure == FailureKind::None ? 0 : 40 + checked;
                row.steps = 100 + checked;
                row.rank = 1 + checked % 10;
                row.radius = cause >= 0 ? 0 : 5 + checked;
                row.deathStep = cause >= 0 ? 30 + checked : 0;
                row.deathCause = cause;
                row.deathOther = other;
                row.replayed = checked % 2;
                MatchRow back;
                QVERIFY2(readMatchRow(matchRowJson(row, labels), labels, back), qPrintable(matchCsvLine(row, labels)));
                QCOMPARE(matchCsvLine(back, labels), matchCsvLine(row, labels));
                QCOMPARE(back.controller, row.controller);
                QCOMPARE(back.failure, row.failure);
                QCOMPARE(back.outcome, row.outcome);
                QCOMPARE(back.deathCause, row.deathCause);
                QCOMPARE(back.deathOther, row.deathOther);
                QCOMPARE(back.replayed, row.replayed);
                ++checked;
            }
        }
    }
    QCOMPARE(checked, int(sizeof gameEnds / sizeof gameEnds[0]) * (2 + int(rules::agentsPerGame)));
    // A label's comma and quotes are quoted in the CSV.
    MatchRow row;
    row.seed = 1;
    row.rank = 1;
    QVERIFY(matchCsvLine(row, labels).startsWith("\"a, \"\"the first\"\"\",1,0,0,"));
}

void TestMatchMerge::initTestCase()
{
    QVERIFY(dir.isValid());
    const QStringList base
        = matchArguments(QStringLiteral(BRAINLET_LIB), QStringLiteral(GREEDY_LIB), path(QStringLiteral("logs")));
    struct Part {
        const char *name;
        QStringList extra;
    };
    const Part parts[] = {{"whole", {}},
                          {"s1", {QStringLiteral("--shard"), QStringLiteral("1/2")}},
                          {"s2", {QStringLiteral("--shard"), QStringLiteral("2/2")}}};
    for (const Part &part : parts) {
        const QString name = QString::fromLatin1(part.name);
        const Run run = arena(base + part.extra
                              + QStringList{QStringLiteral("--json"), path(name + QStringLiteral(".json")),
                                            QStringLiteral("--csv"), path(name + QStringLiteral(".csv"))});
        QVERIFY2(run.exitCode == 0, qPrintable(QString::number(run.exitCode) + run.err + run.out));
        writeFile(path(name + QStringLiteral(".table")), run.out.toUtf8());
    }
    // The same match with the controllers' places swapped, and an
    // evaluation's shard of the same seeds.
    QStringList swapped
        = matchArguments(QStringLiteral(GREEDY_LIB), QStringLiteral(BRAINLET_LIB), path(QStringLiteral("logs")));
    swapped << QStringLiteral("--shard") << QStringLiteral("2/2") << QStringLiteral("--json")
            << path(QStringLiteral("swapped.json"));
    QCOMPARE(arena(swapped).exitCode, 0);
    QStringList evaluation
        = matchArguments(QStringLiteral(BRAINLET_LIB), QStringLiteral(GREEDY_LIB), path(QStringLiteral("logs"))).mid(1);
    evaluation << QStringLiteral("--shard") << QStringLiteral("2/2") << QStringLiteral("--json")
               << path(QStringLiteral("evaluation.json"));
    QCOMPARE(arena(evaluation).exitCode, 0);
}

void TestMatchMerge::shardsMergeToTheWholeMatch()
{
    const QJsonObject whole = QJsonDocument::fromJson(contents(path(QStringLiteral("whole.json")))).object();
    QCOMPARE(whole.value(QStringLiteral("kind")).toString(), QStringLiteral("match"));
    QCOMPARE(whole.value(QStringLiteral("rows")).toArray().size(), 5 * 2 * 2);
    const QJsonObject first = QJsonDocument::fromJson(contents(path(QStringLiteral("s1.json")))).object();
    QCOMPARE(first.value(QStringLiteral("rows")).toArray().size(), 2 * 2 * 2); // seeds 11 and 12
    QVERIFY(contents(path(QStringLiteral("s1.table"))).contains("(shard 1 of 2 of seeds 11 to 15)"));
    // Given in either order, the shards make the whole match again.
    const Run merged = arena({QStringLiteral("merge"), path(QStringLiteral("s2.json")), path(QStringLiteral("s1.json")),
                              QStringLiteral("--json"), path(QStringLiteral("merged.json")), QStringLiteral("--csv"),
                              path(QStringLiteral("merged.csv"))});
    QVERIFY2(merged.exitCode == 0, qPrintable(merged.err));
    QCOMPARE(contents(path(QStringLiteral("merged.json"))), contents(path(QStringLiteral("whole.json"))));
    QCOMPARE(contents(path(QStringLiteral("merged.csv"))), contents(path(QStringLiteral("whole.csv"))));
    const QString table = QString::fromUtf8(contents(path(QStringLiteral("whole.table"))));
    QVERIFY(table.contains(QStringLiteral("rating [95%]")));
    QCOMPARE(withoutTiming(merged.out), withoutTiming(table));
}

void TestMatchMerge::shardsThatAreNotOneMatchAreRefused()
{
    const QString s1 = path(QStringLiteral("s1.json")), s2 = path(QStringLiteral("s2.json"));
    const QString out = path(QStringLiteral("refused.json"));
    struct Case {
        QStringList inputs;
        const char *says;
    };
    const Case cases[] = {
        {{s1, s1}, "both shard 1 of 2: they overlap"},
        {{s1}, "shard 2 of 2 is missing"},
        {{s1, path(QStringLiteral("evaluation.json"))}, "the two do not merge"},
        {{s1, path(QStringLiteral("swapped.json"))}, "played"},
        {{s1, path(QStringLiteral("whole.json"))}, "is a shard of"},
    };
    for (const Case &c : cases) {
        const Run run
            = arena(QStringList{QStringLiteral("merge")} + c.inputs + QStringList{QStringLiteral("--json"), out});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(QLatin1String(c.says)), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
        QVERIFY(!QFile::exists(out)); // nothing half-written
    }
}

void TestMatchMerge::aDamagedRowIsRefused()
{
    const QString s1 = path(QStringLiteral("s1.json")), s2 = path(QStringLiteral("s2.json"));
    const QString damaged = path(QStringLiteral("damaged.json"));
    const std::function<void(QJsonArray &)> edits[] = {
        // A radius that the rank, the tallies and the ratings no longer fit.
        [](QJsonArray &rows) {
            QJsonObject row = rows[3].toObject();
            row.insert(QStringLiteral("radius"), row.value(QStringLiteral("radius")).toInt() + 1);
            row.insert(QStringLiteral("rank"), 11);
            rows[3] = row;
        },
        // A controller out of the seat its rotation gives it.
        [](QJsonArray &rows) {
            QJsonObject a = rows[0].toObject(), b = rows[1].toObject();
            const QJsonValue label = a.value(QStringLiteral("controller"));
            a.insert(QStringLiteral("controller"), b.value(QStringLiteral("controller")));
            b.insert(QStringLiteral("controller"), label);
            rows[0] = a;
            rows[1] = b;
        },
        // A failure its counts do not hold.
        [](QJsonArray &rows) {
            QJsonObject row = rows[2].toObject();
            row.insert(QStringLiteral("failure"), QStringLiteral("crashed"));
            row.insert(QStringLiteral("failure_code"), 11);
            row.insert(QStringLiteral("failed_at"), 5);
            row.insert(QStringLiteral("failure_reason"), QStringLiteral("signal 11 (SIGSEGV)"));
            rows[2] = row;
        },
        // A row lost, and a row that is not an object.
        [](QJsonArray &rows) { rows.removeAt(5); },
        [](QJsonArray &rows) { rows[4] = QJsonValue(QStringLiteral("row")); },
    };
    for (const auto &edit : edits) {
        editRows(s1, damaged, edit);
        const Run run = arena({QStringLiteral("merge"), damaged, s2});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.startsWith(QLatin1String("pelloria-arena merge: ")), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
    }
}

void TestMatchMerge::theLadderRanksInTheExpectedOrder()
{
    const QString out = path(QStringLiteral("ladder"));
    QProcess script;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("GAMES"), QStringLiteral("40"));
    environment.insert(QStringLiteral("TIME_LIMIT"), QStringLiteral("10000"));
    environment.insert(QStringLiteral("TESTS_BIN"), QFileInfo(QStringLiteral(STORES0_LIB)).absolutePath());
    script.setProcessEnvironment(environment);
    script.start(QStringLiteral("sh"),
                 {QStringLiteral(LADDER_SCRIPT), QFileInfo(QStringLiteral(ARENA_EXE)).absolutePath(), out});
    QVERIFY(script.waitForFinished(processWaitMs * 5));
    const QString said = QString::fromUtf8(script.readAllStandardOutput());
    QVERIFY2(script.exitCode() == 0, qPrintable(said + script.readAllStandardError()));
    const QJsonArray entries = QJsonDocument::fromJson(contents(out + QStringLiteral("/ladder.json")))
                                   .object()
                                   .value("controllers")
                                   .toArray();
    QCOMPARE(entries.size(), 4);
    QMap<QString, QJsonObject> by;
    for (const QJsonValue &e : entries)
        by.insert(QFileInfo(e.toObject().value("controller").toString()).completeBaseName(), e.toObject());
    const QJsonObject greedy = by.value("libgreedy_brainlet"), reference = by.value("libbrainlet");
    // The greedy example first, its interval clear of every other; the
    // reference last.
    for (const QJsonObject &other : by) {
        if (other == greedy)
            continue;
        QVERIFY(greedy.value("rating_low").toDouble() > other.value("rating_high").toDouble());
        if (other != reference)
            QVERIFY(other.value("rating").toDouble() > reference.value("rating").toDouble());
    }
    // One line per controller saying how to replay its first lost game,
    // naming a replay that is there.
    const QStringList replays = said.split(QLatin1Char('\n')).filter(QStringLiteral(": pelloria --replay "));
    QCOMPARE(replays.size(), 4);
    for (const QString &line : replays)
        QVERIFY2(QFile::exists(line.section(QStringLiteral("--replay "), 1)), qPrintable(line));
}

QTEST_GUILESS_MAIN(TestMatchMerge)
#include "test_match_merge.moc"
