#include "engine/ball_engine.h"

#include "brainlet/brainlet.h"
#include "engine/each_index.h"
#include "engine/inline_generator.h"
#include "engine/move_lanes.h"
#include "engine/move_rule.h"
#include "engine/near_circles.h"

// Referenced weakly, so that a brainlet without `controller` still loads and
// the game can say what is wrong with it instead of the loader's one line.
#if defined(__GNUC__) && defined(__ELF__)
#  pragma weak controller
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <new>
#include <type_traits>
#include <utility>

namespace {

constexpr int respawnPeriod = 25;

// The process-wide respawn rhythm; only tickRespawnCounter moves it.
int respawnCounter = 0;

// The speed cap 5 * (maxRadius / r) for the game's cap of 200, for every
// radius: a move then needs no division.
constexpr int gameMaxRadius = rules::maxRadius;
struct SpeedCaps {
    int cap[gameMaxRadius + 1] = {};
    constexpr SpeedCaps()
    {
        for (int r = 1; r <= gameMaxRadius; ++r)
            cap[r] = 5 * (gameMaxRadius / r);
    }
};
constexpr SpeedCaps speedCaps;

// The speed cap 5 * (maxRadius / r) of a living agent.
inline int speedCap(int r, int maxRadius)
{
    return (maxRadius == gameMaxRadius && r <= gameMaxRadius) ? speedCaps.cap[r] : 5 * (maxRadius / r);
}

// The next Count draws from a source that draws one at a time, handed to
// use(k, draw) in order.
template <size_t Count, typename Draws, typename Use>
inline void drawOneByOne(const Draws &draws, Use use)
{
    forEachIndex<Count>([&](auto k) { use(k, draws()); });
}

// The three sources of draws, as the step's templates take them: each a
// call that inlines into the loops that draw, and many(), which hands the
// next Count draws to use(k, draw) in order.
struct SharedDraws {
    int operator()() const { return std::rand(); }
    template <size_t Count, typename Use>
    void many(Use use) const
    {
        drawOneByOne<Count>(*this, use);
    }
};
struct InlineDraws {
    InlineGenerator &generator;
    int operator()() const { return generator.next(); }
    template <size_t Count, typename Use>
    void many(Use use) const
    {
        generator.nextMany<Count>(use);
    }
};
#if defined(__GLIBC__)
struct LibraryDraws {
    random_data *stream;
    int operator()() const
    {
        int32_t value = 0;
        ::random_r(stream, &value);
        return value;
    }
    template <size_t Count, typename Use>
    void many(Use use) const
    {
        drawOneByOne<Count>(*this, use);
    }
};
#endif

// An opponent's action, any of the nine, from a draw.
inline int opponentAction(int draw)
{
    return draw % actionCount;
}

// One swap of the visit order's shuffle: entry i with one of the `span`
// entries from i on, by a draw. A span known at compile time divides by a
// constant.
template <typename Span>
inline void swapWithin(size_t *order, size_t i, Span span, int draw)
{
    // In 32 bits: the same remainder as in size_t, at a fraction of the
    // cost of a 64-bit division.
    const size_t j = i + static_cast<unsigned>(draw) % static_cast<unsigned>(span);
    std::swap(order[i], order[j]);
}

} // namespace

long double distance(int x1, int y1, int x2, int y2)
{
    return std::sqrt(static_cast<long double>(squaredDistance(x1, y1, x2, y2)));
}

#if defined(PELLORIA_ENGINE_WITHOUT_QT)
Ball_engine::Ball_engine() : controllerFunction(&controller), respawnRhythm(&respawnCounter) { }
#else
Ball_engine::Ball_engine() : QObject(nullptr), controllerFunction(&controller), respawnRhythm(&respawnCounter) { }
#endif

Ball_engine::~Ball_engine()
{
    freeArrays();
}

void Ball_engine::freeArrays()
{
    auto release = [](auto *&array) {
        delete[] array;
        array = nullptr;
    };
#if !defined(PELLORIA_ENGINE_WITHOUT_QT)
    release(colors);
#endif
    if (intArrays != nullptr)
        ::operator delete[](intArrays, std::align_val_t(intArrayAlignment));
    intArrays = nullptr;
    for (int *Ball_engine::*array : intArrayMembers)
        this->*array = nullptr;
    release(visitOrder);
    release(spans);
    release(contestants);
}

