// Replays: the file format and its damage, recording as the arena plays,
// the viewer, and pelloria's command line for them.
#include "app/replay_window.h"
#include "engine/game.h"
#include "engine/step.h"
#include "plugin/controller_library.h"
#include "replay/recorder.h"
#include "replay/replay.h"
#include "tests/arena_process.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <zlib.h>

namespace {

void storesRight(int &action, const size_t, const size_t, const size_t, const int *, const int *, const int *,
                 const int *, const int *)
{
    action = 4;
}

// A gzip file of `plain`, as another program would write one.
QByteArray gzipped(const QByteArray &plain)
{
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(plain.size()))) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(plain.constData()));
    stream.avail_in = uInt(plain.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(int(stream.total_out));
    deflateEnd(&stream);
    return out;
}

Replay recorded(ControllerFunction controller, uint32_t seed, int maxSteps = 100000)
{
    ReplayHeader header;
    header.program = QStringLiteral("test");
    header.controller = QStringLiteral("test.so");
    return recordFairGame(controller, seed, maxSteps, header);
}

QMap<uint32_t, QStringList> csvRows(const QString &path, const QString &controller)
{
    QMap<uint32_t, QStringList> rows;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QStringList fields = QString::fromUtf8(line).split(QLatin1Char(','));
        if (fields.size() > 5 && fields[0] == QLatin1Char('"') + controller + QLatin1Char('"'))
            rows.insert(fields[1].toUInt(), fields);
    }
    return rows;
}

Run pelloria(const QStringList &arguments)
{
    return runProgram(QStringLiteral(PELLORIA_EXE), arguments);
}

} // namespace

class TestReplay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordedGameReplaysStepByStep();
    void fileRoundTripKeepsEveryFrame();
    void damagedFilesAreRefusedNeverCrash();
    void firstVersionStillReads();
    void framesAreDifferencesFromMotion();
    void strictAboutEveryByte();
    void anyValuesRoundTrip();
    void everyHeaderValueRoundTrips();
    void arenaReplaysReproduceTheirRows();
    void seedInTheWindowIsTheArenasGame();
    void seedModeSurvivesItsController();
    void viewerStepsSeeksAndMarksDeaths();
    void commandLineRefusesBadArguments();
    void videoNeedsFfmpeg();
};

void TestReplay::recordedGameReplaysStepByStep()
{
    const Replay replay = recorded(&storesRight, 9);
    QCOMPARE(int(replay.frames.size()), replay.header.steps + 1);
    // The same game stepped by hand: every frame is the state after its step.
    Ball_engine engine;
    engine.setup(10, 100);
    engine.setController(&storesRight);
    engine.resetSeeded(9);
    size_t phase = 0;
    for (const ReplayFrame &f : replay.frames) {
        if (f.step > 0) {
            chooseAllActions(engine);
            stepArena(engine, phase);
        }
        for (int i = 0; i < replayCircles; ++i) {
            QCOMPARE(f.radius[size_t(i)], engine.getCircleRadius()[i]);
            QCOMPARE(f.x[size_t(i)], engine.getXCoordinate()[i]);
        }
        QCOMPARE(f.vx[0], engine.getXVelocity()[0]);
        if (f.step > 0)
            QCOMPARE(f.action[0], 4);
    }
    // Every change of agent 0's radius is in the frames: they add up to the
    // radius of every frame.
    int radius = 20;
    for (const ReplayFrame &f : replay.frames) {
        for (const RadiusChange &c : f.changes)
            radius += c.delta;
        QCOMPARE(radius, f.radius[0]);
    }
}

