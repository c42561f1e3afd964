// Your controller: called once per tick for agent 0; store an action code.
// The rules, the arena and how to evaluate and watch it: the handbook,
// docs/controllers.md in Pelloria's sources.
#include <brainlet.h>

#include <cstdlib>

extern "C" BRAINLET_API void BRAINLET_CALL controller(int &action, const size_t agent, const size_t num_agents,
                                                      const size_t num_resources, const int *circleRadius,
                                                      const int *xCoordinate, const int *yCoordinate,
                                                      const int *xVelocity, const int *yVelocity)
{
    // A start: brake to a stop, then stay put. Standing still is safer than
    // the reference's random walk, since walls cost radius.
    (void)num_agents;
    (void)num_resources;
    (void)circleRadius;
    (void)xCoordinate;
    (void)yCoordinate;
    const int vx = xVelocity[agent], vy = yVelocity[agent];
    const int ax = vx > 0 ? -1 : (vx < 0 ? 1 : 0);
    const int ay = vy > 0 ? -1 : (vy < 0 ? 1 : 0);
    static const int codes[3][3] = {{BRAINLET_UP_LEFT, BRAINLET_LEFT, BRAINLET_DOWN_LEFT},
                                    {BRAINLET_UP, BRAINLET_NONE, BRAINLET_DOWN},
                                    {BRAINLET_UP_RIGHT, BRAINLET_RIGHT, BRAINLET_DOWN_RIGHT}};
    action = codes[ax + 1][ay + 1];
}