void Ball_engine::setup(size_t agents, int scale)
{
    // Meant to be called once; a second call must not leak the first arrays.
    freeArrays();
    numAgents = agents;
    numResources = agents / 2;
    width = rules::arenaWidthUnits * scale;
    height = rules::arenaHeightUnits * scale;
    if (numAgents == 0)
        return;

    const size_t n = numAgents;
    const size_t all = numAgents + numResources;
#if !defined(PELLORIA_ENGINE_WITHOUT_QT)
    colors = new QColor[n];
#endif
    // The int arrays share one block, each on a line of its own and padded
    // to whole lines: a vector of them then never straddles two lines, nor
    // reaches into the memory of a neighbour the step has just written.
    constexpr size_t perLine = intArrayAlignment / sizeof(int);
    const size_t stride = (all + perLine - 1) / perLine * perLine;
    const size_t count = sizeof intArrayMembers / sizeof intArrayMembers[0];
    intArrays = static_cast<int *>(::operator new[](count *stride * sizeof(int), std::align_val_t(intArrayAlignment)));
    std::fill(intArrays, intArrays + count * stride, 0);
    for (size_t k = 0; k < count; ++k)
        this->*intArrayMembers[k] = intArrays + k * stride;
    visitOrder = new size_t[n];
    spans = new Spans[n];
    contestants = new size_t[n];

#if !defined(PELLORIA_ENGINE_WITHOUT_QT)
    const int step = 3 * (200 / static_cast<int>(n));
#endif
    for (size_t i = 0; i < n; ++i) {
#if !defined(PELLORIA_ENGINE_WITHOUT_QT)
        const int v = (4 - static_cast<int>(i % 3)) * step;
        switch (i / 3) {
        case 0: colors[i] = QColor(v, step, step, 255); break;
        case 1: colors[i] = QColor(step, v, step, 255); break;
        case 2: colors[i] = QColor(step, step, v, 255); break;
        case 3: colors[i] = QColor(v, v, step, 255); break;
        default: break; // never reached by the game's ten agents
        }
#endif
        xCoordinate[i] = yCoordinate[i] = 0;
        xVelocity[i] = yVelocity[i] = 0;
        xAcceleration[i] = yAcceleration[i] = 0;
        prevX[i] = prevY[i] = 0;
        circleRadius[i] = 0;
        actions[i] = 0;
        visitOrder[i] = i;
    }
    for (size_t j = n; j < all; ++j)
        xCoordinate[j] = yCoordinate[j] = circleRadius[j] = 0;
}

void Ball_engine::reset()
{
    seedDraws(static_cast<unsigned int>(std::time(nullptr)));
    layOutGame();
}

void Ball_engine::resetSeeded(unsigned int seed)
{
    // A seeded game must replay on its own, whatever ran before it in the
    // process or on this engine: everything a game carries over (the respawn
    // rhythm, the visit order the shuffle starts from, the last actions)
    // starts afresh.
    seededRespawnCounter = 0;
    respawnRhythm = &seededRespawnCounter;
    for (size_t i = 0; i < numAgents; ++i) {
        visitOrder[i] = i;
        actions[i] = 0;
        xAcceleration[i] = yAcceleration[i] = 0;
    }
    seedDraws(seed);
    layOutGame();
}

void Ball_engine::seedDraws(unsigned int seed)
{
    if (inlineStream) {
        inlineStream->seed(seed);
        return;
    }
#if defined(__GLIBC__)
    if (ownStream) {
        ::srandom_r(seed, ownStream);
        return;
    }
#endif
    std::srand(seed);
}

// Inlined into every draw of the step: the tests cost little next to a
// draw, a stream of its own spares the shared generator's lock, and the
// inline copy the call as well.
inline int Ball_engine::draw()
{
    if (inlineStream)
        return inlineStream->next();
#if defined(__GLIBC__)
    if (ownStream) {
        int32_t value = 0;
        ::random_r(ownStream, &value);
        return value;
    }
#endif
    return std::rand();
}

template <size_t Agents>
size_t Ball_engine::agentCount() const
{
    if constexpr (Agents == 0)
        return numAgents;
    else
        return Agents;
}

template <typename Play>
auto Ball_engine::withDraws(Play play)
{
    if (inlineStream)
        return play(InlineDraws{*inlineStream});
#if defined(__GLIBC__)
    if (ownStream)
        return play(LibraryDraws{ownStream});
#endif
    return play(SharedDraws{});
}

// The game's ten agents get loops of known bounds; any other count (tests
// and tools may set one up) plays the same code with the count read at run
// time.
template <typename Play>
auto Ball_engine::withAgentCount(Play play)
{
    if (numAgents == rules::agentsPerGame)
        return play(std::integral_constant<size_t, rules::agentsPerGame>());
    return play(std::integral_constant<size_t, 0>());
}