void TestReplay::fileRoundTripKeepsEveryFrame()
{
    const Replay replay = recorded(&storesRight, 3);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("game.replay.gz"));
    QString error;
    QVERIFY2(writeReplay(path, replay, error), qPrintable(error));
    Replay back;
    QVERIFY2(readReplay(path, back, error), qPrintable(error));
    QCOMPARE(back.header.seed, 3u);
    QCOMPARE(back.header.steps, replay.header.steps);
    QCOMPARE(back.header.outcome, replay.header.outcome);
    QCOMPARE(back.frames.size(), replay.frames.size());
    for (size_t s = 0; s < replay.frames.size(); ++s) {
        QVERIFY(back.frames[s].radius == replay.frames[s].radius && back.frames[s].y == replay.frames[s].y
                && back.frames[s].vy == replay.frames[s].vy && back.frames[s].action == replay.frames[s].action);
        QCOMPARE(back.frames[s].changes.size(), replay.frames[s].changes.size());
    }
    // An average game stays well under 150 KB.
    QVERIFY2(QFileInfo(path).size() < 150 * 1024, qPrintable(QString::number(QFileInfo(path).size())));
}

void TestReplay::damagedFilesAreRefusedNeverCrash()
{
    const QByteArray good = encodeReplay(recorded(&storesRight, 5, 400));
    Replay replay;
    QString error;
    QVERIFY(decodeReplay(good, replay, error));
    QRandomGenerator random(20261207);
    int truncated = 0, flipped = 0, flippedRead = 0;
    for (int i = 0; i < 3000; ++i) {
        const QByteArray cut = good.left(int(random.bounded(good.size())));
        error.clear();
        truncated += decodeReplay(cut, replay, error) ? 0 : 1;
        QVERIFY(!error.contains(QLatin1Char('\n')));
    }
    for (int i = 0; i < 3000; ++i) {
        QByteArray damaged = good;
        const int at = int(random.bounded(damaged.size()));
        damaged[at] = char(damaged[at] ^ char(1 + random.bounded(255)));
        error.clear();
        if (decodeReplay(damaged, replay, error))
            ++flippedRead; // a flip in gzip's own header fields changes nothing
        else
            ++flipped;
    }
    QCOMPARE(truncated, 3000); // every cut is caught
    QVERIFY2(flipped > 2900, qPrintable(QString::number(flipped)));

    QVERIFY(!decodeReplay(QByteArray("not gzip at all"), replay, error));
    QVERIFY(error.contains(QStringLiteral("damaged")));
    Replay future = recorded(&storesRight, 5, 3);
    future.header.version = 3;
    QVERIFY(!decodeReplay(encodeReplay(future), replay, error));
    // A replay from a later format version names both versions.
    QCOMPARE(error, QStringLiteral("replay format version 3; this program reads versions 1 to 2"));
}

// Replays written before frames were stored as differences (version 1: a
// line of JSON a frame) still play.
void TestReplay::firstVersionStillReads()
{
    const Replay replay = recorded(&storesRight, 9, 120);
    QByteArray text = QByteArrayLiteral("{\"format\":\"pelloria-replay\",\"version\":1,\"program\":\"0.9\",\"seed\":9,"
                                        "\"controller\":\"c.so\",\"controller_sha256\":\"\",\"max_steps\":120,"
                                        "\"outcome\":\"step-limit\",\"steps\":")
        + QByteArray::number(replay.header.steps) + "," + "\"failed_at_step\":0,\"agents\":10,\"circles\":15}\n";
    auto list = [](const auto &values) {
        QByteArray out = "[";
        for (size_t i = 0; i < values.size(); ++i)
            out += (i ? "," : "") + QByteArray::number(values[i]);
        return out + "]";
    };
    for (const ReplayFrame &f : replay.frames) {
        text += "{\"step\":" + QByteArray::number(f.step) + ",\"r\":" + list(f.radius) + ",\"x\":" + list(f.x)
            + ",\"y\":" + list(f.y) + ",\"vx\":" + list(f.vx) + ",\"vy\":" + list(f.vy) + ",\"a\":" + list(f.action)
            + ",\"agent0\":[";
        for (size_t c = 0; c < f.changes.size(); ++c)
            text += QByteArray(c ? "," : "") + "[\"" + causeName(f.changes[c].cause) + "\","
                + QByteArray::number(f.changes[c].other) + "," + QByteArray::number(f.changes[c].delta) + "]";
        text += "]}\n";
    }
    Replay back;
    QString error;
    QVERIFY2(decodeReplay(gzipped(text), back, error), qPrintable(error));
    QCOMPARE(back.header.seed, 9u);
    QCOMPARE(back.frames.size(), replay.frames.size());
    int changes = 0;
    for (size_t s = 0; s < replay.frames.size(); ++s) {
        QVERIFY(back.frames[s].x == replay.frames[s].x && back.frames[s].vx == replay.frames[s].vx
                && back.frames[s].radius == replay.frames[s].radius
                && back.frames[s].action == replay.frames[s].action);
        QCOMPARE(back.frames[s].changes.size(), replay.frames[s].changes.size());
        changes += int(back.frames[s].changes.size());
    }
    QVERIFY(changes > 0);
    // A line too few is refused with the counts.
    const QByteArray shorter = text.left(text.lastIndexOf('\n', text.size() - 2) + 1);
    QVERIFY(!decodeReplay(gzipped(shorter), back, error));
    QVERIFY2(error.contains(QStringLiteral("lines of steps")), qPrintable(error));
}

