// pelloria-arena's command line, parsed in this process: every option, the
// values each refuses with its exact message, and merge mode.
#include "arena/arena_command.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <climits>

namespace {

struct Parsed {
    bool ok = false;
    ArenaCommand command;
    QString error;
};

Parsed parse(const QStringList &arguments)
{
    Parsed parsed;
    parsed.ok
        = parseArenaCommand(QStringList{QStringLiteral("pelloria-arena")} + arguments, parsed.command, parsed.error);
    return parsed;
}

// Every field the command line sets, as comparable text.
QStringList fieldsOf(const ArenaCommand &c)
{
    const ArenaSettings &s = c.settings;
    const QString comma = QStringLiteral(",");
    return {QStringLiteral("seed %1, games %2, max steps %3").arg(s.firstSeed).arg(s.games).arg(s.maxSteps),
            QStringLiteral("time limit %1, first call %2, log limit %3")
                .arg(s.timeLimitMs)
                .arg(s.firstCallMs)
                .arg(s.logLimitBytes),
            QStringLiteral("max failures %1, jobs %2, shard %3/%4")
                .arg(s.maxFailures)
                .arg(s.jobs)
                .arg(s.shard)
                .arg(s.shards),
            QStringLiteral("memory %1, sandbox %2, in process %3").arg(s.memoryLimitMb).arg(s.sandbox).arg(s.inProcess),
            QStringLiteral("record %1 (%2), read %3").arg(s.recordDir).arg(s.recordGames).arg(s.readable.join(comma)),
            QStringLiteral("controllers %1, baseline %2").arg(c.controllers.join(comma), c.baseline),
            QStringLiteral("csv %1, json %2, logs %3, merge %4")
                .arg(c.csvPath, c.jsonPath, c.logDir, c.mergeInputs.join(comma))};
}

// The options merge refuses, since the shards carry their own settings.
const char *const playOptions[]
    = {"seed",  "games",   "max-steps",    "controller", "time-limit",       "baseline", "max-failures", "jobs",
       "shard", "log-dir", "memory-limit", "record",     "first-call-limit", "read",     "log-limit"};
const char *const playSwitches[] = {"no-sandbox", "in-process"};

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaults();
    void everyOption();
    void shardsSplitTheSeeds();
    void recordChoosesItsGames_data();
    void recordChoosesItsGames();
    void badValuesSayWhy_data();
    void badValuesSayWhy();
    void largestSeedStillFits();
    void baselineByPath();
    void mergeTakesFiles();
    void mergeRefusesEverySetting_data();
    void mergeRefusesEverySetting();
};

void TestCommandLine::defaults()
{
    const Parsed p = parse({});
    QVERIFY2(p.ok, qPrintable(p.error));
    const int cores = std::max(1, QThread::idealThreadCount());
    QCOMPARE(fieldsOf(p.command),
             QStringList({"seed 1, games 100, max steps 100000", "time limit 50, first call 1000, log limit 10485760",
                          QStringLiteral("max failures 0, jobs %1, shard 1/1").arg(cores),
                          "memory 512, sandbox 1, in process 0", "record  (0), read ", "controllers , baseline ",
                          "csv , json , logs , merge "}));
    QCOMPARE(baselineIndex(p.command), 0);
}

void TestCommandLine::everyOption()
{
    const Parsed p = parse(QStringLiteral("--seed 4000000000 --games 250 --max-steps 777 --controller a.so "
                                          "--controller b.so --time-limit 20 --first-call-limit 3000 --baseline b.so "
                                          "--max-failures 4 --jobs 3 --shard 2/5 --memory-limit 64 --read data "
                                          "--read more --log-limit 2 --no-sandbox --in-process --record replays "
                                          "--record-games failed --log-dir logs --csv rows.csv --json run.json")
                               .split(QLatin1Char(' ')));
    QVERIFY2(p.ok, qPrintable(p.error));
    QCOMPARE(fieldsOf(p.command),
             QStringList({"seed 4000000000, games 250, max steps 777",
                          "time limit 20, first call 3000, log limit 2097152", "max failures 4, jobs 3, shard 2/5",
                          "memory 64, sandbox 0, in process 1", "record replays (2), read data,more",
                          "controllers a.so,b.so, baseline b.so", "csv rows.csv, json run.json, logs logs, merge "}));
    QCOMPARE(baselineIndex(p.command), 1);
}

