// Matches: the rating's fit on cases worked by hand, and refereed games of
// controllers against each other, seats rotated, a failure costing only the
// failing controller's agent.
#include "arena/judge/match.h"
#include "arena/match_results.h"
#include "arena/rating.h"
#include "engine/ball_engine.h"
#include "tests/arena_process.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

struct Collected : MatchListener {
    std::vector<std::vector<MatchRow>> games;
    void game(const std::vector<MatchRow> &rows) override { games.push_back(rows); }
};

QVector<ControllerSpec> specs(const QStringList &libraries, const QTemporaryDir &logs)
{
    QVector<ControllerSpec> out;
    for (int i = 0; i < libraries.size(); ++i)
        out.append({libraries[i], QStringLiteral("c%1").arg(i), logs.filePath(QStringLiteral("%1.log").arg(i))});
    return out;
}

ArenaSettings patient(int games)
{
    ArenaSettings s;
    s.games = games;
    s.timeLimitMs = 10000;
    s.firstCallMs = 20000;
    return s;
}

} // namespace

class TestMatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ratingFitsCasesWorkedByHand();
    void seatsRotateAndTheReferenceMatchesItself();
    void greedyBeatsTheReference();
    void aCrashCostsOnlyItsAgent();
    void everySeatsDeathHasItsCause();
    void noSeatFindsAnotherSeatsMemory();
    void strictRowsAreTheDefaultRows();
};

void TestMatch::ratingFitsCasesWorkedByHand()
{
    // A ahead of B three times, B ahead of A once: p_A / p_B = 3, so the
    // ratings are +ln 3 / 2 and -ln 3 / 2.
    const std::vector<double> two = bradleyTerry({{0, 3}, {1, 0}});
    QVERIFY(std::fabs(two[0] - std::log(3.0) / 2) < 1e-9);
    QVERIFY(std::fabs(two[1] + std::log(3.0) / 2) < 1e-9);
    // Three: at the maximum each one's wins equal its expected wins,
    // W_i = sum_j n_ij p_i / (p_i + p_j).
    const WinTable three{{0, 4, 3}, {2, 0, 5}, {1, 1, 0}};
    const std::vector<double> r = bradleyTerry(three);
    QVERIFY(std::fabs(r[0] + r[1] + r[2]) < 1e-9);
    for (size_t i = 0; i < 3; ++i) {
        double won = 0, expected = 0;
        for (size_t j = 0; j < 3; ++j) {
            if (j == i)
                continue;
            won += double(three[i][j]);
            expected += double(three[i][j] + three[j][i]) / (1 + std::exp(r[j] - r[i]));
        }
        QVERIFY2(std::fabs(won - expected) < 1e-6, qPrintable(QString::number(won - expected)));
    }
    QVERIFY(r[0] > r[1] && r[1] > r[2]);
    // One that never loses is held at the bound; the bootstrap repeats
    // itself and brackets its estimate.
    QCOMPARE(bradleyTerry({{0, 5}, {0, 0}})[0], 10.0);
    const std::vector<WinTable> seeds{{{0, 1}, {0, 0}}, {{0, 1}, {1, 0}}, {{0, 0}, {1, 0}}, {{0, 2}, {0, 0}}};
    const std::vector<RatingInterval> a = ratingsWithIntervals(seeds), b = ratingsWithIntervals(seeds);
    QCOMPARE(a[0].low, b[0].low);
    QVERIFY(a[0].low <= a[0].rating && a[0].rating <= a[0].high);
}

