// pelloria-arena across cores and machines: the same rows and statistics for
// any number of jobs, and shards that merge into the single run.
#include "tests/arena_process.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The JSON without what only the clock decides: call times.
QByteArray withoutTiming(const QByteArray &json)
{
    QJsonObject root = QJsonDocument::fromJson(json).object();
    QJsonArray controllers = root.value(QStringLiteral("controllers")).toArray();
    for (int c = 0; c < controllers.size(); ++c) {
        QJsonObject controller = controllers[c].toObject();
        QJsonObject summary = controller.value(QStringLiteral("summary")).toObject();
        for (const char *key : {"call_mean_us", "call_worst_us", "call_total_ns"})
            summary.remove(QString::fromLatin1(key));
        controller.insert(QStringLiteral("summary"), summary);
        controllers[c] = controller;
    }
    root.insert(QStringLiteral("controllers"), controllers);
    return QJsonDocument(root).toJson();
}

// Two controllers, one of which crashes on seed 3, over 24 seeds.
QStringList runOf(int games = 24)
{
    return {QStringLiteral("--time-limit"), QStringLiteral("10000"), // patient on a loaded machine
            QStringLiteral("--seed"),       QStringLiteral("1"),
            QStringLiteral("--games"),      QString::number(games),
            QStringLiteral("--controller"), QStringLiteral(BRAINLET_LIB),
            QStringLiteral("--controller"), QStringLiteral(CRASH_ON_SEED_LIB)};
}

} // namespace

class TestArenaScale : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void anyNumberOfJobsGivesTheSameOutput();
    void shardsMergeIntoTheSingleRun();
    void mergeRefusesShardsThatAreNotOneRun();
    void failedGamesGiveTheirSlotsBack();

private:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
};

void TestArenaScale::anyNumberOfJobsGivesTheSameOutput()
{
    QByteArray csv, json, table;
    for (int jobs : {1, 2, 3}) {
        const QString n = QString::number(jobs);
        const Run run = arena(runOf()
                              + QStringList{QStringLiteral("--jobs"), n, QStringLiteral("--csv"),
                                            path(n + QStringLiteral(".csv")), QStringLiteral("--json"),
                                            path(n + QStringLiteral(".json"))});
        QCOMPARE(run.exitCode, 1); // seed 3 crashed, for every N
        const QByteArray thisCsv = readFile(path(n + QStringLiteral(".csv")));
        const QByteArray thisJson = withoutTiming(readFile(path(n + QStringLiteral(".json"))));
        QCOMPARE(thisCsv.count('\n'), 1 + 2 * 24);
        if (jobs == 1) {
            csv = thisCsv;
            json = thisJson;
            continue;
        }
        QCOMPARE(thisCsv, csv);
        QCOMPARE(thisJson, json);
    }
}

void TestArenaScale::shardsMergeIntoTheSingleRun()
{
    const QString parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
    if (parallel.isEmpty())
        QSKIP("GNU parallel is not installed (apt-get install parallel; scripts/test.sh installs it)");
    const Run single = arena(runOf(25)
                             + QStringList{QStringLiteral("--csv"), path(QStringLiteral("single.csv")),
                                           QStringLiteral("--json"), path(QStringLiteral("single.json"))});
    QCOMPARE(single.exitCode, 1);

    // Three shards of 25 seeds (8, 8 and 9 games), each its own process.
    QStringList command{QStringLiteral("--will-cite"), QStringLiteral("--jobs"), QStringLiteral("3"),
                        QStringLiteral(ARENA_EXE)};
    command << runOf(25)
            << QStringList{QStringLiteral("--jobs"), QStringLiteral("1"),      QStringLiteral("--shard"),
                           QStringLiteral("{}/3"),   QStringLiteral("--json"), path(QStringLiteral("shard{}.json"))}
            << QStringLiteral(":::") << QStringLiteral("1") << QStringLiteral("2") << QStringLiteral("3");
    const Run shards = runProgram(parallel, command);
    QCOMPARE(shards.exitCode, 1); // GNU parallel counts failed jobs: shard 1 holds seed 3's crash

    const Run merged
        = arena({QStringLiteral("merge"), path(QStringLiteral("shard2.json")), path(QStringLiteral("shard3.json")),
                 path(QStringLiteral("shard1.json")), QStringLiteral("--csv"), path(QStringLiteral("merged.csv")),
                 QStringLiteral("--json"), path(QStringLiteral("merged.json"))});
    QCOMPARE(merged.exitCode, 1);
    QCOMPARE(readFile(path(QStringLiteral("merged.csv"))), readFile(path(QStringLiteral("single.csv"))));
    QCOMPARE(withoutTiming(readFile(path(QStringLiteral("merged.json")))),
             withoutTiming(readFile(path(QStringLiteral("single.json")))));
    // The report too, but for the call times and the logs.
    auto report = [](const QString &text) {
        QStringList lines;
        for (const QString &line : text.split(QLatin1Char('\n')))
            if (!line.contains(QStringLiteral("controller call")) && !line.contains(QStringLiteral("its output")))
                lines << line;
        return lines;
    };
    QCOMPARE(report(merged.out), report(single.out));
    QVERIFY(merged.out.contains(QStringLiteral("Seeds 1 to 25,")));
}