// The bytes of two frames, worked out by hand from docs/replay-format.md.
void TestReplay::framesAreDifferencesFromMotion()
{
    ReplayFrame layout, moved;
    layout.radius[0] = 20;
    layout.x[0] = 100;
    layout.y[0] = 50;
    moved = layout;
    moved.step = 1;
    moved.radius[0] = 19;
    moved.vx[0] = 3;
    moved.x[0] = 103; // moved by its velocity: nothing to write
    moved.action[0] = 2;
    moved.changes.push_back(RadiusChange{RadiusChange::Wall, -1, -1});
    FrameWriter writer;
    writer.add(layout);
    writer.add(moved);
    // Frame 0: r, x and y listed (0x31); r[0] +20 (zigzag 40), x[0] +100
    // (200, two varint bytes), y[0] +50 (100); no changes.
    // Frame 1: r, vx and a listed (0x0b); r[0] -1 (1), vx[0] +3 (6),
    // a[0] +2 (4); one change: wall (0), other -1 (1), -1 (1).
    QCOMPARE(QByteArray(writer.data(), int(writer.size())).toHex(' '),
             QByteArray("31 01 00 28 01 00 c8 01 01 00 64 00 0b 01 00 01 01 00 06 01 00 04 01 00 01 01"));

    Replay replay;
    replay.header.steps = 1;
    replay.header.maxSteps = 10;
    replay.frames = {layout, moved};
    Replay back;
    QString error;
    QVERIFY2(decodeReplay(encodeReplay(replay), back, error), qPrintable(error));
    QCOMPARE(back.frames.size(), size_t(2));
    QCOMPARE(back.frames[1].x[0], 103);
    QCOMPARE(back.frames[1].radius[0], 19);
    QCOMPARE(back.frames[1].action[0], 2);
    QCOMPARE(back.frames[1].changes.size(), size_t(1));
    QCOMPARE(back.frames[1].changes[0].other, -1);
}

// What the writer never writes is damage: a listed array with no entry, a
// difference of nothing, more changes than a step can have, or bytes after
// the last frame.
void TestReplay::strictAboutEveryByte()
{
    const QByteArray header = "{\"format\":\"pelloria-replay\",\"version\":2,\"seed\":1,\"max_steps\":5,"
                              "\"steps\":0,\"failed_at_step\":0,\"agents\":10,\"circles\":15}\n";
    Replay replay;
    QString error;
    QVERIFY2(decodeReplay(gzipped(header + QByteArray::fromHex("0101002800")), replay, error), qPrintable(error));
    QCOMPARE(replay.frames[0].radius[0], 20);
    const struct {
        const char *bytes;
        const char *says;
    } damaged[] = {
        {"0100000000", "step 0 of the replay is damaged"},        // r listed, no entry in its mask
        {"01010000", "step 0 of the replay is damaged"},          // a difference of 0
        {"4000", "step 0 of the replay is damaged"},              // an array no frame has
        {"0041", "step 0 of the replay is damaged"},              // 65 changes
        {"00010563", "step 0 of the replay has a damaged cause"}, // a cause past meal
        {"0101002800"
         "00",
         "the replay holds more than the 1 steps its header says"},
        {"0101", "step 0 of the replay is damaged"}, // cut inside the frame
        {"010100"
         "ffffffffffffffffffff01"
         "00",
         "step 0 of the replay is damaged"}, // an 11-byte varint
        {"010100"
         "8080808020"
         "00",
         "step 0 of the replay is damaged"}, // r[0] = 2^32
        {"", "the replay holds fewer steps than its header says (1)"},
    };
    for (const auto &d : damaged) {
        QVERIFY2(!decodeReplay(gzipped(header + QByteArray::fromHex(d.bytes)), replay, error), d.bytes);
        QCOMPARE(error, QString::fromLatin1(d.says));
    }
}

