// Eight agents moved at once, where the processor has AVX2: the same rule
// as Ball_engine's move of one agent (engine/move_rule.h), in vectors.
#ifndef MOVE_LANES_H
#define MOVE_LANES_H

#include <cstdint>

namespace moveLanes {

constexpr int agents = 8;

// The engine's arrays, from agent 0 on.
struct Arrays {
    int *x, *y, *vx, *vy, *r, *ax, *ay, *prevX, *prevY;
    const int *actions;
};

// Whether this build and processor can move agents in lanes, for arenas
// whose radius cap keeps the speed cap exact in single precision.
bool availableFor(int maxRadius);

// Saves the positions of agents 0 .. 7 and moves each as Ball_engine::move
// does; returns bit i set for each agent i that bounced off a wall.
uint32_t moveEight(const Arrays &arrays, int width, int height, int maxRadius);

} // namespace moveLanes

#endif
