// The window as built from the screen, and the states of play driven through
// the buttons.
#include "app/mainwindow.h"
#include "app/widget_agent.h"
#include "app/widget_engine.h"
#include "app/window_placement.h"
#include "tests/gui_helpers.h"
#include "views/widget.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

// Counts the paint events that reach a widget.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void sizeFollowsScreenWidth_data();
    void sizeFollowsScreenWidth();
    void centredOnScreen_data();
    void centredOnScreen();
    void buttonsTitleAndFixedSize();
    void idleWorkersTickBeforeFirstGame();
    void startPauseResume();
    void anyOtherTextResumes();
    void stopFromEveryState();
    void gameSetStopsWorkersAndShowsMessageOnce();
    void startAfterSetBeginsNewGame();
    void endToEnd();
    void closingInEveryState();
    void iconIsFoundBesideTheProgram();

private:
    QPushButton *start() { return window->findChild<QPushButton *>(QStringLiteral("startButton")); }
    QPushButton *stop() { return window->findChild<QPushButton *>(QStringLiteral("stopButton")); }
    QTimer *viewTimer() { return window->findChild<QTimer *>(QStringLiteral("viewTimer")); }
    WidgetEngine *stepper() { return window->findChild<WidgetEngine *>(); }
    WidgetAgent *chooser() { return window->findChild<WidgetAgent *>(); }
    bool workersRunning() { return stepper()->workerThread()->isRunning() && chooser()->workerThread()->isRunning(); }
    bool workersStopped()
    {
        return stepper()->workerThread()->isFinished() && !stepper()->tickTimer()->isActive()
            && chooser()->workerThread()->isFinished() && !chooser()->tickTimer()->isActive();
    }
    void press(QPushButton *button) { QTest::mouseClick(button, Qt::LeftButton); }
    // Leaves exactly `alive` agents of the current game alive.
    void killAllBut(int alive)
    {
        for (int i = alive; i < 10; ++i)
            window->ballEngine().getCircleRadius()[i] = 0;
    }

    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::init()
{
    window.reset(new MainWindow(nullptr, 1920));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestMainWindow::cleanup()
{
    window.reset();
}

void TestMainWindow::sizeFollowsScreenWidth_data()
{
    QTest::addColumn<int>("screenWidth");
    QTest::addColumn<int>("scale");
    QTest::addColumn<QSize>("size");
    QTest::newRow("1920") << 1920 << 100 << QSize(1600, 900);
    QTest::newRow("1616") << 1616 << 100 << QSize(1600, 900);
    QTest::newRow("1615") << 1615 << 100 << QSize(1600, 900);
    QTest::newRow("1599") << 1599 << 99 << QSize(1584, 891);
    QTest::newRow("1366") << 1366 << 85 << QSize(1360, 765);
}

void TestMainWindow::sizeFollowsScreenWidth()
{
    QFETCH(int, screenWidth);
    QFETCH(int, scale);
    QFETCH(QSize, size);
    QCOMPARE(arenaScaleFor(size_t(screenWidth)), scale);
    MainWindow w(nullptr, size_t(screenWidth));
    QCOMPARE(w.size(), size);
    QCOMPARE(QSize(w.ballEngine().width, w.ballEngine().height), size);
    // The view keeps its own size and is clipped by a smaller window.
    QCOMPARE(w.findChild<Widget *>()->size(), QSize(1600, 900));
    auto *startButton = w.findChild<QPushButton *>(QStringLiteral("startButton"));
    QCOMPARE(startButton->geometry(), QRect(size.width() - 200, size.height() - 50, 100, 50));
}

void TestMainWindow::centredOnScreen_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QPoint>("position");
    QTest::newRow("1920 x 1080") << QSize(1920, 1080) << QSize(1600, 900) << QPoint(160, 90);
    QTest::newRow("1366 x 768") << QSize(1366, 768) << QSize(1360, 765) << QPoint(3, 1);
    QTest::newRow("window larger than screen") << QSize(1000, 600) << QSize(1600, 900) << QPoint(-300, -150);
}

void TestMainWindow::centredOnScreen()
{
    QFETCH(QSize, screen);
    QFETCH(QSize, window);
    QFETCH(QPoint, position);
    QCOMPARE(centredPosition(screen, window), position);
}

