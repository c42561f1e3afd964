#include "arena/runner.h"

#include "arena/judge/row_order.h"

#include <QFileInfo>

#include "arena/judge/judge.h"
#include "engine/ball_engine.h"
#include "engine/game.h"
#include "engine/separate_generators.h"
#include "plugin/controller_library.h"

#if defined(__unix__) || defined(__APPLE__)
#  define PELLORIA_ISOLATION 1
#  include "judge/match.h"
#  include "judge/scheduler.h"
#endif

QString replayFileName(int controller, const QString &path, uint32_t seed)
{
    return QStringLiteral("%1-%2-seed%3.replay.gz")
        .arg(controller + 1)
        .arg(QFileInfo(path).completeBaseName())
        .arg(seed);
}

QString matchReplayFileName(uint32_t seed, int rotation)
{
    return QStringLiteral("match-seed%1-seating%2.replay.gz").arg(seed).arg(rotation + 1);
}

bool recordsGame(int recordGames, FailureKind failure, bool survived)
{
    return (failure != FailureKind::None && failure != FailureKind::Lost) || recordGames == RecordAll
        || (recordGames == RecordLost && !survived);
}

// In this process, one game after another: for a debugger, and where there
// is no fork. No fresh controller per game, no crash protection, no
// confinement and no log; the generators are still separate.
namespace {
SeparateGenerators *generators = nullptr;
ControllerFunction playing = nullptr;
void separatedController(int &action, const size_t agent, const size_t numAgents, const size_t numResources,
                         const int *circleRadius, const int *xCoordinate, const int *yCoordinate, const int *xVelocity,
                         const int *yVelocity)
{
    generators->enterController();
    playing(action, agent, numAgents, numResources, circleRadius, xCoordinate, yCoordinate, xVelocity, yVelocity);
    generators->leaveController();
}

bool runInProcess(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings, RunListener &listener,
                  QString &error, const std::function<void(long long, long long)> &progress)
{
    listener.note(QStringLiteral("in-process: the games were played in the arena's own process, unconfined"));
    QVector<ControllerFunction> functions;
    for (const ControllerSpec &entry : controllers) {
        const LoadedController loaded = loadController(entry.path, entry.label);
        if (!loaded.function) {
            error = loaded.error;
            return false;
        }
        functions.append(loaded.function);
    }
    static SeparateGenerators separate;
    generators = &separate;
    Ball_engine engine;
    engine.setup(rules::agentsPerGame, rules::maxArenaScale);
    engine.setController(&separatedController);
    RowOrder order(controllers.size(), settings.maxFailures, listener);
    const long long total = (long long)settings.played().games * controllers.size();
    playInTurn(settings, controllers.size(), order, [&](int c, unsigned seed) {
        if (progress)
            progress(order.delivered, total);
        playing = functions[c];
        separate.startGame(seed, engine);
        const GameResult result = playSeededGame(engine, seed, settings.maxSteps);
        return describeGame(engine, seed, result);
    });
    return true;
}

} // namespace

bool runArena(const QVector<ControllerSpec> &controllers, const ArenaSettings &settings, RunListener &listener,
              QString &error, const std::function<void(long long, long long)> &progress)
{
#ifdef PELLORIA_ISOLATION
    if (settings.strict)
        return runStrict(controllers, settings, listener, error);
    if (!settings.inProcess)
        return runIsolated(controllers, settings, listener, error, progress);
#endif
    return runInProcess(controllers, settings, listener, error, progress);
}
