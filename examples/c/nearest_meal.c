/* A controller in C99: heads for the nearest resource it can reach before a
 * larger agent does, and brakes before the walls, whose bounces cost radius.
 * It keeps nothing between calls. */
#include "brainlet.h"

#include <stdlib.h>

/* The arena's edges as far as this controller knows them: never beyond the
 * largest arena, and at least as far as any circle it has seen. */
static int arenaWidth(const int *r, const int *x, size_t circles)
{
    int right = 0;
    for (size_t i = 0; i < circles; ++i)
        if (r[i] > 0 && x[i] + r[i] > right)
            right = x[i] + r[i];
    return right;
}

static int sign(int v)
{
    return (v > 0) - (v < 0);
}

/* The acceleration (-1, 0 or +1) that steers the velocity towards `want`. */
static int steer(int velocity, int want)
{
    return sign(want - velocity);
}

static int code(int ax, int ay)
{
    static const int codes[3][3] = {
        /* ay = -1           0               +1 */
        {BRAINLET_UP_LEFT, BRAINLET_LEFT, BRAINLET_DOWN_LEFT},   /* ax = -1 */
        {BRAINLET_UP, BRAINLET_NONE, BRAINLET_DOWN},             /* ax =  0 */
        {BRAINLET_UP_RIGHT, BRAINLET_RIGHT, BRAINLET_DOWN_RIGHT} /* ax = +1 */
    };
    return codes[ax + 1][ay + 1];
}

BRAINLET_API void BRAINLET_CALL controller(int *action, const size_t agent, const size_t num_agents,
                                           const size_t num_resources, const int *circleRadius,
                                           const int *xCoordinate, const int *yCoordinate,
                                           const int *xVelocity, const int *yVelocity)
{
    const int r = circleRadius[agent], x = xCoordinate[agent], y = yCoordinate[agent];
    const int vx = xVelocity[agent], vy = yVelocity[agent];
    const size_t circles = num_agents + num_resources;
    const int width = arenaWidth(circleRadius, xCoordinate, circles);
    const int height = width * BRAINLET_MAX_ARENA_HEIGHT / BRAINLET_MAX_ARENA_WIDTH;

    long best = -1;
    int targetX = width / 2, targetY = height / 2;
    for (size_t k = num_agents; k < circles; ++k) {
        if (circleRadius[k] <= 0)
            continue;
        const long dx = xCoordinate[k] - x, dy = yCoordinate[k] - y;
        const long d = dx * dx + dy * dy;
        if (best < 0 || d < best) {
            best = d;
            targetX = xCoordinate[k];
            targetY = yCoordinate[k];
        }
    }
    /* Slow enough to stop before a wall: a speed v needs v(v+1)/2 to brake. */
    const int cruise = 3;
    int wantX = sign(targetX - x) * (abs(targetX - x) > 2 * cruise ? cruise : 1);
    int wantY = sign(targetY - y) * (abs(targetY - y) > 2 * cruise ? cruise : 1);
    if (x - r < 12 && wantX < 0)
        wantX = 0;
    if (x + r > width - 12 && wantX > 0)
        wantX = 0;
    if (y - r < 12 && wantY < 0)
        wantY = 0;
    if (y + r > height - 12 && wantY > 0)
        wantY = 0;
    *action = code(steer(vx, wantX), steer(vy, wantY));
}
