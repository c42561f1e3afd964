// Sizing, layout of a new game and the resource respawn rhythm.
#include "engine/ball_engine.h"
#include "engine/game.h"
#include "engine/step.h"
#include "tests/engine_fixture.h"

#include <QtTest>

#include <cstdlib>
#include <ctime>
#include <utility>
#include <vector>

class TestEngine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Runs first, before anything else in this process ticks the counter.
    void firstRespawnComesAtStep250FromProgramStart();
    void respawnCounterSurvivesReset();
    void finalRankCountsTheLargerOnly();
    void designedEnginesShareTheRespawnCounter();
    void seededEnginesKeepRhythmsOfTheirOwn();
    void setupSizesArenaAndColours();
    void setupWithOddAgentsAndSmallScale();
    void setupWithNoAgentsAllocatesNothing();
    void arraysNeitherOverlapNorOutliveASecondSetup();
    void resetPlacesEveryCircleInside();
    void resetDrawsRandInDocumentedOrder();
    void resetKeepsActionsAndColours();
    void resetWithinOneSecondRepeatsTheGame();
    void respawnMovesUneatenResourcesWithinMargin();
    void countAliveIsStrict();
};

void TestEngine::firstRespawnComesAtStep250FromProgramStart()
{
    Ball_engine engine;
    setUpEmptyArena(engine);
    size_t phase = 0;
    const int *r = engine.getCircleRadius();
    for (int step = 1; step < 250; ++step) {
        QCOMPARE(stepArena(engine, phase), 0);
        for (size_t j = 10; j < 15; ++j)
            QVERIFY2(r[j] == 0, qPrintable(QStringLiteral("resource appeared at step %1").arg(step)));
    }
    QCOMPARE(stepArena(engine, phase), 0);
    QCOMPARE(phase, size_t(0));
    for (size_t j = 10; j < 15; ++j)
        QVERIFY(r[j] >= 1 && r[j] <= 10);
}

void TestEngine::respawnCounterSurvivesReset()
{
    // The previous test left the counter at 0 by ending on a respawn.
    Ball_engine engine;
    setUpEmptyArena(engine);
    for (int i = 0; i < 24; ++i)
        engine.tickRespawnCounter();
    for (size_t j = 10; j < 15; ++j)
        QCOMPARE(engine.getCircleRadius()[j], 0);
    engine.reset();
    for (size_t j = 0; j < 5; ++j)
        placeResource(engine, j, 0, 0, 0);
    engine.tickRespawnCounter();
    for (size_t j = 10; j < 15; ++j)
        QVERIFY(engine.getCircleRadius()[j] > 0);
}

// The counter is the process's: a second engine carries on where the first
// left off, so 24 ticks on one and one on the other make a respawn.
void TestEngine::designedEnginesShareTheRespawnCounter()
{
    Ball_engine first, second;
    setUpEmptyArena(first);
    setUpEmptyArena(second);
    // The previous test ended on a respawn, leaving the counter at 0.
    for (int i = 0; i < 24; ++i)
        first.tickRespawnCounter();
    second.tickRespawnCounter();
    for (size_t j = 10; j < 15; ++j) {
        QCOMPARE(first.getCircleRadius()[j], 0);
        QVERIFY(second.getCircleRadius()[j] > 0);
    }
}

// A seeded game stands alone: ticks on other engines, designed or seeded,
// move neither its rhythm nor theirs, and the process's counter carries on.
void TestEngine::seededEnginesKeepRhythmsOfTheirOwn()
{
    Ball_engine seededA, seededB, designed;
    setUpEmptyArena(seededA);
    setUpEmptyArena(seededB);
    setUpEmptyArena(designed);
    seededA.resetSeeded(5);
    seededB.resetSeeded(6);
    for (size_t j = 0; j < 5; ++j) {
        placeResource(seededA, j, 0, 0, 0);
        placeResource(seededB, j, 0, 0, 0);
    }
    for (int i = 0; i < 24; ++i) {
        seededA.tickRespawnCounter();
        designed.tickRespawnCounter();
    }
    seededB.tickRespawnCounter();
    for (size_t j = 10; j < 15; ++j) {
        QCOMPARE(seededA.getCircleRadius()[j], 0);
        QCOMPARE(seededB.getCircleRadius()[j], 0);
        QCOMPARE(designed.getCircleRadius()[j], 0);
    }
    seededA.tickRespawnCounter();  // its 25th
    designed.tickRespawnCounter(); // the process's 25th
    for (size_t j = 10; j < 15; ++j) {
        QVERIFY(seededA.getCircleRadius()[j] > 0);
        QVERIFY(designed.getCircleRadius()[j] > 0);
        QCOMPARE(seededB.getCircleRadius()[j], 0);
    }
}

