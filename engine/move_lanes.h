// A game's agents moved in lanes, where the processor has AVX2: the same
// rule as Ball_engine's move of one agent (engine/move_rule.h), in vectors.
#ifndef MOVE_LANES_H
#define MOVE_LANES_H

#include "engine/game_rules.h"
#include "engine/processor.h"

#include <cstdint>
#include <vector>

namespace moveLanes {

constexpr int agents = int(rules::agentsPerGame);

// The engine's arrays, from agent 0 on.
struct Arrays {
    int *x, *y, *vx, *vy, *r, *ax, *ay, *prevX, *prevY;
    const int *actions;
};

// Whether this build and processor can move agents in lanes, for arenas
// whose radius cap keeps the speed cap exact in single precision.
inline bool availableFor(int maxRadius)
{
    return processor::runsAvx2() && maxRadius > 0 && maxRadius < (1 << 24);
}

// Saves the positions of agents 0 .. agents - 1 and moves each as
// Ball_engine::move does; returns bit i set for each agent i that bounced
// off a wall. Nothing past the agents is read or written.
uint32_t moveAgents(const Arrays &arrays, int width, int height, int maxRadius);

// Each way of moving in lanes that this build has and this processor runs,
// the one moveAgents takes last; for tests.
struct Way {
    const char *name;
    uint32_t (*move)(const Arrays &arrays, int width, int height, int maxRadius);
};
std::vector<Way> waysHere();

} // namespace moveLanes

#endif