void TestMatch::seatsRotateAndTheReferenceMatchesItself()
{
    QTemporaryDir logs;
    MatchResults results(specs({QStringLiteral(BRAINLET_LIB), QStringLiteral(BRAINLET_LIB)}, logs), nullptr);
    QString error;
    QVERIFY2(runMatch(specs({QStringLiteral(BRAINLET_LIB), QStringLiteral(BRAINLET_LIB)}, logs), patient(40), results,
                      error),
             qPrintable(error));
    for (const MatchResults::Tally &t : results.tallies()) {
        QCOMPARE(t.games, 80LL);
        QCOMPARE(t.seats[0], 40LL);
        QCOMPARE(t.seats[1], 40LL);
    }
    // The same controller on both sides: every seed's two seatings are the
    // same two agents swapped, so each finished ahead as often, seed by
    // seed, and every resample of the seeds rates them alike.
    QCOMPARE(results.ahead()[0][1], results.ahead()[1][0]);
    QVERIFY(results.ahead()[0][1] > 0);
    const std::vector<RatingInterval> r = results.ratings();
    QVERIFY(std::fabs(r[0].rating) < 1e-9 && r[0].low <= 0 && r[0].high >= 0);
    QVERIFY(std::fabs(r[0].rating - r[1].rating) < 1e-9);
}

void TestMatch::greedyBeatsTheReference()
{
    QTemporaryDir logs;
    const QVector<ControllerSpec> both = specs({QStringLiteral(BRAINLET_LIB), QStringLiteral(GREEDY_LIB)}, logs);
    MatchResults results(both, nullptr);
    QString error;
    QVERIFY(runMatch(both, patient(150), results, error));
    const long long greedyAhead = results.ahead()[1][0], referenceAhead = results.ahead()[0][1];
    QVERIFY(greedyAhead > 3 * referenceAhead);
    QVERIFY(mcnemarExactP(greedyAhead, referenceAhead) < 0.001);
    const std::vector<RatingInterval> r = results.ratings();
    QVERIFY(r[1].low > r[0].high);
    QVERIFY(results.table(patient(150), 0).contains(QStringLiteral("p < 0.0001")));
}

void TestMatch::aCrashCostsOnlyItsAgent()
{
    // It crashes at its 100th call on seed 3 only.
    QTemporaryDir logs;
    Collected collected;
    QString error;
    QVERIFY(runMatch(specs({QStringLiteral(CRASH_ON_SEED_LIB), QStringLiteral(BRAINLET_LIB)}, logs), patient(4),
                     collected, error));
    QCOMPARE(collected.games.size(), size_t(8));
    int crashed = 0;
    for (const std::vector<MatchRow> &game : collected.games) {
        QCOMPARE(game.size(), size_t(2));
        for (const MatchRow &row : game) {
            const bool crashing = row.controller == 0 && row.seed == 3;
            QCOMPARE(row.failure, crashing ? FailureKind::Crashed : FailureKind::None);
            if (!crashing)
                continue;
            ++crashed;
            QCOMPARE(row.failureCode, 11);
            QCOMPARE(row.failedAt, 100);
            QCOMPARE(row.radius, 0);
            QVERIFY(row.steps >= 100); // the game went on for the others
            // Taken out, not killed by the rules: a death step, no cause.
            QCOMPARE(row.deathStep, 100);
            QCOMPARE(row.deathCause, -1);
        }
    }
    QCOMPARE(crashed, 2); // once in each seat
}