void TestMainWindow::buttonsTitleAndFixedSize()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("Pelloria"));
    QCOMPARE(start()->text(), QStringLiteral("&Start"));
    QCOMPARE(stop()->text(), QStringLiteral("S&top"));
    QCOMPARE(start()->geometry(), QRect(1400, 850, 100, 50));
    QCOMPARE(stop()->geometry(), QRect(1500, 850, 100, 50));
    QCOMPARE(window->minimumSize(), QSize(1600, 900));
    QCOMPARE(window->maximumSize(), QSize(1600, 900));
    window->resize(800, 450);
    QCOMPARE(window->size(), QSize(1600, 900));
    QVERIFY(!viewTimer()->isActive());
    QCOMPARE(window->findChild<Widget *>()->pos(), QPoint(0, 0));
}

void TestMainWindow::idleWorkersTickBeforeFirstGame()
{
    QTRY_VERIFY(stepper()->tickTimer()->isActive() && chooser()->tickTimer()->isActive());
    QTRY_VERIFY(stepper()->phase() >= 2);
    QCOMPARE(window->ballEngine().countAliveAgents(), 0);
    QCOMPARE(start()->text(), QStringLiteral("&Start"));
}

void TestMainWindow::startPauseResume()
{
    QTRY_VERIFY(stepper()->tickTimer()->isActive());
    const int timerBefore = stepper()->tickTimer()->timerId();
    press(start());
    QCOMPARE(start()->text(), QStringLiteral("&Pause"));
    QCOMPARE(window->ballEngine().countAliveAgents(), 10);
    QVERIFY(viewTimer()->isActive());
    QCOMPARE(viewTimer()->interval(), 50);
    QVERIFY(workersRunning());
    // The workers were already ticking: the first game does not restart them.
    QCOMPARE(stepper()->tickTimer()->timerId(), timerBefore);

    QTest::qWait(200);
    press(start());
    QCOMPARE(start()->text(), QStringLiteral("&Resume"));
    QVERIFY(!viewTimer()->isActive());
    QVERIFY(workersStopped());
    const int x0 = window->ballEngine().getXCoordinate()[0];
    const size_t phase = stepper()->phase();
    QTest::qWait(150);
    QCOMPARE(stepper()->phase(), phase);
    QCOMPARE(window->ballEngine().getXCoordinate()[0], x0);

    press(start());
    QCOMPARE(start()->text(), QStringLiteral("&Pause"));
    QVERIFY(viewTimer()->isActive());
    QVERIFY(workersRunning());
    QTRY_VERIFY(stepper()->phase() != phase);
    // No new layout on resume: the game goes on from where it stopped.
    QVERIFY(window->ballEngine().countAliveAgents() >= 4);
}

void TestMainWindow::anyOtherTextResumes()
{
    press(start());
    press(start());
    start()->setText(QStringLiteral("start"));
    press(start());
    QCOMPARE(start()->text(), QStringLiteral("&Pause"));
    QVERIFY(viewTimer()->isActive());
    QVERIFY(workersRunning());
}

void TestMainWindow::stopFromEveryState()
{
    // Idle: workers stopped, a fresh game laid out, still "&Start".
    press(stop());
    QCOMPARE(start()->text(), QStringLiteral("&Start"));
    QVERIFY(workersStopped());
    QVERIFY(!viewTimer()->isActive());
    QCOMPARE(window->ballEngine().countAliveAgents(), 10);
    // Running.
    press(start());
    QTest::qWait(100);
    press(stop());
    QCOMPARE(start()->text(), QStringLiteral("&Start"));
    QVERIFY(workersStopped());
    QVERIFY(!viewTimer()->isActive());
    for (int i = 0; i < 10; ++i)
        QCOMPARE(window->ballEngine().getCircleRadius()[i], 20);
    // Paused.
    press(start());
    press(start());
    QCOMPARE(start()->text(), QStringLiteral("&Resume"));
    press(stop());
    QCOMPARE(start()->text(), QStringLiteral("&Start"));
    QVERIFY(workersStopped());
    // The next start lays out at once and runs.
    press(start());
    QCOMPARE(start()->text(), QStringLiteral("&Pause"));
    QVERIFY(workersRunning());
}

