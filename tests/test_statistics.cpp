// The arena's statistics and the figures its report prints, without playing
// a game.
#include "arena/report.h"
#include "arena/run_results.h"
#include "arena/runner.h"
#include "arena/statistics.h"

#include <QtTest>

class TestStatistics : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wilsonIntervalWorkedExamples();
    void pairedStatisticsWorkedExamples();
    void figuresWithoutDataSayNotAvailable();
    void wilsonIntervalEdges();
    void studentTMatchesItsTable();
    void tIntervalEdges();
    void pairedDifferenceEdges();
    void tallyCountsEveryEnd();
};

void TestStatistics::wilsonIntervalWorkedExamples()
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
    QVERIFY(!wilsonInterval(0, 0).valid);
}

void TestStatistics::pairedStatisticsWorkedExamples()
{
    // McNemar, exact: 4 discordant seeds all one way is p = 2/16.
    QCOMPARE(mcnemarExactP(4, 0), 0.125);
    QCOMPARE(mcnemarExactP(0, 4), 0.125);
    QCOMPARE(mcnemarExactP(5, 1), 14.0 / 64.0); // 2 (1 + 6) / 2^6
    QCOMPARE(mcnemarExactP(3, 3), 1.0);
    QCOMPARE(mcnemarExactP(0, 0), 1.0);
    // Far into the tail without overflow: 2 / 2^2000 is 0 in doubles.
    QCOMPARE(mcnemarExactP(2000, 0), 0.0);
    QVERIFY(qAbs(mcnemarExactP(60, 40) - 0.0569) < 1e-4);

    // Newcombe's paired interval, by hand for the table both 10, only the
    // other 5, only the base 2, neither 3: difference +0.15, phi = 0.2357.
    const Interval d = newcombePairedDifference(10, 5, 2, 3);
    QVERIFY(qAbs(d.estimate - 0.15) < 1e-12);
    QVERIFY2(qAbs(d.low - (-0.098959)) < 1e-5, qPrintable(QString::number(d.low, 'f', 6)));
    QVERIFY2(qAbs(d.high - 0.375238) < 1e-5, qPrintable(QString::number(d.high, 'f', 6)));
    // 4 discordant games out of 1000, all one way: the interval reaches 0.
    const Interval near = newcombePairedDifference(990, 4, 0, 6);
    QVERIFY(qAbs(near.estimate - 0.004) < 1e-12);
    QVERIFY(near.low <= 0.0);

    // Student's t: t(0.975, 1) = 12.7062, t(0.975, 10) = 2.2281.
    QVERIFY(qAbs(studentT975(1) - 12.7062047) < 1e-6);
    QVERIFY(qAbs(studentT975(10) - 2.2281389) < 1e-6);
    QVERIFY(qAbs(studentT975(1000000) - 1.959966) < 1e-5);
    // 1, 2, 3, 4: mean 2.5, sd 1.290994, half-width t(3) sd / 2 = 2.054260.
    const Interval t = tInterval(4, 10, 30);
    QCOMPARE(t.estimate, 2.5);
    QVERIFY(qAbs(t.low - (2.5 - 2.054260)) < 1e-5);
    QVERIFY(qAbs(t.high - (2.5 + 2.054260)) < 1e-5);

    // Tallies: failures are lost games; radius and rank pair finished games.
    auto row = [](unsigned seed, int radius, int rank, FailureKind failure = FailureKind::None) {
        GameRow g;
        g.seed = seed;
        g.outcome = GameOutcome::Set;
        g.agent0Radius = radius;
        g.agent0Rank = rank;
        g.failure = failure;
        return g;
    };
    PairedTally p;
    p.add(row(1, 0, 5), row(1, 30, 1));
    p.add(row(2, 40, 1), row(2, 50, 1));
    p.add(row(3, 20, 2), row(3, 0, 0, FailureKind::Crashed));
    QCOMPARE(p.pairs, 3LL);
    QCOMPARE(p.both, 1LL);
    QCOMPARE(p.onlyOther, 1LL);
    QCOMPARE(p.onlyBase, 1LL);
    QCOMPARE(p.finishedPairs, 2LL);
    QCOMPARE(p.radiusDifference().estimate, 20.0); // (+30 + +10) / 2
    QCOMPARE(p.rankDifference().estimate, -2.0);   // (-4 + 0) / 2
    ControllerTally tally;
    tally.add(row(1, 30, 1));
    tally.add(row(2, 0, 0, FailureKind::TimeLimit));
    QCOMPARE(tally.games, 2LL);
    QCOMPARE(tally.finished, 1LL);
    QCOMPARE(tally.survival().estimate, 0.5);
    QCOMPARE(tally.radius().estimate, 30.0);
    QVERIFY(!tally.radius().bounded); // one finished game has no spread
}