void TestEngine::setupSizesArenaAndColours()
{
    Ball_engine engine;
    QCOMPARE(engine.getNumAgents(), size_t(0));
    QVERIFY(engine.getCircleRadius() == nullptr);
    engine.setup(10, 100);
    QCOMPARE(engine.width, 1600);
    QCOMPARE(engine.height, 900);
    QCOMPARE(engine.getNumResources(), size_t(5));
    const QColor expected[10] = {{240, 60, 60}, {180, 60, 60}, {120, 60, 60}, {60, 240, 60}, {60, 180, 60},
                                 {60, 120, 60}, {60, 60, 240}, {60, 60, 180}, {60, 60, 120}, {240, 240, 60}};
    for (size_t i = 0; i < 10; ++i) {
        QCOMPARE(engine.getColors()[i], expected[i]);
        QCOMPARE(engine.getVisitOrder()[i], i);
        QCOMPARE(engine.getActions()[i], 0);
    }
    for (size_t k = 0; k < 15; ++k)
        QCOMPARE(engine.getCircleRadius()[k], 0);
    QCOMPARE(engine.countAliveAgents(), 0);
}

void TestEngine::setupWithOddAgentsAndSmallScale()
{
    Ball_engine eleven;
    eleven.setup(11, 100);
    QCOMPARE(eleven.getNumResources(), size_t(5));
    Ball_engine small;
    small.setup(10, 50);
    QCOMPARE(small.width, 800);
    QCOMPARE(small.height, 450);
    // Sized again (the game never does): fresh arrays, nothing alive.
    small.resetSeeded(1);
    small.setup(4, 100);
    QCOMPARE(small.getNumResources(), size_t(2));
    QCOMPARE(small.countAliveAgents(), 0);
}

void TestEngine::setupWithNoAgentsAllocatesNothing()
{
    Ball_engine engine;
    engine.setup(0, 100);
    QVERIFY(engine.getCircleRadius() == nullptr);
    QCOMPARE(engine.getNumResources(), size_t(0));
    engine.reset();
    engine.respawnResources();
    QCOMPARE(engine.countAliveAgents(), 0);
}

// The engine's int arrays share one block: for every agent count, each
// array holds its own entries (a wrong stride would let one write over
// another's), starts at zero, and a second setup starts them afresh.
void TestEngine::arraysNeitherOverlapNorOutliveASecondSetup()
{
    Ball_engine e;
    for (size_t agents : {size_t(1), size_t(2), size_t(10), size_t(11), size_t(33), size_t(10)}) {
        e.setup(agents, 50);
        const size_t circles = agents + e.getNumResources();
        const std::vector<std::pair<int *, size_t>> arrays{
            {e.getXCoordinate(), circles}, {e.getYCoordinate(), circles}, {e.getCircleRadius(), circles},
            {e.getPrevX(), agents},        {e.getPrevY(), agents},        {e.getXVelocity(), agents},
            {e.getYVelocity(), agents},    {e.xAcceleration, agents},     {e.yAcceleration, agents},
            {e.getActions(), agents}};
        for (const auto &[array, size] : arrays)
            for (size_t i = 0; i < size; ++i)
                QCOMPARE(array[i], 0);
        for (size_t a = 0; a < arrays.size(); ++a)
            for (size_t i = 0; i < arrays[a].second; ++i)
                arrays[a].first[i] = int(1000 * a + i + 1);
        for (size_t a = 0; a < arrays.size(); ++a)
            for (size_t i = 0; i < arrays[a].second; ++i)
                QCOMPARE(arrays[a].first[i], int(1000 * a + i + 1));
    }
}

void TestEngine::resetPlacesEveryCircleInside()
{
    Ball_engine engine;
    setUpEmptyArena(engine);
    for (unsigned seed = 1; seed <= 200; ++seed) {
        engine.resetSeeded(seed);
        const int *x = engine.getXCoordinate(), *y = engine.getYCoordinate(), *r = engine.getCircleRadius();
        for (size_t i = 0; i < 10; ++i) {
            QCOMPARE(r[i], 20);
            QVERIFY(x[i] >= 20 && x[i] <= 1579);
            QVERIFY(y[i] >= 20 && y[i] <= 879);
            QCOMPARE(engine.getXVelocity()[i], 0);
        }
        for (size_t j = 10; j < 15; ++j) {
            QVERIFY(r[j] >= 1 && r[j] <= 10);
            QVERIFY(x[j] - r[j] >= 0 && x[j] + r[j] < 1600);
            QVERIFY(y[j] - r[j] >= 0 && y[j] + r[j] < 900);
        }
    }
}

