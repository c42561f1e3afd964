// The state of one arena and the operations of a simulation step.
//
// All circles live in parallel arrays: agents at 0..numAgents-1, resources after
// them. A circle exists while its radius is greater than 0.
#ifndef BALL_ENGINE_H
#define BALL_ENGINE_H

#include "engine/game_rules.h"

// The arena's game host builds the engine without Qt: it draws nothing,
// and the process that forks every game then maps no Qt at all, which
// makes each fork several times cheaper. Everything else is the same code.
#if !defined(PELLORIA_ENGINE_WITHOUT_QT)
#  include <QColor>
#  include <QObject>
#endif

#include <climits>
#include <cstddef>
#include <cstdint>

// Plug-in entry point type; the game binds `controller` from brainlet at load
// time, tools may hand the engine another function of the same shape.
using ControllerFunction = void (*)(int &action, const size_t agent, const size_t num_agents,
                                    const size_t num_resources, const int *circleRadius, const int *xCoordinate,
                                    const int *yCoordinate, const int *xVelocity, const int *yVelocity);

// The squared distance between two centres, exact in integers. The
// differences are taken in 64 bits, where no two ints overflow; centres
// farther apart on an axis than any arena allows (a tool may set any
// coordinates) give the largest value instead of overflowing the sum.
inline long long squaredDistance(int x1, int y1, int x2, int y2)
{
    constexpr long long farthest = 3037000499LL; // the square root of LLONG_MAX / 2, rounded down
    const long long dx = static_cast<long long>(x1) - x2;
    const long long dy = static_cast<long long>(y1) - y2;
    const bool far = (dx > farthest) | (dx < -farthest) | (dy > farthest) | (dy < -farthest);
    return far ? LLONG_MAX : dx * dx + dy * dy;
}

// Whether two centres `squared` apart are closer than `reach` (the sum of
// two radii, or the arena's width): `distance < reach` decided in integers.
//
// The step compares distances only with such whole numbers and with each
// other, and these integer comparisons give exactly what the comparisons of
// `distance` (a correctly rounded long double square root) give:
// - sqrt(n) < m  <=>  n < m*m for whole n, m >= 0, since sqrt is increasing
//   and rounding keeps the order; the rounded root of m*m - 1 stays below m
//   because their gap, 1 / (m + sqrt(m*m - 1)) > 1 / (2m), is far wider than
//   a long double's spacing near m (2^-52 at m = 3300);
// - sqrt(n1) < sqrt(n2)  <=>  n1 < n2 for the same reason: neighbouring
//   roots below 2^24 are over 2^-13 apart.
// tests/test_step.cpp checks both over every distance the arena allows.
inline bool closerThan(long long squared, int reach)
{
    return squared < static_cast<long long>(reach) * reach;
}

// Euclidean distance between two centres.
long double distance(int x1, int y1, int x2, int y2);

// A change of an agent's radius, and why: a wall bounce, a contest with agent
// `other`, or a meal from circle `other` (a resource).
struct RadiusChange {
    enum Cause : int32_t { Wall = 0, Contest = 1, Meal = 2 };
    Cause cause = Wall;
    int32_t other = -1;
    int32_t delta = 0;
    int32_t agent = 0; // whose radius changed
};
using RadiusListener = void (*)(void *context, const RadiusChange &change);

struct random_data;    // the C library's state of a generator of one's own
class InlineGenerator; // inline_generator.h

class Ball_engine
#if !defined(PELLORIA_ENGINE_WITHOUT_QT)
    : public QObject
