// One pass of the move over a vector of agents, for the lane files: each
// gives the pass its way of reading and writing lanes, of looking up the
// action table and of dividing out the speed cap (a `Lanes` type with V,
// load, loadOneByOne, loadRadii, store, accelerations, speedCaps, bits).
// Internal linkage, as move_rule.h: each file builds its own copy for its
// instruction set.
#ifndef MOVE_LANES_PASS_H
#define MOVE_LANES_PASS_H

#include "engine/move_lanes.h"
#include "engine/move_rule.h"

namespace moveLanes {

namespace {

// Agents `first` on, as many as `Lanes` holds, saved and moved; bit i of
// the result is lane i's bounce.
template <typename Lanes>
PELLORIA_MOVE_INLINE uint32_t movePass(const Arrays &a, int first, int width, int height, int maxRadius)
{
    using V = typename Lanes::V;
    const Motion<V> was{Lanes::load(a.x + first), Lanes::load(a.y + first), Lanes::load(a.vx + first),
                        Lanes::load(a.vy + first), Lanes::loadRadii(a.r + first)};
    const V living = V{} < was.r;
    const V codes = Lanes::loadOneByOne(a.actions + first);
    const V ax = Lanes::accelerations(codes, &Acceleration::x);
    const V ay = Lanes::accelerations(codes, &Acceleration::y);
    Motion<V> m = was;
    const V bounced = moveLiving(m, ax, ay, Lanes::speedCaps(was.r, maxRadius), width, height) & living;
    Lanes::store(a.prevX + first, was.x);
    Lanes::store(a.prevY + first, was.y);
    Lanes::store(a.x + first, pick(living, m.x, was.x));
    Lanes::store(a.y + first, pick(living, m.y, was.y));
    Lanes::store(a.vx + first, pick(living, m.vx, was.vx));
    Lanes::store(a.vy + first, pick(living, m.vy, was.vy));
    Lanes::store(a.r + first, pick(living, m.r, was.r));
    Lanes::store(a.ax + first, pick(living, ax, Lanes::load(a.ax + first)));
    Lanes::store(a.ay + first, pick(living, ay, Lanes::load(a.ay + first)));
    return Lanes::bits(bounced);
}

} // namespace

} // namespace moveLanes

#endif