void Ball_engine::layOutGame()
{
    for (size_t i = 0; i < numAgents; ++i) {
        xCoordinate[i] = initRadius + draw() % (width - 2 * initRadius);
        yCoordinate[i] = initRadius + draw() % (height - 2 * initRadius);
        xVelocity[i] = yVelocity[i] = 0;
        circleRadius[i] = initRadius;
    }
    for (size_t j = numAgents; j < numAgents + numResources; ++j) {
        const int r = 1 + draw() % resourceMaxRadius;
        circleRadius[j] = r;
        xCoordinate[j] = r + draw() % (width - 2 * r);
        yCoordinate[j] = r + draw() % (height - 2 * r);
    }
}

void Ball_engine::respawnResources()
{
    const int margin = resourceMaxRadius + 1;
    for (size_t j = numAgents; j < numAgents + numResources; ++j) {
        xCoordinate[j] = margin + draw() % (width - 2 * resourceMaxRadius - 1);
        yCoordinate[j] = margin + draw() % (height - 2 * resourceMaxRadius - 1);
        circleRadius[j] = 1 + draw() % resourceMaxRadius;
    }
}

void Ball_engine::tickRespawnCounter()
{
    *respawnRhythm = (*respawnRhythm + 1) % respawnPeriod;
    if (*respawnRhythm == 0)
        respawnResources();
}

int Ball_engine::countAliveAgents() const
{
    int alive = 0;
    for (size_t i = 0; i < numAgents; ++i)
        if (circleRadius[i] > 0)
            ++alive;
    return alive;
}

void Ball_engine::chooseAction(size_t index)
{
    if (index == 0)
        askController();
    else
        withDraws([&](auto draws) { actions[index] = opponentAction(draws()); });
}

void Ball_engine::askController()
{
    // The plug-in may store nothing; 0 (no acceleration) is then the action.
    actions[0] = 0;
    controllerFunction(actions[0], 0, numAgents, numResources, circleRadius, xCoordinate, yCoordinate, xVelocity,
                       yVelocity);
}

void Ball_engine::chooseActions()
{
    if (numAgents > 0)
        askController();
    chooseOpponentActions();
}

void Ball_engine::chooseOpponentActions()
{
    withDraws([&](auto draws) {
        withAgentCount([&](auto agents) {
            constexpr size_t count = decltype(agents)::value;
            if constexpr (count >= 2) {
                draws.template many<count - 1>([&](auto k, int draw) { actions[1 + k] = opponentAction(draw); });
            } else {
                for (size_t i = 1; i < numAgents; ++i)
                    actions[i] = opponentAction(draws());
            }
        });
    });
}

void Ball_engine::tellListener(size_t agent, RadiusChange::Cause cause, size_t other, int delta)
{
    radiusListener(radiusContext, RadiusChange{cause, int32_t(other), delta, int32_t(agent)});
}

void Ball_engine::savePositions()
{
    for (size_t i = 0; i < numAgents; ++i) {
        prevX[i] = xCoordinate[i];
        prevY[i] = yCoordinate[i];
    }
}

void Ball_engine::decodeAction(size_t index)
{
    const Acceleration a = accelerationOf(actions[index]);
    xAcceleration[index] = a.x;
    yAcceleration[index] = a.y;
}

void Ball_engine::moveAgent(size_t i)
{
    move(i, Walls{width, height, maxRadius});
}

// Inlined into the step's loop, which reads the walls once for all agents.
#if defined(__GNUC__)
__attribute__((always_inline))
#endif
inline void
Ball_engine::move(size_t i, Walls walls)
{
    const int r = circleRadius[i];
    if (r <= 0)
        return;
    const Acceleration a = accelerationOf(actions[i]);
    xAcceleration[i] = a.x;
    yAcceleration[i] = a.y;
    Motion<int> m{xCoordinate[i], yCoordinate[i], xVelocity[i], yVelocity[i], r};
    const int bounced = moveLiving(m, a.x, a.y, speedCap(r, walls.maxRadius), walls.width, walls.height);
    xCoordinate[i] = m.x;
    yCoordinate[i] = m.y;
    xVelocity[i] = m.vx;
    yVelocity[i] = m.vy;
    circleRadius[i] = m.r;
    if (bounced)
        agent0Changed(i, RadiusChange::Wall, size_t(-1), -1);
}