#endif
{
public:
    Ball_engine();
#if defined(PELLORIA_ENGINE_WITHOUT_QT)
    ~Ball_engine();
#else
    ~Ball_engine() override;
#endif
    Ball_engine(const Ball_engine &) = delete;
    Ball_engine &operator=(const Ball_engine &) = delete;

    void setup(size_t numAgents, int scale);

    // Lays out a new game, seeding the runtime generator from the clock.
    void reset();
    // The same layout from a chosen seed, with the respawn rhythm, the visit
    // order and the actions started afresh: together with a step phase of 0
    // the game replays move for move, whatever this engine or any other in
    // the process played before. From then on the engine keeps a respawn
    // rhythm of its own instead of the process's; the game window never
    // seeds, so its engine keeps the process's rhythm.
    void resetSeeded(unsigned int seed);

    void respawnResources();
    void tickRespawnCounter();
    int countAliveAgents() const;

    size_t getNumAgents() const { return numAgents; }
    size_t getNumResources() const { return numResources; }
#if !defined(PELLORIA_ENGINE_WITHOUT_QT)
    QColor *getColors() const { return colors; }
#endif
    int *getXCoordinate() const { return xCoordinate; }
    int *getYCoordinate() const { return yCoordinate; }
    int *getCircleRadius() const { return circleRadius; }
    int *getXVelocity() const { return xVelocity; }
    int *getYVelocity() const { return yVelocity; }
    int *getPrevX() const { return prevX; }
    int *getPrevY() const { return prevY; }
    int *getActions() const { return actions; }
    size_t *getVisitOrder() const { return visitOrder; }

    // Agent 0's policy. Defaults to the brainlet's `controller`.
    void setController(ControllerFunction function) { controllerFunction = function; }

    // Told every change of the radius of agents 0 to `agents` - 1 with its
    // cause, for tools that record or explain a game (a match explains
    // every seat's); none by default, and the game sets none.
    void setRadiusListener(RadiusListener listener, void *context, size_t agents = 1)
    {
        radiusListener = listener;
        radiusContext = context;
        listenedAgents = agents;
    }

    // Where the engine draws its numbers: the C library's shared generator
    // (rand(), which the controller shares, as the game has it) by default,
    // or a stream of its own (see SeparateGenerators), seeded by the engine
    // as the shared one would be, so that a seed lays out the same game.
    // A stream of its own is the library's (random_r, GNU only) or an
    // inline copy of it, which spares every draw a call; either gives the
    // same numbers. The last choice holds; nullptr goes back to rand().
    void drawFrom(random_data *stream)
    {
        ownStream = stream;
        inlineStream = nullptr;
    }
    void drawFrom(InlineGenerator *generator)
    {
        inlineStream = generator;
        ownStream = nullptr;
    }
    void drawFrom(std::nullptr_t)
    {
        drawFrom(static_cast<InlineGenerator *>(nullptr));
    }

    // Every agent's action, agent 0's from the controller, in index order:
    // what the game's agent clock does each tick.
    void chooseActions();
    // The opponents' actions alone, drawn as chooseActions draws them, for
    // a caller that sets agent 0's action itself.
    void chooseOpponentActions();
    // One whole step (moves, contests, the respawn tick when `stepPhase`
    // wraps, meals); returns the living agents. See stepArena.
    int step(size_t &stepPhase);

    void chooseAction(size_t index);
    void savePositions();
    void decodeAction(size_t index);
    void moveAgent(size_t index);
    // Shuffles the visit order, then settles contests in it.
    void resolveContests();
    void shuffleVisitOrder();
    void settleContests();
    void eatResources();

    int width = rules::maxArenaWidth;
    int height = rules::maxArenaHeight;
    int resourceMaxRadius = 10;
    int maxRadius = rules::maxRadius;
    int initRadius = rules::startRadius;

private:
    // An agent's spans: the box its centre swept during the current step
    // grown by its current radius.
    struct Spans {
        int loX, hiX, loY, hiY;
    };

    // What a move reads of the arena besides the circles.
    struct Walls {
        int width, height, maxRadius;
    };
    void move(size_t agent, Walls walls);
    template <size_t Agents>
    void moveAll();

    void layOutGame();
    void seedDraws(unsigned int seed);
    int draw();
    // The step's parts, compiled once for each source of draws and for the
    // game's agent count (Agents; 0 stands for a count known only at run
    // time), so that a draw inlines and the loops know their bounds.
    template <typename Play>
    auto withDraws(Play play);
    template <typename Play>
    auto withAgentCount(Play play);
    void askController();
    template <size_t Agents, typename Draws>
    int stepWith(Draws draws, size_t &stepPhase);
    template <size_t Agents, typename Draws>
    void shuffleWith(Draws draws);
    template <size_t Agents>
    size_t agentCount() const;
    class CircleSet;
    template <size_t Agents>
    CircleSet mayTouch() const;
    void settleContestsAmong(CircleSet agents);
    void eatResourcesOf(CircleSet resources);
    size_t eaterOf(size_t resource) const;
    void measureSpans(size_t agent);
    static bool spansOverlap(const Spans &a, const Spans &b);
    void freeArrays();

    size_t numAgents = 0;
    size_t numResources = 0;
    ControllerFunction controllerFunction;
    RadiusListener radiusListener = nullptr;
    void *radiusContext = nullptr;
    size_t listenedAgents = 1;
    // Only tools listen; the step pays a test and nothing more otherwise.
    void agent0Changed(size_t i, RadiusChange::Cause cause, size_t other, int delta)
    {
#if defined(__GNUC__)
        if (__builtin_expect(radiusListener != nullptr, 0) && i < listenedAgents && delta != 0)
#else
        if (radiusListener != nullptr && i < listenedAgents && delta != 0)
#endif
            tellListener(i, cause, other, delta);
    }
#if defined(__GNUC__)
    __attribute__((cold, noinline))
#endif
    void
    tellListener(size_t agent, RadiusChange::Cause cause, size_t other, int delta);
    // Resources respawn on a rhythm counted from the program's start, not from
    // the start of a game: the designed engine ticks one process-wide counter
    // that neither setup nor reset touches. A seeded game (a tool's game that
    // must stand alone beside others in the process) ticks its own instead.
    int seededRespawnCounter = 0;
    int *respawnRhythm;
    random_data *ownStream = nullptr;
    InlineGenerator *inlineStream = nullptr;

#if !defined(PELLORIA_ENGINE_WITHOUT_QT)
    QColor *colors = nullptr;
#endif
    // Where the int arrays below live (see setup).
    static constexpr size_t intArrayAlignment = 64;
    int *intArrays = nullptr;
    int *xCoordinate = nullptr;
    int *yCoordinate = nullptr;
    int *prevX = nullptr;
    int *prevY = nullptr;
    int *xVelocity = nullptr;
    int *yVelocity = nullptr;

public:
    int *xAcceleration = nullptr;
    int *yAcceleration = nullptr;

private:
    int *circleRadius = nullptr;
    size_t *visitOrder = nullptr;
    int *actions = nullptr;
    // The arrays above that live in `intArrays`.
    static constexpr int *Ball_engine::*intArrayMembers[] = {
        &Ball_engine::xCoordinate, &Ball_engine::yCoordinate,   &Ball_engine::prevX,
        &Ball_engine::prevY,       &Ball_engine::xVelocity,     &Ball_engine::yVelocity,
        &Ball_engine::xAcceleration, &Ball_engine::yAcceleration, &Ball_engine::circleRadius,
        &Ball_engine::actions};

    // Scratch for the contests and meals, one entry per agent.
    Spans *spans = nullptr;
    size_t *contestants = nullptr;
};

#endif
