// pelloria-arena: its runs of well- and badly-behaved controllers, and its
// command line as the program answers it.
#include "arena/arena_command.h"
#include "arena/channel/game_channel.h"
#include "arena/game_row_fields.h"
#include "arena/games/sandbox.h"
#include "arena/judge/judge.h"
#include "arena/report.h"
#include "arena/run_results.h"
#include "arena/runner.h"
#include "arena/statistics.h"
#include "common/exit_codes.h"
#include "engine/ball_engine.h"
#include "engine/game.h"
#include "engine/separate_generators.h"
#include "plugin/controller_library.h"
#include "tests/arena_process.h"
#include "tests/arena_run.h"
#include "tests/collected_run.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#if defined(__linux__)
#  include <fcntl.h>
#  include <sched.h>
#  include <signal.h>
#  include <sys/socket.h>
#  include <sys/stat.h>
#  include <sys/wait.h>
#  include <unistd.h>
#endif

class TestArena : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void isolatedRunMatchesTheEngineGameByGame();
    void recordedSeedsGiveRecordedSteps();
    void exampleControllerBeatsReference();
    void controllerWrittenInCPlays();
    void generatorIsTheGamesNotTheControllers();
    void everyGameStandsAlone();
    void crashLosesOneGame();
    void slowCallLosesOneGame();
    void hangingCallLosesOneGame();
    void exitingControllerLosesOneGame();
    void maxFailuresStopsAController();
    void controllerOutputGoesToItsLog();
    void debuggerStopsAtTheCrash();
    void commandLineRejectsBadValues_data();
    void commandLineRejectsBadValues();
    void unwritableOutputWritesNothing();
    void outputsHoldGamesAndSummary();
    void otherControllersStillReportAfterACrash();
};

void TestArena::isolatedRunMatchesTheEngineGameByGame()
{
    // The arena's game N is the engine's seeded game N, with the controller
    // drawing from its own stream.
    const QVector<GameRow> rows = play(BRAINLET_LIB, settings(40, 6));
    QCOMPARE(rows.size(), 6);
    const LoadedController reference = loadController(QStringLiteral(BRAINLET_LIB), QStringLiteral("reference"));
    QVERIFY2(reference.function, qPrintable(reference.error));
    static SeparateGenerators generators;
    static ControllerFunction function;
    function = reference.function;
    Ball_engine engine;
    engine.setup(10, 100);
    engine.setController([](int &action, const size_t a, const size_t n, const size_t r, const int *radius,
                            const int *x, const int *y, const int *vx, const int *vy) {
        generators.enterController();
        function(action, a, n, r, radius, x, y, vx, vy);
        generators.leaveController();
    });
    for (int g = 0; g < 6; ++g) {
        const unsigned seed = 40 + unsigned(g);
        generators.startGame(seed, engine);
        const GameResult direct = playSeededGame(engine, seed, 100000);
        QCOMPARE(gameOf(rows[g]), gameOf(describeGame(engine, seed, direct)));
    }
}

void TestArena::recordedSeedsGiveRecordedSteps()
{
    // Seeds 1 to 300 with the reference controller on its own stream.
    const QVector<GameRow> rows = play(BRAINLET_LIB, settings(1, 300));
    QCOMPARE(rows.size(), 300);
    long total = 0;
    for (const GameRow &g : rows)
        total += g.steps;
    constexpr long recordedArenaSteps = 397906;
    QCOMPARE(total, recordedArenaSteps);

    // A step limit below every game's length stops them all.
    ArenaSettings short_ = settings(1, 5);
    short_.maxSteps = 3;
    ControllerTally cut;
    for (const GameRow &g : play(BRAINLET_LIB, short_))
        cut.add(g);
    QCOMPARE(cut.stepLimit, 5LL);
    QCOMPARE(cut.meanSteps(), 3.0);
    QCOMPARE(cut.survival().estimate, 0.0);
}

void TestArena::exampleControllerBeatsReference()
{
    const QVector<GameRow> reference = play(BRAINLET_LIB, settings(1, 200));
    const QVector<GameRow> greedy = play(GREEDY_LIB, settings(1, 200));
    ControllerTally r, g;
    PairedTally p;
    for (int i = 0; i < 200; ++i) {
        r.add(reference[i]);
        g.add(greedy[i]);
        p.add(reference[i], greedy[i]);
    }
    QVERIFY2(g.survival().low > r.survival().high,
             qPrintable(QStringLiteral("%1 vs %2").arg(g.survival().estimate).arg(r.survival().estimate)));
    QCOMPARE(p.pairs, 200LL);
    QVERIFY(p.survivalDifference().low > 0);
    QVERIFY(p.survivalP() < 1e-6);
    QVERIFY(p.radiusDifference().low > 0);
    QVERIFY(p.rankDifference().high < 0);
}