// Whatever a frame holds, from small moves to the ends of int32, comes back
// as it was, across the writer's growth past its first 64 KB.
// Each way a game can end, named in the header, and the numbers at the
// ends of their ranges: written, read back the same. One past a range, or
// more steps than the game allowed, is a damaged header.
void TestReplay::everyHeaderValueRoundTrips()
{
    Replay replay;
    replay.frames.resize(3);
    ReplayHeader &h = replay.header;
    h.program = QStringLiteral("pelloria 0.1.0");
    h.controller = QStringLiteral("libmine.so");
    h.sha256 = QString(64, QLatin1Char('a'));
    h.steps = 2;
    const char *ends[] = {"set",    "none-alive", "step-limit", "crashed", "time-limit",
                          "exited", "refused",    "lost",       "stalled", "bad-channel"};
    const uint32_t seeds[] = {0, 1, UINT32_MAX};
    const int failedAt[] = {0, 2, INT32_MAX};
    Replay back;
    QString error;
    for (const char *end : ends)
        for (size_t i = 0; i < 3; ++i) {
            h.outcome = QLatin1String(end);
            h.seed = seeds[i];
            h.failedAtStep = failedAt[i];
            h.maxSteps = i == 2 ? INT32_MAX : 2;
            QVERIFY2(decodeReplay(encodeReplay(replay), back, error), qPrintable(error));
            QCOMPARE(back.header.outcome, h.outcome);
            QCOMPARE(back.header.seed, h.seed);
            QCOMPARE(back.header.failedAtStep, h.failedAtStep);
            QCOMPARE(back.header.maxSteps, h.maxSteps);
            QCOMPARE(back.header.steps, 2);
            QCOMPARE(back.header.program, h.program);
            QCOMPARE(back.header.controller, h.controller);
            QCOMPARE(back.header.sha256, h.sha256);
        }
    h.maxSteps = 1; // two steps played of a game of one
    QVERIFY(!decodeReplay(encodeReplay(replay), back, error));
    QCOMPARE(error, QStringLiteral("the replay's header is damaged"));
    h.maxSteps = 0;
    QVERIFY(!decodeReplay(encodeReplay(replay), back, error));
    QCOMPARE(error, QStringLiteral("the replay's header is damaged"));
}

void TestReplay::anyValuesRoundTrip()
{
    QRandomGenerator random(7);
    auto anyValue = [&random](int32_t before) {
        switch (random.bounded(4)) {
        case 0: return before;                                           // unchanged
        case 1: return int32_t(int64_t(before) + random.bounded(-3, 4)); // wraps at the ends
        case 2: return random.bounded(2) ? INT32_MAX : INT32_MIN;
        default: return int32_t(random.generate());
        }
    };
    Replay replay;
    ReplayFrame f;
    for (int s = 0; s < 2500; ++s) {
        f.step = s;
        for (auto *values : {&f.radius, &f.x, &f.y})
            for (int32_t &v : *values)
                v = anyValue(v);
        for (auto *values : {&f.vx, &f.vy, &f.action})
            for (int32_t &v : *values)
                v = anyValue(v);
        f.changes.clear();
        for (quint32 c = random.bounded(4u); c > 0; --c)
            f.changes.push_back(
                RadiusChange{RadiusChange::Cause(random.bounded(3)), int32_t(random.generate()), anyValue(0)});
        replay.frames.push_back(f);
    }
    replay.header.steps = 2499;
    replay.header.maxSteps = 100000;
    const QByteArray file = encodeReplay(replay);
    QVERIFY(file.size() > 64 * 1024);
    Replay back;
    QString error;
    QVERIFY2(decodeReplay(file, back, error), qPrintable(error));
    QCOMPARE(back.frames.size(), replay.frames.size());
    for (size_t s = 0; s < replay.frames.size(); ++s) {
        const ReplayFrame &a = replay.frames[s], &b = back.frames[s];
        QVERIFY2(a.radius == b.radius && a.x == b.x && a.y == b.y && a.vx == b.vx && a.vy == b.vy
                     && a.action == b.action,
                 qPrintable(QStringLiteral("step %1").arg(s)));
        QCOMPARE(b.changes.size(), a.changes.size());
        for (size_t c = 0; c < a.changes.size(); ++c)
            QVERIFY(b.changes[c].cause == a.changes[c].cause && b.changes[c].other == a.changes[c].other
                    && b.changes[c].delta == a.changes[c].delta);
    }
}

