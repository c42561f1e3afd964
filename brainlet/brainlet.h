// The controller plug-in interface: what a replacement brainlet must export.
//
// Action codes (x, y acceleration; y grows downwards):
//   0 none       1 up (0,-1)      2 down (0,+1)      3 left (-1,0)    4 right (+1,0)
//   5 up-left (-1,-1)  6 up-right (+1,-1)  7 down-left (-1,+1)  8 down-right (+1,+1)
// Any other value means no acceleration.
//
// Arrays: entries 0..num_agents-1 of circleRadius/xCoordinate/yCoordinate are the
// agents, the next num_resources entries the resources; xVelocity/yVelocity hold
// the agents only. Radius <= 0 marks a dead agent or an eaten resource. The
// pointers are valid only during the call.
#ifndef BRAINLET_H
#define BRAINLET_H

#include <cstddef>

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

extern "C" BRAINLET_API void BRAINLET_CALL controller(int &action, const size_t agent,
                                                      const size_t num_agents,
                                                      const size_t num_resources,
                                                      const int *circleRadius,
                                                      const int *xCoordinate,
                                                      const int *yCoordinate,
                                                      const int *xVelocity,
                                                      const int *yVelocity);

#endif