void TestArenaScale::mergeRefusesShardsThatAreNotOneRun()
{
    auto shard = [&](const QString &name, const QString &k, const QString &controller, const QStringList &more = {}) {
        const Run run
            = arena(QStringList{QStringLiteral("--games"), QStringLiteral("6"), QStringLiteral("--shard"), k,
                                QStringLiteral("--controller"), controller, QStringLiteral("--json"), path(name)}
                    + more);
        QCOMPARE(run.exitCode, 0);
    };
    const QString mine = path(QStringLiteral("mine.so"));
    QVERIFY(QFile::copy(QStringLiteral(BRAINLET_LIB), mine));
    shard(QStringLiteral("a1.json"), QStringLiteral("1/2"), mine);
    shard(QStringLiteral("a2.json"), QStringLiteral("2/2"), mine);
    shard(QStringLiteral("steps.json"), QStringLiteral("2/2"), mine,
          {QStringLiteral("--max-steps"), QStringLiteral("500")});
    shard(QStringLiteral("b1.json"), QStringLiteral("1/3"), mine);
    QVERIFY(QFile::remove(mine));
    QVERIFY(QFile::copy(QStringLiteral(GREEDY_LIB), mine)); // same name, another file
    shard(QStringLiteral("other.json"), QStringLiteral("2/2"), mine);

    const struct {
        QStringList files;
        const char *message;
    } cases[] = {
        {{QStringLiteral("a1.json"), QStringLiteral("a1.json"), QStringLiteral("a2.json")},
         "are both shard 1 of 2: they overlap"},
        {{QStringLiteral("a1.json")}, "shard 2 of 2 is missing"},
        {{QStringLiteral("a1.json"), QStringLiteral("steps.json")}, "has different settings"},
        {{QStringLiteral("a1.json"), QStringLiteral("b1.json")}, "is a shard of 3"},
        {{QStringLiteral("a1.json"), QStringLiteral("other.json")}, "is a different file in"},
        {{QStringLiteral("a1.json"), QStringLiteral("nothing.json")}, "cannot read"},
    };
    for (const auto &c : cases) {
        QStringList arguments{QStringLiteral("merge")};
        for (const QString &file : c.files)
            arguments << path(file);
        arguments << QStringLiteral("--csv") << path(QStringLiteral("refused.csv"));
        const Run run = arena(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(QString::fromLatin1(c.message)), qPrintable(run.err));
        QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
        QVERIFY(run.out.isEmpty());
        QVERIFY(!QFile::exists(path(QStringLiteral("refused.csv"))));
    }
    // A damaged file is refused the same way.
    QFile damaged(path(QStringLiteral("damaged.json")));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(readFile(path(QStringLiteral("a2.json"))).left(200));
    damaged.close();
    const Run run = arena({QStringLiteral("merge"), path(QStringLiteral("a1.json")), damaged.fileName()});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(QStringLiteral("is not the JSON of a pelloria-arena run")), qPrintable(run.err));
}

// A game's process takes a slot before it plays and gives it back when it
// is over; one that crashes, runs out of time or is ended by its controller
// has its host give it back. A slot lost would leave the run waiting for
// ever: here three controllers that fail on one seed each, side by side on
// two slots, play every seed, and the slots serve the whole run.
void TestArenaScale::failedGamesGiveTheirSlotsBack()
{
    const Run run = arena({QStringLiteral("--jobs"),         QStringLiteral("2"),
                           QStringLiteral("--time-limit"),   QStringLiteral("1000"),
                           QStringLiteral("--seed"),         QStringLiteral("1"),
                           QStringLiteral("--games"),        QStringLiteral("8"),
                           QStringLiteral("--controller"),   QStringLiteral(CRASH_ON_SEED_LIB),
                           QStringLiteral("--controller"),   QStringLiteral(HANG_ON_SEED_LIB),
                           QStringLiteral("--controller"),   QStringLiteral(EXIT_ON_SEED_LIB),
                           QStringLiteral("--csv"),          path(QStringLiteral("slots.csv")),
                           QStringLiteral("--record"),       path(QStringLiteral("slots")),
                           QStringLiteral("--record-games"), QStringLiteral("all")});
    QCOMPARE(run.exitCode, 1);
    const QList<QByteArray> lines = readFile(path(QStringLiteral("slots.csv"))).split('\n');
    QCOMPARE(lines.size(), 1 + 3 * 8 + 1); // header, 24 rows, the last newline
    int crashed = 0, timedOut = 0, exited = 0, played = 0;
    for (const QByteArray &line : lines.mid(1, 24)) {
        crashed += line.contains(",crashed,") && line.contains("SIGSEGV") ? 1 : 0;
        timedOut += line.contains("time-limit") ? 1 : 0;
        exited += line.contains(",exited,") ? 1 : 0;
        played += line.contains(",set,") || line.contains(",none-alive,") ? 1 : 0;
    }
    QCOMPARE(crashed, 1);
    QCOMPARE(timedOut, 1);
    QCOMPARE(exited, 1);
    QCOMPARE(played, 21);
    // With replays, the arena gives each slot back once it has copied the
    // replay out, and a failed game is played again to record it: every
    // game has its replay, and none is left half-written.
    const QStringList replays = QDir(path(QStringLiteral("slots"))).entryList(QDir::Files);
    QCOMPARE(replays.size(), 24);
    QCOMPARE(replays.filter(QStringLiteral(".replay.gz")).size(), 24);
}

QTEST_GUILESS_MAIN(TestArenaScale)
#include "test_arena_scale.moc"
