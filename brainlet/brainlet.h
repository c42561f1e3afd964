/* The controller plug-in interface: what a replacement brainlet exports.
 *
 * One function, `controller`, is called once per tick for agent 0 and stores
 * one action code in `*action` (C) or `action` (C++). The same declaration
 * serves C99 and C++: C++'s `int &action` and C's `int *action` are passed
 * alike (a reference is passed as the address it refers to), so a plug-in
 * written in either, or in any language that can export a C function, links
 * with the game. docs/controllers.md is the handbook: the rules, the arena,
 * and how to evaluate, watch and debug a controller.
 *
 * Arrays: entries 0..num_agents-1 of circleRadius/xCoordinate/yCoordinate
 * are the agents, the next num_resources entries the resources;
 * xVelocity/yVelocity hold the agents only. Radius <= 0 marks a dead agent
 * or an eaten resource. The pointers are valid only during the call.
 */
#ifndef BRAINLET_H
#define BRAINLET_H

#ifdef __cplusplus
#  include <cstddef>
#else
#  include <stddef.h>
#endif

/* BRAINLET_API exports `controller` whatever the compiler's visibility
 * flags; on Windows, define BRAINLET_BUILD when building the plug-in. */
#if defined(_WIN32)
#  if defined(BRAINLET_BUILD)
#    define BRAINLET_API __declspec(dllexport)
#  else
#    define BRAINLET_API __declspec(dllimport)
#  endif
#  define BRAINLET_CALL __cdecl
#else
#  define BRAINLET_API __attribute__((visibility("default")))
#  define BRAINLET_CALL
#endif

/* Action codes: the acceleration of agent 0 this tick (y grows downwards).
 * Any other value means no acceleration; storing nothing means NONE. */
enum {
    BRAINLET_NONE = 0,       /* ( 0,  0) */
    BRAINLET_UP = 1,         /* ( 0, -1) */
    BRAINLET_DOWN = 2,       /* ( 0, +1) */
    BRAINLET_LEFT = 3,       /* (-1,  0) */
    BRAINLET_RIGHT = 4,      /* (+1,  0) */
    BRAINLET_UP_LEFT = 5,    /* (-1, -1) */
    BRAINLET_UP_RIGHT = 6,   /* (+1, -1) */
    BRAINLET_DOWN_LEFT = 7,  /* (-1, +1) */
    BRAINLET_DOWN_RIGHT = 8, /* (+1, +1) */
    BRAINLET_ACTIONS = 9
};

/* The arena: 16 s x 9 s pixels for s = min(screen width / 16, 100), so at
 * most 1600 x 900, which pelloria-arena always uses. Circles stay inside:
 * r <= x <= width - r and r <= y <= height - r after every move. */
enum {
    BRAINLET_MAX_ARENA_WIDTH = 1600,
    BRAINLET_MAX_ARENA_HEIGHT = 900,
    BRAINLET_AGENTS = 10,
    BRAINLET_RESOURCES = 5,
    BRAINLET_START_RADIUS = 20,
    BRAINLET_MAX_RADIUS = 200
};

#ifdef __cplusplus
extern "C" BRAINLET_API void BRAINLET_CALL controller(int &action, const size_t agent,
                                                      const size_t num_agents,
                                                      const size_t num_resources,
                                                      const int *circleRadius,
                                                      const int *xCoordinate,
                                                      const int *yCoordinate,
                                                      const int *xVelocity,
                                                      const int *yVelocity);
#else
BRAINLET_API void BRAINLET_CALL controller(int *action, const size_t agent, const size_t num_agents,
                                           const size_t num_resources, const int *circleRadius,
                                           const int *xCoordinate, const int *yCoordinate,
                                           const int *xVelocity, const int *yVelocity);
#endif

#endif