void TestCommandLine::shardsSplitTheSeeds()
{
    // 10 games in 3 shards: seeds 5-7, 8-10 and 11-14 from seed 5.
    const int expected[][2] = {{5, 3}, {8, 3}, {11, 4}};
    for (int k = 1; k <= 3; ++k) {
        const Parsed p = parse({"--seed", "5", "--games", "10", "--shard", QStringLiteral("%1/3").arg(k)});
        QVERIFY2(p.ok, qPrintable(p.error));
        const SeedRange range = p.command.settings.played();
        QCOMPARE(range.first, unsigned(expected[k - 1][0]));
        QCOMPARE(range.games, expected[k - 1][1]);
    }
    // As many shards as games is still one game each.
    QVERIFY(parse({"--games", "3", "--shard", "3/3"}).ok);
}

void TestCommandLine::recordChoosesItsGames_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("games");
    QTest::newRow("default") << QStringList{"--record", "r"} << int(RecordLost);
    QTest::newRow("lost") << QStringList{"--record", "r", "--record-games", "lost"} << int(RecordLost);
    QTest::newRow("failed") << QStringList{"--record", "r", "--record-games", "failed"} << int(RecordFailed);
    QTest::newRow("all") << QStringList{"--record", "r", "--record-games", "all"} << int(RecordAll);
    QTest::newRow("none asked") << QStringList{} << int(RecordNone);
}

void TestCommandLine::recordChoosesItsGames()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, games);
    const Parsed p = parse(arguments);
    QVERIFY2(p.ok, qPrintable(p.error));
    QCOMPARE(p.command.settings.recordGames, games);
}

void TestCommandLine::badValuesSayWhy_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    const auto count = [](const char *option, long long low, long long high, const char *value) {
        return QStringLiteral("--%1 takes a whole number from %2 to %3, not '%4'")
            .arg(QLatin1String(option))
            .arg(low)
            .arg(high)
            .arg(QLatin1String(value));
    };
    QTest::newRow("zero games") << QStringList{"--games", "0"} << count("games", 1, 10000000, "0");
    QTest::newRow("too many games") << QStringList{"--games", "10000001"} << count("games", 1, 10000000, "10000001");
    QTest::newRow("signed games") << QStringList{"--games", "+5"} << count("games", 1, 10000000, "+5");
    QTest::newRow("step limit past int") << QStringList{"--max-steps", "2147483648"}
                                         << count("max-steps", 1, INT_MAX, "2147483648");
    QTest::newRow("fraction of a ms") << QStringList{"--time-limit", "2.5"} << count("time-limit", 1, INT_MAX, "2.5");
    QTest::newRow("no first call") << QStringList{"--first-call-limit", "0"}
                                   << count("first-call-limit", 1, INT_MAX, "0");
    QTest::newRow("zero failures") << QStringList{"--max-failures", "0"} << count("max-failures", 1, INT_MAX, "0");
    QTest::newRow("too many jobs") << QStringList{"--jobs", "257"} << count("jobs", 1, 256, "257");
    QTest::newRow("tiny memory") << QStringList{"--memory-limit", "15"} << count("memory-limit", 16, 1 << 20, "15");
    QTest::newRow("huge log") << QStringList{"--log-limit", "1048577"} << count("log-limit", 1, 1 << 20, "1048577");
    QTest::newRow("negative seed") << QStringList{"--seed", "-1"}
                                   << QStringLiteral("--seed takes a whole number from 1 to 4294967295, not '-1'");
    QTest::newRow("signed seed") << QStringList{"--seed", "+1"}
                                 << QStringLiteral("--seed takes a whole number from 1 to 4294967295, not '+1'");
    QTest::newRow("seed past the largest") << QStringList{"--seed", "4294967296"}
                                           << QStringLiteral("--seed takes a whole number from 1 to 4294967295, not "
                                                             "'4294967296'");
    QTest::newRow("seed zero") << QStringList{"--seed", "0"}
                               << QStringLiteral("seed 0 plays the same game as seed 1 (the C library's generator "
                                                 "reads 0 as 1): give --seed from 1 to 4294967295");
    QTest::newRow("seeds past the largest") << QStringList{"--seed", "4294967290", "--games", "7"}
                                            << QStringLiteral("seeds 4294967290 to 4294967290+7-1 go past the "
                                                              "largest seed, 4294967295");
    for (const char *shard : {"0/2", "3/2", "1/0", "a/b", "1/2/3", "+1/2", "2", "1/+2"})
        QTest::newRow(qPrintable(QStringLiteral("shard %1").arg(QLatin1String(shard))))
            << QStringList{"--shard", shard}
            << QStringLiteral("--shard takes K/N with 1 <= K <= N, not '%1'").arg(QLatin1String(shard));
    QTest::newRow("shards without games") << QStringList{"--games", "2", "--shard", "1/3"}
                                          << QStringLiteral("--shard 1/3 leaves shards without games: there are "
                                                            "only 2");
    QTest::newRow("record games alone") << QStringList{"--record-games", "all"}
                                        << QStringLiteral("--record-games goes with --record DIR");
    QTest::newRow("record some games") << QStringList{"--record", "r", "--record-games", "some"}
                                       << QStringLiteral("--record-games takes lost, failed or all, not 'some'");
    QTest::newRow("one file twice") << QStringList{"--csv", "out.txt", "--json", "./out.txt"}
                                    << QStringLiteral("--csv and --json name the same file, 'out.txt'");
    QTest::newRow("baseline not played") << QStringList{"--controller", "a.so", "--baseline", "b.so"}
                                         << QStringLiteral("--baseline 'b.so' is none of the --controller files");
    QTest::newRow("stray argument") << QStringList{"games"} << QStringLiteral("unexpected argument 'games'");
    QTest::newRow("unknown option") << QStringList{"--speed", "3"} << QStringLiteral("Unknown option 'speed'.");
    QTest::newRow("missing value") << QStringList{"--games"} << QStringLiteral("Missing value after '--games'.");
    // The counts are checked in one order, whatever the order given.
    QTest::newRow("two bad values") << QStringList{"--jobs", "0", "--games", "0"} << count("games", 1, 10000000, "0");
}

