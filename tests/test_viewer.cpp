// The viewer: its keys, its scaled arena and overlay, its panel, its
// timeline, and its exports.
#include "app/agent_panel.h"
#include "app/frame_export.h"
#include "app/replay_view.h"
#include "app/replay_window.h"
#include "engine/ball_engine.h"
#include "replay/replay.h"
#include "tests/arena_process.h"
#include "views/arena_painter.h"

#include <QDir>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void storesRight(int &action, size_t, size_t, size_t, const int *, const int *, const int *, const int *, const int *)
{
    action = 4;
}

Replay recorded(ControllerFunction controller, uint32_t seed)
{
    ReplayHeader header;
    header.program = QStringLiteral("test");
    header.controller = QStringLiteral("test.so");
    return recordFairGame(controller, seed, 100000, header);
}

// A replay whose only frame puts agent 0 where the test wants it.
Replay oneFrame(int x, int y, int radius)
{
    Replay replay = recorded(&storesRight, 9);
    replay.frames.resize(1);
    replay.frames[0].x[0] = x;
    replay.frames[0].y[0] = y;
    replay.frames[0].radius[0] = radius;
    return replay;
}

QImage paintedAt(const QSize &size, const Replay &replay, int step, const OverlayState &shown)
{
    Ball_engine engine;
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    ArenaPainter painter;
    painter.setup(uint32_t(rules::agentsPerGame), engine);
    showFrame(replay.frames[size_t(step)], engine);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    paintScaled(p, QRectF(QPointF(0, 0), QSizeF(size)), painter, engine, overlayAt(replay, step, shown));
    return image;
}

// The mean difference of two pictures of one size, channel by channel.
double meanDifference(const QImage &a, const QImage &b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

bool isRing(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) > 180 && qBlue(pixel) < 80;
}

} // namespace

class TestViewer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keysStepAndJump();
    void ringFindsAgent0AtRadiusOneAndAtTheWall();
    void scaledPictureIsTheArenaScaled();
    void panelAndStatusReadTheGame();
    void timelineMarksBothEndsAndNamesTheDead();
    void exportsChooseStepsAndRefuseFormats();
};

void TestViewer::keysStepAndJump()
{
    const Replay replay = recorded(&storesRight, 9);
    ReplayWindow window(replay);
    window.show();
    const int last = window.lastStep();
    QVERIFY(last > 250);
    QTest::keyClick(&window, Qt::Key_End);
    QCOMPARE(window.step(), last);
    QTest::keyClick(&window, Qt::Key_PageUp);
    QCOMPARE(window.step(), last - 100);
    QTest::keyClick(&window, Qt::Key_Home);
    QCOMPARE(window.step(), 0);
    QTest::keyClick(&window, Qt::Key_PageDown);
    QCOMPARE(window.step(), 100);
    QTest::keyClick(&window, Qt::Key_Home);
    // N and P walk agent 0's radius changes, as the frames record them.
    int firstChange = 0;
    for (int s = 1; s <= last && firstChange == 0; ++s)
        if (!replay.frames[size_t(s)].changes.empty())
            firstChange = s;
    QVERIFY(firstChange > 0);
    QTest::keyClick(&window, Qt::Key_N);
    QCOMPARE(window.step(), firstChange);
    QTest::keyClick(&window, Qt::Key_N);
    QVERIFY(window.step() > firstChange);
    QTest::keyClick(&window, Qt::Key_P);
    QCOMPARE(window.step(), firstChange);
    QTest::keyClick(&window, Qt::Key_D);
    const int died = replay.deathSteps()[0];
    QCOMPARE(window.step(), died > 0 ? died : last);
    QVERIFY(!window.helpShown());
    QTest::keyClick(&window, Qt::Key_F1);
    QVERIFY(window.helpShown());
    QTest::keyClick(&window, Qt::Key_F1);
    QVERIFY(!window.helpShown());
    QVERIFY(viewerKeys().join(QLatin1Char('\n')).contains(QStringLiteral("agent 0's death")));
}

