#include "arena/arena_command.h"

#include "arena/match_results.h"
#include "arena/merge.h"
#include "arena/outputs.h"
#include "arena/report.h"
#include "arena/run_results.h"
#include "common/seed_text.h"
#include "plugin/controller_library.h"
#include "plugin/controller_symbols.h"

#include <QCommandLineParser>
#include <QThread>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <climits>
#include <cstdio>
#include <memory>

namespace {

// Rows are kept only for --json; ten million of them are a few hundred
// megabytes and hours of play.
constexpr unsigned int maxGames = 10000000;
// More processes than this would only queue for the cores.
constexpr unsigned int maxJobs = 256;
constexpr unsigned int maxMemoryLimitMb = 1u << 20; // a terabyte

bool parseCount(const QCommandLineParser &parser, const QString &name, unsigned int minimum, unsigned int maximum,
                unsigned int &value, QString &error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const QString text = parser.value(name);
    const unsigned long long parsed = text.toULongLong(&ok);
    if (!ok || text.startsWith(QLatin1Char('+')) || parsed < minimum || parsed > maximum) {
        error = QStringLiteral("--%1 takes a whole number from %2 to %3, not '%4'")
                    .arg(name)
                    .arg(minimum)
                    .arg(maximum)
                    .arg(text);
        return false;
    }
    value = unsigned(parsed);
    return true;
}

void printLine(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

constexpr int progressWidth = 30;

void drawProgress(long long done, long long total)
{
    const int filled = total > 0 ? int(done * progressWidth / total) : progressWidth;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(progressWidth - filled, QLatin1Char(' '));
    std::fprintf(stderr, "\r[%s] %lld/%lld games", bar.toLocal8Bit().constData(), done, total);
    std::fflush(stderr);
}

// Two names for one file would have one output overwrite the other.
bool samePath(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists())
        return fa.canonicalFilePath() == fb.canonicalFilePath();
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}

// The options in the order --help lists them; an empty value name is a
// switch.
struct OptionText {
    const char *name;
    const char *description;
    const char *valueName;
};

constexpr OptionText optionTexts[] = {
    {"seed", "First seed (default 1).", "S"},
    {"games", "Number of games: seeds S to S+N-1 (default 100).", "N"},
    {"max-steps", "Steps after which a game is stopped (default 100000).", "M"},
    {"controller",
     "A plug-in library exporting 'controller'; repeat to compare several "
     "(default: the brainlet beside this program).",
     "FILE"},
    {"time-limit", "Milliseconds of processor time one controller call may take (default 50).", "MS"},
    {"first-call-limit",
     "Milliseconds of processor time for loading the library and the first "
     "call of a game together (default 1000).",
     "MS"},
    {"baseline",
     "The --controller the others are compared with, seed by seed "
     "(default: the first).",
     "FILE"},
    {"max-failures", "Stop a controller after N failed games (default: never).", "N"},
    {"jobs",
     "Games played side by side, each in its own process (default: the "
     "number of cores). The rows and statistics are the same for any N.",
     "N"},
    {"shard",
     "Play only part K of N of the seeds: the K-th of N contiguous, "
     "near-equal parts. 'pelloria-arena merge' joins the shards' JSON.",
     "K/N"},
    {"memory-limit", "Megabytes a controller may map beyond the game's own (default 512).", "MB"},
    {"read",
     "A folder the controllers may read besides their library's own (their "
     "data); repeat for more.",
     "DIR"},
    {"log-limit",
     "Megabytes each controller's log may hold; later lines are counted, "
     "not written (default 10).",
     "MB"},
    {"no-sandbox",
     "Let controllers do anything this user may (open files, sockets, "
     "processes): for debugging your own code only.",
     ""},
    {"strict",
     "Play every game with the engine in this process and each controller in "
     "a confined process of its own that sees only a copy of the arrays: "
     "slower, and even reading the game's memory is impossible.",
     ""},
    {"in-process",
     "Play every game in this process, one after another and unconfined, so "
     "that a debugger stops at your controller's crash: for debugging your "
     "own code only.",
     ""},
    {"record",
     "Write a replay of the games --record-games chooses to DIR, for "
     "'pelloria --replay FILE'.",
     "DIR"},
    {"record-games",
     "Which games --record writes: lost (default; failed games count as "
     "lost), failed or all.",
     "WHICH"},
    {"log-dir",
     "Folder for the controllers' own output, one log each "
     "(default: a new folder in the system's temp folder).",
     "DIR"},
    {"csv", "Write one row per game to FILE, as the games finish.", "FILE"},
    {"json",
     "Write the games and the summary to FILE (keeps every row in memory, "
     "about 40 bytes a game).",
     "FILE"},
};

// What merge refuses, in the order it looks: the shards carry their own.
constexpr const char *playOnlyOptions[]
    = {"seed",      "games",     "max-steps",    "controller", "time-limit", "baseline",     "max-failures",     "jobs",
       "shard",     "log-dir",   "memory-limit", "no-sandbox", "record",     "record-games", "first-call-limit", "read",
       "log-limit", "in-process"};

void describeOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Plays seeded Pelloria games without a window and reports how agent 0's controller does.\n"
        "Every game is played in a fresh process with the controller just loaded, and the controller's\n"
        "use of rand() never touches the game's own generator. What a controller prints goes to its log."));
    parser.addHelpOption();
    parser.addVersionOption();
    for (const OptionText &option : optionTexts)
        parser.addOption({QString::fromLatin1(option.name), QString::fromLatin1(option.description),
                          QString::fromLatin1(option.valueName)});
}