void TestArena::controllerWrittenInCPlays()
{
    // Built as C99 against brainlet.h: `int *action` where C++ has `int &`.
    ControllerTally tally;
    for (const GameRow &g : play(C_CONTROLLER_LIB, settings(1, 20)))
        tally.add(g);
    QCOMPARE(tally.games, 20LL);
    QCOMPARE(tally.failures(), 0LL);
    QVERIFY(tally.survived >= 10); // it plays: the reference survives about one game in four
}

void TestArena::generatorIsTheGamesNotTheControllers()
{
    // Each stores 0; what they do to the generator must change nothing.
    const QStringList honest = gamesOf(play(STORES0_LIB, settings(1, 12)));
    QCOMPARE(honest.size(), 12);
    QCOMPARE(gamesOf(play(RESEEDS_LIB, settings(1, 12))), honest);
    QCOMPARE(gamesOf(play(GENERATOR_ABUSE_LIB, settings(1, 12))), honest);
    // And the game itself is the engine's own for that seed.
    Ball_engine engine;
    engine.setup(10, 100);
    engine.setController([](int &action, const size_t, const size_t, const size_t, const int *, const int *,
                            const int *, const int *, const int *) { action = 0; });
    const GameResult direct = playSeededGame(engine, 5, 100000);
    QCOMPARE(honest[4], gameOf(describeGame(engine, 5, direct)));
}

void TestArena::everyGameStandsAlone()
{
    // A controller that counts its calls plays seed 5 the same alone and
    // after four other games.
    const QVector<GameRow> inSequence = play(COUNTS_CALLS_LIB, settings(1, 5));
    const QVector<GameRow> alone = play(COUNTS_CALLS_LIB, settings(5, 1));
    QCOMPARE(inSequence.size(), 5);
    QCOMPARE(gameOf(inSequence[4]), gameOf(alone[0]));
}

void TestArena::crashLosesOneGame()
{
    const QVector<GameRow> rows = play(CRASH_ON_SEED_LIB, settings(1, 5));
    QCOMPARE(rows.size(), 5);
    for (const GameRow &g : rows) {
        if (g.seed != 3) {
            QCOMPARE(g.failure, FailureKind::None);
            continue;
        }
        QCOMPARE(g.failure, FailureKind::Crashed);
        QCOMPARE(g.steps, 100);
        QCOMPARE(g.failureCode, 11);
        QVERIFY(!g.agent0Survived());
    }
}

void TestArena::slowCallLosesOneGame()
{
    // Its 10th call of every game takes 200 ms.
    CallTiming timing;
    ArenaSettings s = settings(2, 2);
    s.timeLimitMs = 50;
    const QVector<GameRow> rows = play(SLOW_LIB, s, &timing);
    QCOMPARE(rows.size(), 2);
    for (const GameRow &g : rows) {
        QCOMPARE(g.failure, FailureKind::TimeLimit);
        QCOMPARE(g.steps, 10);
        QCOMPARE(failureReason(g), QStringLiteral("a call took over 50 ms"));
    }
    QVERIFY(timing.worstNs > 50e6); // the call over the limit counts
}

void TestArena::hangingCallLosesOneGame()
{
    ArenaSettings s = settings(1, 3);
    s.timeLimitMs = 100;
    CallTiming timing;
    const QVector<GameRow> rows = play(HANG_ON_SEED_LIB, s, &timing);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[0].failure, FailureKind::None);
    QCOMPARE(rows[1].failure, FailureKind::TimeLimit);
    QCOMPARE(rows[1].seed, 2u);
    QCOMPARE(rows[1].steps, 10);
    QCOMPARE(rows[2].failure, FailureKind::None);
    QVERIFY(timing.worstNs > 100e6);
}

void TestArena::exitingControllerLosesOneGame()
{
    const QVector<GameRow> rows = play(EXIT_ON_SEED_LIB, settings(3, 3));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[1].seed, 4u);
    QCOMPARE(rows[1].failure, FailureKind::Exited);
    QCOMPARE(rows[1].failureCode, 0);
    QCOMPARE(rows[1].steps, 20);
    QCOMPARE(failureReason(rows[1]), QStringLiteral("the controller ended the process with exit code 0"));
    QCOMPARE(rows[0].failure, FailureKind::None);
    QCOMPARE(rows[2].failure, FailureKind::None);
}

