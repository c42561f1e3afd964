// An example controller that plays to survive: it grows by eating resources
// and smaller agents, keeps away from larger agents, and never lets itself hit
// a wall, since every bounce costs a radius.
//
// Build it as a shared library exporting `controller` (see brainlet.h), put it
// beside the game under the brainlet's file name, and agent 0 plays it.
//
// The arena's size is not passed to controllers; this one assumes the full
// arena of brainlet.h, which the game uses on screens 1600 pixels wide or
// more and pelloria-arena always uses (the handbook shows how to tell the
// size from what a controller sees, as examples/c/nearest_meal.c does).
#include "brainlet.h"

#include <cmath>

#if defined(_WIN32)
#  include <windows.h>
#endif

namespace {

constexpr double arenaWidth = BRAINLET_MAX_ARENA_WIDTH;
constexpr double arenaHeight = BRAINLET_MAX_ARENA_HEIGHT;

// Slow enough to stop before a wall or a threat, fast enough to reach food.
constexpr double cruiseSpeed = 4.0;
// How far beyond touching a larger agent starts to repel.
constexpr double dangerRange = 150.0;
constexpr double threatWeight = 3.0;
// A smaller agent is worth chasing, but a resource is a sure meal.
constexpr double preyPenalty = 1.5;
// Extra room kept from the walls, beyond the braking distance.
constexpr double wallMargin = 12.0;

struct Vec {
    double x = 0, y = 0;
};

Vec towards(double fromX, double fromY, double toX, double toY, double scale)
{
    const double dx = toX - fromX, dy = toY - fromY;
    const double d = std::sqrt(dx * dx + dy * dy);
    if (d < 1e-9)
        return {};
    return {dx / d * scale, dy / d * scale};
}

// Distance covered while braking from speed v with a deceleration of 1.
double brakingDistance(double v)
{
    v = std::fabs(v);
    return v * (v + 1) / 2;
}

// One axis: accelerate towards the wanted velocity, but first make sure the
// agent can still stop before the wall it is heading for.
int chooseAxis(double position, double velocity, double wanted, double radius, double extent)
{
    const double low = position - radius;
    const double high = extent - radius - position;
    if (velocity < 0 && low - brakingDistance(velocity - 1) < wallMargin)
        return +1;
    if (velocity > 0 && high - brakingDistance(velocity + 1) < wallMargin)
        return -1;
    if (wanted > velocity + 0.5)
        return high - brakingDistance(velocity + 1) < wallMargin ? 0 : +1;
    if (wanted < velocity - 0.5)
        return low - brakingDistance(velocity - 1) < wallMargin ? 0 : -1;
    return 0;
}

int actionFor(int ax, int ay)
{
    // Codes of brainlet.h, indexed by (ax + 1) * 3 + (ay + 1).
    static const int table[9] = {5, 3, 7, 1, 0, 2, 6, 4, 8};
    return table[(ax + 1) * 3 + (ay + 1)];
}

} // namespace

extern "C" BRAINLET_API void BRAINLET_CALL controller(int &action, const size_t agent,
                                                      const size_t num_agents,
                                                      const size_t num_resources,
                                                      const int *circleRadius,
                                                      const int *xCoordinate,
                                                      const int *yCoordinate,
                                                      const int *xVelocity,
                                                      const int *yVelocity)
{
    action = 0;
    const double r = circleRadius[agent];
    if (r <= 0)
        return;
    const double x = xCoordinate[agent], y = yCoordinate[agent];

    // The most attractive meal: the nearest by gap, smaller agents discounted.
    Vec pull;
    double bestCost = 1e18;
    for (size_t k = 0; k < num_agents + num_resources; ++k) {
        if (k == agent || circleRadius[k] <= 0)
            continue;
        const bool resource = k >= num_agents;
        if (!resource && circleRadius[k] >= r)
            continue;
        const double gap = std::hypot(xCoordinate[k] - x, yCoordinate[k] - y) - r - circleRadius[k];
        const double cost = resource ? gap : gap * preyPenalty;
        if (cost < bestCost) {
            bestCost = cost;
            pull = towards(x, y, xCoordinate[k], yCoordinate[k], 1.0);
        }
    }

    // Larger agents push, the more the closer they are.
    Vec push;
    for (size_t k = 0; k < num_agents; ++k) {
        if (k == agent || circleRadius[k] <= r)
            continue;
        const double gap = std::hypot(xCoordinate[k] - x, yCoordinate[k] - y) - r - circleRadius[k];
        if (gap >= dangerRange)
            continue;
        const double closeness = 1.0 - std::max(0.0, gap) / dangerRange;
        const Vec away = towards(xCoordinate[k], yCoordinate[k], x, y, threatWeight * closeness);
        push.x += away.x;
        push.y += away.y;
    }

    Vec wanted{pull.x + push.x, pull.y + push.y};
    const double length = std::hypot(wanted.x, wanted.y);
    if (length > 1e-9) {
        wanted.x = wanted.x / length * cruiseSpeed;
        wanted.y = wanted.y / length * cruiseSpeed;
    }
    const int ax = chooseAxis(x, xVelocity[agent], wanted.x, r, arenaWidth);
    const int ay = chooseAxis(y, yVelocity[agent], wanted.y, r, arenaHeight);
    action = actionFor(ax, ay);
}

#if defined(_WIN32)
BOOL APIENTRY DllMain(HMODULE, DWORD, LPVOID)
{
    return TRUE;
}
#endif