// 'merge FILES...' or 'match' or nothing: what the run is.
bool parseMode(const QCommandLineParser &parser, ArenaCommand &command, QString &error)
{
    const QStringList positional = parser.positionalArguments();
    if (!positional.isEmpty() && positional.first() == QLatin1String("merge")) {
        command.mergeInputs = positional.mid(1);
        if (command.mergeInputs.isEmpty()) {
            error = QStringLiteral("merge needs the shards' JSON files");
            return false;
        }
        for (const char *option : playOnlyOptions) {
            if (parser.isSet(QString::fromLatin1(option))) {
                error = QStringLiteral("merge takes its settings from the shards, not --%1").arg(QLatin1String(option));
                return false;
            }
        }
    } else if (positional.size() == 1 && positional.first() == QLatin1String("match")) {
        command.match = true;
    } else if (!positional.isEmpty()) {
        error = QStringLiteral("unexpected argument '%1'").arg(positional.first());
        return false;
    }
    return true;
}

// The run's numbers as given, checked before any goes into the settings.
struct RunNumbers {
    unsigned int seed, games, maxSteps, timeLimit, maxFailures, jobs, memoryLimit, firstCall, logLimit;
};

RunNumbers defaultNumbers(const ArenaSettings &s)
{
    return RunNumbers{s.firstSeed,
                      unsigned(s.games),
                      unsigned(s.maxSteps),
                      unsigned(s.timeLimitMs),
                      0,
                      unsigned(std::max(1, QThread::idealThreadCount())),
                      unsigned(s.memoryLimitMb),
                      unsigned(s.firstCallMs),
                      unsigned(s.logLimitBytes >> 20)};
}

bool parseSeed(const QCommandLineParser &parser, unsigned int &seed, QString &error)
{
    if (!parser.isSet(QStringLiteral("seed")))
        return true;
    std::string why;
    uint32_t read = 0;
    if (!readSeed(parser.value(QStringLiteral("seed")).toStdString(), "--seed", read, why)) {
        error = QString::fromStdString(why);
        return false;
    }
    seed = read;
    return true;
}

bool parseNumbers(const QCommandLineParser &parser, RunNumbers &n, QString &error)
{
    return parseSeed(parser, n.seed, error) && parseCount(parser, QStringLiteral("games"), 1, maxGames, n.games, error)
        && parseCount(parser, QStringLiteral("max-steps"), 1, INT_MAX, n.maxSteps, error)
        && parseCount(parser, QStringLiteral("time-limit"), 1, INT_MAX, n.timeLimit, error)
        && parseCount(parser, QStringLiteral("max-failures"), 1, INT_MAX, n.maxFailures, error)
        && parseCount(parser, QStringLiteral("jobs"), 1, maxJobs, n.jobs, error)
        && parseCount(parser, QStringLiteral("memory-limit"), 16, maxMemoryLimitMb, n.memoryLimit, error)
        && parseCount(parser, QStringLiteral("first-call-limit"), 1, INT_MAX, n.firstCall, error)
        && parseCount(parser, QStringLiteral("log-limit"), 1, 1u << 20, n.logLimit, error);
}

bool parseShard(const QCommandLineParser &parser, ArenaSettings &s, QString &error)
{
    if (!parser.isSet(QStringLiteral("shard")))
        return true;
    const QString text = parser.value(QStringLiteral("shard"));
    const QStringList parts = text.split(QLatin1Char('/'));
    bool okK = false, okN = false;
    const int k = parts.size() == 2 ? parts[0].toInt(&okK) : 0;
    const int n = parts.size() == 2 ? parts[1].toInt(&okN) : 0;
    if (!okK || !okN || n < 1 || k < 1 || k > n || text.contains(QLatin1Char('+'))) {
        error = QStringLiteral("--shard takes K/N with 1 <= K <= N, not '%1'").arg(text);
        return false;
    }
    s.shard = k;
    s.shards = n;
    return true;
}