void TestReplay::arenaReplaysReproduceTheirRows()
{
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("rows.csv"));
    const QString records = dir.filePath(QStringLiteral("replays"));
    const Run run = runProgram(QStringLiteral(ARENA_EXE),
                               {QStringLiteral("--games"), QStringLiteral("4"), QStringLiteral("--controller"),
                                QStringLiteral(CRASH_ON_SEED_LIB), QStringLiteral("--record"), records,
                                QStringLiteral("--record-games"), QStringLiteral("all"), QStringLiteral("--csv"), csv,
                                QStringLiteral("--log-dir"), dir.filePath(QStringLiteral("logs"))});
    QCOMPARE(run.exitCode, 1); // seed 3 crashes at step 100
    const QString label = QStringLiteral(CRASH_ON_SEED_LIB);
    const QMap<uint32_t, QStringList> rows = csvRows(csv, label);
    QCOMPARE(rows.size(), 4);
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        const QStringList &row = rows[seed];
        // The column holds the replay's path, ready for pelloria --replay.
        const QString path = row.last();
        QCOMPARE(path,
                 QDir(records).filePath(QStringLiteral("1-libcontroller_crash_on_seed-seed%1.replay.gz").arg(seed)));
        Replay replay;
        QString error;
        QVERIFY2(readReplay(path, replay, error), qPrintable(error));
        QCOMPARE(replay.header.seed, seed);
        if (seed == 3) {
            // Everything before the crash, and the crash named.
            QCOMPARE(replay.header.outcome, QStringLiteral("crashed"));
            QCOMPARE(replay.header.failedAtStep, 100);
            QCOMPARE(replay.header.steps, 99);
            continue;
        }
        QCOMPARE(replay.header.outcome, row[2]);
        QCOMPARE(replay.header.steps, row[3].toInt());
        QCOMPARE(std::max(0, replay.frames.back().radius[0]), row[5].toInt());
        const int deathStep = replay.deathSteps()[0];
        QCOMPARE(deathStep == 0 ? QString() : QString::number(deathStep), row[9]);
    }
    // The default, lost games only, and the rows say where the rest are not.
    const Run lost
        = runProgram(QStringLiteral(ARENA_EXE),
                     {QStringLiteral("--games"), QStringLiteral("4"), QStringLiteral("--controller"),
                      QStringLiteral(BRAINLET_LIB), QStringLiteral("--record"), dir.filePath(QStringLiteral("lost")),
                      QStringLiteral("--csv"), csv, QStringLiteral("--log-dir"), dir.filePath(QStringLiteral("logs"))});
    QCOMPARE(lost.exitCode, 0);
    const QMap<uint32_t, QStringList> reference = csvRows(csv, QStringLiteral(BRAINLET_LIB));
    int lostGames = 0;
    for (const QStringList &row : reference) {
        const bool survived = row[4] == QLatin1String("1");
        lostGames += survived ? 0 : 1;
        QCOMPARE(row.last().isEmpty(), survived);
    }
    QCOMPARE(QDir(dir.filePath(QStringLiteral("lost"))).entryList(QDir::Files).size(), lostGames);
}

