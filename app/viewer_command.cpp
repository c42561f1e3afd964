#include "viewer_command.h"

#include "arena_painter.h"
#include "offscreen.h"
#include "brainlet.h"
#include "controller_symbols.h"
#include "game_rules.h"
#include "recorder.h"
#include "replay_window.h"
#include "row_text.h"
#include "runner.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLibrary>
#include <QPaintEvent>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__GNUC__) && defined(__ELF__)
#  pragma weak controller
#endif

namespace {

constexpr int defaultMaxSteps = 100000;
const char *const viewerOptions[] = {"--replay", "--seed", "--controller", "--export-frames", "--export-video",
                                     "--max-steps", "--help", "--version"};

int fail(const QString &message)
{
    std::fprintf(stderr, "pelloria: %s\n", message.toLocal8Bit().constData());
    return 2;
}

bool displayAvailable()
{
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char *value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

bool exportVideo(const Replay &replay, const QString &path, QString &error)
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty()) {
        error = QStringLiteral("--export-video needs ffmpeg, which is not installed (apt-get install ffmpeg)");
        return false;
    }
    QTemporaryDir frames;
    if (!exportFrames(replay, frames.path(), error))
        return false;
    QStringList arguments{QStringLiteral("-y"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                          QStringLiteral("-framerate"), QString::number(1000 / rules::tickIntervalMs),
                          QStringLiteral("-i"), QDir(frames.path()).filePath(QStringLiteral("frame-%05d.png"))};
    if (path.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive))
        arguments << QStringLiteral("-vf")
                  << QStringLiteral("scale=640:-1:flags=lanczos,split[a][b];[a]palettegen[p];[b][p]paletteuse");
    else
        arguments << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p");
    arguments << path;
    QProcess process;
    process.start(ffmpeg, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        error = QStringLiteral("ffmpeg could not write %1: %2")
                    .arg(path, QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
        return false;
    }
    return true;
}

// Collects the one row of a viewer's game.
struct OneGame : RunListener {
    GameRow row;
    bool played = false;
    void gameRow(int, int, const GameRow &r) override
    {
        row = r;
        played = true;
    }
    void stopped(int, int) override {}
    void timing(int, const CallTiming &) override {}
};

// The game of `seed` as the arena plays it, by the arena's own launcher and
// judge: the controller in a confined process of its own, so that whatever
// it does (crash, hang, exit) the viewer lives on and shows the game up to
// the step before. `ending` says how a failed game ended, in the arena's
// words; it stays empty for a game played to its end.
bool playSeed(const QString &path, uint32_t seed, int maxSteps, Replay &replay, QString &ending, QString &error)
{
    QTemporaryDir dir;
    ArenaSettings settings;
    settings.firstSeed = seed;
    settings.games = 1;
    settings.maxSteps = maxSteps;
    settings.jobs = 1;
    settings.recordGames = RecordAll;
    settings.recordDir = dir.path();
    const ControllerSpec spec(path, QFileInfo(path).fileName(), dir.filePath(QStringLiteral("controller.log")),
                              librarySha256(path));
    OneGame game;
    if (!runArena({spec}, settings, game, error))
        return false;
    if (game.row.failed())
        ending = QStringLiteral("%1 at seed %2, step %3: %4")
                     .arg(QLatin1String(gameEndName(game.row)))
                     .arg(seed)
                     .arg(game.row.steps)
                     .arg(failureReason(game.row));
    const QString file = QDir(dir.path()).filePath(replayFileName(0, path, seed));
    if (game.row.replayed && readReplay(file, replay, error))
        return true;
    error = game.played ? QStringLiteral("the game of seed %1 could not be shown: %2").arg(seed).arg(ending)
                        : QStringLiteral("the game of seed %1 was not played").arg(seed);
    return false;
}

} // namespace

bool asksForViewer(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        for (const char *option : viewerOptions)
            if (std::strncmp(argv[i], option, std::strlen(option)) == 0)
                return true;
    return false;
}