bool seedsFit(const RunNumbers &n, QString &error)
{
    if (quint64(n.seed) + n.games - 1 > UINT_MAX) {
        error
            = QStringLiteral("seeds %1 to %1+%2-1 go past the largest seed, %3").arg(n.seed).arg(n.games).arg(UINT_MAX);
        return false;
    }
    return true;
}

void applyNumbers(const RunNumbers &n, ArenaSettings &s)
{
    s.firstSeed = n.seed;
    s.games = int(n.games);
    s.maxSteps = int(n.maxSteps);
    s.timeLimitMs = int(n.timeLimit);
    s.maxFailures = int(n.maxFailures);
    s.jobs = int(n.jobs);
    s.memoryLimitMb = int(n.memoryLimit);
    s.firstCallMs = int(n.firstCall);
    s.logLimitBytes = (long long)n.logLimit << 20;
}

void applySwitches(const QCommandLineParser &parser, const ArenaCommand &command, ArenaSettings &s)
{
    s.readable = parser.values(QStringLiteral("read"));
    s.sandbox = !parser.isSet(QStringLiteral("no-sandbox"));
    s.inProcess = parser.isSet(QStringLiteral("in-process"));
    s.strict = parser.isSet(QStringLiteral("strict")) || command.match;
    s.recordDir = parser.value(QStringLiteral("record"));
}

// Which games --record writes: lost unless --record-games says otherwise.
bool parseRecording(const QCommandLineParser &parser, ArenaSettings &s, QString &error)
{
    if (parser.isSet(QStringLiteral("record-games")) && s.recordDir.isEmpty()) {
        error = QStringLiteral("--record-games goes with --record DIR");
        return false;
    }
    if (s.recordDir.isEmpty())
        return true;
    const QString which = parser.isSet(QStringLiteral("record-games")) ? parser.value(QStringLiteral("record-games"))
                                                                       : QStringLiteral("lost");
    s.recordGames = which == QLatin1String("lost") ? RecordLost
        : which == QLatin1String("failed")         ? RecordFailed
        : which == QLatin1String("all")            ? RecordAll
                                                   : RecordNone;
    if (s.recordGames == RecordNone) {
        error = QStringLiteral("--record-games takes lost, failed or all, not '%1'").arg(which);
        return false;
    }
    return true;
}

bool shardsHaveGames(const ArenaSettings &s, unsigned int games, QString &error)
{
    if (s.shards > int(games)) {
        error = QStringLiteral("--shard %1/%2 leaves shards without games: there are only %3")
                    .arg(s.shard)
                    .arg(s.shards)
                    .arg(games);
        return false;
    }
    return true;
}

// The controllers and the files the run reads and writes.
bool parseFiles(const QCommandLineParser &parser, ArenaCommand &command, QString &error)
{
    command.controllers = parser.values(QStringLiteral("controller"));
    command.csvPath = parser.value(QStringLiteral("csv"));
    command.jsonPath = parser.value(QStringLiteral("json"));
    command.logDir = parser.value(QStringLiteral("log-dir"));
    command.baseline = parser.value(QStringLiteral("baseline"));
    if (samePath(command.csvPath, command.jsonPath)) {
        error = QStringLiteral("--csv and --json name the same file, '%1'").arg(command.csvPath);
        return false;
    }
    if (!command.baseline.isEmpty() && baselineIndex(command) < 0) {
        error = QStringLiteral("--baseline '%1' is none of the --controller files").arg(command.baseline);
        return false;
    }
    return true;
}

} // namespace

bool parseArenaCommand(const QStringList &arguments, ArenaCommand &command, QString &error)
{
    QCommandLineParser parser;
    describeOptions(parser);
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    ArenaSettings &s = command.settings;
    RunNumbers numbers = defaultNumbers(s);
    if (!parseMode(parser, command, error) || !parseNumbers(parser, numbers, error) || !parseShard(parser, s, error)
        || !seedsFit(numbers, error))
        return false;
    applyNumbers(numbers, s);
    applySwitches(parser, command, s);
    return parseRecording(parser, s, error) && shardsHaveGames(s, numbers.games, error)
        && parseFiles(parser, command, error);
}

int baselineIndex(const ArenaCommand &command)
{
    if (command.baseline.isEmpty())
        return 0;
    for (int c = 0; c < command.controllers.size(); ++c)
        if (command.controllers[c] == command.baseline || samePath(command.controllers[c], command.baseline))
            return c;
    return -1;
}

