// Motion, wall bounces, contests, eating and the end test, on worked examples.
#include "engine/ball_engine.h"
#include "engine/step.h"
#include "tests/engine_fixture.h"

#include <QtTest>

#include <climits>
#include <cmath>

class TestStep : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void actionCodesDecode_data();
    void actionCodesDecode();
    void speedLimits();
    void leftWallBounce();
    void rightWallBounce();
    void cornerBounceCostsOneRadius();
    void radiusOneBounceKillsForGood();
    void equalRadiiDoNotContest();
    void contestOutcomeDependsOnVisitOrder_data();
    void contestOutcomeDependsOnVisitOrder();
    void growthStopsAtMaxRadius();
    void nearestTouchingAgentEats();
    void equalDistanceMealGoesToLowerIndex();
    void smallAgentEatsLargeResource();
    void oneAgentEatsFromSeveralResources();
    void deadAgentsNeverEat();
    void endTestCounts_data();
    void endTestCounts();
    void integerDistanceTestsMatchTheSquareRoot();
    void squaredDistanceOfFarCentres();
    void speedCapTableMatchesTheDivision();

private:
    Ball_engine *engine = nullptr;
    int *r() { return engine->getCircleRadius(); }
    int *x() { return engine->getXCoordinate(); }
    int *y() { return engine->getYCoordinate(); }
    int *vx() { return engine->getXVelocity(); }
    int *vy() { return engine->getYVelocity(); }
};

void TestStep::init()
{
    engine = new Ball_engine;
    setUpEmptyArena(*engine);
}

void TestStep::cleanup()
{
    delete engine;
    engine = nullptr;
}

void TestStep::actionCodesDecode_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("ax");
    QTest::addColumn<int>("ay");
    QTest::newRow("0 none") << 0 << 0 << 0;
    QTest::newRow("1 up") << 1 << 0 << -1;
    QTest::newRow("2 down") << 2 << 0 << 1;
    QTest::newRow("3 left") << 3 << -1 << 0;
    QTest::newRow("4 right") << 4 << 1 << 0;
    QTest::newRow("5 up-left") << 5 << -1 << -1;
    QTest::newRow("6 up-right") << 6 << 1 << -1;
    QTest::newRow("7 down-left") << 7 << -1 << 1;
    QTest::newRow("8 down-right") << 8 << 1 << 1;
    QTest::newRow("9 out of range") << 9 << 0 << 0;
    QTest::newRow("-1 negative") << -1 << 0 << 0;
    QTest::newRow("INT_MIN") << std::numeric_limits<int>::min() << 0 << 0;
}

void TestStep::actionCodesDecode()
{
    QFETCH(int, code);
    QFETCH(int, ax);
    QFETCH(int, ay);
    placeAgent(*engine, 4, 800, 450, 20, 3, -2);
    engine->getActions()[4] = code;
    engine->moveAgent(4);
    QCOMPARE(engine->xAcceleration[4], ax);
    QCOMPARE(engine->yAcceleration[4], ay);
    QCOMPARE(vx()[4], 3 + ax);
    QCOMPARE(vy()[4], -2 + ay);
    QCOMPARE(x()[4], 800 + 3 + ax);
}

void TestStep::speedLimits()
{
    placeAgent(*engine, 0, 100, 450, 20, 50, 0);
    engine->getActions()[0] = 4;
    engine->moveAgent(0);
    QCOMPARE(vx()[0], 50);
    QCOMPARE(x()[0], 150);

    // Grown to the cap while fast: cut to 5 whatever the action.
    placeAgent(*engine, 1, 800, 450, 200, 8, -8);
    engine->getActions()[1] = 6;
    engine->moveAgent(1);
    QCOMPARE(vx()[1], 5);
    QCOMPARE(vy()[1], -5);
    QCOMPARE(x()[1], 805);

    // Integer division first: r = 67 gives 5 * 2 = 10, not 5 * 200 / 67 = 14.
    placeAgent(*engine, 2, 800, 450, 67, 14, 0);
    engine->getActions()[2] = 0;
    engine->moveAgent(2);
    QCOMPARE(vx()[2], 10);
}