void TestReplay::seedInTheWindowIsTheArenasGame()
{
    // What `pelloria --seed N` plays is the arena's row for N.
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("rows.csv"));
    QCOMPARE(runProgram(QStringLiteral(ARENA_EXE),
                        {QStringLiteral("--seed"), QStringLiteral("30"), QStringLiteral("--games"), QStringLiteral("3"),
                         QStringLiteral("--controller"), QStringLiteral(BRAINLET_LIB), QStringLiteral("--csv"), csv,
                         QStringLiteral("--log-dir"), dir.filePath(QStringLiteral("logs"))})
                 .exitCode,
             0);
    const QMap<uint32_t, QStringList> rows = csvRows(csv, QStringLiteral(BRAINLET_LIB));
    const LoadedController reference = loadController(QStringLiteral(BRAINLET_LIB), QStringLiteral("reference"));
    QVERIFY(reference.function);
    for (uint32_t seed = 30; seed < 33; ++seed) {
        const Replay replay = recorded(reference.function, seed);
        QCOMPARE(replay.header.outcome, rows[seed][2]);
        QCOMPARE(replay.header.steps, rows[seed][3].toInt());
    }
    // And through the program itself, offscreen: one picture a step.
    const QString frames = dir.filePath(QStringLiteral("frames"));
    const Run run = pelloria({QStringLiteral("--seed"), QStringLiteral("30"), QStringLiteral("--max-steps"),
                              QStringLiteral("4"), QStringLiteral("--export-frames"), frames});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(
        QDir(frames).entryList(QDir::Files),
        QStringList({"frame-00000.png", "frame-00001.png", "frame-00002.png", "frame-00003.png", "frame-00004.png"}));
}

// A controller that crashes, spins or ends the process: the viewer plays it
// in a process of its own, writes every step before the failure, and says
// by its exit code that the game failed.
void TestReplay::seedModeSurvivesItsController()
{
    const struct {
        const char *library;
        const char *seed;
        int frames; // steps 0 .. failure - 1
    } failing[] = {{CRASH_ON_SEED_LIB, "3", 100}, {HANG_ON_SEED_LIB, "2", 10}, {EXIT_ON_SEED_LIB, "4", 20}};
    for (const auto &f : failing) {
        QTemporaryDir dir;
        const Run run = pelloria({QStringLiteral("--seed"), QLatin1String(f.seed), QStringLiteral("--controller"),
                                  QString::fromLocal8Bit(f.library), QStringLiteral("--export-frames"), dir.path()});
        QCOMPARE(run.exitCode, 1);
        const QStringList written = QDir(dir.path()).entryList(QDir::Files);
        QCOMPARE(written.size(), f.frames);
        QCOMPARE(written.last(), QStringLiteral("frame-%1.png").arg(f.frames - 1, 5, 10, QLatin1Char('0')));
    }
    // The window says how, in the arena's words, at the last step.
    ReplayWindow window(recorded(&storesRight, 9));
    window.setEnding(QStringLiteral("crashed at seed 9, step 12: signal 11 (SIGSEGV)"));
    window.seek(window.lastStep());
    QVERIFY(window.statusText().endsWith(QStringLiteral("game over: crashed at seed 9, step 12: signal 11 (SIGSEGV)")));
}