// Controllers against each other: a table on stdout, --csv and --json.
int runMatchCommand(const QVector<ControllerSpec> &specs, const ArenaCommand &command)
{
    if (specs.size() < 2 || specs.size() > int(rules::agentsPerGame)) {
        printLine(stderr,
                  QStringLiteral("pelloria-arena: a match takes 2 to %1 controllers").arg(rules::agentsPerGame));
        return ExitUnusable;
    }
    ArenaOutputs outputs;
    QString error;
    if (!outputs.open(command.csvPath, command.jsonPath, error)) {
        printLine(stderr, QStringLiteral("pelloria-arena: %1").arg(error));
        return ExitUnusable;
    }
    MatchResults results(specs, outputs.csv(), outputs.wantsJson());
    double exchangeNs = 0;
    if (!runMatch(specs, command.settings, results, error, &exchangeNs)
        || !outputs.finish(results, command.settings, exchangeNs, error)) {
        printLine(stderr, QStringLiteral("pelloria-arena: %1").arg(error));
        return ExitUnusable;
    }
    return results.anyFailure() ? ExitSomeFailed : ExitOk;
}

namespace {

// The controllers to play, each a file that is there: the brainlet beside
// the program when none is named.
bool controllersToPlay(const ArenaCommand &command, const QString &programDir, QVector<ControllerSpec> &specs)
{
    if (command.controllers.isEmpty())
        specs.append({defaultControllerPath(programDir), QStringLiteral("brainlet"), QString()});
    for (const QString &path : command.controllers)
        specs.append({path, path, QString()});
    for (const ControllerSpec &entry : specs) {
        if (!QFileInfo::exists(entry.path)) {
            printLine(stderr, QStringLiteral("pelloria-arena: %1: no such file").arg(entry.path));
            return false;
        }
    }
    return true;
}

// The logs' folder: made here, kept after the run, since it is what a
// writer reads to find out why a game went wrong. And the replays' folder.
bool makeFolders(const ArenaCommand &command, QString &logDir)
{
    logDir = command.logDir;
    if (logDir.isEmpty()) {
        QTemporaryDir made(QDir(QDir::tempPath()).filePath(QStringLiteral("pelloria-arena-XXXXXX")));
        made.setAutoRemove(false);
        logDir = made.path();
        if (!made.isValid()) {
            printLine(stderr,
                      QStringLiteral("pelloria-arena: cannot make a folder for the logs: %1").arg(made.errorString()));
            return false;
        }
    } else if (!QDir().mkpath(logDir)) {
        printLine(stderr, QStringLiteral("pelloria-arena: cannot make the log folder %1").arg(logDir));
        return false;
    }
    if (!command.settings.recordDir.isEmpty() && !QDir().mkpath(command.settings.recordDir)) {
        printLine(stderr, QStringLiteral("pelloria-arena: cannot make the folder %1").arg(command.settings.recordDir));
        return false;
    }
    return true;
}

// Each controller's file hash, for the replays, and its log in `logDir`.
void identifyControllers(QVector<ControllerSpec> &specs, const QString &logDir)
{
    for (ControllerSpec &entry : specs)
        entry.sha256 = librarySha256(entry.path);
    for (int c = 0; c < specs.size(); ++c)
        specs[c].logPath
            = QDir(QDir(logDir).absolutePath())
                  .filePath(QStringLiteral("%1-%2.log").arg(c + 1).arg(QFileInfo(specs[c].path).completeBaseName()));
}

// Plays the run and writes its outputs: the report on stdout, --csv, --json.
int playRun(const QVector<ControllerSpec> &specs, const ArenaCommand &command)
{
    ArenaOutputs outputs;
    QString error;
    if (!outputs.open(command.csvPath, command.jsonPath, error)) {
        printLine(stderr, QStringLiteral("pelloria-arena: %1").arg(error));
        return ExitUnusable;
    }

    RunResults results(specs, std::max(0, baselineIndex(command)), outputs.wantsJson(), outputs.csv());
    results.setRecordFolder(command.settings.recordDir);
    std::function<void(long long, long long)> progress;
    if (command.progress)
        progress = [](long long done, long long total) { drawProgress(done, total); };
    if (!runArena(specs, command.settings, results, error, progress)) {
        printLine(stderr, QStringLiteral("pelloria-arena: %1").arg(error));
        return ExitUnusable;
    }
    if (command.progress)
        std::fputs("\n", stderr);
    if (!outputs.finish(results, command.settings, error)) {
        printLine(stderr, QStringLiteral("pelloria-arena: %1").arg(error));
        return ExitUnusable;
    }
    return results.anyFailure() ? ExitSomeFailed : ExitOk;
}

} // namespace

int runArenaCommand(const ArenaCommand &command, const QString &programDir)
{
    if (!command.mergeInputs.isEmpty())
        return runMerge(command.mergeInputs, command.csvPath, command.jsonPath);
    QVector<ControllerSpec> specs;
    QString logDir;
    if (!controllersToPlay(command, programDir, specs) || !makeFolders(command, logDir))
        return ExitUnusable;
    identifyControllers(specs, logDir);
    if (command.match)
        return runMatchCommand(specs, command);
    return playRun(specs, command);
}
