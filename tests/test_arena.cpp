// pelloria-arena: its statistics, its runs of well- and badly-behaved
// controllers, and its command line.
#include "arena_command.h"
#include "controller_library.h"
#include "game.h"
#include "report.h"
#include "runner.h"
#include "statistics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int processWaitMs = 60000;

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run arena(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(ARENA_EXE), arguments);
    Run run;
    if (!process.waitForFinished(processWaitMs))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

LoadedController load(const char *path)
{
    return loadController(QString::fromUtf8(path), QString::fromUtf8(path));
}

ArenaSettings settings(unsigned firstSeed, int games)
{
    ArenaSettings s;
    s.firstSeed = firstSeed;
    s.games = games;
    return s;
}

} // namespace

class TestArena : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wilsonIntervalWorkedExamples();
    void meanAndPairedDifference();
    void isolatedRunMatchesTheEngineGameByGame();
    void recordedSeedsGiveRecordedSteps();
    void exampleControllerBeatsReference();
    void crashIsReportedWithSeedAndStep();
    void slowCallIsReportedWithSeedAndStep();
    void hangingCallIsStopped();
    void loadingFailures();
    void commandLineRejectsBadValues_data();
    void commandLineRejectsBadValues();
    void unwritableOutputWritesNothing();
    void outputsHoldGamesAndSummary();
    void otherControllersStillReportAfterACrash();
};

void TestArena::wilsonIntervalWorkedExamples()
{
    const Interval half = wilsonInterval(50, 100);
    QCOMPARE(half.estimate, 0.5);
    QVERIFY(qAbs(half.low - 0.4038) < 1e-4);
    QVERIFY(qAbs(half.high - 0.5962) < 1e-4);
    const Interval none = wilsonInterval(0, 10);
    QCOMPARE(none.low, 0.0);
    QVERIFY(qAbs(none.high - 0.2775) < 1e-4);
    const Interval all = wilsonInterval(10, 10);
    QVERIFY(qAbs(all.low - 0.7225) < 1e-4);
    QCOMPARE(all.high, 1.0);
    QCOMPARE(wilsonInterval(0, 0).high, 0.0);
}

void TestArena::meanAndPairedDifference()
{
    const Interval m = meanInterval({0, 1, 1, 0});
    QCOMPARE(m.estimate, 0.5);
    QVERIFY(qAbs(m.low - (0.5 - 1.959964 * 0.2886751)) < 1e-5);

    ControllerRun base, other;
    auto row = [](unsigned seed, bool survived) {
        GameRow g;
        g.seed = seed;
        g.outcome = GameOutcome::Set;
        g.agent0Radius = survived ? 30 : 0;
        return g;
    };
    base.games = {row(1, false), row(2, true), row(3, false), row(4, false)};
    other.games = {row(1, true), row(2, true), row(3, true), row(5, true)};
    const PairedDifference d = pairedSurvivalDifference(base, other);
    QCOMPARE(d.pairs, 3); // seed 4 and 5 have no partner
    QVERIFY(qAbs(d.difference.estimate - 2.0 / 3.0) < 1e-12);

    // Survival needs a set game: alive at the step limit does not count.
    GameRow limit = row(9, true);
    limit.outcome = GameOutcome::StepLimit;
    QVERIFY(!limit.agent0Survived());
}

void TestArena::isolatedRunMatchesTheEngineGameByGame()
{
    const LoadedController reference = load(BRAINLET_LIB);
    QVERIFY2(reference.function, qPrintable(reference.error));
    ArenaSettings s = settings(40, 6);
    const ControllerRun isolated = runController(reference, s);
    s.isolate = false;
    const ControllerRun inProcess = runController(reference, s);
    QCOMPARE(isolated.failure.kind, FailureKind::None);
    QCOMPARE(isolated.games.size(), 6);
    Ball_engine engine;
    engine.setup(10, 100);
    for (int g = 0; g < 6; ++g) {
        const GameResult direct = playSeededGame(engine, 40 + unsigned(g), s.maxSteps);
        QCOMPARE(isolated.games[g].seed, 40u + unsigned(g));
        QCOMPARE(isolated.games[g].steps, direct.steps);
        QCOMPARE(isolated.games[g].agent0Radius, std::max(0, engine.getCircleRadius()[0]));
        QCOMPARE(inProcess.games[g].steps, direct.steps);
        QCOMPARE(inProcess.games[g].agent0Rank, isolated.games[g].agent0Rank);
    }
    QVERIFY(isolated.calls >= 6);
    QVERIFY(isolated.worstCallNs > 0);
}

