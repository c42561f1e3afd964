#include "arena_command.h"

#include "report.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <climits>
#include <cstdio>
#include <memory>

namespace {

// Every game's row is kept for the statistics and the outputs; ten million
// rows are a few hundred megabytes and over an hour of play.
constexpr unsigned int maxGames = 10000000;

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

void drawProgress(const QString &label, int done, int total)
{
    const int filled = total > 0 ? done * progressWidth / total : progressWidth;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(progressWidth - filled, QLatin1Char(' '));
    std::fprintf(stderr, "\r[%s] %d/%d %s", bar.toLocal8Bit().constData(), done, total,
                 label.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

bool parseArenaCommand(const QStringList &arguments, ArenaCommand &command, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays seeded Pelloria games without a window and reports how agent 0's controller does.\n"
        "Each controller plays the same seeds in a child process of its own."));
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
                      QStringLiteral("Milliseconds one controller call may take (default 50)."),
                      QStringLiteral("MS")});
    parser.addOption({QStringLiteral("csv"), QStringLiteral("Write one row per game to FILE."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("json"), QStringLiteral("Write the games and the summary to FILE."),
                      QStringLiteral("FILE")});

    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
        return false;
    }

    ArenaSettings &s = command.settings;
    unsigned int seed = s.firstSeed, games = unsigned(s.games), maxSteps = unsigned(s.maxSteps),
                 timeLimit = unsigned(s.timeLimitMs);
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
        || !parseCount(parser, QStringLiteral("time-limit"), 1, INT_MAX, timeLimit, error))
        return false;
    if (quint64(seed) + games - 1 > UINT_MAX) {
        error = QStringLiteral("seeds %1 to %1+%2-1 go past the largest seed, %3").arg(seed).arg(games).arg(UINT_MAX);
        return false;
    }
    s.firstSeed = seed;
    s.games = int(games);
    s.maxSteps = int(maxSteps);
    s.timeLimitMs = int(timeLimit);
    command.controllers = parser.values(QStringLiteral("controller"));
    command.csvPath = parser.value(QStringLiteral("csv"));
    command.jsonPath = parser.value(QStringLiteral("json"));
    return true;
}

int runArenaCommand(const ArenaCommand &command, const QString &programDir)
{
    // Every controller is loaded before any game, so a bad file costs nothing.
    QVector<LoadedController> controllers;
    if (command.controllers.isEmpty()) {
        controllers.append(loadController(defaultControllerPath(programDir), QStringLiteral("brainlet")));
    } else {
        for (const QString &path : command.controllers)
            controllers.append(loadController(path, path));
    }
    for (const LoadedController &c : controllers) {
        if (c.function == nullptr) {
            printLine(stderr, QStringLiteral("pelloria-arena: %1").arg(c.error));
            return ArenaUsageError;
        }
    }

    // Outputs are opened up front, so an unwritable path stops the run before
    // it starts, and written whole at the end or not at all.
    std::unique_ptr<QSaveFile> csv, json;
    for (auto [path, file] : {std::pair<const QString *, std::unique_ptr<QSaveFile> *>{&command.csvPath, &csv},
                              {&command.jsonPath, &json}}) {
        if (path->isEmpty())
            continue;
        file->reset(new QSaveFile(*path));
        if (!(*file)->open(QIODevice::WriteOnly)) {
            printLine(stderr, QStringLiteral("pelloria-arena: cannot write %1: %2").arg(*path, (*file)->errorString()));
            return ArenaUsageError;
        }
    }

    QVector<ControllerRun> runs;
    bool failed = false;
    for (const LoadedController &c : controllers) {
        std::function<void(int)> progress;
        if (command.progress)
            progress = [&](int done) { drawProgress(c.label, done, command.settings.games); };
        runs.append(runController(c, command.settings, progress));
        if (command.progress)
            std::fputs("\n", stderr);
        failed = failed || runs.last().failure.kind != FailureKind::None;
    }

    std::fputs(formatTable(runs, command.settings).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
    for (auto [file, data] : {std::pair<QSaveFile *, QByteArray>{csv.get(), csv ? formatCsv(runs) : QByteArray()},
                              {json.get(), json ? formatJson(runs, command.settings) : QByteArray()}}) {
        if (!file)
            continue;
        if (file->write(data) != data.size() || !file->commit()) {
            printLine(stderr, QStringLiteral("pelloria-arena: cannot write %1: %2").arg(file->fileName(), file->errorString()));
            return ArenaUsageError;
        }
    }
    return failed ? ArenaControllerFailed : ArenaOk;
}