void TestCommandLine::badValuesSayWhy()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    const Parsed p = parse(arguments);
    QVERIFY(!p.ok);
    QCOMPARE(p.error, error);
}

void TestCommandLine::largestSeedStillFits()
{
    const Parsed p = parse({"--seed", "4294967290", "--games", "6"});
    QVERIFY2(p.ok, qPrintable(p.error));
    QCOMPARE(p.command.settings.firstSeed, 4294967290u);
    QCOMPARE(p.command.settings.games, 6);
}

void TestCommandLine::baselineByPath()
{
    // Another name for the same file is the same controller.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char *name : {"a.so", "b.so"}) {
        QFile file(dir.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString b = dir.filePath(QStringLiteral("b.so"));
    const QString otherName = dir.path() + QStringLiteral("/./b.so");
    const Parsed p
        = parse({"--controller", dir.filePath(QStringLiteral("a.so")), "--controller", b, "--baseline", otherName});
    QVERIFY2(p.ok, qPrintable(p.error));
    QCOMPARE(baselineIndex(p.command), 1);
    ArenaCommand unknown = p.command;
    unknown.baseline = dir.filePath(QStringLiteral("c.so"));
    QCOMPARE(baselineIndex(unknown), -1);
}

void TestCommandLine::mergeTakesFiles()
{
    const Parsed p = parse({"merge", "a.json", "b.json", "--csv", "all.csv", "--json", "all.json"});
    QVERIFY2(p.ok, qPrintable(p.error));
    QCOMPARE(p.command.mergeInputs, QStringList({"a.json", "b.json"}));
    QCOMPARE(p.command.csvPath, QStringLiteral("all.csv"));
    QCOMPARE(p.command.jsonPath, QStringLiteral("all.json"));
    const Parsed empty = parse({"merge"});
    QVERIFY(!empty.ok);
    QCOMPARE(empty.error, QStringLiteral("merge needs the shards' JSON files"));
}

void TestCommandLine::mergeRefusesEverySetting_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("option");
    for (const char *option : playOptions)
        QTest::newRow(option) << QStringList{"merge", "a.json", QStringLiteral("--%1").arg(QLatin1String(option)), "1"}
                              << QString::fromLatin1(option);
    for (const char *option : playSwitches)
        QTest::newRow(option) << QStringList{"merge", "a.json", QStringLiteral("--%1").arg(QLatin1String(option))}
                              << QString::fromLatin1(option);
    QTest::newRow("record-games") << QStringList{"merge", "a.json", "--record-games", "all"}
                                  << QStringLiteral("record-games");
}

void TestCommandLine::mergeRefusesEverySetting()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, option);
    const Parsed p = parse(arguments);
    QVERIFY(!p.ok);
    QCOMPARE(p.error, QStringLiteral("merge takes its settings from the shards, not --%1").arg(option));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
