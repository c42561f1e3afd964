// The test in front of the step's contests and meals: worked cases at the
// edge of the margin, and the vector answer against the pair-by-pair one.
#include "engine/game_rules.h"
#include "engine/inline_generator.h"
#include "engine/near_circles.h"

#include <QtTest>

#include <cstdint>

namespace {

constexpr int circles = int(rules::circlesPerGame);
constexpr int agents = int(rules::agentsPerGame);

// Every circle dead at the centre of the largest arena, radius 0.
struct Arena {
    int x[circles], y[circles], r[circles];
    Arena()
    {
        for (int c = 0; c < circles; ++c) {
            x[c] = 800;
            y[c] = 450;
            r[c] = 0;
        }
    }
    void place(int c, int cx, int cy, int radius)
    {
        x[c] = cx;
        y[c] = cy;
        r[c] = radius;
    }
    // The answer of nearAgents when every way this processor runs gives
    // it too, else `disagreed` (no set of circles).
    static constexpr uint32_t disagreed = ~0u;
    uint32_t near(int margin) const
    {
        const uint32_t chosen = nearCircles::nearAgents(x, y, r, margin);
        for (const nearCircles::Way &way : nearCircles::waysHere()) {
            const uint32_t answer = way.answer(x, y, r, margin);
            if (answer != chosen) {
                qWarning("%s answers %u, nearAgents %u", way.name, answer, chosen);
                return disagreed;
            }
        }
        return chosen;
    }
    uint32_t exact(int margin) const { return nearCircles::nearAgentsPairByPair(x, y, r, margin); }
};

uint32_t bit(int c)
{
    return 1u << c;
}

} // namespace

class TestNearCircles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void edgeOfTheMargin_data();
    void edgeOfTheMargin();
    void deadAndLoneCircles();
    void vectorsAnswerAsPairs();
    void boxesPastSixteenBitsKeepEveryone();
    void everyWayIsTried();
};

void TestNearCircles::edgeOfTheMargin_data()
{
    QTest::addColumn<int>("other");
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("dy");
    QTest::addColumn<uint32_t>("expected");
    // Radii 30 and 20, margin 9: the boxes meet below 30 + 20 + 2 * 9 = 68
    // on both axes.
    const int agent = 7, resource = agents + 2;
    QTest::newRow("agents 68 apart on x") << agent << 68 << 0 << 0u;
    QTest::newRow("agents 67 apart on x") << agent << 67 << 0 << (bit(0) | bit(agent));
    QTest::newRow("agents 67 apart on x, 68 on y") << agent << -67 << 68 << 0u;
    QTest::newRow("agents 67 apart on both") << agent << -67 << -67 << (bit(0) | bit(agent));
    QTest::newRow("resource 68 apart on y") << resource << 0 << 68 << 0u;
    QTest::newRow("resource 67 apart on y") << resource << 5 << -67 << bit(resource);
}

// Agent 0 (radius 30) and one other circle (radius 20) at (dx, dy) from it.
void TestNearCircles::edgeOfTheMargin()
{
    QFETCH(int, other);
    QFETCH(int, dx);
    QFETCH(int, dy);
    QFETCH(uint32_t, expected);
    Arena arena;
    arena.place(0, 500, 400, 30);
    arena.place(other, 500 + dx, 400 + dy, 20);
    QCOMPARE(arena.near(9), expected);
    QCOMPARE(arena.exact(9), expected);
}

// A dead circle on top of a living one meets nothing; an agent near only a
// resource flags the resource alone; the highest agent and resource lanes
// are read.
void TestNearCircles::deadAndLoneCircles()
{
    Arena arena;
    arena.place(0, 300, 300, 25);
    arena.place(1, 300, 300, 0);
    arena.place(2, 300, 300, -3);
    arena.place(agents, 310, 300, 0);
    QCOMPARE(arena.near(9), 0u);
    arena.place(agents + 1, 320, 300, 4);
    QCOMPARE(arena.near(9), bit(agents + 1));
    arena.place(agents - 1, 1500, 800, 40);
    arena.place(circles - 1, 1545, 810, 10);
    QCOMPARE(arena.near(0), bit(agents + 1) | bit(circles - 1));
    arena.place(agents - 2, 1480, 790, 3);
    QCOMPARE(arena.near(0), bit(agents + 1) | bit(circles - 1) | bit(agents - 2) | bit(agents - 1));
}

// Random arenas of every density: radii from dead to the maximum (one
// arena in four, the others up to 30), centres over part or all of the
// largest arena, margins from 0 to 20.
void TestNearCircles::vectorsAnswerAsPairs()
{
    InlineGenerator draws(2024);
    long flagged = 0, empty = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        Arena arena;
        const int spread = 50 + trial % 1600;
        for (int c = 0; c < circles; ++c)
            arena.place(c, draws.next() % spread, draws.next() % (spread * 9 / 16 + 1),
                        draws.next() % (trial % 4 == 0 ? rules::maxRadius + 11 : 40) - 10);
        const int margin = trial % 21;
        const uint32_t exact = arena.exact(margin);
        QVERIFY2(arena.near(margin) == exact, qPrintable(QStringLiteral("trial %1").arg(trial)));
        flagged += exact != 0 ? 1 : 0;
        empty += exact == 0 ? 1 : 0;
    }
    // Both answers were common.
    QVERIFY2(flagged > 1000 && empty > 1000, qPrintable(QStringLiteral("%1 / %2").arg(flagged).arg(empty)));
}

// Coordinates no arena has (set by a tool, say) cannot be held in 16 bits:
// the answer then keeps every circle, which only costs the exact test time.
void TestNearCircles::boxesPastSixteenBitsKeepEveryone()
{
    Arena arena;
    arena.place(0, 100, 100, 10);
    arena.place(3, 40000, 100, 10);
    arena.place(4, 40015, 100, 10);
    QCOMPARE(arena.exact(0), bit(3) | bit(4));
    for (const nearCircles::Way &way : nearCircles::waysHere())
        QCOMPARE(way.answer(arena.x, arena.y, arena.r, 0) & (bit(3) | bit(4)), bit(3) | bit(4));
    arena.place(3, -40000, 100, 10);
    arena.place(4, 100, 70000, 10);
    arena.place(5, 120, 100, 15);
    QCOMPARE(arena.exact(0), bit(0) | bit(5));
    for (const nearCircles::Way &way : nearCircles::waysHere())
        QCOMPARE(way.answer(arena.x, arena.y, arena.r, 0) & (bit(0) | bit(5)), bit(0) | bit(5));
}

// On an x86-64 processor the vector ways are there to be compared.
void TestNearCircles::everyWayIsTried()
{
    const std::vector<nearCircles::Way> ways = nearCircles::waysHere();
    QVERIFY(!ways.empty());
    QCOMPARE(QString::fromLatin1(ways.front().name), QStringLiteral("pair by pair"));
#if defined(__x86_64__) || defined(_M_X64)
    QVERIFY(ways.size() >= 2);
#endif
    for (const nearCircles::Way &way : ways)
        qInfo("compared: %s", way.name);
}

QTEST_APPLESS_MAIN(TestNearCircles)
#include "test_near_circles.moc"
