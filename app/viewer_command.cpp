#include "app/viewer_command.h"

#include "app/agent_panel.h"
#include "app/frame_export.h"
#include "app/replay_window.h"
#include "arena/judge/match.h"
#include "arena/row_text.h"
#include "arena/runner.h"
#include "brainlet/brainlet.h"
#include "common/exit_codes.h"
#include "common/seed_text.h"
#include "common/version.h"
#include "engine/game_rules.h"
#include "plugin/controller_symbols.h"
#include "replay/recorder.h"
#include "views/offscreen.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int defaultMaxSteps = 100000;
const char *const viewerOptions[]
    = {"--replay", "--seed", "--controller", "--export-frames", "--export-video", "--max-steps", "--step",
       "--from",   "--to",   "--overlay",    "--log",           "--help",         "--version"};

int fail(const QString &message)
{
    std::fprintf(stderr, "pelloria: %s\n", message.toLocal8Bit().constData());
    return ExitUnusable;
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
    void stopped(int, int) override { }
    void timing(int, const CallTiming &) override { }
};

// One game, `seed`, played one at a time and recorded to `dir`.
ArenaSettings recordedSeed(uint32_t seed, int maxSteps, const QString &dir)
{
    ArenaSettings settings;
    settings.firstSeed = seed;
    settings.games = 1;
    settings.maxSteps = maxSteps;
    settings.jobs = 1;
    settings.recordGames = RecordAll;
    settings.recordDir = dir;
    return settings;
}

// The game of `seed` as the arena plays it, by the arena's own launcher and
// judge: the controller in a confined process of its own, so that whatever
// it does (crash, hang, exit) the viewer lives on and shows the game up to
// the step before. `ending` says how a failed game ended, in the arena's
// words; it stays empty for a game played to its end.
bool playSeed(const QString &path, uint32_t seed, int maxSteps, Replay &replay, QString &ending, QByteArray &log,
              QString &error)
{
    QTemporaryDir dir;
    const ArenaSettings settings = recordedSeed(seed, maxSteps, dir.path());
    const ControllerSpec entry(path, QFileInfo(path).fileName(), dir.filePath(QStringLiteral("controller.log")),
                               librarySha256(path));
    OneGame game;
    if (!runArena({entry}, settings, game, error))
        return false;
    QFile logFile(entry.logPath);
    if (logFile.open(QIODevice::ReadOnly))
        log = logFile.readAll();
    if (game.row.failed())
        ending = failureLine(game.row);
    const QString file = QDir(dir.path()).filePath(replayFileName(0, path, seed));
    if (game.row.replayed && readReplay(file, replay, error))
        return true;
    error = game.played ? QStringLiteral("the game of seed %1 could not be shown: %2").arg(seed).arg(ending)
                        : QStringLiteral("the game of seed %1 was not played").arg(seed);
    return false;
}

// Collects the rows of a viewer's match game.
struct OneMatchGame : MatchListener {
    std::vector<MatchRow> rows;
    void game(const std::vector<MatchRow> &r) override { rows = r; }
};

