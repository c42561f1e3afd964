// Helpers that lay out hand-made positions on a real engine.
#ifndef ENGINE_FIXTURE_H
#define ENGINE_FIXTURE_H

#include "engine/ball_engine.h"

#include <cstddef>
#include <initializer_list>

// An engine for 10 agents on the 1600 x 900 arena, nothing alive yet.
inline void setUpEmptyArena(Ball_engine &engine, size_t agents = 10, int scale = 100)
{
    engine.setup(agents, scale);
}

inline void placeAgent(Ball_engine &engine, size_t i, int x, int y, int r, int vx = 0, int vy = 0)
{
    engine.getXCoordinate()[i] = x;
    engine.getYCoordinate()[i] = y;
    engine.getCircleRadius()[i] = r;
    engine.getXVelocity()[i] = vx;
    engine.getYVelocity()[i] = vy;
    engine.getPrevX()[i] = x;
    engine.getPrevY()[i] = y;
}

inline void placeResource(Ball_engine &engine, size_t j, int x, int y, int r)
{
    const size_t k = engine.getNumAgents() + j;
    engine.getXCoordinate()[k] = x;
    engine.getYCoordinate()[k] = y;
    engine.getCircleRadius()[k] = r;
}

inline void setVisitOrder(Ball_engine &engine, std::initializer_list<size_t> order)
{
    size_t p = 0;
    for (size_t i : order)
        engine.getVisitOrder()[p++] = i;
}

#endif
