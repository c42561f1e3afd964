// Built with AVX2 enabled for this file alone; move_lanes.cpp calls it
// only on a processor that runs it.
#include "engine/move_lanes.h"

#include "engine/move_rule.h"

#include <immintrin.h>

namespace moveLanes {

namespace {

using V = int __attribute__((vector_size(32)));

// One axis of the action table, codes 0 .. 8; any other code is 0.
struct Axis {
    V firstEight;
    int last;
};

constexpr Axis axisOf(int Acceleration::*axis)
{
    return Axis{V{actionTable[0].*axis, actionTable[1].*axis, actionTable[2].*axis, actionTable[3].*axis,
                  actionTable[4].*axis, actionTable[5].*axis, actionTable[6].*axis, actionTable[7].*axis},
                actionTable[8].*axis};
}
static_assert(actionCount == 9, "the table is eight lanes and one more");
constexpr Axis xAxis = axisOf(&Acceleration::x);
constexpr Axis yAxis = axisOf(&Acceleration::y);

V accelerations(V codes, const Axis &axis)
{
    const V valid
        = reinterpret_cast<V>(_mm256_min_epu32(reinterpret_cast<__m256i>(codes), _mm256_set1_epi32(actionCount - 1)))
        == codes;
    const V firstEight = reinterpret_cast<V>(
        _mm256_permutevar8x32_epi32(reinterpret_cast<__m256i>(axis.firstEight), reinterpret_cast<__m256i>(codes)));
    return pick(codes == actionCount - 1, V{} + axis.last, firstEight) & valid;
}

// 5 * (maxRadius / r) for living agents: the quotient of two numbers below
// 2^24 rounds in single precision to a float whose whole part is the
// integer quotient, since it lies at least 1 / r below the next whole
// number and the rounding error is under maxRadius * 2^-24 / r.
V speedCaps(V r, int maxRadius)
{
    const __m256 quotient
        = _mm256_div_ps(_mm256_set1_ps(float(maxRadius)),
                        _mm256_cvtepi32_ps(_mm256_max_epi32(reinterpret_cast<__m256i>(r), _mm256_set1_epi32(1))));
    const V whole = reinterpret_cast<V>(_mm256_cvttps_epi32(quotient));
    return whole * 5;
}

// How one pass of eight lanes reads and writes its agents. Values just
// written one at a time (the actions, and radii a contest or meal has just
// changed) are read one at a time too, since a wider read of narrower
// writes waits for them to reach the cache.
struct EightAgents {
    static V load(const int *from)
    {
        return reinterpret_cast<V>(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(from)));
    }
    static V loadOneByOne(const int *from)
    {
        const __m128i low = _mm_insert_epi32(
            _mm_insert_epi32(_mm_insert_epi32(_mm_cvtsi32_si128(from[0]), from[1], 1), from[2], 2), from[3], 3);
        const __m128i high = _mm_insert_epi32(
            _mm_insert_epi32(_mm_insert_epi32(_mm_cvtsi32_si128(from[4]), from[5], 1), from[6], 2), from[7], 3);
        return reinterpret_cast<V>(_mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1));
    }
    // Radii change one by one only in the rare steps with a contest or a
    // meal; the read that waits then costs less than eight separate reads.
    static V loadRadii(const int *from) { return load(from); }
    static void store(int *to, V v)
    {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(to), reinterpret_cast<__m256i>(v));
    }
};

// Two agents in the low lanes; the other six read as zero, a dead radius,
// and are never written, since the resources follow the agents.
struct TwoAgents {
    static V widen(__m128i low) { return reinterpret_cast<V>(_mm256_inserti128_si256(_mm256_setzero_si256(), low, 0)); }
    static V load(const int *from) { return widen(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(from))); }
    static V loadOneByOne(const int *from) { return widen(_mm_insert_epi32(_mm_cvtsi32_si128(from[0]), from[1], 1)); }
    static V loadRadii(const int *from) { return loadOneByOne(from); }
    static void store(int *to, V v)
    {
        _mm_storel_epi64(reinterpret_cast<__m128i *>(to), _mm256_castsi256_si128(reinterpret_cast<__m256i>(v)));
    }
};

// Agents `first` on, as many as `Lanes` holds, saved and moved; bit i of
// the result is lane i's bounce. Both passes inline into one function.
template <typename Lanes>
PELLORIA_MOVE_INLINE uint32_t movePass(const Arrays &a, int first, int width, int height, int maxRadius)
{
    const Motion<V> was{Lanes::load(a.x + first), Lanes::load(a.y + first), Lanes::load(a.vx + first),
                        Lanes::load(a.vy + first), Lanes::loadRadii(a.r + first)};
    const V living = V{} < was.r;
    const V codes = Lanes::loadOneByOne(a.actions + first);
    const V ax = accelerations(codes, xAxis);
    const V ay = accelerations(codes, yAxis);
    Motion<V> m = was;
    const V bounced = moveLiving(m, ax, ay, speedCaps(was.r, maxRadius), width, height) & living;
    Lanes::store(a.prevX + first, was.x);
    Lanes::store(a.prevY + first, was.y);
    Lanes::store(a.x + first, pick(living, m.x, was.x));
    Lanes::store(a.y + first, pick(living, m.y, was.y));
    Lanes::store(a.vx + first, pick(living, m.vx, was.vx));
    Lanes::store(a.vy + first, pick(living, m.vy, was.vy));
    Lanes::store(a.r + first, pick(living, m.r, was.r));
    Lanes::store(a.ax + first, pick(living, ax, Lanes::load(a.ax + first)));
    Lanes::store(a.ay + first, pick(living, ay, Lanes::load(a.ay + first)));
    return uint32_t(_mm256_movemask_ps(reinterpret_cast<__m256>(bounced)));
}

} // namespace

static_assert(agents == 8 + 2, "the agents fill a pass of eight lanes and one of two");

uint32_t moveAgentsAvx2(const Arrays &a, int width, int height, int maxRadius)
{
    return movePass<EightAgents>(a, 0, width, height, maxRadius)
        | movePass<TwoAgents>(a, 8, width, height, maxRadius) << 8;
}

} // namespace moveLanes
