// The whole step, as stepArena plays it (compiled for the game's agent count
// and source of draws, and skipping the contests and meals when nothing
// touches), against the step's phases called one by one as the engine's
// public operations: the same states, draws and radius changes, step after
// step, over many games.
#include "engine/ball_engine.h"
#include "engine/game_rules.h"
#include "engine/inline_generator.h"
#include "engine/step.h"

#include <QtTest>

#include <cstdlib>
#include <vector>

namespace {

// Agent 0's action from what it sees, any code including invalid ones,
// drawing nothing: two engines side by side then play the same game.
void seesAndActs(int &action, size_t, size_t agents, size_t, const int *r, const int *x, const int *y, const int *vx,
                 const int *)
{
    action = (x[0] * 7 + y[0] * 3 + r[0] + vx[0] + x[agents]) % 11;
}

struct Change {
    int step;
    RadiusChange change;
    bool operator==(const Change &o) const
    {
        return step == o.step && change.cause == o.change.cause && change.other == o.change.other
            && change.delta == o.change.delta;
    }
};

struct Heard {
    std::vector<Change> changes;
    int step = 0;
    static void told(void *context, const RadiusChange &change)
    {
        Heard &h = *static_cast<Heard *>(context);
        h.changes.push_back(Change{h.step, change});
    }
};

// The step as the engine's phases make it, one public call at a time.
int stepPhaseByPhase(Ball_engine &e, size_t &phase)
{
    for (size_t i = 0; i < e.getNumAgents(); ++i)
        e.chooseAction(i);
    e.savePositions();
    phase = (phase + 1) % e.getNumAgents();
    for (size_t i = 0; i < e.getNumAgents(); ++i)
        e.moveAgent(i);
    e.resolveContests();
    if (phase == 0)
        e.tickRespawnCounter();
    e.eatResources();
    return e.countAliveAgents();
}

// Empty when both engines hold the same state, else the first difference.
QString difference(const Ball_engine &a, const Ball_engine &b)
{
    const size_t n = a.getNumAgents(), all = n + a.getNumResources();
    const struct {
        const char *name;
        const int *a, *b;
        size_t count;
    } arrays[] = {
        {"x", a.getXCoordinate(), b.getXCoordinate(), all},
        {"y", a.getYCoordinate(), b.getYCoordinate(), all},
        {"r", a.getCircleRadius(), b.getCircleRadius(), all},
        {"vx", a.getXVelocity(), b.getXVelocity(), n},
        {"vy", a.getYVelocity(), b.getYVelocity(), n},
        {"prevX", a.getPrevX(), b.getPrevX(), n},
        {"prevY", a.getPrevY(), b.getPrevY(), n},
        {"ax", a.xAcceleration, b.xAcceleration, n},
        {"ay", a.yAcceleration, b.yAcceleration, n},
        {"action", a.getActions(), b.getActions(), n},
    };
    for (const auto &array : arrays)
        for (size_t k = 0; k < array.count; ++k)
            if (array.a[k] != array.b[k])
                return QStringLiteral("%1[%2]: %3 against %4").arg(array.name).arg(k).arg(array.a[k]).arg(array.b[k]);
    for (size_t k = 0; k < n; ++k)
        if (a.getVisitOrder()[k] != b.getVisitOrder()[k])
            return QStringLiteral("visit order [%1]").arg(k);
    return QString();
}

} // namespace

class TestStepPaths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wholeStepEqualsItsPhases_data();
    void wholeStepEqualsItsPhases();
    void crowdedArenaEqualsItsPhases();
};

void TestStepPaths::wholeStepEqualsItsPhases_data()
{
    QTest::addColumn<int>("agents");
    QTest::addColumn<bool>("inlineCopy");
    QTest::addColumn<unsigned>("firstSeed");
    QTest::addColumn<int>("games");
    QTest::newRow("the game's 10, inline copy") << int(rules::agentsPerGame) << true << 1u << 300;
    QTest::newRow("the game's 10, rand()") << int(rules::agentsPerGame) << false << 4000000000u << 60;
    QTest::newRow("6 agents, inline copy") << 6 << true << 77u << 60;
    QTest::newRow("14 agents, rand()") << 14 << false << 123456u << 30;
}