void TestStep::leftWallBounce()
{
    placeAgent(*engine, 0, 25, 450, 20, -10, 0);
    engine->getActions()[0] = 0;
    engine->moveAgent(0);
    QCOMPARE(x()[0], 19);
    QCOMPARE(y()[0], 450);
    QCOMPARE(vx()[0], 5);
    QCOMPARE(vy()[0], 0);
    QCOMPARE(r()[0], 19);
}

void TestStep::rightWallBounce()
{
    placeAgent(*engine, 0, 1575, 450, 20, 10, 0);
    engine->getActions()[0] = 0;
    engine->moveAgent(0);
    QCOMPARE(x()[0], 1575);
    QCOMPARE(vx()[0], -5);
    QCOMPARE(r()[0], 19);
}

void TestStep::cornerBounceCostsOneRadius()
{
    placeAgent(*engine, 0, 25, 25, 20, -10, -10);
    engine->getActions()[0] = 0;
    engine->moveAgent(0);
    QCOMPARE(r()[0], 19);
    QCOMPARE(vx()[0], 5);
    QCOMPARE(vy()[0], 5);
    QCOMPARE(x()[0], 19);
    QCOMPARE(y()[0], 19);

    // Bottom-right corner, odd speeds: halving truncates towards zero.
    placeAgent(*engine, 1, 1575, 875, 20, 11, 7);
    engine->getActions()[1] = 0;
    engine->moveAgent(1);
    QCOMPARE(r()[1], 19);
    QCOMPARE(vx()[1], -5);
    QCOMPARE(vy()[1], -3);
    QCOMPARE(x()[1], 2 * 1580 - 1586);
    QCOMPARE(y()[1], 2 * 880 - 882);
}

void TestStep::radiusOneBounceKillsForGood()
{
    placeAgent(*engine, 0, 2, 450, 1, -5, 0);
    placeAgent(*engine, 1, 30, 450, 10);
    placeResource(*engine, 0, 6, 450, 3);
    for (size_t i = 0; i < 10; ++i)
        engine->getActions()[i] = 0;
    size_t phase = 0;
    stepArena(*engine, phase);
    QCOMPARE(r()[0], 0);
    // Next to a resource and a larger agent: neither eats nor loses.
    x()[0] = 25;
    engine->getActions()[0] = 4;
    stepArena(*engine, phase);
    QCOMPARE(r()[0], 0);
    QCOMPARE(x()[0], 25);
    QCOMPARE(r()[1], 10);
}

void TestStep::equalRadiiDoNotContest()
{
    placeAgent(*engine, 3, 500, 500, 15);
    placeAgent(*engine, 4, 510, 500, 15);
    engine->savePositions();
    engine->resolveContests();
    QCOMPARE(r()[3], 15);
    QCOMPARE(r()[4], 15);
}

void TestStep::contestOutcomeDependsOnVisitOrder_data()
{
    QTest::addColumn<QVector<int>>("order");
    QTest::addColumn<QVector<int>>("radii");
    QTest::newRow("1, 2, 3") << QVector<int>{1, 2, 3, 0, 4, 5, 6, 7, 8, 9} << QVector<int>{12, 8, 13};
    QTest::newRow("1, 3, 2") << QVector<int>{1, 3, 2, 0, 4, 5, 6, 7, 8, 9} << QVector<int>{10, 9, 14};
    QTest::newRow("dead first") << QVector<int>{0, 1, 3, 2, 4, 5, 6, 7, 8, 9} << QVector<int>{10, 9, 14};
}

void TestStep::contestOutcomeDependsOnVisitOrder()
{
    QFETCH(QVector<int>, order);
    QFETCH(QVector<int>, radii);
    placeAgent(*engine, 1, 500, 400, 11);
    placeAgent(*engine, 2, 505, 400, 10);
    placeAgent(*engine, 3, 510, 400, 12);
    for (size_t p = 0; p < 10; ++p)
        engine->getVisitOrder()[p] = size_t(order[int(p)]);
    engine->settleContests();
    QCOMPARE(r()[1], radii[0]);
    QCOMPARE(r()[2], radii[1]);
    QCOMPARE(r()[3], radii[2]);
}

