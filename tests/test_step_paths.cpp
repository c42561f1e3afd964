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

void standsStill(int &action, size_t, size_t, size_t, const int *, const int *, const int *, const int *, const int *)
{
    action = 0;
}

// Agents of radius 30 and resources of radius 5, at rest, each in a cell of
// a grid 150 apart and far from the walls: nothing touches.
void layApart(Ball_engine &e)
{
    const size_t n = e.getNumAgents(), all = n + e.getNumResources();
    for (size_t k = 0; k < all; ++k) {
        e.getCircleRadius()[k] = k < n ? 30 : 5;
        e.getXCoordinate()[k] = 200 + 150 * int(k % 8);
        e.getYCoordinate()[k] = 200 + 300 * int(k / 8);
        if (k < n)
            e.getXVelocity()[k] = e.getYVelocity()[k] = 0;
    }
}

// Two engines with the game's agents, standing agent 0, drawing alike.
struct TwinEngines {
    Ball_engine whole, phases;
    InlineGenerator wholeStream, phasesStream;
    TwinEngines()
    {
        whole.drawFrom(&wholeStream);
        phases.drawFrom(&phasesStream);
        for (Ball_engine *e : {&whole, &phases}) {
            e->setup(rules::agentsPerGame, rules::maxArenaScale);
            e->setController(&standsStill);
        }
    }
    template <typename Place>
    void lay(unsigned seed, Place place)
    {
        for (Ball_engine *e : {&whole, &phases}) {
            e->resetSeeded(seed);
            layApart(*e);
            place(*e);
        }
    }
    // One step each way; empty when both agree.
    QString step()
    {
        size_t wholePhase = 0, phasesPhase = 0;
        chooseAllActions(whole);
        stepArena(whole, wholePhase);
        stepPhaseByPhase(phases, phasesPhase);
        return difference(whole, phases);
    }
};

} // namespace

class TestStepPaths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wholeStepEqualsItsPhases_data();
    void wholeStepEqualsItsPhases();
    void crowdedArenaEqualsItsPhases();
    void everyPairAloneMeets();
    void contestWinnerReachesResource();
    void winnerOfManyContestsReachesAFarAgent();
    void eaterOfFourReachesTheFifth();
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

// Each pair of an agent and a later circle alone on one spot, everything
// else apart: the one contest or meal happens, whichever lanes of the whole
// step's overlap check the two fall in.
void TestStepPaths::everyPairAloneMeets()
{
    TwinEngines twins;
    const size_t n = rules::agentsPerGame, all = n + n / 2;
    for (size_t a = 0; a < n; ++a) {
        for (size_t c = a + 1; c < all; ++c) {
            twins.lay(unsigned(1 + a * all + c), [&](Ball_engine &e) {
                if (c < n)
                    e.getCircleRadius()[c] = 20;
                e.getXCoordinate()[c] = e.getXCoordinate()[a];
                e.getYCoordinate()[c] = e.getYCoordinate()[a];
            });
            const QString differs = twins.step();
            QVERIFY2(differs.isEmpty(), qPrintable(QStringLiteral("%1 and %2: %3").arg(a).arg(c).arg(differs)));
            const int *r = twins.whole.getCircleRadius();
            for (size_t k = 0; k < all; ++k) {
                const int expected = k == a ? 31 : k == c ? (c < n ? 19 : 4) : (k < n ? 30 : 5);
                QVERIFY2(
                    r[k] == expected,
                    qPrintable(QStringLiteral("%1 and %2: circle %3 has radius %4").arg(a).arg(c).arg(k).arg(r[k])));
            }
        }
    }
}

// Agent 0 (radius 30, standing) beats agent 1 on its spot and grows to 31;
// a resource exactly 30 + 5 below it, whose box its box did not overlap
// before the contest, is then within reach and eaten.
void TestStepPaths::contestWinnerReachesResource()
{
    TwinEngines twins;
    const size_t resource = rules::agentsPerGame;
    twins.lay(7, [&](Ball_engine &e) {
        e.getCircleRadius()[1] = 20;
        e.getXCoordinate()[1] = e.getXCoordinate()[0];
        e.getYCoordinate()[1] = e.getYCoordinate()[0];
        e.getXCoordinate()[resource] = e.getXCoordinate()[0];
        e.getYCoordinate()[resource] = e.getYCoordinate()[0] + 35;
    });
    const QString differs = twins.step();
    QVERIFY2(differs.isEmpty(), qPrintable(differs));
    const int *r = twins.whole.getCircleRadius();
    QCOMPARE(r[0], 32);
    QCOMPARE(r[1], 19);
    QCOMPARE(r[resource], 4);
}

// Agent 0 (radius 100) sits on eight agents of radius 10 and grows a unit
// for each it beats before it meets agent 9 (radius 50), whose centre is
// 157 away: 0 reaches 9 only after all eight, as far as any agent can grow
// before one of its contests, when the visit order puts 9 last. Over many
// visit orders the whole step settles as the phases do, and it happens.
void TestStepPaths::winnerOfManyContestsReachesAFarAgent()
{
    TwinEngines twins;
    int reached = 0;
    for (unsigned seed = 1; seed <= 400; ++seed) {
        twins.lay(seed, [&](Ball_engine &e) {
            e.getCircleRadius()[0] = 100;
            e.getXCoordinate()[0] = 800;
            e.getYCoordinate()[0] = 450;
            for (size_t a = 1; a < 9; ++a) {
                e.getCircleRadius()[a] = 10;
                e.getXCoordinate()[a] = 800;
                e.getYCoordinate()[a] = 450;
            }
            e.getCircleRadius()[9] = 50;
            e.getXCoordinate()[9] = 957;
            e.getYCoordinate()[9] = 450;
            for (size_t k = rules::agentsPerGame; k < rules::circlesPerGame; ++k)
                e.getYCoordinate()[k] = 850; // out of everyone's reach
        });
        const QString differs = twins.step();
        QVERIFY2(differs.isEmpty(), qPrintable(QStringLiteral("seed %1: %2").arg(seed).arg(differs)));
        const int *r = twins.whole.getCircleRadius();
        // Moved by at most a unit, 9 is touched only by a grown agent 0.
        if (r[9] == 49) {
            QVERIFY(r[0] >= 107);
            ++reached;
        }
    }
    QVERIFY2(reached > 0, "agent 0 never reached agent 9");
    qInfo("agent 0 reached agent 9 in %d of 400 visit orders", reached);
}

// Agent 0 (radius 30, standing, nobody near) eats the four resources on
// its spot one after the other and grows to 34; the fifth resource
// (radius 5), whose centre is 38 away, is within its reach only then: as
// far as an agent can grow before a meal when nothing contests.
void TestStepPaths::eaterOfFourReachesTheFifth()
{
    TwinEngines twins;
    const size_t first = rules::agentsPerGame, last = rules::circlesPerGame - 1;
    twins.lay(11, [&](Ball_engine &e) {
        for (size_t k = first; k <= last; ++k) {
            e.getXCoordinate()[k] = e.getXCoordinate()[0] + (k == last ? 38 : 0);
            e.getYCoordinate()[k] = e.getYCoordinate()[0];
        }
    });
    const QString differs = twins.step();
    QVERIFY2(differs.isEmpty(), qPrintable(differs));
    const int *r = twins.whole.getCircleRadius();
    QCOMPARE(r[0], 35);
    for (size_t k = first; k <= last; ++k)
        QCOMPARE(r[k], 4);
}

QTEST_APPLESS_MAIN(TestStepPaths)
#include "test_step_paths.moc"