// Games to their end, with a controller that sees the state and a listener
// on both engines; states compared after every step.
void TestStepPaths::wholeStepEqualsItsPhases()
{
    QFETCH(int, agents);
    QFETCH(bool, inlineCopy);
    QFETCH(unsigned, firstSeed);
    QFETCH(int, games);
    Ball_engine whole, phases;
    InlineGenerator wholeStream, phasesStream;
    Heard wholeHeard, phasesHeard;
    for (Ball_engine *e : {&whole, &phases}) {
        e->setup(size_t(agents), rules::maxArenaScale);
        e->setController(&seesAndActs);
    }
    whole.setRadiusListener(&Heard::told, &wholeHeard);
    phases.setRadiusListener(&Heard::told, &phasesHeard);
    if (inlineCopy) {
        whole.drawFrom(&wholeStream);
        phases.drawFrom(&phasesStream);
    }
    long steps = 0, changes = 0;
    for (unsigned seed = firstSeed; seed < firstSeed + unsigned(games); ++seed) {
        // With rand() both engines draw from the one generator: each step
        // of one is played from the state the other started it with.
        whole.resetSeeded(seed);
        phases.resetSeeded(seed);
        size_t wholePhase = 0, phasesPhase = 0;
        for (int step = 1; step <= 20000; ++step) {
            wholeHeard.step = phasesHeard.step = step;
            const unsigned before = unsigned(std::rand());
            if (!inlineCopy)
                std::srand(before);
            chooseAllActions(whole);
            const int wholeAlive = stepArena(whole, wholePhase);
            if (!inlineCopy)
                std::srand(before);
            const int phasesAlive = stepPhaseByPhase(phases, phasesPhase);
            const QString differs = difference(whole, phases);
            QVERIFY2(differs.isEmpty(),
                     qPrintable(QStringLiteral("seed %1 step %2: %3").arg(seed).arg(step).arg(differs)));
            QCOMPARE(wholeAlive, phasesAlive);
            QCOMPARE(wholePhase, phasesPhase);
            ++steps;
            if (isGameSet(wholeAlive) || wholeAlive == 0)
                break;
        }
        QVERIFY(wholeHeard.changes == phasesHeard.changes);
        changes += long(wholeHeard.changes.size());
        wholeHeard.changes.clear();
        phasesHeard.changes.clear();
    }
    // Agent 0 did meet walls, contests and meals along the way.
    QVERIFY(changes > games);
    qInfo("%ld steps, %ld changes of agent 0", steps, changes);
}

// Every circle near the others, so that most steps have contests and
// meals, with radii from 1 to the maximum and resources laid out anew.
void TestStepPaths::crowdedArenaEqualsItsPhases()
{
    Ball_engine whole, phases;
    InlineGenerator wholeStream, phasesStream, layout(5);
    for (Ball_engine *e : {&whole, &phases}) {
        e->setup(rules::agentsPerGame, rules::maxArenaScale);
        e->setController(&seesAndActs);
        e->resetSeeded(99); // a respawn rhythm of its own
    }
    whole.drawFrom(&wholeStream);
    phases.drawFrom(&phasesStream);
    wholeStream.seed(99);
    phasesStream.seed(99);
    long changed = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const size_t n = whole.getNumAgents(), all = n + whole.getNumResources();
        for (size_t k = 0; k < all; ++k) {
            const int r = layout.next() % (k < n ? rules::maxRadius + 1 : 11);
            const int x = 600 + layout.next() % 400, y = 300 + layout.next() % 300;
            const int vx = layout.next() % 7 - 3, vy = layout.next() % 7 - 3;
            for (Ball_engine *e : {&whole, &phases}) {
                e->getCircleRadius()[k] = r;
                e->getXCoordinate()[k] = x;
                e->getYCoordinate()[k] = y;
                if (k < n) {
                    e->getXVelocity()[k] = vx;
                    e->getYVelocity()[k] = vy;
                }
            }
        }
        std::vector<int> before(whole.getCircleRadius(), whole.getCircleRadius() + all);
        size_t wholePhase = size_t(trial) % n, phasesPhase = wholePhase;
        chooseAllActions(whole);
        stepArena(whole, wholePhase);
        stepPhaseByPhase(phases, phasesPhase);
        const QString differs = difference(whole, phases);
        QVERIFY2(differs.isEmpty(), qPrintable(QStringLiteral("trial %1: %2").arg(trial).arg(differs)));
        for (size_t k = 0; k < all; ++k)
            changed += whole.getCircleRadius()[k] != before[k] ? 1 : 0;
    }
    // Contests and meals changed radii in most trials.
    QVERIFY2(changed > 3000, qPrintable(QString::number(changed)));
}

QTEST_APPLESS_MAIN(TestStepPaths)
#include "test_step_paths.moc"