void TestMatch::everySeatsDeathHasItsCause()
{
    QTemporaryDir logs;
    const QVector<ControllerSpec> three
        = specs({QStringLiteral(BRAINLET_LIB), QStringLiteral(GREEDY_LIB), QStringLiteral(C_CONTROLLER_LIB)}, logs);
    QBuffer csv;
    QVERIFY(csv.open(QIODevice::WriteOnly));
    MatchResults results(three, &csv);
    Collected collected;
    struct Both : MatchListener {
        MatchListener *a, *b;
        void game(const std::vector<MatchRow> &rows) override
        {
            a->game(rows);
            b->game(rows);
        }
    } both;
    both.a = &results;
    both.b = &collected;
    QString error;
    QVERIFY2(runMatch(three, patient(8), both, error), qPrintable(error));
    int walls = 0, contests = 0, died = 0;
    QStringList expected;
    for (const std::vector<MatchRow> &game : collected.games) {
        for (const MatchRow &row : game) {
            QCOMPARE(row.failure, FailureKind::None);
            QCOMPARE(row.deathStep > 0, row.radius == 0);
            if (row.deathStep == 0) {
                QCOMPARE(row.deathCause, -1);
                continue;
            }
            ++died;
            QVERIFY(row.deathStep <= row.steps);
            QVERIFY2(row.deathCause == RadiusChange::Wall || row.deathCause == RadiusChange::Contest,
                     qPrintable(QString::number(row.deathCause)));
            if (row.deathCause == RadiusChange::Wall) {
                ++walls;
                QCOMPARE(row.deathOther, -1);
                expected << QStringLiteral(",%1,0,%2,wall,").arg(row.rank).arg(row.deathStep);
            } else {
                ++contests;
                QVERIFY(row.deathOther >= 0 && row.deathOther < 10 && row.deathOther != row.agent);
                expected << QStringLiteral(",%1,0,%2,\"contest with agent [%3]\",")
                                .arg(row.rank)
                                .arg(row.deathStep)
                                .arg(row.deathOther + 1);
            }
        }
    }
    // Three controllers over eight seeds, seated thrice each: some of
    // the 72 seated agents die, and some of those in a contest.
    QVERIFY2(died > 0 && contests > 0, qPrintable(QStringLiteral("%1 %2").arg(walls).arg(contests)));
    const QString text = QString::fromUtf8(csv.data());
    QVERIFY(text.startsWith(QStringLiteral("controller,seed,rotation,agent,outcome,steps,rank,radius,death_step,"
                                           "death_cause,failure,failure_code,failed_at,failure_reason,replay\n")));
    for (const QString &cells : expected)
        QVERIFY2(text.contains(cells), qPrintable(cells));
}

void TestMatch::noSeatFindsAnotherSeatsMemory()
{
    // One writes a marker into a megabyte as it loads; the other, at its
    // first call, searches every page it can reach for that marker and for
    // one of its own.
    QTemporaryDir logs;
    Collected collected;
    QString error;
    QVERIFY(runMatch(specs({QStringLiteral(WRITES_MARKER_LIB), QStringLiteral(SCANS_MEMORY_LIB)}, logs), patient(1),
                     collected, error));
    QFile log(logs.filePath(QStringLiteral("1.log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray said = log.readAll();
    QCOMPARE(said.count("own marker found: yes"), 2); // once in each seat
    QCOMPARE(said.count("opponent's marker found: no"), 2);
    QVERIFY2(!said.contains("opponent's marker found: yes"), said.constData());
    // The same search, with both libraries in one process: it finds it.
    const Run shared = arena({QStringLiteral("--in-process"), QStringLiteral("--games"), QStringLiteral("1"),
                              QStringLiteral("--controller"), QStringLiteral(WRITES_MARKER_LIB),
                              QStringLiteral("--controller"), QStringLiteral(SCANS_MEMORY_LIB)});
    QVERIFY2(shared.out.contains(QStringLiteral("opponent's marker found: yes")), qPrintable(shared.out));
}

void TestMatch::strictRowsAreTheDefaultRows()
{
    QTemporaryDir dir;
    for (const char *library : {BRAINLET_LIB, GREEDY_LIB, C_CONTROLLER_LIB}) {
        QByteArray csv[2];
        for (int strict = 0; strict < 2; ++strict) {
            const QString path = dir.filePath(QStringLiteral("rows.csv"));
            QStringList arguments{QStringLiteral("--games"),      QStringLiteral("30"),
                                  QStringLiteral("--controller"), QString::fromLocal8Bit(library),
                                  QStringLiteral("--csv"),        path,
                                  QStringLiteral("--time-limit"), QStringLiteral("10000"),
                                  QStringLiteral("--log-dir"),    dir.path()};
            if (strict)
                arguments << QStringLiteral("--strict");
            QCOMPARE(arena(arguments).exitCode, 0);
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            csv[strict] = file.readAll();
        }
        QVERIFY(csv[0].count('\n') == 31);
        QCOMPARE(csv[1], csv[0]);
    }
}

QTEST_GUILESS_MAIN(TestMatch)
#include "test_match.moc"
