// The game with a hostile plug-in in brainlet's place: it must go on as
// designed, never crash, hang or corrupt its state. Built once per plug-in.
#include "app/mainwindow.h"
#include "app/widget_agent.h"
#include "app/widget_engine.h"
#include "tests/game_watch.h"
#include "tests/gui_helpers.h"

#include <QPointer>
#include <QSignalSpy>
#include <QPushButton>
#include <QtTest>

namespace {

constexpr int gamesToWatch = 60;

// Agent 0's acceleration after each step, for plug-ins whose codes must
// decode to none.
struct AccelerationWatch {
    Ball_engine *engine = nullptr;
    int accelerated = 0;
    static void onStep(void *context, int step)
    {
        auto *w = static_cast<AccelerationWatch *>(context);
        if (step > 1 && (w->engine->xAcceleration[0] != 0 || w->engine->yAcceleration[0] != 0))
            ++w->accelerated;
    }
};

} // namespace

class TestHostile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wholeGamesKeepTheirInvariants();
#if defined(HOSTILE_HUGE_CODES)
    void nonsenseCodesMeanNoAcceleration();
#elif defined(HOSTILE_RAND_HEAVY)
    void extraDrawsChangeTheGameButNotItsReplay();
#elif defined(HOSTILE_SLEEPS)
    void slowPluginLeavesStopAndCloseResponsive();
#endif
};

void TestHostile::wholeGamesKeepTheirInvariants()
{
    Ball_engine engine;
    engine.setup(10, 100);
#if defined(HOSTILE_SLEEPS)
    const int games = 0; // 30 ms a step: the window test below covers it
#else
    const int games = gamesToWatch;
#endif
    for (int g = 0; g < games; ++g) {
        QString fault;
        const GameRecord game = playGame(engine, 500 + unsigned(g), &fault);
        QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("seed %1: %2").arg(500 + g).arg(fault)));
        QVERIFY(game.outcome != GameOutcome::StepLimit);
    }
}

#if defined(HOSTILE_HUGE_CODES)

void TestHostile::nonsenseCodesMeanNoAcceleration()
{
    Ball_engine engine;
    engine.setup(10, 100);
    AccelerationWatch watch;
    watch.engine = &engine;
    for (unsigned seed = 1; seed <= 10; ++seed) {
        const GameResult game = playSeededGame(engine, seed, stepLimit, &AccelerationWatch::onStep, &watch);
        QVERIFY(game.outcome != GameOutcome::StepLimit);
    }
    QCOMPARE(watch.accelerated, 0);
}

#elif defined(HOSTILE_RAND_HEAVY)

void TestHostile::extraDrawsChangeTheGameButNotItsReplay()
{
    Ball_engine a, b;
    a.setup(10, 100);
    b.setup(10, 100);
    const GameRecord first = playGame(a, 77, nullptr);
    const GameRecord again = playGame(b, 77, nullptr);
    QCOMPARE(again.fingerprint, first.fingerprint);
    QCOMPARE(again.steps, first.steps);
}

#elif defined(HOSTILE_SLEEPS)

void TestHostile::slowPluginLeavesStopAndCloseResponsive()
{
    auto *window = new MainWindow(nullptr, 1920);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto *start = window->findChild<QPushButton *>(QStringLiteral("startButton"));
    auto *stop = window->findChild<QPushButton *>(QStringLiteral("stopButton"));
    QTest::mouseClick(start, Qt::LeftButton);
    QTest::qWait(400);
    // Each tick spends 30 ms in the plug-in; a click still gets through
    // between ticks, not after a backlog of them.
    QSignalSpy ticks(window->findChild<WidgetAgent *>()->tickTimer(), &QTimer::timeout);
    bool stopped = false;
    int ticksBeforeStop = -1;
    QTimer::singleShot(0, window, [&]() {
        ticksBeforeStop = ticks.count();
        QTest::mouseClick(stop, Qt::LeftButton);
        stopped = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(stopped, 30000);
    QVERIFY2(ticksBeforeStop <= 2, qPrintable(QString::number(ticksBeforeStop)));
    QCOMPARE(start->text(), QStringLiteral("&Start"));
    QVERIFY(!window->findChild<WidgetAgent *>()->tickTimer()->isActive());

    // Closing while it runs.
    QTest::mouseClick(start, Qt::LeftButton);
    QTest::qWait(300);
    QPointer<MainWindow> closed(window);
    delete window;
    QVERIFY(closed.isNull());
    QTest::qWait(100); // no tick of a worker outlives the window
}

#endif

QTEST_MAIN(TestHostile)
#include "test_hostile.moc"
