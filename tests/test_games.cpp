// Whole seeded games: the invariants that must hold after every step, and
// replays that must repeat move for move.
#include "ball_engine.h"
#include "step.h"

#include <QtTest>

#include <algorithm>

namespace {

constexpr int gameCount = 300;
constexpr int stepLimit = 20000;

struct GameRecord {
    int steps = 0;
    int alive = 0;
    quint64 fingerprint = 1469598103934665603ULL;
};

void mix(quint64 &h, int value)
{
    h ^= static_cast<quint32>(value);
    h *= 1099511628211ULL;
}

// Returns an empty string while every invariant holds, else what broke.
// An agent is kept inside by the radius it moved with; contests and meals
// after the move may grow it against a wall until its next move.
QString checkInvariants(const Ball_engine &e, const int *radiusBefore, int alive)
{
    const size_t n = e.getNumAgents(), m = e.getNumResources();
    const int *x = e.getXCoordinate(), *y = e.getYCoordinate(), *r = e.getCircleRadius();
    int counted = 0;
    for (size_t i = 0; i < n; ++i) {
        if (r[i] < 0 || r[i] > e.maxRadius)
            return QStringLiteral("agent %1 radius %2").arg(i).arg(r[i]);
        if (r[i] == 0)
            continue;
        ++counted;
        // A bounce may have taken 1 before the move's clamp.
        const int movedWith = std::min(r[i], radiusBefore[i] - 1);
        if (x[i] < movedWith || x[i] > e.width - movedWith || y[i] < movedWith
            || y[i] > e.height - movedWith)
            return QStringLiteral("agent %1 at (%2, %3) radius %4 outside").arg(i).arg(x[i]).arg(y[i]).arg(r[i]);
    }
    if (counted != alive)
        return QStringLiteral("alive %1 but %2 radii > 0").arg(alive).arg(counted);
    for (size_t k = n; k < n + m; ++k) {
        if (r[k] < 0 || r[k] > e.resourceMaxRadius)
            return QStringLiteral("resource %1 radius %2").arg(k).arg(r[k]);
        if (r[k] > 0 && (x[k] < 0 || x[k] >= e.width || y[k] < 0 || y[k] >= e.height))
            return QStringLiteral("resource %1 outside").arg(k);
    }
    return QString();
}

GameRecord playGame(Ball_engine &engine, unsigned seed, size_t &phase, QString *fault)
{
    GameRecord game;
    engine.resetSeeded(seed);
    int radiusBefore[64];
    while (game.steps < stepLimit) {
        std::copy(engine.getCircleRadius(), engine.getCircleRadius() + engine.getNumAgents(), radiusBefore);
        chooseAllActions(engine);
        game.alive = stepArena(engine, phase);
        ++game.steps;
        for (size_t k = 0; k < engine.getNumAgents() + engine.getNumResources(); ++k) {
            mix(game.fingerprint, engine.getXCoordinate()[k]);
            mix(game.fingerprint, engine.getYCoordinate()[k]);
            mix(game.fingerprint, engine.getCircleRadius()[k]);
        }
        if (fault && fault->isEmpty())
            *fault = checkInvariants(engine, radiusBefore, game.alive);
        if (game.alive <= maxAliveWhenSet)
            break;
    }
    return game;
}

} // namespace

class TestGames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void invariantsHoldThroughWholeGames();
    void sameSeedReplaysTheSameGame();
};

void TestGames::invariantsHoldThroughWholeGames()
{
    Ball_engine engine;
    engine.setup(10, 100);
    size_t phase = 0;
    int set = 0, none = 0;
    for (unsigned seed = 1; seed <= gameCount; ++seed) {
        QString fault;
        const GameRecord game = playGame(engine, seed, phase, &fault);
        QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("seed %1: %2").arg(seed).arg(fault)));
        QVERIFY2(game.steps < stepLimit, qPrintable(QStringLiteral("seed %1 never ended").arg(seed)));
        if (isGameSet(game.alive))
            ++set;
        else if (game.alive == 0)
            ++none;
    }
    QCOMPARE(set + none, gameCount);
    QVERIFY(set > 0);
}

void TestGames::sameSeedReplaysTheSameGame()
{
    Ball_engine first, second;
    first.setup(10, 100);
    second.setup(10, 100);
    for (unsigned seed : {3u, 77u, 1234u}) {
        // The same step phase, so respawns fall on the same steps.
        size_t phaseA = 0, phaseB = 0;
        const GameRecord a = playGame(first, seed, phaseA, nullptr);
        const GameRecord b = playGame(second, seed, phaseB, nullptr);
        QCOMPARE(a.steps, b.steps);
        QCOMPARE(a.alive, b.alive);
        QCOMPARE(a.fingerprint, b.fingerprint);
    }
    size_t phase = 0;
    const GameRecord other = playGame(first, 4, phase, nullptr);
    size_t phase2 = 0;
    QVERIFY(other.fingerprint != playGame(second, 3, phase2, nullptr).fingerprint);
}

QTEST_APPLESS_MAIN(TestGames)
#include "test_games.moc"