void TestStatistics::figuresWithoutDataSayNotAvailable()
{
    QCOMPARE(fixed(-0.04, 1), QStringLiteral("0.0"));
    QCOMPARE(fixed(-0.0, 2), QStringLiteral("0.00"));
    QCOMPARE(fixed(-0.06, 1), QStringLiteral("-0.1"));

    // A controller that failed its only game, against one that played it.
    const QVector<ControllerSpec> specs{{QStringLiteral("a"), QStringLiteral("crasher"), QString()},
                                        {QStringLiteral("b"), QStringLiteral("player"), QString()}};
    RunResults results(specs, 0, true, nullptr);
    GameRow crashed;
    crashed.seed = 1;
    crashed.failure = FailureKind::Crashed;
    crashed.failureCode = 11;
    crashed.steps = 7;
    GameRow played;
    played.seed = 1;
    played.outcome = GameOutcome::Set;
    played.agent0Radius = 25;
    played.agent0Rank = 2;
    results.gameRow(0, 0, crashed);
    results.gameRow(1, 0, played);
    ArenaSettings s;
    s.games = 1;
    s.timeLimitMs = 10000;
    const QString table = formatTable(results, s);
    QVERIFY2(table.contains(QStringLiteral("final radius, mean    n/a")), qPrintable(table));
    QVERIFY(table.contains(QStringLiteral("agent 0 survived      0.0% [0.0%, 79.3%]")));
    QVERIFY(table.contains(QStringLiteral("crashed at seed 1, step 7: signal 11 (SIGSEGV)")));
    QVERIFY(table.contains(QStringLiteral("final radius          n/a  (0 seeds both finished)")));
    QVERIFY(table.contains(QStringLiteral("controller call       n/a")));
    QVERIFY(!table.contains(QStringLiteral("-0.0")));
    QVERIFY(!table.contains(QStringLiteral("baseline\n  (random")));
    QVERIFY(results.anyFailure());
}

void TestStatistics::wilsonIntervalEdges()
{
    // One success in one trial: the low end is 1 / (1 + z^2) exactly.
    const double z = 1.959963984540054;
    const Interval one = wilsonInterval(1, 1);
    QCOMPARE(one.estimate, 1.0);
    QVERIFY(qAbs(one.low - 1.0 / (1.0 + z * z)) < 1e-12);
    QCOMPARE(one.high, 1.0);
    // k of n mirrors n - k of n.
    const Interval three = wilsonInterval(3, 10), seven = wilsonInterval(7, 10);
    QVERIFY(qAbs(three.low - (1.0 - seven.high)) < 1e-12);
    QVERIFY(qAbs(three.high - (1.0 - seven.low)) < 1e-12);
    QVERIFY(three.valid && three.bounded);
    QVERIFY(!wilsonInterval(0, -1).valid);
}

void TestStatistics::studentTMatchesItsTable()
{
    QVERIFY(qAbs(studentT975(2) - 4.3026527) < 1e-6);
    QVERIFY(qAbs(studentT975(5) - 2.5705818) < 1e-6);
    QVERIFY(qAbs(studentT975(30) - 2.0422725) < 1e-6);
    QCOMPARE(studentT975(0), 0.0);
    QCOMPARE(studentT975(-3), 0.0);
}