// The game of `seed` with controller i steering agent i, refereed as
// 'pelloria-arena match' plays it, each in a confined process of its own. A
// seat that fails loses its agent and the game goes on; the replay's seats
// say which and how. `log` is agent 0's controller's.
bool playMatchSeed(const QStringList &paths, uint32_t seed, int maxSteps, Replay &replay, QByteArray &log,
                   QString &error)
{
    QTemporaryDir dir;
    const ArenaSettings settings = recordedSeed(seed, maxSteps, dir.path());
    QVector<ControllerSpec> specs;
    for (int c = 0; c < paths.size(); ++c)
        specs.append(ControllerSpec(paths[c], QFileInfo(paths[c]).fileName(),
                                    dir.filePath(QStringLiteral("controller-%1.log").arg(c + 1)),
                                    librarySha256(paths[c])));
    OneMatchGame game;
    if (!runMatch(specs, settings, game, error, nullptr, false))
        return false;
    QFile logFile(specs.front().logPath);
    if (logFile.open(QIODevice::ReadOnly))
        log = logFile.readAll();
    if (!game.rows.empty() && game.rows.front().replayed
        && readReplay(QDir(dir.path()).filePath(matchReplayFileName(seed, 0)), replay, error))
        return true;
    error = QStringLiteral("the game of seed %1 could not be shown%2")
                .arg(seed)
                .arg(error.isEmpty() ? QString() : QStringLiteral(": ") + error);
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

namespace {

void addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Without options: the game. With them: watch a recorded game, or play one seed exactly as "
        "pelloria-arena plays it (its outcome and steps are the arena's row for that seed) and watch it."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QList<QCommandLineOption> options{
        {QStringLiteral("replay"), QStringLiteral("Watch the replay FILE (pelloria-arena --record)."),
         QStringLiteral("FILE")},
        {QStringLiteral("seed"), QStringLiteral("Play the game of seed N as the arena does, and watch it."),
         QStringLiteral("N")},
        {QStringLiteral("controller"),
         QStringLiteral("With --seed: the plug-in to play (default: the brainlet beside the program); "
                        "repeat to seat several, the first at agent [1], the next at [2], ..., as a match does."),
         QStringLiteral("FILE")},
        {QStringLiteral("max-steps"), QStringLiteral("With --seed: the step limit (default 100000)."),
         QStringLiteral("M")},
        {QStringLiteral("step"), QStringLiteral("Open the window at step K."), QStringLiteral("K")},
        {QStringLiteral("log"),
         QStringLiteral("With --replay: the controller's log from pelloria-arena, its lines shown at their step."),
         QStringLiteral("FILE")},
        {QStringLiteral("export-frames"), QStringLiteral("Write the steps as DIR/frame-NNNNN.png, without a window."),
         QStringLiteral("DIR")},
        {QStringLiteral("export-video"),
         QStringLiteral("Write the game as FILE (.mp4, .mkv, .webm or .gif) through ffmpeg, without a window."),
         QStringLiteral("FILE")},
        {QStringLiteral("from"), QStringLiteral("Export from step K (default 0)."), QStringLiteral("K")},
        {QStringLiteral("to"), QStringLiteral("Export up to step K (default the last)."), QStringLiteral("K")},
        {QStringLiteral("overlay"),
         QStringLiteral("Burn the viewer's overlay, the step and the status line into exports.")}};
    parser.addOptions(options);
}

// What the command line asks of the viewer.
struct ViewerRequest {
    bool fromSeed = false;
    uint32_t seed = 0;
    int maxSteps = defaultMaxSteps;
    int step = 0;
    QString frames, video;
    ExportOptions exporting;
    bool exports() const { return !frames.isEmpty() || !video.isEmpty(); }
};

bool readStep(const QCommandLineParser &parser, const QString &name, int &value, QString &error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const QString text = parser.value(name);
    value = text.toInt(&ok);
    if (!ok || value < 0 || text.startsWith(QLatin1Char('+')))
        error = QStringLiteral("--%1 takes a whole number from 0, not '%2'").arg(name, text);
    return error.isEmpty();
}

bool readSeedOption(const QCommandLineParser &parser, ViewerRequest &r, QString &error)
{
    std::string why;
    if (!readSeed(parser.value(QStringLiteral("seed")).toStdString(), "--seed", r.seed, why))
        error = QString::fromStdString(why);
    else if (parser.isSet(QStringLiteral("max-steps"))
             && (!readStep(parser, QStringLiteral("max-steps"), r.maxSteps, error) || r.maxSteps < 1))
        error = QStringLiteral("--max-steps takes a whole number from 1, not '%1'")
                    .arg(parser.value(QStringLiteral("max-steps")));
    return error.isEmpty();
}

bool readRequest(const QCommandLineParser &parser, ViewerRequest &r, QString &error)
{
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
        return false;
    }
    const bool fromFile = parser.isSet(QStringLiteral("replay"));
    r.fromSeed = parser.isSet(QStringLiteral("seed"));
    if (fromFile == r.fromSeed)
        error = QStringLiteral("give either --replay FILE or --seed N");
    else if (fromFile && (parser.isSet(QStringLiteral("controller")) || parser.isSet(QStringLiteral("max-steps"))))
        error = QStringLiteral("--controller and --max-steps go with --seed, not --replay");
    if (!error.isEmpty() || (r.fromSeed && !readSeedOption(parser, r, error)))
        return false;
    r.frames = parser.value(QStringLiteral("export-frames"));
    r.video = parser.value(QStringLiteral("export-video"));
    r.exporting.overlay = parser.isSet(QStringLiteral("overlay"));
    if (!r.video.isEmpty() && !videoFormatSupported(r.video))
        error = QStringLiteral("--export-video writes .mp4, .mkv, .webm or .gif, not '%1'").arg(r.video);
    else if (!r.video.isEmpty() && !QFileInfo(QFileInfo(r.video).absolutePath()).isWritable())
        error = QStringLiteral("--export-video cannot write into %1").arg(QFileInfo(r.video).absolutePath());
    return error.isEmpty() && readStep(parser, QStringLiteral("step"), r.step, error)
        && readStep(parser, QStringLiteral("from"), r.exporting.from, error)
        && readStep(parser, QStringLiteral("to"), r.exporting.to, error);
}