// The positions saved and every agent moved, as savePositions and moveAgent
// in index order do it; in lanes, where the processor has them.
template <size_t Agents>
void Ball_engine::moveAll()
{
    if constexpr (Agents == size_t(moveLanes::agents)) {
        if (moveLanes::availableFor(maxRadius)) {
            const uint32_t bounced
                = moveLanes::moveAgents(moveLanes::Arrays{xCoordinate, yCoordinate, xVelocity, yVelocity, circleRadius,
                                                          xAcceleration, yAcceleration, prevX, prevY, actions},
                                        width, height, maxRadius);
            if (radiusListener != nullptr)
                for (size_t i = 0; i < Agents; ++i)
                    if ((bounced >> i) & 1)
                        agent0Changed(i, RadiusChange::Wall, size_t(-1), -1);
            return;
        }
    }
    const Walls walls{width, height, maxRadius};
    const size_t n = agentCount<Agents>();
    for (size_t i = 0; i < n; ++i) {
        prevX[i] = xCoordinate[i];
        prevY[i] = yCoordinate[i];
    }
#if defined(__GNUC__)
#  pragma GCC unroll 16
#endif
    for (size_t i = 0; i < n; ++i)
        move(i, walls);
}

// Cheap filter in front of the distance test. Spans that merely touch overlap.
bool Ball_engine::spansOverlap(const Spans &a, const Spans &b)
{
    // Non-short-circuit: most pairs are far apart, and one well-predicted
    // branch beats four random ones.
    const bool apart = (a.hiX < b.loX) | (a.loX > b.hiX) | (a.hiY < b.loY) | (a.loY > b.hiY);
    return !apart;
}

// Positions stay put during contests and meals, so an agent's spans change
// only with its radius; they are measured once and again after each change.
inline void Ball_engine::measureSpans(size_t i)
{
    const int r = circleRadius[i];
    spans[i].loX = std::min(prevX[i], xCoordinate[i]) - r;
    spans[i].hiX = std::max(prevX[i], xCoordinate[i]) + r;
    spans[i].loY = std::min(prevY[i], yCoordinate[i]) - r;
    spans[i].hiY = std::max(prevY[i], yCoordinate[i]) + r;
}

// The circles a step's contests and meals may involve, one bit each
// (circles past the bits are always in): all of them, or those a test in
// front of the exact one keeps.
class Ball_engine::CircleSet
{
public:
    static CircleSet all() { return CircleSet(~uint32_t(0)); }
    explicit CircleSet(uint32_t bits) : bits(bits) { }
    bool has(size_t c) const { return (c >= 32) | (((bits >> (c & 31)) & 1) != 0); }
    // Whether any circle from `first` on is in.
    bool anyFrom(size_t first) const { return first >= 32 || (bits >> first) != 0; }
    bool anyBelow(size_t end) const { return end >= 32 ? bits != 0 : (bits & ((1u << end) - 1)) != 0; }

private:
    uint32_t bits;
};

int Ball_engine::step(size_t &stepPhase)
{
    return withDraws([&](auto draws) {
        return withAgentCount([&](auto agents) { return stepWith<decltype(agents)::value>(draws, stepPhase); });
    });
}

template <size_t Agents, typename Draws>
int Ball_engine::stepWith(Draws draws, size_t &stepPhase)
{
    const size_t n = agentCount<Agents>();
    stepPhase = (stepPhase + 1) % n;
    moveAll<Agents>();
    // Most steps nothing touches: the contests and meals then change
    // nothing, and only the shuffle's draws are left to make.
    CircleSet near = mayTouch<Agents>();
    if (n >= 2) {
        shuffleWith<Agents>(draws);
        if (near.anyBelow(n))
            settleContestsAmong(near);
    }
    if (stepPhase == 0) {
        tickRespawnCounter();
        if (*respawnRhythm == 0)
            near = CircleSet::all(); // the resources are somewhere else now
    }
    if (near.anyFrom(n))
        eatResourcesOf(near);
    int alive = 0;
    // Written out without branches: deaths come at random.
#if defined(__GNUC__)
#  pragma GCC unroll 16
#endif
    for (size_t i = 0; i < n; ++i)
        alive += circleRadius[i] > 0 ? 1 : 0;
    return alive;
}

// The contests and meals of one step can carry the reach of two circles
// (the sum of their radii) at most 2 * (n - 1) past what it was when they
// began: an agent gains a unit a contest it wins, one against each other
// agent at most, and then a unit a meal, at most n / 2; resources only
// shrink. A pair of agents has met at most n - 2 others each before it is
// settled, an agent and a resource at most n - 1 contests and n / 2 - 1
// earlier meals. Boxes widened by n - 1 each that do not overlap are
// therefore farther apart on some axis than the circles can reach before
// their pair is decided: that pair neither contests nor eats, and leaving
// it out changes nothing.
template <size_t Agents>
Ball_engine::CircleSet Ball_engine::mayTouch() const
{
    if constexpr (Agents == rules::agentsPerGame)
        return CircleSet(nearCircles::nearAgents(xCoordinate, yCoordinate, circleRadius, int(Agents) - 1));
    else
        return CircleSet::all();
}

