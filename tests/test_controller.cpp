// What the engine does with what agent 0's controller stores. Built once per
// controller library, each linked at load time the way the game links brainlet.
#include "engine/ball_engine.h"
#include "engine/step.h"
#include "tests/engine_fixture.h"

#include <QtTest>

#include <cstdlib>

class TestController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
#if defined(CONTROLLER_REFERENCE)
    void everyCodeOccursAndNoneOutOfRange();
    void drawsFromTheGameGenerator();
    void askedEvenWhenAgentZeroIsDead();
#elif defined(CONTROLLER_STORES) && CONTROLLER_STORES == 4
    void acceleratesRightUntilSpeedLimit();
#elif defined(CONTROLLER_STORES)
    void outOfRangeCodeLeavesAgentDrifting();
#else
    void storingNothingMeansNoAcceleration();
#endif

private:
    Ball_engine *engine = nullptr;
};

void TestController::init()
{
    engine = new Ball_engine;
    setUpEmptyArena(*engine);
}

void TestController::cleanup()
{
    delete engine;
}

#if defined(CONTROLLER_REFERENCE)

void TestController::everyCodeOccursAndNoneOutOfRange()
{
    engine->resetSeeded(11);
    int seen[9] = {};
    for (int tick = 0; tick < 2000; ++tick) {
        engine->chooseAction(0);
        const int a = engine->getActions()[0];
        if (a < 0 || a > 8)
            QFAIL(qPrintable(QStringLiteral("stored %1").arg(a)));
        else
            ++seen[a];
    }
    for (int code = 0; code < 9; ++code)
        QVERIFY2(seen[code] > 0, qPrintable(QString::number(code)));
}

void TestController::drawsFromTheGameGenerator()
{
    // One shared generator: the plug-in's draw is the next rand() after the
    // engine's seeding, and it advances the sequence the opponents see.
    std::srand(5);
    const int first = std::rand() % 9;
    const int second = std::rand() % 9;
    std::srand(5);
    engine->chooseAction(0);
    engine->chooseAction(1);
    QCOMPARE(engine->getActions()[0], first);
    QCOMPARE(engine->getActions()[1], second);
}

void TestController::askedEvenWhenAgentZeroIsDead()
{
    // Before any game every radius is 0; the plug-in is still asked.
    std::srand(9);
    const int expected = std::rand() % 9;
    std::srand(9);
    engine->getActions()[0] = -5;
    engine->chooseAction(0);
    QCOMPARE(engine->getActions()[0], expected);
    QCOMPARE(engine->countAliveAgents(), 0);
}

#elif defined(CONTROLLER_STORES) && CONTROLLER_STORES == 4

void TestController::acceleratesRightUntilSpeedLimit()
{
    placeAgent(*engine, 0, 100, 450, 20);
    size_t phase = 0;
    int x = 100;
    for (int step = 1; step <= 52; ++step) {
        chooseAllActions(*engine);
        QCOMPARE(engine->getActions()[0], 4);
        stepArena(*engine, phase);
        const int expectedSpeed = step < 50 ? step : 50;
        x += expectedSpeed;
        QCOMPARE(engine->getXVelocity()[0], expectedSpeed);
        QCOMPARE(engine->getYVelocity()[0], 0);
        QCOMPARE(engine->getXCoordinate()[0], x);
    }
}

#elif defined(CONTROLLER_STORES)

void TestController::outOfRangeCodeLeavesAgentDrifting()
{
    placeAgent(*engine, 0, 800, 450, 20, 3, -2);
    size_t phase = 0;
    for (int step = 1; step <= 20; ++step) {
        chooseAllActions(*engine);
        QCOMPARE(engine->getActions()[0], CONTROLLER_STORES);
        stepArena(*engine, phase);
        QCOMPARE(engine->getXVelocity()[0], 3);
        QCOMPARE(engine->getYVelocity()[0], -2);
        QCOMPARE(engine->getXCoordinate()[0], 800 + 3 * step);
        QCOMPARE(engine->xAcceleration[0], 0);
    }
}

#else

void TestController::storingNothingMeansNoAcceleration()
{
    placeAgent(*engine, 0, 800, 450, 20, 1, 1);
    engine->getActions()[0] = 8;
    engine->chooseAction(0);
    QCOMPARE(engine->getActions()[0], 0);
    size_t phase = 0;
    stepArena(*engine, phase);
    QCOMPARE(engine->getXVelocity()[0], 1);
    QCOMPARE(engine->getXCoordinate()[0], 801);
}

#endif

QTEST_APPLESS_MAIN(TestController)
#include "test_controller.moc"
