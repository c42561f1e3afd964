#include "arena_command.h"

#include "controller_library.h"
#include "controller_symbols.h"
#include "merge.h"
#include "outputs.h"
#include "report.h"
#include "run_results.h"

#include <QCommandLineParser>
#include <QThread>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
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

bool parseCount(const QCommandLineParser &parser, const QString &name, unsigned int minimum,
                unsigned int maximum, unsigned int &value, QString &error)
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

} // namespace

bool parseArenaCommand(const QStringList &arguments, ArenaCommand &command, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays seeded Pelloria games without a window and reports how agent 0's controller does.\n"
        "Every game is played in a fresh process with the controller just loaded, and the controller's\n"
        "use of rand() never touches the game's own generator. What a controller prints goes to its log."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("seed"), QStringLiteral("First seed (default 1)."), QStringLiteral("S")});
    parser.addOption({QStringLiteral("games"), QStringLiteral("Number of games: seeds S to S+N-1 (default 100)."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("max-steps"),
                      QStringLiteral("Steps after which a game is stopped (default 100000)."), QStringLiteral("M")});
    parser.addOption({QStringLiteral("controller"),
                      QStringLiteral("A plug-in library exporting 'controller'; repeat to compare several "
                                     "(default: the brainlet beside this program)."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("time-limit"),
                      QStringLiteral("Milliseconds of processor time one controller call may take (default 50)."),
                      QStringLiteral("MS")});
    parser.addOption({QStringLiteral("first-call-limit"),
                      QStringLiteral("Milliseconds of processor time for loading the library and the first "
                                     "call of a game together (default 1000)."),
                      QStringLiteral("MS")});
    parser.addOption({QStringLiteral("baseline"),
                      QStringLiteral("The --controller the others are compared with, seed by seed "
                                     "(default: the first)."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("max-failures"),
                      QStringLiteral("Stop a controller after N failed games (default: never)."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("jobs"),
                      QStringLiteral("Games played side by side, each in its own process (default: the "
                                     "number of cores). The rows and statistics are the same for any N."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("shard"),
                      QStringLiteral("Play only part K of N of the seeds: the K-th of N contiguous, "
                                     "near-equal parts. 'pelloria-arena merge' joins the shards' JSON."),
                      QStringLiteral("K/N")});
    parser.addOption({QStringLiteral("memory-limit"),
                      QStringLiteral("Megabytes a controller may map beyond the game's own (default 512)."),
                      QStringLiteral("MB")});
    parser.addOption({QStringLiteral("read"),
                      QStringLiteral("A folder the controllers may read besides their library's own (their "
                                     "data); repeat for more."),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("log-limit"),
                      QStringLiteral("Megabytes each controller's log may hold; later lines are counted, "
                                     "not written (default 10)."),
                      QStringLiteral("MB")});
    parser.addOption({QStringLiteral("no-sandbox"),
                      QStringLiteral("Let controllers do anything this user may (open files, sockets, "
                                     "processes): for debugging your own code only.")});
    parser.addOption({QStringLiteral("in-process"),
                      QStringLiteral("Play every game in this process, one after another and unconfined, so "
                                     "that a debugger stops at your controller's crash: for debugging your "
                                     "own code only.")});
    parser.addOption({QStringLiteral("record"),
                      QStringLiteral("Write a replay of the games --record-games chooses to DIR, for "
                                     "'pelloria --replay FILE'."),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("record-games"),
                      QStringLiteral("Which games --record writes: lost (default; failed games count as "
                                     "lost), failed or all."),
                      QStringLiteral("WHICH")});
    parser.addOption({QStringLiteral("log-dir"),
                      QStringLiteral("Folder for the controllers' own output, one log each "
                                     "(default: a new folder in the system's temp folder)."),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("csv"), QStringLiteral("Write one row per game to FILE, as the games finish."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("json"),
                      QStringLiteral("Write the games and the summary to FILE (keeps every row in memory, "
                                     "about 40 bytes a game)."),
                      QStringLiteral("FILE")});

    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    const QStringList positional = parser.positionalArguments();
    if (!positional.isEmpty() && positional.first() == QLatin1String("merge")) {
        command.mergeInputs = positional.mid(1);
        if (command.mergeInputs.isEmpty()) {
            error = QStringLiteral("merge needs the shards' JSON files");
            return false;
        }
        for (const char *option : {"seed", "games", "max-steps", "controller", "time-limit", "baseline",
                                   "max-failures", "jobs", "shard", "log-dir", "memory-limit", "no-sandbox",
                                   "record", "record-games", "first-call-limit", "read", "log-limit",
                                   "in-process"}) {
            if (parser.isSet(QString::fromLatin1(option))) {
                error = QStringLiteral("merge takes its settings from the shards, not --%1").arg(QLatin1String(option));
                return false;
            }
        }
    } else if (!positional.isEmpty()) {
        error = QStringLiteral("unexpected argument '%1'").arg(positional.first());
        return false;
    }

    ArenaSettings &s = command.settings;
    unsigned int seed = s.firstSeed, games = unsigned(s.games), maxSteps = unsigned(s.maxSteps),
                 timeLimit = unsigned(s.timeLimitMs), maxFailures = 0,
                 jobs = unsigned(std::max(1, QThread::idealThreadCount())), memoryLimit = unsigned(s.memoryLimitMb),
                 firstCall = unsigned(s.firstCallMs), logLimit = unsigned(s.logLimitBytes >> 20);
    if (parser.isSet(QStringLiteral("seed"))) {
        bool ok = false;
        const QString text = parser.value(QStringLiteral("seed"));
        seed = text.toUInt(&ok);
        if (!ok || text.startsWith(QLatin1Char('+'))) {
            error = QStringLiteral("--seed takes a whole number from 0 to %1, not '%2'").arg(UINT_MAX).arg(text);
            return false;
        }
    }
    if (!parseCount(parser, QStringLiteral("games"), 1, maxGames, games, error)
        || !parseCount(parser, QStringLiteral("max-steps"), 1, INT_MAX, maxSteps, error)
        || !parseCount(parser, QStringLiteral("time-limit"), 1, INT_MAX, timeLimit, error)
        || !parseCount(parser, QStringLiteral("max-failures"), 1, INT_MAX, maxFailures, error)
        || !parseCount(parser, QStringLiteral("jobs"), 1, maxJobs, jobs, error)
        || !parseCount(parser, QStringLiteral("memory-limit"), 16, maxMemoryLimitMb, memoryLimit, error)
        || !parseCount(parser, QStringLiteral("first-call-limit"), 1, INT_MAX, firstCall, error)
        || !parseCount(parser, QStringLiteral("log-limit"), 1, 1u << 20, logLimit, error))
        return false;
    if (parser.isSet(QStringLiteral("shard"))) {
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
    }
    if (quint64(seed) + games - 1 > UINT_MAX) {
        error = QStringLiteral("seeds %1 to %1+%2-1 go past the largest seed, %3").arg(seed).arg(games).arg(UINT_MAX);
        return false;
    }
    s.firstSeed = seed;
    s.games = int(games);
    s.maxSteps = int(maxSteps);
    s.timeLimitMs = int(timeLimit);
    s.maxFailures = int(maxFailures);
    s.jobs = int(jobs);
    s.memoryLimitMb = int(memoryLimit);
    s.firstCallMs = int(firstCall);
    s.logLimitBytes = (long long)logLimit << 20;
    s.readable = parser.values(QStringLiteral("read"));
    s.sandbox = !parser.isSet(QStringLiteral("no-sandbox"));
    s.inProcess = parser.isSet(QStringLiteral("in-process"));
    s.recordDir = parser.value(QStringLiteral("record"));
    if (parser.isSet(QStringLiteral("record-games")) && s.recordDir.isEmpty()) {
        error = QStringLiteral("--record-games goes with --record DIR");
        return false;
    }
    if (!s.recordDir.isEmpty()) {
        const QString which = parser.isSet(QStringLiteral("record-games")) ? parser.value(QStringLiteral("record-games"))
                                                                           : QStringLiteral("lost");
        s.recordGames = which == QLatin1String("lost")     ? RecordLost
            : which == QLatin1String("failed")             ? RecordFailed
            : which == QLatin1String("all")                ? RecordAll
                                                           : RecordNone;
        if (s.recordGames == RecordNone) {
            error = QStringLiteral("--record-games takes lost, failed or all, not '%1'").arg(which);
            return false;
        }
    }
    if (s.shards > int(games)) {
        error = QStringLiteral("--shard %1/%2 leaves shards without games: there are only %3").arg(s.shard).arg(s.shards).arg(games);
        return false;
    }
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

int baselineIndex(const ArenaCommand &command)
{
    if (command.baseline.isEmpty())
        return 0;
    for (int c = 0; c < command.controllers.size(); ++c)
        if (command.controllers[c] == command.baseline || samePath(command.controllers[c], command.baseline))
            return c;
    return -1;
}

int runArenaCommand(const ArenaCommand &command, const QString &programDir)
{
    if (!command.mergeInputs.isEmpty())
        return runMerge(command.mergeInputs, command.csvPath, command.jsonPath);
    QVector<ControllerSpec> specs;
    if (command.controllers.isEmpty())
        specs.append({defaultControllerPath(programDir), QStringLiteral("brainlet"), QString()});
    for (const QString &path : command.controllers)
        specs.append({path, path, QString()});
    for (const ControllerSpec &entry : specs) {
        if (!QFileInfo::exists(entry.path)) {
            printLine(stderr, QStringLiteral("pelloria-arena: %1: no such file").arg(entry.path));
            return ArenaUsageError;
        }
    }

    // The logs' folder: made here, kept after the run, since it is what a
    // writer reads to find out why a game went wrong.
    QString logDir = command.logDir;
    if (logDir.isEmpty()) {
        QTemporaryDir made(QDir(QDir::tempPath()).filePath(QStringLiteral("pelloria-arena-XXXXXX")));
        made.setAutoRemove(false);
        logDir = made.path();
        if (!made.isValid()) {
            printLine(stderr, QStringLiteral("pelloria-arena: cannot make a folder for the logs: %1").arg(made.errorString()));
            return ArenaUsageError;
        }
    } else if (!QDir().mkpath(logDir)) {
        printLine(stderr, QStringLiteral("pelloria-arena: cannot make the log folder %1").arg(logDir));
        return ArenaUsageError;
    }
    if (!command.settings.recordDir.isEmpty() && !QDir().mkpath(command.settings.recordDir)) {
        printLine(stderr, QStringLiteral("pelloria-arena: cannot make the folder %1").arg(command.settings.recordDir));
        return ArenaUsageError;
    }
    for (ControllerSpec &entry : specs)
        entry.sha256 = librarySha256(entry.path);
    for (int c = 0; c < specs.size(); ++c)
        specs[c].logPath = QDir(QDir(logDir).absolutePath())
                               .filePath(QStringLiteral("%1-%2.log").arg(c + 1).arg(QFileInfo(specs[c].path).completeBaseName()));

    ArenaOutputs outputs;
    QString error;
    if (!outputs.open(command.csvPath, command.jsonPath, error)) {
        printLine(stderr, QStringLiteral("pelloria-arena: %1").arg(error));
        return ArenaUsageError;
    }

    RunResults results(specs, std::max(0, baselineIndex(command)), outputs.wantsJson(), outputs.csv());
    results.setRecordFolder(command.settings.recordDir);
    std::function<void(long long, long long)> progress;
    if (command.progress)
        progress = [](long long done, long long total) { drawProgress(done, total); };
    if (!runArena(specs, command.settings, results, error, progress)) {
        printLine(stderr, QStringLiteral("pelloria-arena: %1").arg(error));
        return ArenaUsageError;
    }
    if (command.progress)
        std::fputs("\n", stderr);
    if (!outputs.finish(results, command.settings, error)) {
        printLine(stderr, QStringLiteral("pelloria-arena: %1").arg(error));
        return ArenaUsageError;
    }
    return results.anyFailure() ? ArenaControllerFailed : ArenaOk;
}
