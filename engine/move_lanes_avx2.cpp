// Built with AVX2 enabled for this file alone; move_lanes.cpp calls it
// only on a processor that runs it.
#include "engine/move_lanes.h"

#include "engine/move_rule.h"

#include <immintrin.h>

namespace moveLanes {

namespace {

using V = int __attribute__((vector_size(32)));

V load(const int *from)
{
    return reinterpret_cast<V>(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(from)));
}

// Eight values just written one at a time (the actions): read one at a
// time too, since a wider read of narrower writes waits for them to reach
// the cache.
V loadWrittenOneByOne(const int *from)
{
    const __m128i low = _mm_insert_epi32(
        _mm_insert_epi32(_mm_insert_epi32(_mm_cvtsi32_si128(from[0]), from[1], 1), from[2], 2), from[3], 3);
    const __m128i high = _mm_insert_epi32(
        _mm_insert_epi32(_mm_insert_epi32(_mm_cvtsi32_si128(from[4]), from[5], 1), from[6], 2), from[7], 3);
    return reinterpret_cast<V>(_mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1));
}

void store(int *to, V v)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(to), reinterpret_cast<__m256i>(v));
}

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

} // namespace

uint32_t moveEightAvx2(const Arrays &a, int width, int height, int maxRadius)
{
    const Motion<V> was{load(a.x), load(a.y), load(a.vx), load(a.vy), load(a.r)};
    const V living = V{} < was.r;
    const V codes = loadWrittenOneByOne(a.actions);
    const V ax = accelerations(codes, xAxis);
    const V ay = accelerations(codes, yAxis);
    Motion<V> m = was;
    const V bounced = moveLiving(m, ax, ay, speedCaps(was.r, maxRadius), width, height) & living;
    store(a.prevX, was.x);
    store(a.prevY, was.y);
    store(a.x, pick(living, m.x, was.x));
    store(a.y, pick(living, m.y, was.y));
    store(a.vx, pick(living, m.vx, was.vx));
    store(a.vy, pick(living, m.vy, was.vy));
    store(a.r, pick(living, m.r, was.r));
    store(a.ax, pick(living, ax, load(a.ax)));
    store(a.ay, pick(living, ay, load(a.ay)));
    return uint32_t(_mm256_movemask_ps(reinterpret_cast<__m256>(bounced)));
}

} // namespace moveLanes