void TestStep::growthStopsAtMaxRadius()
{
    placeAgent(*engine, 0, 800, 450, 200);
    placeAgent(*engine, 1, 900, 450, 30);
    placeResource(*engine, 0, 700, 450, 6);
    engine->savePositions();
    engine->resolveContests();
    QCOMPARE(r()[0], 200);
    QCOMPARE(r()[1], 29);
    engine->eatResources();
    QCOMPARE(r()[0], 200);
    QCOMPARE(r()[10], 5);
}

void TestStep::nearestTouchingAgentEats()
{
    // Agent 1 touches first in index order; agent 6 is nearer and wins.
    placeAgent(*engine, 1, 780, 450, 20);
    placeAgent(*engine, 6, 812, 450, 20);
    placeResource(*engine, 0, 800, 450, 5);
    engine->savePositions();
    engine->eatResources();
    QCOMPARE(r()[6], 21);
    QCOMPARE(r()[1], 20);
    QCOMPARE(r()[10], 4);
}

void TestStep::equalDistanceMealGoesToLowerIndex()
{
    placeAgent(*engine, 2, 790, 450, 10);
    placeAgent(*engine, 5, 810, 450, 10);
    placeResource(*engine, 0, 800, 450, 5);
    engine->savePositions();
    engine->eatResources();
    QCOMPARE(r()[2], 11);
    QCOMPARE(r()[5], 10);
    QCOMPARE(r()[10], 4);
}

void TestStep::smallAgentEatsLargeResource()
{
    placeAgent(*engine, 0, 800, 450, 3);
    placeResource(*engine, 2, 805, 450, 10);
    engine->savePositions();
    engine->eatResources();
    QCOMPARE(r()[0], 4);
    QCOMPARE(r()[12], 9);
    // Exactly touching (distance equal to the sum of radii) is not eating.
    placeAgent(*engine, 5, 100, 100, 10);
    placeResource(*engine, 3, 100, 115, 5);
    engine->savePositions();
    engine->eatResources();
    QCOMPARE(r()[5], 10);
    QCOMPARE(r()[13], 5);
}

void TestStep::oneAgentEatsFromSeveralResources()
{
    placeAgent(*engine, 0, 800, 450, 30);
    placeResource(*engine, 0, 790, 450, 4);
    placeResource(*engine, 1, 810, 450, 4);
    placeResource(*engine, 2, 800, 440, 1);
    engine->savePositions();
    engine->eatResources();
    QCOMPARE(r()[0], 33);
    QCOMPARE(r()[10], 3);
    QCOMPARE(r()[11], 3);
    QCOMPARE(r()[12], 0);
    engine->eatResources();
    QCOMPARE(r()[12], 0);
    QCOMPARE(r()[0], 35);
}

// A dead agent on top of a resource is nearer than any living one, and
// its radius plus the resource's still reaches past the distance: it
// neither eats nor keeps the meal from the living agent that touches.
void TestStep::deadAgentsNeverEat()
{
    placeAgent(*engine, 1, 800, 450, 0);
    placeAgent(*engine, 2, 801, 450, -3);
    placeAgent(*engine, 7, 815, 450, 12);
    placeResource(*engine, 0, 800, 450, 6);
    engine->savePositions();
    engine->eatResources();
    QCOMPARE(r()[1], 0);
    QCOMPARE(r()[2], -3);
    QCOMPARE(r()[7], 13);
    QCOMPARE(r()[10], 5);
    // With no living agent touching, nothing is eaten.
    r()[7] = 2;
    engine->eatResources();
    QCOMPARE(r()[10], 5);
    QCOMPARE(r()[7], 2);
}

