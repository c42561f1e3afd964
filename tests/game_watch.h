// Watching seeded games step by step: a fingerprint of every state and the
// invariants that must hold after every step.
#ifndef GAME_WATCH_H
#define GAME_WATCH_H

#include "engine/ball_engine.h"
#include "engine/game.h"

#include <QString>
#include <QtGlobal>

#include <algorithm>

constexpr int stepLimit = 20000;

struct GameRecord {
    int steps = 0;
    int alive = 0;
    GameOutcome outcome = GameOutcome::StepLimit;
    quint64 fingerprint = 1469598103934665603ULL;
};

inline void mix(quint64 &h, int value)
{
    h ^= static_cast<quint32>(value);
    h *= 1099511628211ULL;
}

// Returns an empty string while every invariant holds, else what broke.
// An agent is kept inside by the radius it moved with; contests and meals
// after the move may grow it against a wall until its next move.
inline QString checkInvariants(const Ball_engine &e, const int *radiusBefore, int alive)
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
        if (x[i] < movedWith || x[i] > e.width - movedWith || y[i] < movedWith || y[i] > e.height - movedWith)
            return QStringLiteral("agent %1 at (%2, %3) radius %4 outside").arg(i).arg(x[i]).arg(y[i]).arg(r[i]);
    }
    if (counted != alive)
        return QStringLiteral("alive %1 but %2 radii > 0").arg(alive).arg(counted);
    for (size_t k = n; k < n + m; ++k) {
        if (r[k] < 0 || r[k] > e.resourceMaxRadius)
            return QStringLiteral("resource %1 radius %2").arg(k).arg(r[k]);
        if (r[k] > 0 && (x[k] - r[k] < 0 || x[k] + r[k] > e.width || y[k] - r[k] < 0 || y[k] + r[k] > e.height))
            return QStringLiteral("resource %1 at (%2, %3) radius %4 outside").arg(k).arg(x[k]).arg(y[k]).arg(r[k]);
    }
    return QString();
}

// Watches a game between its steps: fingerprints every state and checks the
// invariants of the state the previous step left.
struct Watcher {
    Ball_engine *engine = nullptr;
    GameRecord record;
    QString fault;
    int radiusBefore[64] = {};
    int radiusNow[64] = {};
    bool started = false;

    void observe()
    {
        const Ball_engine &e = *engine;
        const size_t n = e.getNumAgents();
        for (size_t k = 0; k < n + e.getNumResources(); ++k) {
            mix(record.fingerprint, e.getXCoordinate()[k]);
            mix(record.fingerprint, e.getYCoordinate()[k]);
            mix(record.fingerprint, e.getCircleRadius()[k]);
        }
        if (started && fault.isEmpty())
            fault = checkInvariants(e, radiusBefore, e.countAliveAgents());
        std::copy(e.getCircleRadius(), e.getCircleRadius() + n, radiusBefore);
        started = true;
    }
    static void onStep(void *context, int) { static_cast<Watcher *>(context)->observe(); }
};

inline GameRecord playGame(Ball_engine &engine, unsigned seed, QString *fault)
{
    Watcher watcher;
    watcher.engine = &engine;
    const GameResult result = playSeededGame(engine, seed, stepLimit, &Watcher::onStep, &watcher);
    watcher.observe();
    if (watcher.fault.isEmpty() && engine.countAliveAgents() != result.alive)
        watcher.fault = QStringLiteral("the step counted %1 alive").arg(result.alive);
    watcher.record.steps = result.steps;
    watcher.record.alive = result.alive;
    watcher.record.outcome = result.outcome;
    if (fault)
        *fault = watcher.fault;
    return watcher.record;
}

#endif