void TestReplay::viewerStepsSeeksAndMarksDeaths()
{
    const Replay replay = recorded(&storesRight, 9);
    const std::array<int, replayAgents> deaths = replay.deathSteps();
    ReplayWindow window(replay);
    window.show();
    QCOMPARE(window.step(), 0);
    QCOMPARE(window.lastStep(), replay.header.steps);
    window.seek(100);
    QCOMPARE(window.step(), 100);
    QVERIFY(window.statusText().startsWith(QStringLiteral("step 100 of %1").arg(replay.header.steps)));
    QTest::keyClick(&window, Qt::Key_Right);
    QCOMPARE(window.step(), 101);
    QTest::keyClick(&window, Qt::Key_Left);
    QTest::keyClick(&window, Qt::Key_Left);
    QCOMPARE(window.step(), 99);
    window.seek(-5);
    QCOMPARE(window.step(), 0);
    window.seek(1000000);
    QCOMPARE(window.step(), window.lastStep());
    QVERIFY(window.statusText().contains(QStringLiteral("game over: %1").arg(replay.header.outcome)));

    // The timeline marks each death and jumps where it is clicked.
    QVERIFY(window.timeline()->deaths() == deaths);
    int dead = 0;
    for (int s : deaths)
        dead += s > 0 ? 1 : 0;
    QVERIFY(dead >= 6); // the game ends with three or fewer alive
    window.seek(0);
    QTest::mouseClick(window.timeline(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(window.timeline()->width() / 2, window.timeline()->height() / 2));
    QVERIFY2(qAbs(window.step() - window.lastStep() / 2) <= window.lastStep() / 10,
             qPrintable(QString::number(window.step())));

    // Speeds from 0.25x to 8x; playing moves on by itself and stops at the end.
    window.setSpeedIndex(0);
    QCOMPARE(window.speed(), 0.25);
    window.setSpeedIndex(ReplayWindow::speedCount - 1);
    QCOMPARE(window.speed(), 8.0);
    window.seek(window.lastStep() - 5);
    window.playPause();
    QVERIFY(window.playing());
    QTRY_VERIFY_WITH_TIMEOUT(!window.playing(), 30000);
    QCOMPARE(window.step(), window.lastStep());
}

void TestReplay::commandLineRefusesBadArguments()
{
    QTemporaryDir dir;
    QFile damaged(dir.filePath(QStringLiteral("damaged.replay.gz")));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(encodeReplay(recorded(&storesRight, 2, 50)).left(300));
    damaged.close();
    const struct {
        QStringList arguments;
        const char *message;
    } cases[] = {
        {{"--seed", "abc"}, "--seed takes a whole number"},
        {{"--seed", "-3"}, "--seed takes a whole number"},
        {{"--replay", damaged.fileName()}, "the file is truncated"},
        {{"--replay", dir.filePath(QStringLiteral("none.gz"))}, "cannot read"},
        {{"--seed", "3", "--replay", damaged.fileName()}, "give either --replay FILE or --seed N"},
        {{"--controller", "x.so"}, "give either --replay FILE or --seed N"},
        {{"--seed", "3", "--controller", dir.filePath(QStringLiteral("missing.so")), "--export-frames", dir.path()},
         "no such file"},
        {{"--seed", "3", "--speed", "2"}, "Unknown option 'speed'"},
    };
    for (const auto &c : cases) {
        const Run run = pelloria(c.arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(QString::fromLatin1(c.message)), qPrintable(run.err));
        QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
    }
}

void TestReplay::videoNeedsFfmpeg()
{
    QTemporaryDir dir;
    // Without ffmpeg on PATH: one line saying which package brings it.
    QProcess bare;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), dir.path());
    bare.setProcessEnvironment(env);
    bare.start(QStringLiteral(PELLORIA_EXE),
               {QStringLiteral("--seed"), QStringLiteral("2"), QStringLiteral("--max-steps"), QStringLiteral("3"),
                QStringLiteral("--export-video"), dir.filePath(QStringLiteral("game.mp4"))});
    QVERIFY(bare.waitForFinished(processWaitMs));
    QCOMPARE(bare.exitCode(), 2);
    QVERIFY(QString::fromLocal8Bit(bare.readAllStandardError()).contains(QStringLiteral("apt-get install ffmpeg")));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("game.mp4"))));
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        QSKIP("ffmpeg is not installed: the video itself is not tried (apt-get install ffmpeg)");
    const QString gif = dir.filePath(QStringLiteral("game.gif"));
    QCOMPARE(pelloria({QStringLiteral("--seed"), QStringLiteral("2"), QStringLiteral("--max-steps"),
                       QStringLiteral("10"), QStringLiteral("--export-video"), gif})
                 .exitCode,
             0);
    QFile file(gif);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.read(6).startsWith("GIF89a"));
}

QTEST_MAIN(TestReplay)
#include "test_replay.moc"