void TestArena::recordedSeedsGiveRecordedSteps()
{
    // The same total as the engine's own record for seeds 1 to 300.
    const ControllerRun run = runController(load(BRAINLET_LIB), settings(1, 300));
    long total = 0;
    for (const GameRow &g : run.games)
        total += g.steps;
    QCOMPARE(total, 395054L);
    const Summary s = summarize(run, arenaOpponents);
    QCOMPARE(s.set + s.noneAlive + s.stepLimit, 300);
    QVERIFY(qAbs(s.meanSteps - 395054.0 / 300) < 1e-9);

    // A step limit below every game's length stops them all.
    ArenaSettings short_ = settings(1, 5);
    short_.maxSteps = 3;
    const Summary cut = summarize(runController(load(BRAINLET_LIB), short_), arenaOpponents);
    QCOMPARE(cut.stepLimit, 5);
    QCOMPARE(cut.meanSteps, 3.0);
    QCOMPARE(cut.survival.estimate, 0.0);
}

void TestArena::exampleControllerBeatsReference()
{
    const ControllerRun reference = runController(load(BRAINLET_LIB), settings(1, 200));
    const ControllerRun greedy = runController(load(GREEDY_LIB), settings(1, 200));
    const Summary r = summarize(reference, arenaOpponents);
    const Summary g = summarize(greedy, arenaOpponents);
    QVERIFY2(g.survival.low > r.survival.high,
             qPrintable(QStringLiteral("%1 vs %2").arg(g.survival.estimate).arg(r.survival.estimate)));
    const PairedDifference d = pairedSurvivalDifference(reference, greedy);
    QCOMPARE(d.pairs, 200);
    QVERIFY(d.difference.low > 0);
}

void TestArena::crashIsReportedWithSeedAndStep()
{
    const ControllerRun run = runController(load(CRASH_LIB), settings(1, 3));
    QCOMPARE(run.failure.kind, FailureKind::Crashed);
    QCOMPARE(run.failure.seed, 1u);
    QCOMPARE(run.failure.step, 500); // one call per step
    QVERIFY(run.failure.detail.contains(QStringLiteral("signal 11")));
    QCOMPARE(run.games.size(), 0);
}

void TestArena::slowCallIsReportedWithSeedAndStep()
{
    ArenaSettings s = settings(2, 3);
    s.timeLimitMs = 50;
    const ControllerRun run = runController(load(SLOW_LIB), s);
    QCOMPARE(run.failure.kind, FailureKind::TimeLimit);
    QCOMPARE(run.failure.seed, 2u);
    QCOMPARE(run.failure.step, 10);
}

void TestArena::hangingCallIsStopped()
{
    ArenaSettings s = settings(5, 2);
    s.timeLimitMs = 100;
    QElapsedTimer clock;
    clock.start();
    const ControllerRun run = runController(load(HANG_LIB), s);
    QVERIFY(clock.elapsed() < 20000);
    QCOMPARE(run.failure.kind, FailureKind::TimeLimit);
    QCOMPARE(run.failure.seed, 5u);
    QCOMPARE(run.failure.step, 10);
    QVERIFY(run.failure.detail.contains(QStringLiteral("did not return within 100 ms")));
}

void TestArena::loadingFailures()
{
    const LoadedController missing = loadController(QStringLiteral("/nonexistent/lib.so"), QStringLiteral("x"));
    QVERIFY(!missing.function);
    QVERIFY(missing.error.contains(QStringLiteral("no such file")));
    const LoadedController empty = load(NO_CONTROLLER_LIB);
    QVERIFY(!empty.function);
    QVERIFY(empty.error.contains(QStringLiteral("exports no 'controller'")));

    for (const char *path : {NO_CONTROLLER_LIB, "/nonexistent/lib.so"}) {
        const Run run = arena({QStringLiteral("--games"), QStringLiteral("2"), QStringLiteral("--controller"),
                               QString::fromUtf8(path)});
        QCOMPARE(run.exitCode, int(ArenaUsageError));
        QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
        QVERIFY(run.out.isEmpty()); // no game was played
    }
    // A text file is no library.
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("notes.so"));
    QFile file(text);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a library\n");
    file.close();
    const Run run = arena({QStringLiteral("--controller"), text});
    QCOMPARE(run.exitCode, int(ArenaUsageError));
    QVERIFY(run.err.contains(QStringLiteral("cannot load")));
}