bool exportFrames(const Replay &replay, const QString &dir, QString &error)
{
    if (!QDir().mkpath(dir)) {
        error = QStringLiteral("cannot make the folder %1").arg(dir);
        return false;
    }
    Ball_engine engine;
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    ArenaPainter painter;
    painter.setup(uint32_t(rules::agentsPerGame), engine);
    QImage image(engine.width, engine.height, QImage::Format_RGB32);
    for (const ReplayFrame &frame : replay.frames) {
        showFrame(frame, engine);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QPaintEvent event(image.rect());
        painter.paint(&p, &event, engine);
        p.end();
        const QString file = QDir(dir).filePath(QStringLiteral("frame-%1.png").arg(frame.step, 5, 10, QLatin1Char('0')));
        if (!image.save(file, "PNG")) {
            error = QStringLiteral("cannot write %1").arg(file);
            return false;
        }
    }
    return true;
}

int runViewer(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Without options: the game. With them: watch a recorded game, or play one seed exactly as "
        "pelloria-arena plays it (its outcome and steps are the arena's row for that seed) and watch it."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("replay"), QStringLiteral("Watch the replay FILE (pelloria-arena --record)."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("seed"), QStringLiteral("Play the game of seed N as the arena does, and watch it."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("controller"),
                      QStringLiteral("With --seed: the plug-in to play (default: the brainlet beside the program)."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("max-steps"), QStringLiteral("With --seed: the step limit (default 100000)."),
                      QStringLiteral("M")});
    parser.addOption({QStringLiteral("export-frames"),
                      QStringLiteral("Write every step as DIR/frame-NNNNN.png, without a window."), QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("export-video"),
                      QStringLiteral("Write the game as FILE (.mp4 or .gif) through ffmpeg, without a window."),
                      QStringLiteral("FILE")});
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    // --help and --version need an application object for their texts.
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version"))) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationVersion(QStringLiteral(PELLORIA_VERSION));
        if (parser.isSet(QStringLiteral("version")))
            parser.showVersion();
        parser.showHelp(0);
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    const bool fromFile = parser.isSet(QStringLiteral("replay"));
    const bool fromSeed = parser.isSet(QStringLiteral("seed"));
    if (fromFile == fromSeed)
        return fail(QStringLiteral("give either --replay FILE or --seed N"));
    if (fromFile && (parser.isSet(QStringLiteral("controller")) || parser.isSet(QStringLiteral("max-steps"))))
        return fail(QStringLiteral("--controller and --max-steps go with --seed, not --replay"));
    uint32_t seed = 0;
    int maxSteps = defaultMaxSteps;
    if (fromSeed) {
        bool ok = false;
        const QString text = parser.value(QStringLiteral("seed"));
        seed = text.toUInt(&ok);
        if (!ok || text.startsWith(QLatin1Char('+')))
            return fail(QStringLiteral("--seed takes a whole number from 0 to 4294967295, not '%1'").arg(text));
        if (parser.isSet(QStringLiteral("max-steps"))) {
            const QString steps = parser.value(QStringLiteral("max-steps"));
            maxSteps = steps.toInt(&ok);
            if (!ok || maxSteps < 1)
                return fail(QStringLiteral("--max-steps takes a whole number from 1, not '%1'").arg(steps));
        }
    }
    const QString frames = parser.value(QStringLiteral("export-frames"));
    const QString video = parser.value(QStringLiteral("export-video"));
    const bool exporting = !frames.isEmpty() || !video.isEmpty();

    // Read the game before any window: a bad file costs nothing.
    Replay replay;
    QString error;
    if (fromFile && !readReplay(parser.value(QStringLiteral("replay")), replay, error))
        return fail(error);
    if (exporting && !displayAvailable())
        prepareOffscreen(); // pictures need no screen
    if (!exporting && !displayAvailable())
        return fail(QStringLiteral("no display to open the window on; try xvfb-run, or --export-frames"));
    ensureRuntimeDir();
    QApplication app(argc, argv);
    bool failed = false;
    QString ending;
    if (fromSeed) {
        const QString path = parser.isSet(QStringLiteral("controller"))
            ? parser.value(QStringLiteral("controller"))
            : QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("libbrainlet.so"));
        if (!playSeed(path, seed, maxSteps, replay, ending, error))
            return fail(error);
        failed = !ending.isEmpty();
    }
    if (!frames.isEmpty() && !exportFrames(replay, frames, error))
        return fail(error);
    if (!video.isEmpty() && !exportVideo(replay, video, error))
        return fail(error);
    if (exporting)
        return failed ? 1 : 0; // what could be written is written
    ReplayWindow window(std::move(replay));
    window.setEnding(ending);
    window.show();
    return app.exec();
}