void TestMainWindow::gameSetStopsWorkersAndShowsMessageOnce()
{
    MessageCloser closer;
    press(start());
    killAllBut(2);
    QTRY_COMPARE_WITH_TIMEOUT(closer.titles.size(), 1, 2000);
    QCOMPARE(closer.titles.first(), QStringLiteral("Game Set"));
    QCOMPARE(closer.texts.first(), QStringLiteral("Please click OK to continue."));
    QCOMPARE(closer.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(start()->text(), QStringLiteral("&Start"));
    QVERIFY(workersStopped());
    // The final position keeps being repainted.
    QVERIFY(viewTimer()->isActive());
    QTest::qWait(300);
    QCOMPARE(closer.titles.size(), 1);
    QCOMPARE(window->ballEngine().countAliveAgents(), 2);
}

void TestMainWindow::startAfterSetBeginsNewGame()
{
    MessageCloser closer;
    press(start());
    killAllBut(1);
    QTRY_COMPARE(closer.titles.size(), 1);
    press(start());
    QCOMPARE(start()->text(), QStringLiteral("&Pause"));
    QCOMPARE(window->ballEngine().countAliveAgents(), 10);
    QVERIFY(workersRunning());
    killAllBut(3);
    QTRY_COMPARE(closer.titles.size(), 2);
    press(stop());
    QVERIFY(!viewTimer()->isActive());
    QCOMPARE(window->ballEngine().countAliveAgents(), 10);
}

void TestMainWindow::endToEnd()
{
    PaintCounter counter;
    window->findChild<Widget *>()->installEventFilter(&counter);
    press(start());
    int x[10], y[10];
    for (int i = 0; i < 10; ++i) {
        x[i] = window->ballEngine().getXCoordinate()[i];
        y[i] = window->ballEngine().getYCoordinate()[i];
    }
    // Counted in ticks, not seconds: a loaded machine only takes longer.
    auto moved = [&]() {
        int count = 0;
        for (int i = 0; i < 10; ++i)
            if (x[i] != window->ballEngine().getXCoordinate()[i] || y[i] != window->ballEngine().getYCoordinate()[i])
                ++count;
        return count;
    };
    QTRY_VERIFY_WITH_TIMEOUT(moved() >= 5 && counter.paints >= 10, 30000);
    press(start());
    const int paints = counter.paints;
    QTest::qWait(200);
    QVERIFY(counter.paints <= paints + 1);
    press(start());
    QTRY_VERIFY(counter.paints >= paints + 3);
    press(stop());
    QVERIFY(window->close());
    window.reset();
}

void TestMainWindow::closingInEveryState()
{
    // Running.
    press(start());
    QTest::qWait(100);
    window.reset();
    // Paused.
    init();
    press(start());
    press(start());
    window.reset();
    // Set, with the message open when the window is asked to close.
    init();
    bool closedWhileOpen = false;
    MessageCloser *closer = nullptr;
    QTimer probe;
    connect(&probe, &QTimer::timeout, this, [&]() {
        if (QApplication::activeModalWidget() && !closer) {
            window->close();
            closedWhileOpen = true;
            closer = new MessageCloser;
        }
    });
    probe.start(5);
    press(start());
    killAllBut(2);
    QTRY_VERIFY(closedWhileOpen);
    QTRY_VERIFY(closer->titles.size() == 1);
    probe.stop();
    delete closer;
    window.reset();
}

void TestMainWindow::iconIsFoundBesideTheProgram()
{
    // Started from another folder, the window still finds icon/ beside the
    // program; without the file it keeps the default (empty) icon.
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString icon = programDir.filePath(QStringLiteral("icon/ball_icon.PNG"));
    QFile::remove(icon);
    QTemporaryDir elsewhere;
    const QString home = QDir::currentPath();
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    {
        MainWindow without(nullptr, 1920);
        QVERIFY(without.windowIcon().isNull());
    }
    QVERIFY(programDir.mkpath(QStringLiteral("icon")));
    QVERIFY(QFile::copy(QStringLiteral(ICON_FILE), icon));
    {
        MainWindow with(nullptr, 1920);
        QVERIFY(!with.windowIcon().isNull());
    }
    QFile::remove(icon);
    QVERIFY(QDir::setCurrent(home));
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