void TestStep::endTestCounts_data()
{
    QTest::addColumn<int>("alive");
    QTest::addColumn<bool>("set");
    QTest::newRow("4 alive") << 4 << false;
    QTest::newRow("3 alive") << 3 << true;
    QTest::newRow("2 alive") << 2 << true;
    QTest::newRow("1 alive") << 1 << true;
    QTest::newRow("0 alive") << 0 << false;
}

void TestStep::endTestCounts()
{
    QFETCH(int, alive);
    QFETCH(bool, set);
    for (int i = 0; i < alive; ++i)
        placeAgent(*engine, size_t(i), 100 + 200 * i, 450, 20);
    for (size_t i = 0; i < 10; ++i)
        engine->getActions()[i] = 0;
    size_t phase = 0;
    const int counted = stepArena(*engine, phase);
    QCOMPARE(counted, alive);
    QCOMPARE(isGameSet(counted), set);
    QCOMPARE(phase, size_t(1));
}

void TestStep::integerDistanceTestsMatchTheSquareRoot()
{
    // Every squared distance two centres in a 1600 x 900 arena can have.
    constexpr long long maxSquared = 1600LL * 1600 + 900LL * 900;
    long long outOfOrder = 0;
    long double previous = -1;
    for (long long n = 0; n <= maxSquared; ++n) {
        const long double root = std::sqrt(static_cast<long double>(n));
        outOfOrder += root > previous ? 0 : 1;
        previous = root;
    }
    QCOMPARE(outOfOrder, 0LL); // distinct squares keep distinct, ordered roots

    // Against every whole reach: sums of two radii (up to 400) and the
    // arena's width (up to 1600), right at the boundary where it matters.
    long long disagreements = 0;
    for (int m = 0; m <= 1600; ++m) {
        for (long long n : {(long long)m * m - 1, (long long)m * m, (long long)m * m + 1}) {
            if (n < 0)
                continue;
            const bool byRoot = std::sqrt(static_cast<long double>(n)) < static_cast<long double>(m);
            disagreements += byRoot == closerThan(n, m) ? 0 : 1;
        }
    }
    QCOMPARE(disagreements, 0LL);

    // And through the engine's own functions, on centres across the arena.
    for (int x1 : {0, 1, 799, 1600})
        for (int y1 : {0, 450, 900})
            for (int x2 : {0, 3, 1597, 1600})
                for (int y2 : {0, 17, 900})
                    for (int reach : {1, 20, 41, 399, 400, 1600})
                        QCOMPARE(distance(x1, y1, x2, y2) < reach, closerThan(squaredDistance(x1, y1, x2, y2), reach));
    QCOMPARE(squaredDistance(3, 4, 0, 0), 25LL);
    QVERIFY(!closerThan(25, 5)); // touching is not closer
    QVERIFY(closerThan(24, 5));
}

// Coordinates no arena has, as a tool may set them: differences past an
// int are exact, and centres too far apart for the sum of squares give the
// largest value, which no reach is closer than.
void TestStep::squaredDistanceOfFarCentres()
{
    QCOMPARE(squaredDistance(-2000000000, 0, 500000000, 0), 6250000000000000000LL);
    QCOMPARE(squaredDistance(0, 2000000000, 0, -1000000000), 9000000000000000000LL);
    QCOMPARE(squaredDistance(INT_MIN, 0, INT_MAX, 0), LLONG_MAX);
    QCOMPARE(squaredDistance(7, INT_MAX, 7, INT_MIN), LLONG_MAX);
    QVERIFY(!closerThan(squaredDistance(INT_MIN, INT_MIN, INT_MAX, INT_MAX), INT_MAX));
    QCOMPARE(squaredDistance(3, 4, 0, 0), 25LL);
}

void TestStep::speedCapTableMatchesTheDivision()
{
    // Every radius a living agent can have, at rest, pressed right.
    for (int radius = 1; radius <= 200; ++radius) {
        placeAgent(*engine, 0, 200, 450, radius, 1001, 0);
        engine->getActions()[0] = 0;
        engine->moveAgent(0);
        QCOMPARE(vx()[0], 5 * (200 / radius));
    }
}

QTEST_APPLESS_MAIN(TestStep)
#include "test_step.moc"
