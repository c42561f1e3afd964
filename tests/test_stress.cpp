// Thousands of button presses in random order with the event loop running,
// and the window closed in every state: no fatal or critical Qt message, no
// thread left running, and the state always one the buttons can reach.
#include "app/mainwindow.h"
#include "app/widget_agent.h"
#include "app/widget_engine.h"
#include "tests/gui_helpers.h"

#include <QDir>
#include <QPushButton>
#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {

constexpr int pressesPerRound = 600;
constexpr int rounds = 5;

QStringList complaints;

void recordComplaints(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // The headless platform says this of every window; nothing of ours.
    if (message.contains(QStringLiteral("propagateSizeHints")))
        return;
    if (type != QtDebugMsg && type != QtInfoMsg)
        complaints << message;
}

int threadsInProcess()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

enum class Closing { Idle, Running, Paused, Set, Stopped };

} // namespace

class TestStress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void randomPressesThenCloseInEveryState_data();
    void randomPressesThenCloseInEveryState();
    void noThreadLeftBehind();

private:
    int baselineThreads = 0;
    long presses = 0;
};

void TestStress::initTestCase()
{
    qInstallMessageHandler(recordComplaints);
    // A first window brings up whatever threads the platform keeps.
    {
        MainWindow warmUp(nullptr, 1920);
        warmUp.show();
        QTest::qWait(100);
    }
    QTest::qWait(50);
    baselineThreads = threadsInProcess();
}

void TestStress::randomPressesThenCloseInEveryState_data()
{
    QTest::addColumn<int>("closing");
    QTest::newRow("idle") << int(Closing::Idle);
    QTest::newRow("running") << int(Closing::Running);
    QTest::newRow("paused") << int(Closing::Paused);
    QTest::newRow("set") << int(Closing::Set);
    QTest::newRow("stopped") << int(Closing::Stopped);
}

void TestStress::randomPressesThenCloseInEveryState()
{
    QFETCH(int, closing);
    QRandomGenerator random(quint32(1234 + closing));
    MessageCloser closer;
    for (int round = 0; round < rounds; ++round) {
        auto window = std::make_unique<MainWindow>(nullptr, 1920);
        window->show();
        auto *start = window->findChild<QPushButton *>(QStringLiteral("startButton"));
        auto *stop = window->findChild<QPushButton *>(QStringLiteral("stopButton"));
        auto *stepper = window->findChild<WidgetEngine *>();
        auto *chooser = window->findChild<WidgetAgent *>();
        bool idle = true; // workers tick from start-up until the first press
        for (int i = 0; i < pressesPerRound; ++i) {
            const quint32 pick = random.bounded(10u);
            if (pick < 5) {
                Q_EMIT start->released();
                idle = false;
            } else if (pick < 7) {
                Q_EMIT stop->released();
                idle = false;
            } else if (pick < 8 && start->text() == QLatin1String("&Pause")) {
                // End the game: the next step sets it and opens the message.
                for (int a = 2; a < 10; ++a)
                    window->ballEngine().getCircleRadius()[a] = 0;
            }
            ++presses;
            if (random.bounded(40u) == 0)
                QTest::qWait(int(random.bounded(60u)));
            else
                QCoreApplication::processEvents();
            // The workers run exactly while a game runs, and while idle.
            const QString text = start->text();
            QVERIFY(text == QLatin1String("&Start") || text == QLatin1String("&Pause")
                    || text == QLatin1String("&Resume"));
            const bool running = text == QLatin1String("&Pause") || idle;
            QCOMPARE(stepper->workerThread()->isRunning(), running);
            QCOMPARE(chooser->workerThread()->isRunning(), running);
            if (!running)
                QVERIFY(!chooser->tickTimer()->isActive() && !stepper->tickTimer()->isActive());
        }
        switch (Closing(closing)) {
        case Closing::Idle:
            window.reset();
            window = std::make_unique<MainWindow>(nullptr, 1920);
            window->show();
            QTest::qWait(60);
            break;
        case Closing::Running:
            if (start->text() != QLatin1String("&Pause"))
                Q_EMIT start->released();
            if (start->text() != QLatin1String("&Pause"))
                Q_EMIT start->released();
            QCOMPARE(start->text(), QStringLiteral("&Pause"));
            QTest::qWait(60);
            break;
        case Closing::Paused:
            while (start->text() != QLatin1String("&Resume"))
                Q_EMIT start->released();
            break;
        case Closing::Set: {
            const int shown = closer.titles.size();
            if (start->text() != QLatin1String("&Pause"))
                Q_EMIT stop->released(), Q_EMIT start->released();
            for (int a = 1; a < 10; ++a)
                window->ballEngine().getCircleRadius()[a] = 0;
            QTRY_COMPARE(closer.titles.size(), shown + 1);
            QCOMPARE(start->text(), QStringLiteral("&Start"));
            break;
        }
        case Closing::Stopped: Q_EMIT stop->released(); break;
        }
        window->close();
        window.reset();
    }
    QVERIFY2(complaints.isEmpty(), qPrintable(complaints.join(QLatin1Char('\n'))));
}

void TestStress::noThreadLeftBehind()
{
    qInstallMessageHandler(nullptr);
    QTRY_COMPARE(threadsInProcess(), baselineThreads);
    qInfo("%ld presses survived", presses);
    QVERIFY(presses >= long(5 * rounds * pressesPerRound));
}

QTEST_MAIN(TestStress)
#include "test_stress.moc"
