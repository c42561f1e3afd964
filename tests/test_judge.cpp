// The arena's side of a game, without starting a process: the channel's
// check of the bytes a game sent, the judge's verdict on them for every way
// a game's process can end, and the capped log of what controllers print.
#include "arena/channel/game_channel.h"
#include "arena/judge/controller_log.h"
#include "arena/judge/judge.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <string>
#include <vector>

namespace {

constexpr uint32_t seed = 7;
constexpr int maxSteps = 60;
// Steps played before the failure in the failure cases: the process fails
// at the step after them.
constexpr int playedBeforeFailure = 25;

// Actions that steer agent 0 the same way every step, with room to spare.
std::vector<uint8_t> steadyActions(size_t count, uint8_t action = 4)
{
    return std::vector<uint8_t>(count, action);
}

GameRow judged(size_t count, ProcessEnd end, int steps = maxSteps, GameResult *played = nullptr)
{
    static Judge judge;
    const std::vector<uint8_t> actions = steadyActions(size_t(steps) + 64);
    return judge.judge(seed, steps, actions.data(), count, end, nullptr, played);
}

ProcessEnd ended(ProcessEnd::Way way, int32_t code = 0)
{
    ProcessEnd end;
    end.way = way;
    end.code = code;
    return end;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

QByteArray capNote(long long limit)
{
    return QStringLiteral("pelloria-arena: the log reached its limit of %1 bytes; later lines are counted, not "
                          "written\n")
        .arg(limit)
        .toLatin1();
}

// A log opened in a folder of its own, with a cap of `limit` bytes.
struct OpenLog {
    explicit OpenLog(long long limit) { ok = log.open(path, limit, error); }
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("c.log"));
    ControllerLog log;
    QString error;
    bool ok = false;
};

} // namespace

class TestJudge : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void actionsAreZeroToNine();
    void firstNonActionFindsTheBreak();
    void cleanFinishIsTheGame();
    void gameThatEndsEarlyNeedsNoMoreActions();
    void tooManyActionsBreakTheChannel();
    void byteThatIsNoActionBreaksTheChannel();
    void failuresAtAStep_data();
    void failuresAtAStep();
    void finishedWithTooFewIsABadChannel();
    void neverPlayedIsLost();
    void logWritesWholeLines();
    void logKeepsEachGamesLineApart();
    void logCapIsNotedOnceAndLinesCounted();
    void logDropsAnUnfinishedLineBeyondItsCap();
    void logThatCannotOpenSaysWhy();
};

void TestJudge::actionsAreZeroToNine()
{
    QCOMPARE(channel::byteOf(0), uint8_t(0));
    QCOMPARE(channel::byteOf(8), uint8_t(8));
    QCOMPARE(channel::byteOf(9), channel::outOfRange);
    QCOMPARE(channel::byteOf(-1), channel::outOfRange);
    QCOMPARE(channel::byteOf(1000), channel::outOfRange);
    QCOMPARE(channel::outOfRange, uint8_t(9));
}

