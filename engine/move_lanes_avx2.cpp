// Built with AVX2 enabled for this file alone; move_lanes.cpp calls it
// only on a processor that runs it.
#include "engine/move_lanes.h"

#include "engine/move_lanes_pass.h"

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

// The table's axis `axis` looked up for every lane's code.
V accelerations(V codes, int Acceleration::*member)
{
    const Axis &axis = member == &Acceleration::x ? xAxis : yAxis;
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

// What both passes share: eight 32-bit lanes.
struct Avx2Lanes {
    using V = moveLanes::V;
    static V accelerations(V codes, int Acceleration::*axis) { return moveLanes::accelerations(codes, axis); }
    static V speedCaps(V r, int maxRadius) { return moveLanes::speedCaps(r, maxRadius); }
    static uint32_t bits(V mask) { return uint32_t(_mm256_movemask_ps(reinterpret_cast<__m256>(mask))); }
};

// How one pass of eight lanes reads and writes its agents. Values just
// written one at a time (the actions, and radii a contest or meal has just
// changed) are read one at a time too, since a wider read of narrower
// writes waits for them to reach the cache.
struct EightAgents : Avx2Lanes {
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
struct TwoAgents : Avx2Lanes {
    static V widen(__m128i low) { return reinterpret_cast<V>(_mm256_inserti128_si256(_mm256_setzero_si256(), low, 0)); }
    static V load(const int *from) { return widen(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(from))); }
    static V loadOneByOne(const int *from) { return widen(_mm_insert_epi32(_mm_cvtsi32_si128(from[0]), from[1], 1)); }
    static V loadRadii(const int *from) { return loadOneByOne(from); }
    static void store(int *to, V v)
    {
        _mm_storel_epi64(reinterpret_cast<__m128i *>(to), _mm256_castsi256_si128(reinterpret_cast<__m256i>(v)));
    }
};

} // namespace

static_assert(agents == 8 + 2, "the agents fill a pass of eight lanes and one of two");

uint32_t moveAgentsAvx2(const Arrays &a, int width, int height, int maxRadius)
{
    return movePass<EightAgents>(a, 0, width, height, maxRadius)
        | movePass<TwoAgents>(a, 8, width, height, maxRadius) << 8;
}

} // namespace moveLanes
