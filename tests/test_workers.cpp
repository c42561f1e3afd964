// The two tick workers: when their timers run, how they stop, and the end test.
#include "app/widget_agent.h"
#include "app/widget_engine.h"
#include "engine/ball_engine.h"
#include "tests/engine_fixture.h"

#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <memory>

class TestWorkers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void timersTickFromFirstEventLoopPass();
    void stopLeavesThreadFinishedAndTimerInactive();
    void startOnRunningWorkerKeepsTimerPhase();
    void startAfterStopRestartsTimer();
    void stopRightAfterStartStaysStopped();
    void gameSetAfterStep_data();
    void gameSetAfterStep();
    void agentWorkerFillsEveryAction();
    void destroyingRunningWorkersIsClean();

private:
    std::unique_ptr<Ball_engine> engine;
};

void TestWorkers::init()
{
    engine.reset(new Ball_engine);
    setUpEmptyArena(*engine);
}

void TestWorkers::cleanup()
{
    engine.reset();
}

void TestWorkers::timersTickFromFirstEventLoopPass()
{
    WidgetEngine worker(engine.get(), nullptr);
    QVERIFY(worker.workerThread()->isRunning());
    QCOMPARE(worker.tickTimer()->interval(), 50);
    // The start reaches the timer as a queued call: not before the loop runs.
    QVERIFY(!worker.tickTimer()->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(worker.tickTimer()->isActive(), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(worker.phase() >= 2, 1000);
}

void TestWorkers::stopLeavesThreadFinishedAndTimerInactive()
{
    WidgetAgent agent(engine.get(), nullptr);
    QTRY_VERIFY(agent.tickTimer()->isActive());
    agent.stop();
    QVERIFY(agent.workerThread()->isFinished());
    QVERIFY(!agent.tickTimer()->isActive());
    agent.stop(); // stopping twice changes nothing
    QVERIFY(!agent.tickTimer()->isActive());
}

void TestWorkers::startOnRunningWorkerKeepsTimerPhase()
{
    WidgetEngine worker(engine.get(), nullptr);
    QTRY_VERIFY(worker.tickTimer()->isActive());
    const int id = worker.tickTimer()->timerId();
    worker.start();
    QTest::qWait(20);
    QVERIFY(worker.tickTimer()->isActive());
    QCOMPARE(worker.tickTimer()->timerId(), id);
}

void TestWorkers::startAfterStopRestartsTimer()
{
    WidgetEngine worker(engine.get(), nullptr);
    QTRY_VERIFY(worker.tickTimer()->isActive());
    worker.stop();
    const size_t stoppedAt = worker.phase();
    QTest::qWait(120);
    QCOMPARE(worker.phase(), stoppedAt);
    worker.start();
    QVERIFY(!worker.tickTimer()->isActive());
    QTRY_VERIFY(worker.tickTimer()->isActive());
    QTRY_VERIFY(worker.phase() != stoppedAt);
}

void TestWorkers::stopRightAfterStartStaysStopped()
{
    // Resume then Stop before the event loop runs: the queued start of the
    // timer must not revive a stopped worker.
    WidgetAgent agent(engine.get(), nullptr);
    QTRY_VERIFY(agent.tickTimer()->isActive());
    agent.stop();
    agent.start();
    agent.stop();
    QTest::qWait(150);
    QVERIFY(!agent.tickTimer()->isActive());
    QVERIFY(agent.workerThread()->isFinished());
}

void TestWorkers::gameSetAfterStep_data()
{
    QTest::addColumn<int>("alive");
    QTest::addColumn<int>("emitted");
    QTest::newRow("4 alive") << 4 << 0;
    QTest::newRow("3 alive") << 3 << 1;
    QTest::newRow("2 alive") << 2 << 1;
    QTest::newRow("1 alive") << 1 << 1;
    QTest::newRow("0 alive") << 0 << 0;
}

void TestWorkers::gameSetAfterStep()
{
    QFETCH(int, alive);
    QFETCH(int, emitted);
    WidgetEngine worker(engine.get(), nullptr);
    worker.stop();
    for (int i = 0; i < alive; ++i)
        placeAgent(*engine, size_t(i), 200 + 300 * i, 450, 20);
    QSignalSpy spy(&worker, &WidgetEngine::game_set);
    worker.update();
    QCOMPARE(spy.count(), emitted);
    QCOMPARE(worker.phase(), size_t(1));
}

void TestWorkers::agentWorkerFillsEveryAction()
{
    WidgetAgent agent(engine.get(), nullptr);
    agent.stop();
    for (size_t i = 0; i < 10; ++i)
        engine->getActions()[i] = -7;
    agent.update();
    for (size_t i = 0; i < 10; ++i)
        QVERIFY(engine->getActions()[i] >= 0 && engine->getActions()[i] <= 8);
}

void TestWorkers::destroyingRunningWorkersIsClean()
{
    QWidget owner;
    auto *stepper = new WidgetEngine(engine.get(), &owner);
    auto *chooser = new WidgetAgent(engine.get(), &owner);
    engine->resetSeeded(3);
    QTRY_VERIFY(stepper->tickTimer()->isActive() && chooser->tickTimer()->isActive());
    QTest::qWait(120);
    QPointer<QThread> thread = stepper->workerThread();
    QVERIFY(thread->isRunning());
    delete stepper;
    QVERIFY(thread.isNull());
    // The other one goes with its parent.
}

QTEST_MAIN(TestWorkers)
#include "test_workers.moc"