void TestArena::maxFailuresStopsAController()
{
    // Crashes at its 500th call in every game; stopped after two of them.
    ArenaSettings s = settings(1, 6);
    s.maxFailures = 2;
    QTemporaryDir logs;
    const QVector<ControllerSpec> specs{
        {QStringLiteral(CRASH_LIB), QStringLiteral("crash"), logs.filePath(QStringLiteral("1.log"))},
        {QStringLiteral(STORES0_LIB), QStringLiteral("still"), logs.filePath(QStringLiteral("2.log"))}};
    Collected collected(2);
    QString error;
    QVERIFY(runArena(specs, s, collected, error));
    QCOMPARE(collected.rows[0].size(), 2);
    QCOMPARE(collected.stoppedAfter[0], 1);
    QCOMPARE(collected.rows[1].size(), 6); // the other plays on
    QCOMPARE(collected.stoppedAfter[1], -1);
}

void TestArena::controllerOutputGoesToItsLog()
{
    QTemporaryDir dir;
    const Run run = arena({QStringLiteral("--games"), QStringLiteral("2"), QStringLiteral("--controller"),
                           QStringLiteral(PRINTS_LIB), QStringLiteral("--log-dir"), dir.path()});
    QCOMPARE(run.exitCode, int(ExitOk));
    QVERIFY(!run.out.contains(QStringLiteral("call 1,")));
    QVERIFY(!run.out.contains(QStringLiteral("hundredth")));
    QVERIFY(run.err.isEmpty());
    const QString log = dir.filePath(QStringLiteral("1-libcontroller_prints.log"));
    QVERIFY2(run.out.contains(QStringLiteral("its output            ") + log), qPrintable(run.out));
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    // Every game starts its count afresh, and each line says where it was.
    QVERIFY(text.contains(QStringLiteral("seed 1 step 1 stdout: call 1, radius 20\n")));
    QVERIFY(text.contains(QStringLiteral("seed 2 step 1 stdout: call 1, radius 20\n")));
    QVERIFY(text.contains(QStringLiteral("seed 1 step 100 stderr: hundredth call\n")));
    QCOMPARE(text.count(QStringLiteral("seed 1 step 7 stdout: call 7,")), 1);
}

// The handbook's recipe: gdb, in batch, stops in the controller's crash.
void TestArena::debuggerStopsAtTheCrash()
{
    const QString gdb = QStandardPaths::findExecutable(QStringLiteral("gdb"));
    if (gdb.isEmpty())
        QSKIP("gdb is not installed (apt-get install gdb)");
    const Run run = runProgram(gdb,
                               {QStringLiteral("-batch"), QStringLiteral("-ex"), QStringLiteral("run"),
                                QStringLiteral("-ex"), QStringLiteral("bt"), QStringLiteral("--args"),
                                QStringLiteral(ARENA_EXE), QStringLiteral("--seed"), QStringLiteral("3"),
                                QStringLiteral("--games"), QStringLiteral("1"), QStringLiteral("--in-process"),
                                QStringLiteral("--controller"), QStringLiteral(CRASH_ON_SEED_LIB)});
    QVERIFY2(run.out.contains(QStringLiteral("SIGSEGV")), qPrintable(run.out + run.err));
    const int frame = run.out.indexOf(QStringLiteral("\n#0"));
    const QString top = run.out.mid(frame, run.out.indexOf(QLatin1Char('\n'), frame + 1) - frame);
    QVERIFY2(top.contains(QStringLiteral(" controller ")) && top.contains(QStringLiteral("hostile.cpp")),
             qPrintable(top));
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
    QTest::newRow("seed zero") << QStringList{"--seed", "0"} << "seed 0 plays the same game as seed 1";
    QTest::newRow("seed overflow") << QStringList{"--seed", "4294967295", "--games", "2"} << "past the largest seed";
    QTest::newRow("huge step limit") << QStringList{"--max-steps", "99999999999"} << "--max-steps takes";
    QTest::newRow("fraction time limit") << QStringList{"--time-limit", "2.5"} << "--time-limit takes";
    QTest::newRow("unknown option") << QStringList{"--speed", "3"} << "Unknown option 'speed'";
    QTest::newRow("missing value") << QStringList{"--games"} << "Missing value after '--games'";
    QTest::newRow("stray argument") << QStringList{"games"} << "unexpected argument 'games'";
    QTest::newRow("zero max failures") << QStringList{"--max-failures", "0"} << "--max-failures takes";
    QTest::newRow("tiny memory limit") << QStringList{"--memory-limit", "1"} << "--memory-limit takes";
    QTest::newRow("merge with settings") << QStringList{"merge", "a.json", "--jobs", "2"} << "not --jobs";
    QTest::newRow("one file for both outputs")
        << QStringList{"--csv", "out.txt", "--json", "./out.txt"} << "--csv and --json name the same file";
    QTest::newRow("baseline not played") << QStringList{"--controller", BRAINLET_LIB, "--baseline", GREEDY_LIB}
                                         << "is none of the --controller";
}