void Ball_engine::resolveContests()
{
    if (numAgents < 2)
        return;
    shuffleVisitOrder();
    settleContests();
}

void Ball_engine::shuffleVisitOrder()
{
    withDraws([&](auto draws) { withAgentCount([&](auto agents) { shuffleWith<decltype(agents)::value>(draws); }); });
}

template <size_t Agents, typename Draws>
void Ball_engine::shuffleWith(Draws draws)
{
    if constexpr (Agents >= 2) {
        draws.template many<Agents - 1>([&](auto i, int draw) {
            swapWithin(visitOrder, i, std::integral_constant<unsigned, unsigned(Agents - i)>(), draw);
        });
    } else {
        for (size_t i = 0; i + 1 < numAgents; ++i)
            swapWithin(visitOrder, i, numAgents - i, draws());
    }
}

void Ball_engine::settleContests()
{
    settleContestsAmong(CircleSet::all());
}

void Ball_engine::settleContestsAmong(CircleSet agents)
{
    // Agents dead before the contests are dropped once, keeping the visit
    // order; those killed during them are still skipped as they fall.
    // Gathered without branches: which agents are near is anyone's guess.
    size_t living = 0;
    for (size_t p = 0; p < numAgents; ++p) {
        const size_t a = visitOrder[p];
        contestants[living] = a;
        living += size_t((circleRadius[a] > 0) & agents.has(a));
    }
    for (size_t p = 0; p < living; ++p)
        measureSpans(contestants[p]);
    for (size_t p = 0; p + 1 < living; ++p) {
        const size_t a = contestants[p];
        if (circleRadius[a] <= 0)
            continue;
        for (size_t q = p + 1; q < living; ++q) {
            const size_t b = contestants[q];
            if (circleRadius[b] <= 0 || !spansOverlap(spans[a], spans[b]))
                continue;
            const int ra = circleRadius[a];
            const int rb = circleRadius[b];
            if (!closerThan(squaredDistance(xCoordinate[a], yCoordinate[a], xCoordinate[b], yCoordinate[b]), ra + rb))
                continue;
            if (ra > rb) {
                circleRadius[a] = std::min(ra + 1, maxRadius);
                circleRadius[b] = rb - 1;
            } else if (ra < rb) {
                circleRadius[b] = std::min(rb + 1, maxRadius);
                circleRadius[a] = ra - 1;
            }
            agent0Changed(a, RadiusChange::Contest, b, circleRadius[a] - ra);
            agent0Changed(b, RadiusChange::Contest, a, circleRadius[b] - rb);
            measureSpans(a);
            measureSpans(b);
            if (circleRadius[a] <= 0)
                break;
        }
    }
}

void Ball_engine::eatResources()
{
    eatResourcesOf(CircleSet::all());
}

void Ball_engine::eatResourcesOf(CircleSet resources)
{
    for (size_t j = numAgents; j < numAgents + numResources; ++j) {
        if (circleRadius[j] <= 0 || !resources.has(j))
            continue;
        const size_t winner = eaterOf(j);
        if (winner < numAgents) {
            const int before = circleRadius[winner];
            circleRadius[winner] = std::min(before + 1, maxRadius);
            circleRadius[j] -= 1;
            agent0Changed(winner, RadiusChange::Meal, j, circleRadius[winner] - before);
        }
    }
}

// Of the living agents that touch resource j, the nearest, the first of
// equals; none (numAgents) when none touches it or none is nearer than the
// arena's width. Every agent is measured, without branches: a resource
// that may be eaten is near an agent or two, and which is anyone's guess.
size_t Ball_engine::eaterOf(size_t j) const
{
    long long best = static_cast<long long>(width) * width;
    size_t winner = numAgents;
    for (size_t i = 0; i < numAgents; ++i) {
        const long long d = squaredDistance(xCoordinate[i], yCoordinate[i], xCoordinate[j], yCoordinate[j]);
        const bool nearer = (circleRadius[i] > 0) & closerThan(d, circleRadius[i] + circleRadius[j]) & (d < best);
        best = nearer ? d : best;
        winner = nearer ? i : winner;
    }
    return winner;
}
