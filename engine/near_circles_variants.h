// The ways nearAgents can be answered, one file each; near_circles.cpp
// picks the best one the processor runs.
#ifndef NEAR_CIRCLES_VARIANTS_H
#define NEAR_CIRCLES_VARIANTS_H

#include "engine/near_circles.h"

namespace nearCircles {

// A dead circle's box is turned inside out by far more than any box is
// wide, so that it overlaps nothing; 16-bit saturation cannot undo that.
constexpr int deadReach = -40000;

#if defined(__SSE2__) || defined(_M_X64)
#  define PELLORIA_NEAR_CIRCLES_SSE2 1
uint32_t nearAgentsSse2(const int *x, const int *y, const int *r, int margin);
#endif

#if defined(PELLORIA_ENGINE_AVX2)
uint32_t nearAgentsAvx2(const int *x, const int *y, const int *r, int margin);
#endif

} // namespace nearCircles

#endif