void TestArena::commandLineRejectsBadValues()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const Run run = arena(arguments);
    QCOMPARE(run.exitCode, int(ExitUnusable));
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void TestArena::unwritableOutputWritesNothing()
{
    QTemporaryDir dir;
    const QString json = dir.filePath(QStringLiteral("result.json"));
    const Run run = arena({QStringLiteral("--games"), QStringLiteral("2"), QStringLiteral("--json"), json,
                           QStringLiteral("--csv"), dir.filePath(QStringLiteral("missing/dir/games.csv"))});
    QCOMPARE(run.exitCode, int(ExitUnusable));
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
                           QStringLiteral("3"), QStringLiteral("--csv"), csv, QStringLiteral("--json"), json,
                           QStringLiteral("--controller"), QStringLiteral(BRAINLET_LIB), QStringLiteral("--controller"),
                           QStringLiteral(GREEDY_LIB), QStringLiteral("--baseline"), QStringLiteral(GREEDY_LIB),
                           QStringLiteral("--log-dir"), dir.filePath(QStringLiteral("logs"))});
    QCOMPARE(run.exitCode, int(ExitOk));
    QVERIFY(run.out.contains(QStringLiteral("Seeds 7 to 9")));
    QVERIFY(run.out.contains(QStringLiteral("games played          3 of 3")));
    QVERIFY(run.out.contains(QStringLiteral(BRAINLET_LIB " against " GREEDY_LIB ", paired on the same 3 seeds")));
    QVERIFY(!run.out.contains(QStringLiteral("random baseline")));
    QVERIFY(run.err.isEmpty()); // no progress bar when stderr is not a terminal

    QFile csvFile(csv);
    QVERIFY(csvFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csvFile.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines[0], csvHeader().trimmed());
    // Seeds in order, each seed's controllers together.
    QVERIFY(lines[1].startsWith("\"" BRAINLET_LIB "\",7,"));
    QVERIFY(lines[2].startsWith("\"" GREEDY_LIB "\",7,"));
    QVERIFY(lines[6].startsWith("\"" GREEDY_LIB "\",9,"));

    QFile jsonFile(json);
    QVERIFY(jsonFile.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(jsonFile.readAll()).object();
    QCOMPARE(root.value(QStringLiteral("first_seed")).toInt(), 7);
    const QJsonObject controller = root.value(QStringLiteral("controllers")).toArray().first().toObject();
    QCOMPARE(controller.value(QStringLiteral("games")).toArray().size(), 3);
    QCOMPARE(controller.value(QStringLiteral("summary")).toObject().value(QStringLiteral("games")).toInt(), 3);
    const QJsonObject paired = root.value(QStringLiteral("paired_differences")).toArray().first().toObject();
    QCOMPARE(paired.value(QStringLiteral("against")).toString(), QStringLiteral(GREEDY_LIB));
    QCOMPARE(paired.value(QStringLiteral("pairs")).toInt(), 3);
    QVERIFY(paired.value(QStringLiteral("rank_difference")).isObject());
}

void TestArena::otherControllersStillReportAfterACrash()
{
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("games.csv"));
    const Run run = arena({QStringLiteral("--games"), QStringLiteral("4"), QStringLiteral("--controller"),
                           QStringLiteral(CRASH_ON_SEED_LIB), QStringLiteral("--controller"),
                           QStringLiteral(BRAINLET_LIB), QStringLiteral("--csv"), csv});
    QCOMPARE(run.exitCode, int(ExitSomeFailed));
    QVERIFY2(run.out.contains(QStringLiteral("crashed at seed 3, step 100: signal 11 (SIGSEGV)")), qPrintable(run.out));
    QCOMPARE(run.out.count(QStringLiteral("games played          4 of 4")), 2);
    QVERIFY(run.out.contains(QStringLiteral("failed games          1: crashed 1")));
    QVERIFY(run.out.contains(QStringLiteral("paired on the same 4 seeds")));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains(",3,crashed,100,0,,,,\"signal 11 (SIGSEGV)\",,,0,0,\n"));
}

QTEST_GUILESS_MAIN(TestArena)
#include "test_arena.moc"
