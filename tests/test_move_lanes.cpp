// A game's agents moved in lanes against the engine's move of one agent at a
// time: every radius up to the cap, speeds past it, walls on every side,
// dead agents and codes that are no action.
#include "engine/ball_engine.h"
#include "engine/inline_generator.h"
#include "engine/move_lanes.h"

#include <QtTest>

#include <vector>

namespace {

constexpr int agents = moveLanes::agents;

// A random agent state, pushed towards the walls and the speed cap.
void randomAgents(Ball_engine &e, InlineGenerator &draws, int maxRadius)
{
    for (int i = 0; i < agents; ++i) {
        const int r = draws.next() % 8 == 0 ? -(draws.next() % 3) : 1 + draws.next() % maxRadius;
        e.getCircleRadius()[i] = r;
        e.getXCoordinate()[i] = draws.next() % (e.width + 1);
        e.getYCoordinate()[i] = draws.next() % (e.height + 1);
        e.getXVelocity()[i] = draws.next() % 2201 - 1100;
        e.getYVelocity()[i] = draws.next() % 41 - 20;
        e.getActions()[i] = draws.next() % 13 - 2;
        e.xAcceleration[i] = draws.next() % 3 - 1;
        e.yAcceleration[i] = draws.next() % 3 - 1;
    }
    // Resources nowhere near zero, so that a lane written past the agents
    // shows.
    for (size_t j = e.getNumAgents(); j < e.getNumAgents() + e.getNumResources(); ++j) {
        e.getXCoordinate()[j] = 1 + draws.next() % e.width;
        e.getYCoordinate()[j] = 1 + draws.next() % e.height;
        e.getCircleRadius()[j] = 1 + draws.next() % 10;
    }
}

void copyAgents(const Ball_engine &from, Ball_engine &to)
{
    for (int i = 0; i < agents; ++i) {
        to.getCircleRadius()[i] = from.getCircleRadius()[i];
        to.getXCoordinate()[i] = from.getXCoordinate()[i];
        to.getYCoordinate()[i] = from.getYCoordinate()[i];
        to.getXVelocity()[i] = from.getXVelocity()[i];
        to.getYVelocity()[i] = from.getYVelocity()[i];
        to.getActions()[i] = from.getActions()[i];
        to.xAcceleration[i] = from.xAcceleration[i];
        to.yAcceleration[i] = from.yAcceleration[i];
    }
}

// Empty when the agents agree, else the first difference.
QString difference(const Ball_engine &a, const Ball_engine &b)
{
    const struct {
        const char *name;
        const int *a, *b;
    } arrays[] = {
        {"x", a.getXCoordinate(), b.getXCoordinate()},   {"y", a.getYCoordinate(), b.getYCoordinate()},
        {"r", a.getCircleRadius(), b.getCircleRadius()}, {"vx", a.getXVelocity(), b.getXVelocity()},
        {"vy", a.getYVelocity(), b.getYVelocity()},      {"ax", a.xAcceleration, b.xAcceleration},
        {"ay", a.yAcceleration, b.yAcceleration},        {"prevX", a.getPrevX(), b.getPrevX()},
        {"prevY", a.getPrevY(), b.getPrevY()},
    };
    for (const auto &array : arrays)
        for (int i = 0; i < agents; ++i)
            if (array.a[i] != array.b[i])
                return QStringLiteral("%1[%2]: %3 against %4").arg(array.name).arg(i).arg(array.a[i]).arg(array.b[i]);
    return QString();
}

// What the lanes must leave alone: the resources after the agents.
std::vector<int> resourcesOf(const Ball_engine &e)
{
    std::vector<int> state;
    for (size_t j = e.getNumAgents(); j < e.getNumAgents() + e.getNumResources(); ++j)
        state.insert(state.end(), {e.getXCoordinate()[j], e.getYCoordinate()[j], e.getCircleRadius()[j]});
    return state;
}

} // namespace

class TestMoveLanes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lanesMoveAsOneByOne_data();
    void lanesMoveAsOneByOne();
};

void TestMoveLanes::lanesMoveAsOneByOne_data()
{
    QTest::addColumn<int>("maxRadius");
    QTest::addColumn<int>("scale");
    QTest::newRow("the game's cap, the largest arena") << rules::maxRadius << rules::maxArenaScale;
    QTest::newRow("cap 37, a small arena") << 37 << 20;
    QTest::newRow("cap 1000") << 1000 << rules::maxArenaScale;
}

void TestMoveLanes::lanesMoveAsOneByOne()
{
    QFETCH(int, maxRadius);
    QFETCH(int, scale);
    if (!moveLanes::availableFor(maxRadius))
        QSKIP("this build or processor moves agents one at a time only");
    QVERIFY(!moveLanes::waysHere().empty());
    for (const moveLanes::Way &way : moveLanes::waysHere()) {
        qInfo("compared: %s", way.name);
        Ball_engine lanes, one;
        for (Ball_engine *e : {&lanes, &one}) {
            e->setup(rules::agentsPerGame, scale);
            e->maxRadius = maxRadius;
        }
        InlineGenerator draws(static_cast<uint32_t>(maxRadius));
        long bounces = 0;
        for (int trial = 0; trial < 20000; ++trial) {
            randomAgents(lanes, draws, maxRadius);
            copyAgents(lanes, one);
            const std::vector<int> resources = resourcesOf(lanes);
            const uint32_t bounced = way.move(
                moveLanes::Arrays{lanes.getXCoordinate(), lanes.getYCoordinate(), lanes.getXVelocity(),
                                  lanes.getYVelocity(), lanes.getCircleRadius(), lanes.xAcceleration,
                                  lanes.yAcceleration, lanes.getPrevX(), lanes.getPrevY(), lanes.getActions()},
                lanes.width, lanes.height, maxRadius);
            one.savePositions();
            for (size_t i = 0; i < size_t(agents); ++i) {
                const int before = one.getCircleRadius()[i];
                one.moveAgent(i);
                const bool wall = before > 0 && one.getCircleRadius()[i] != before;
                QVERIFY2(wall == (((bounced >> i) & 1) != 0),
                         qPrintable(QStringLiteral("%1: trial %2 agent %3").arg(way.name).arg(trial).arg(i)));
                bounces += wall ? 1 : 0;
            }
            QCOMPARE(bounced >> agents, 0u);
            QCOMPARE(resourcesOf(lanes), resources);
            const QString differs = difference(lanes, one);
            QVERIFY2(differs.isEmpty(),
                     qPrintable(QStringLiteral("%1: trial %2: %3").arg(way.name).arg(trial).arg(differs)));
        }
        // Fast agents met the walls often.
        QVERIFY2(bounces > 20000, qPrintable(QString::number(bounces)));
    }
}

QTEST_APPLESS_MAIN(TestMoveLanes)
#include "test_move_lanes.moc"