void TestArena::commandLineRejectsBadValues_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("negative games") << QStringList{"--games", "-5"} << "--games takes a whole number";
    QTest::newRow("zero games") << QStringList{"--games", "0"} << "--games takes a whole number";
    QTest::newRow("too many games") << QStringList{"--games", "10000001"} << "from 1 to 10000000";
    QTest::newRow("words for games") << QStringList{"--games", "many"} << "--games takes a whole number";
    QTest::newRow("negative seed") << QStringList{"--seed", "-1"} << "--seed takes a whole number";
    QTest::newRow("seed overflow") << QStringList{"--seed", "4294967295", "--games", "2"} << "past the largest seed";
    QTest::newRow("huge step limit") << QStringList{"--max-steps", "99999999999"} << "--max-steps takes";
    QTest::newRow("fraction time limit") << QStringList{"--time-limit", "2.5"} << "--time-limit takes";
    QTest::newRow("unknown option") << QStringList{"--speed", "3"} << "Unknown option 'speed'";
    QTest::newRow("missing value") << QStringList{"--games"} << "Missing value after '--games'";
    QTest::newRow("stray argument") << QStringList{"games"} << "unexpected argument 'games'";
}

void TestArena::commandLineRejectsBadValues()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const Run run = arena(arguments);
    QCOMPARE(run.exitCode, int(ArenaUsageError));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void TestArena::unwritableOutputWritesNothing()
{
    QTemporaryDir dir;
    const QString json = dir.filePath(QStringLiteral("result.json"));
    const Run run = arena({QStringLiteral("--games"), QStringLiteral("2"), QStringLiteral("--json"), json,
                           QStringLiteral("--csv"), dir.filePath(QStringLiteral("missing/dir/games.csv"))});
    QCOMPARE(run.exitCode, int(ArenaUsageError));
    QVERIFY(run.err.contains(QStringLiteral("cannot write")));
    QVERIFY(run.out.isEmpty());
    QVERIFY(!QFile::exists(json));
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestArena::outputsHoldGamesAndSummary()
{
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("games.csv"));
    const QString json = dir.filePath(QStringLiteral("result.json"));
    const Run run = arena({QStringLiteral("--seed"), QStringLiteral("7"), QStringLiteral("--games"),
                           QStringLiteral("3"), QStringLiteral("--csv"), csv, QStringLiteral("--json"), json});
    QCOMPARE(run.exitCode, int(ArenaOk));
    QVERIFY(run.out.contains(QStringLiteral("Seeds 7 to 9")));
    QVERIFY(run.out.contains(QStringLiteral("games played          3 of 3")));
    QVERIFY(run.err.isEmpty()); // no progress bar when stderr is not a terminal

    QFile csvFile(csv);
    QVERIFY(csvFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csvFile.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[0].startsWith("controller,seed,outcome,steps"));
    QVERIFY(lines[1].startsWith("\"brainlet\",7,"));

    QFile jsonFile(json);
    QVERIFY(jsonFile.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(jsonFile.readAll()).object();
    QCOMPARE(root.value(QStringLiteral("first_seed")).toInt(), 7);
    const QJsonObject controller = root.value(QStringLiteral("controllers")).toArray().first().toObject();
    QCOMPARE(controller.value(QStringLiteral("games")).toArray().size(), 3);
    QCOMPARE(controller.value(QStringLiteral("summary")).toObject().value(QStringLiteral("games")).toInt(), 3);
}

void TestArena::otherControllersStillReportAfterACrash()
{
    const Run run = arena({QStringLiteral("--games"), QStringLiteral("4"), QStringLiteral("--controller"),
                           QStringLiteral(CRASH_LIB), QStringLiteral("--controller"), QStringLiteral(BRAINLET_LIB)});
    QCOMPARE(run.exitCode, int(ArenaControllerFailed));
    QVERIFY2(run.out.contains(QStringLiteral("crashed at seed 1, step 500")), qPrintable(run.out));
    QVERIFY(run.out.contains(QStringLiteral("games played          4 of 4")));
    QVERIFY(run.out.contains(QStringLiteral("on the same 0 seeds")));
}

QTEST_GUILESS_MAIN(TestArena)
#include "test_arena.moc"