bool readLog(const QString &path, QByteArray &log, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the log %1: %2").arg(path, file.errorString());
        return false;
    }
    log = file.readAll();
    return true;
}

// Exports what was asked; 0, 1 for a game that failed (what could be
// written is), or 2.
int exportGame(const Replay &replay, const ViewerRequest &r, bool failed)
{
    QString error;
    if (r.exporting.from > int(replay.frames.size()) - 1)
        return fail(QStringLiteral("--from %1 is past the game's last step, %2")
                        .arg(r.exporting.from)
                        .arg(replay.frames.size() - 1));
    if (!r.frames.isEmpty() && !exportFrames(replay, r.frames, r.exporting, error))
        return fail(error);
    if (!r.video.isEmpty() && !exportVideo(replay, r.video, r.exporting, error))
        return fail(error);
    return failed ? 1 : 0;
}

// The seed's game with one controller against random agents, or with
// several seated as in a match.
bool playRequested(const QCommandLineParser &parser, ViewerRequest &request, Replay &replay, QByteArray &log,
                   QString &error)
{
    const QStringList paths = parser.values(QStringLiteral("controller"));
    if (paths.size() > int(rules::agentsPerGame)) {
        error = QStringLiteral("at most %1 --controller, one for each agent").arg(rules::agentsPerGame);
        return false;
    }
    if (paths.size() > 1)
        return playMatchSeed(paths, request.seed, request.maxSteps, replay, log, error);
    const QString path = paths.isEmpty()
        ? QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("libbrainlet.so"))
        : paths.front();
    return playSeed(path, request.seed, request.maxSteps, replay, request.exporting.ending, log, error);
}

} // namespace

int runViewer(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    addOptions(parser);
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
    ViewerRequest request;
    QString error;
    if (!readRequest(parser, request, error))
        return fail(error);
    // Read the game before any window: a bad file costs nothing.
    Replay replay;
    QByteArray log;
    if (!request.fromSeed && !readReplay(parser.value(QStringLiteral("replay")), replay, error))
        return fail(error);
    if (parser.isSet(QStringLiteral("log")) && !readLog(parser.value(QStringLiteral("log")), log, error))
        return fail(error);
    if (request.exports() && !displayAvailable(argc, argv))
        prepareOffscreen(); // pictures need no screen
    if (!request.exports() && !displayAvailable(argc, argv))
        return fail(QStringLiteral("no display to open the window on; try xvfb-run, or --export-frames"));
    ensureRuntimeDir();
    QApplication app(argc, argv);
    if (request.fromSeed && !playRequested(parser, request, replay, log, error))
        return fail(error);
    if (request.exports())
        return exportGame(replay, request, !request.exporting.ending.isEmpty());
    const uint32_t seed = replay.header.seed;
    ReplayWindow window(std::move(replay));
    window.setEnding(request.exporting.ending);
    window.setLog(logLinesOf(log, seed));
    window.seek(request.step);
    window.show();
    return app.exec();
}