void TestJudge::firstNonActionFindsTheBreak()
{
    const uint8_t clean[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    QCOMPARE(channel::firstNonAction(clean, sizeof clean), sizeof clean);
    QCOMPARE(channel::firstNonAction(clean, 0), size_t(0));
    const uint8_t broken[] = {4, 4, 4, 10, 4, 255};
    QCOMPARE(channel::firstNonAction(broken, sizeof broken), size_t(3));
    QCOMPARE(channel::firstNonAction(broken, 3), size_t(3)); // the break lies beyond what was sent
    const uint8_t first[] = {200, 1};
    QCOMPARE(channel::firstNonAction(first, sizeof first), size_t(0));
}

void TestJudge::cleanFinishIsTheGame()
{
    GameResult played;
    const GameRow row = judged(maxSteps, ended(ProcessEnd::Way::Finished), maxSteps, &played);
    QCOMPARE(row.failure, FailureKind::None);
    QCOMPARE(row.seed, seed);
    QCOMPARE(row.outcome, GameOutcome::StepLimit);
    QCOMPARE(row.steps, maxSteps);
    QCOMPARE(played.steps, maxSteps);
    QCOMPARE(row.failureCode, 0);
    QVERIFY(row.agent0Radius > 0);
    QVERIFY(row.agent0Rank >= 1 && row.agent0Rank <= int(rules::agentsPerGame));
    // Judged twice, the same game: the judge keeps nothing of the last one.
    const GameRow again = judged(maxSteps, ended(ProcessEnd::Way::Finished));
    QCOMPARE(again.agent0Radius, row.agent0Radius);
    QCOMPARE(again.agent0Rank, row.agent0Rank);
    QCOMPARE(again.opponentsAlive, row.opponentsAlive);
    QCOMPARE(again.wallLoss, row.wallLoss);
    QCOMPARE(again.contestLoss, row.contestLoss);
}

void TestJudge::gameThatEndsEarlyNeedsNoMoreActions()
{
    // With a long limit the game is set before it; the process sends one
    // action a step it played, and no more.
    constexpr int longLimit = 100000;
    GameResult played;
    const GameRow tooMany = judged(longLimit, ended(ProcessEnd::Way::Finished), longLimit, &played);
    QVERIFY(played.outcome != GameOutcome::StepLimit);
    QVERIFY(played.steps < longLimit);
    QCOMPARE(tooMany.failure, FailureKind::BadChannel);
    QCOMPARE(tooMany.steps, played.steps);
    const GameRow exact = judged(size_t(played.steps), ended(ProcessEnd::Way::Finished), longLimit);
    QCOMPARE(exact.failure, FailureKind::None);
    QCOMPARE(exact.outcome, played.outcome);
    QCOMPARE(exact.steps, played.steps);
}

void TestJudge::tooManyActionsBreakTheChannel()
{
    const GameRow row = judged(maxSteps + 1, ended(ProcessEnd::Way::Finished));
    QCOMPARE(row.failure, FailureKind::BadChannel);
    QCOMPARE(row.steps, maxSteps);
    QCOMPARE(row.failureCode, 0);
}

void TestJudge::byteThatIsNoActionBreaksTheChannel()
{
    Judge judge;
    std::vector<uint8_t> actions = steadyActions(maxSteps);
    actions[10] = 10;
    // Whatever the process said of its end, the channel broke first.
    for (const ProcessEnd &end : {ended(ProcessEnd::Way::Finished), ended(ProcessEnd::Way::Crashed, 11)}) {
        const GameRow row = judge.judge(seed, maxSteps, actions.data(), 30, end);
        QCOMPARE(row.failure, FailureKind::BadChannel);
        QCOMPARE(row.steps, 11); // the step whose byte it was
        QCOMPARE(row.seed, seed);
    }
}

void TestJudge::failuresAtAStep_data()
{
    QTest::addColumn<int>("way");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("failure");
    QTest::newRow("crash") << int(ProcessEnd::Way::Crashed) << 11 << int(FailureKind::Crashed);
    QTest::newRow("exit") << int(ProcessEnd::Way::Exited) << 3 << int(FailureKind::Exited);
    QTest::newRow("refusal") << int(ProcessEnd::Way::Refused) << 41 << int(FailureKind::Refused);
    QTest::newRow("time limit") << int(ProcessEnd::Way::OverTime) << 50 << int(FailureKind::TimeLimit);
    QTest::newRow("stall") << int(ProcessEnd::Way::Stalled) << 0 << int(FailureKind::Stalled);
}

void TestJudge::failuresAtAStep()
{
    QFETCH(int, way);
    QFETCH(int, code);
    QFETCH(int, failure);
    const GameRow row = judged(playedBeforeFailure, ended(ProcessEnd::Way(way), code));
    QCOMPARE(int(row.failure), failure);
    QCOMPARE(row.failureCode, code);
    QCOMPARE(row.steps, playedBeforeFailure + 1);
    QCOMPARE(row.seed, seed);
    // What agent 0 lost before the failure is that of the steps played.
    const GameRow before = judged(playedBeforeFailure, ended(ProcessEnd::Way::Finished), playedBeforeFailure);
    QCOMPARE(before.failure, FailureKind::None);
    QCOMPARE(row.wallLoss, before.wallLoss);
    QCOMPARE(row.contestLoss, before.contestLoss);
    QCOMPARE(row.deathStep, before.deathStep);
}

void TestJudge::finishedWithTooFewIsABadChannel()
{
    // It said it finished, with an exit code of its choosing, yet sent too
    // few actions: the code means nothing.
    const GameRow row = judged(playedBeforeFailure, ended(ProcessEnd::Way::Finished, 7));
    QCOMPARE(row.failure, FailureKind::BadChannel);
    QCOMPARE(row.failureCode, 0);
    QCOMPARE(row.steps, playedBeforeFailure + 1);
}

void TestJudge::neverPlayedIsLost()
{
    const GameRow row = judged(0, ended(ProcessEnd::Way::Lost));
    QCOMPARE(row.failure, FailureKind::Lost);
    QCOMPARE(row.steps, 0);
    QCOMPARE(row.seed, seed);
}

void TestJudge::logWritesWholeLines()
{
    OpenLog opened(1000);
    QVERIFY2(opened.ok, qPrintable(opened.error));
    ControllerLog &log = opened.log;
    const QString &path = opened.path;
    std::string partial;
    log.add(partial, "one\ntw", 6);
    QCOMPARE(readFile(path), QByteArray("one\n"));
    QCOMPARE(QByteArray::fromStdString(partial), QByteArray("tw"));
    log.add(partial, "o\nthree\nfo", 10);
    QCOMPARE(readFile(path), QByteArray("one\ntwo\nthree\n"));
    log.add(partial, "ur", 2, true); // the game ended: its last line, finished
    QCOMPARE(readFile(path), QByteArray("one\ntwo\nthree\nfour\n"));
    QVERIFY(partial.empty());
    log.add(partial, nullptr, 0, true); // nothing held: nothing written
    QCOMPARE(readFile(path), QByteArray("one\ntwo\nthree\nfour\n"));
    QCOMPARE(log.droppedLines(), 0LL);
    QCOMPARE(log.limit(), 1000LL);
}

void TestJudge::logKeepsEachGamesLineApart()
{
    OpenLog opened(1000);
    QVERIFY2(opened.ok, qPrintable(opened.error));
    ControllerLog &log = opened.log;
    const QString &path = opened.path;
    std::string first, second;
    log.add(first, "a1 ", 3);
    log.add(second, "b1\n", 3);
    log.add(first, "a2\n", 3);
    QCOMPARE(readFile(path), QByteArray("b1\na1 a2\n"));
}

void TestJudge::logCapIsNotedOnceAndLinesCounted()
{
    OpenLog opened(10);
    QVERIFY2(opened.ok, qPrintable(opened.error));
    ControllerLog &log = opened.log;
    const QString &path = opened.path;
    std::string partial;
    log.add(partial, "12345\n67890\n", 12); // the second line would pass 10 bytes
    log.add(partial, "x\n", 2);             // fits, but lines after the cap are dropped
    log.add(partial, "y\nz\n", 4);
    QCOMPARE(readFile(path), QByteArray("12345\n") + capNote(10));
    QCOMPARE(log.droppedLines(), 4LL);
    QCOMPARE(log.limit(), 10LL);
}

void TestJudge::logDropsAnUnfinishedLineBeyondItsCap()
{
    OpenLog opened(10);
    QVERIFY2(opened.ok, qPrintable(opened.error));
    ControllerLog &log = opened.log;
    const QString &path = opened.path;
    std::string partial;
    log.add(partial, "0123456789AB", 12);
    log.add(partial, "CD", 2); // held no further: it is past the cap already
    QCOMPARE(QByteArray::fromStdString(partial), QByteArray("0123456789AB"));
    log.add(partial, "\n", 1);
    QCOMPARE(readFile(path), capNote(10));
    QCOMPARE(log.droppedLines(), 1LL);
    QVERIFY(partial.empty());
}

void TestJudge::logThatCannotOpenSaysWhy()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/c.log"));
    ControllerLog log;
    QString error;
    QVERIFY(!log.open(path, 10, error));
    QCOMPARE(error, QStringLiteral("cannot write the log %1: No such file or directory").arg(path));
    std::string partial;
    log.add(partial, "lost\n", 5); // a log that never opened takes nothing, and does not fail
    QVERIFY(partial.empty());
    QCOMPARE(log.droppedLines(), 0LL);
}

QTEST_GUILESS_MAIN(TestJudge)
#include "test_judge.moc"