void TestStatistics::tIntervalEdges()
{
    QVERIFY(!tInterval(0, 0, 0).valid);
    const Interval single = tInterval(1, 7, 49);
    QVERIFY(single.valid);
    QVERIFY(!single.bounded);
    QCOMPARE(single.estimate, 7.0);
    // Three equal values: no spread, the interval is the mean itself.
    const Interval same = tInterval(3, 15, 75);
    QVERIFY(same.bounded);
    QCOMPARE(same.estimate, 5.0);
    QCOMPARE(same.low, 5.0);
    QCOMPARE(same.high, 5.0);
    // 2 and 4: mean 3, sd sqrt(2), half-width t(1) sqrt(2) / sqrt(2) = t(1).
    const Interval two = tInterval(2, 6, 20);
    QVERIFY(qAbs(two.low - (3.0 - 12.7062047)) < 1e-6);
    QVERIFY(qAbs(two.high - (3.0 + 12.7062047)) < 1e-6);
}

void TestStatistics::pairedDifferenceEdges()
{
    QVERIFY(!newcombePairedDifference(0, 0, 0, 0).valid);
    // Every pair agrees: no difference, and no room for one.
    const Interval agree = newcombePairedDifference(5, 0, 0, 5);
    QCOMPARE(agree.estimate, 0.0);
    QVERIFY(qAbs(agree.low) < 1e-9 && qAbs(agree.high) < 1e-9);
    // Every pair favours the other controller: +1, capped at 1.
    const Interval all = newcombePairedDifference(0, 8, 0, 0);
    QCOMPARE(all.estimate, 1.0);
    QCOMPARE(all.high, 1.0);
    QVERIFY(all.low > 0.5 && all.low < 1.0);
    // Swapping the controllers mirrors the interval.
    const Interval ab = newcombePairedDifference(10, 5, 2, 3), ba = newcombePairedDifference(10, 2, 5, 3);
    QVERIFY(qAbs(ab.low + ba.high) < 1e-12);
    QVERIFY(qAbs(ab.high + ba.low) < 1e-12);
    // McNemar's p is symmetric too, and 1 when the split is even.
    QCOMPARE(mcnemarExactP(7, 2), mcnemarExactP(2, 7));
    QCOMPARE(mcnemarExactP(1, 0), 1.0); // 2 * 1/2
    QCOMPARE(mcnemarExactP(6, 0), 2.0 / 64.0);
}

void TestStatistics::tallyCountsEveryEnd()
{
    ControllerTally tally;
    int steps = 0;
    for (const GameEnd &end : gameEnds) {
        GameRow row;
        row.outcome = end.outcome;
        row.failure = end.failure;
        row.steps = steps += 100;
        row.agent0Radius = end.outcome == GameOutcome::Set ? 40 : 0;
        row.agent0Rank = end.outcome == GameOutcome::Set ? 1 : 7;
        tally.add(row);
    }
    for (const GameEnd &end : gameEnds)
        QCOMPARE(tally.ended(end), 1LL);
    QCOMPARE(tally.games, 10LL);
    QCOMPARE(tally.failures(), 7LL);
    QCOMPARE(tally.finished, 3LL);
    QCOMPARE(tally.survived, 1LL);      // the set game with agent 0 alive
    QCOMPARE(tally.meanSteps(), 200.0); // the finished games took 100, 200, 300
    QCOMPARE(tally.radius().estimate, 40.0 / 3.0);
    QCOMPARE(tally.rank().estimate, 5.0); // (1 + 7 + 7) / 3
    QCOMPARE(tally.survival().estimate, 0.1);
    QVERIFY(!ControllerTally().survival().valid);
    QCOMPARE(ControllerTally().meanSteps(), 0.0);
}

QTEST_GUILESS_MAIN(TestStatistics)
#include "test_statistics.moc"