void TestEngine::resetDrawsRandInDocumentedOrder()
{
    // Agent x, agent y, agent by agent; then resource radius, x, y. A swapped
    // pair of draws shows up as a different layout for the same seed.
    Ball_engine engine;
    setUpEmptyArena(engine);
    engine.resetSeeded(42);
    std::srand(42);
    for (size_t i = 0; i < 10; ++i) {
        const int x = 20 + std::rand() % 1560;
        const int y = 20 + std::rand() % 860;
        QCOMPARE(engine.getXCoordinate()[i], x);
        QCOMPARE(engine.getYCoordinate()[i], y);
    }
    for (size_t j = 10; j < 15; ++j) {
        const int r = 1 + std::rand() % 10;
        const int x = r + std::rand() % (1600 - 2 * r);
        const int y = r + std::rand() % (900 - 2 * r);
        QCOMPARE(engine.getCircleRadius()[j], r);
        QCOMPARE(engine.getXCoordinate()[j], x);
        QCOMPARE(engine.getYCoordinate()[j], y);
    }
}

void TestEngine::resetKeepsActionsAndColours()
{
    Ball_engine engine;
    setUpEmptyArena(engine);
    engine.getActions()[3] = 7;
    engine.xAcceleration[3] = -1;
    engine.getVisitOrder()[0] = 9;
    engine.getVisitOrder()[9] = 0;
    engine.reset();
    QCOMPARE(engine.getActions()[3], 7);
    QCOMPARE(engine.xAcceleration[3], -1);
    QCOMPARE(engine.getVisitOrder()[0], size_t(9));
    QCOMPARE(engine.getColors()[0], QColor(240, 60, 60));
}

void TestEngine::resetWithinOneSecondRepeatsTheGame()
{
    Ball_engine a, b;
    setUpEmptyArena(a);
    setUpEmptyArena(b);
    std::time_t before, after;
    do {
        before = std::time(nullptr);
        a.reset();
        b.reset();
        after = std::time(nullptr);
    } while (before != after);
    for (size_t k = 0; k < 15; ++k) {
        QCOMPARE(a.getXCoordinate()[k], b.getXCoordinate()[k]);
        QCOMPARE(a.getYCoordinate()[k], b.getYCoordinate()[k]);
        QCOMPARE(a.getCircleRadius()[k], b.getCircleRadius()[k]);
    }
}

void TestEngine::respawnMovesUneatenResourcesWithinMargin()
{
    Ball_engine engine;
    setUpEmptyArena(engine);
    for (size_t j = 0; j < 5; ++j)
        placeResource(engine, j, 800, 450, 10);
    int moved = 0;
    for (int round = 0; round < 100; ++round) {
        engine.respawnResources();
        for (size_t k = 10; k < 15; ++k) {
            const int x = engine.getXCoordinate()[k], y = engine.getYCoordinate()[k];
            QVERIFY(x >= 11 && x <= 1589);
            QVERIFY(y >= 11 && y <= 889);
            QVERIFY(engine.getCircleRadius()[k] >= 1 && engine.getCircleRadius()[k] <= 10);
            if (round == 0 && (x != 800 || y != 450))
                ++moved;
        }
    }
    QVERIFY(moved >= 4);
}

void TestEngine::countAliveIsStrict()
{
    Ball_engine engine;
    setUpEmptyArena(engine);
    placeAgent(engine, 0, 100, 100, 1);
    placeAgent(engine, 1, 200, 100, -1);
    placeAgent(engine, 2, 300, 100, 5);
    QCOMPARE(engine.countAliveAgents(), 2);
}

// Ties share a place, the dead (a radius of 0 or below) share the last
// places, and an agent never counts itself.
void TestEngine::finalRankCountsTheLargerOnly()
{
    const int radius[10] = {20, 30, 0, 20, -5, 25, 19, 0, 1, 30};
    const int expected[10] = {4, 1, 8, 4, 8, 3, 6, 8, 7, 1};
    for (size_t agent = 0; agent < 10; ++agent)
        QCOMPARE(finalRank(radius, 10, agent), expected[agent]);
    QCOMPARE(finalRank(radius, 1, 0), 1);
}

QTEST_APPLESS_MAIN(TestEngine)
#include "test_engine.moc"