void TestViewer::ringFindsAgent0AtRadiusOneAndAtTheWall()
{
    OverlayState shown;
    shown.deaths = false;
    // Radius 1 in the middle, drawn at half size: the ring stands 6 pixels
    // out from a half-pixel circle, around (400, 225).
    const QImage middle = paintedAt(QSize(800, 450), oneFrame(800, 450, 1), 0, shown);
    QVERIFY(isRing(middle.pixel(400 + 6, 225)));
    QVERIFY(isRing(middle.pixel(400, 225 - 6)));
    QVERIFY(!isRing(middle.pixel(400 + 20, 225)));
    // Against the left wall, radius 1: the ring is still seen inside.
    const QImage wall = paintedAt(QSize(800, 450), oneFrame(1, 450, 1), 0, shown);
    QVERIFY(isRing(wall.pixel(0 + 6, 225)) || isRing(wall.pixel(1 + 6, 225)));
    shown.ring = false;
    const QImage none = paintedAt(QSize(800, 450), oneFrame(800, 450, 1), 0, shown);
    QVERIFY(!isRing(none.pixel(406, 225)));
}

void TestViewer::scaledPictureIsTheArenaScaled()
{
    const Replay replay = recorded(&storesRight, 9);
    OverlayState plain;
    plain.ring = plain.deaths = false;
    const QImage full = paintedAt(QSize(1600, 900), replay, 120, plain);
    for (const QSize &size : {QSize(800, 450), QSize(1024, 576), QSize(400, 225)}) {
        const QImage scaled = paintedAt(size, replay, 120, plain);
        const QImage expected = full.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QVERIFY2(meanDifference(scaled, expected) < 6.0,
                 qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
    }
    // A window of another shape: the arena keeps 16:9, centred, bars beside.
    const QTransform t = arenaTransform(QSizeF(1600, 900), QRectF(0, 0, 1000, 900));
    QCOMPARE(t.m11(), 0.625);
    QCOMPARE(t.dy(), (900 - 900 * 0.625) / 2);
    QCOMPARE(t.dx(), 0.0);
}

void TestViewer::panelAndStatusReadTheGame()
{
    const Replay replay = recorded(&storesRight, 9);
    const int step = 200;
    const QVector<AgentRow> rows = agentRows(replay, step);
    QCOMPARE(rows.size(), 10);
    const ReplayFrame &f = replay.frames[size_t(step)];
    const std::array<int, replayAgents> died = replay.deathSteps();
    for (int a = 0; a < 10; ++a) {
        QCOMPARE(rows[a].radius, std::max(0, f.radius[size_t(a)]));
        const bool dead = died[size_t(a)] > 0 && died[size_t(a)] <= step;
        QCOMPARE(rows[a].state.startsWith(QStringLiteral("died at step %1").arg(died[size_t(a)])), dead);
        QCOMPARE(rows[a].action, dead ? QStringLiteral("-") : actionName(f.action[size_t(a)]));
    }
    // Agents are named by their labels, from [1].
    RadiusChange contest;
    contest.cause = RadiusChange::Contest;
    contest.other = 3;
    contest.delta = -1;
    QCOMPARE(changeText(contest), QStringLiteral("contest with agent [4] -1"));
    const QString end = stepStatus(replay, int(replay.frames.size()) - 1, QString());
    QVERIFY2(end.contains(QStringLiteral("game over: set; left ")) && end.contains(QStringLiteral("seed 9, test.so")),
             qPrintable(end));
    QVERIFY(stepStatus(replay, 0, QString()).startsWith(QStringLiteral("step 0 of ")));
    // The controller's log, by step, for this seed only.
    const QByteArray log = "load stdout: checked\n"
                           "seed 9 load stdout: loading\n"
                           "seed 9 step 3 stdout: left at 3\n"
                           "seed 90 step 3 stdout: another seed\n"
                           "seed 9 step 3 stderr: and a warning\n"
                           "seed 9 step 12 stdout: twelve\n";
    const QMap<int, QStringList> lines = logLinesOf(log, 9);
    QCOMPARE(lines.value(0), QStringList{"stdout: loading"});
    QCOMPARE(lines.value(3), QStringList({"stdout: left at 3", "stderr: and a warning"}));
    QCOMPARE(lines.value(12), QStringList{"stdout: twelve"});
    QCOMPARE(lines.size(), 3);
    ReplayWindow window(replay);
    window.setLog(lines);
    window.seek(3);
    QCOMPARE(window.logText(), QStringLiteral("step 3: stdout: left at 3\nstep 3: stderr: and a warning"));
    window.seek(4);
    QCOMPARE(window.logText(), QString());
}

void TestViewer::timelineMarksBothEndsAndNamesTheDead()
{
    ReplayWindow window(recorded(&storesRight, 9));
    window.resize(1024, 576);
    window.show();
    TimelineSlider *timeline = window.timeline();
    std::array<int, replayAgents> deaths{};
    deaths[0] = window.lastStep();
    deaths[4] = 1;
    timeline->setDeaths(deaths);
    const QRect last = timeline->markerAt(window.lastStep());
    const QRect first = timeline->markerAt(1);
    QVERIFY(last.width() >= 3 && last.right() < timeline->width());
    QVERIFY(first.width() >= 3 && first.left() >= 0);
    QCOMPARE(timeline->markersAt(last.center().x()),
             QStringLiteral("agent [1] died at step %1").arg(window.lastStep()));
    QCOMPARE(timeline->markersAt(first.center().x()), QStringLiteral("agent [5] died at step 1"));
    const QVector<int> scale = timeline->scaleSteps();
    QVERIFY(scale.size() >= 2 && scale.first() == 0);
}

void TestViewer::exportsChooseStepsAndRefuseFormats()
{
    QVERIFY(videoFormatSupported(QStringLiteral("a.mp4")) && videoFormatSupported(QStringLiteral("b.GIF")));
    QVERIFY(!videoFormatSupported(QStringLiteral("a.avi")) && !videoFormatSupported(QStringLiteral("noextension")));
    // Refused up front, before any game is played: exit 2 and one line.
    for (const QStringList &bad : {QStringList{"--seed", "7", "--export-video", "game.avi"},
                                   QStringList{"--seed", "7", "--export-video", "/nonexistent/dir/game.mp4"},
                                   QStringList{"--seed", "7", "--export-frames", "x", "--from", "-3"}}) {
        const Run run = runProgram(QStringLiteral(PELLORIA_EXE), bad);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.startsWith(QStringLiteral("pelloria: --")), qPrintable(run.err));
    }
    const Run zero = runProgram(
        QStringLiteral(PELLORIA_EXE),
        {QStringLiteral("--seed"), QStringLiteral("0"), QStringLiteral("--export-frames"), QStringLiteral("x")});
    QCOMPARE(zero.exitCode, 2);
    QVERIFY(zero.err.startsWith(QStringLiteral("pelloria: seed 0 plays the same game as seed 1")));
    const Replay replay = recorded(&storesRight, 9);
    QTemporaryDir dir;
    ExportOptions options;
    options.from = 10;
    options.to = 12;
    options.overlay = true;
    QString error;
    QVERIFY(exportFrames(replay, dir.path(), options, error));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             QStringList({"frame-00010.png", "frame-00011.png", "frame-00012.png"}));
    QCOMPARE(QImage(dir.filePath(QStringLiteral("frame-00010.png"))).size(), QSize(1600, 940)); // the status below
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty())
        QSKIP("ffmpeg is not installed (apt-get install ffmpeg): the video itself is not tried");
    const QString video = dir.filePath(QStringLiteral("game.mp4"));
    options.from = 0;
    options.to = 39;
    QVERIFY2(exportVideo(replay, video, options, error), qPrintable(error));
    const Run probe = runProgram(QStringLiteral("ffprobe"),
                                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                                  QStringLiteral("-show_entries"), QStringLiteral("stream=nb_read_frames"),
                                  QStringLiteral("-of"), QStringLiteral("csv=p=0"), video});
    QCOMPARE(probe.out.trimmed(), QStringLiteral("40"));
}

QTEST_MAIN(TestViewer)
#include "test_viewer.moc"
