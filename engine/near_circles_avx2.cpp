// nearAgents with 16 lanes of 16 bits: every circle of the game in one
// vector. Built with AVX2 enabled for this file alone; near_circles.cpp
// calls it only on a processor that has AVX2.
#include "engine/near_circles_variants.h"

#include <immintrin.h>

#include <utility>

namespace nearCircles {

namespace {

constexpr int agents = int(rules::agentsPerGame);
constexpr int circles = int(rules::circlesPerGame);
static_assert(agents == 10 && circles == 15, "the circles fill two vectors of eight, the second but one lane");

// Circles 0 .. 15 in two vectors of eight 32-bit lanes; the lane past the
// last circle holds 0, a dead radius. The step has just written agents
// 0 .. 7 as one vector, which is read back as one. The circles after them
// were written as a pair or one at a time, and are read one at a time: a
// wider read of narrower writes, or a masked read near them, waits for the
// writes to reach the cache.
struct Octets {
    __m256i o[2];
    explicit Octets(const int *v)
    {
        o[0] = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(v));
        o[1] = _mm256_setr_epi32(v[8], v[9], v[10], v[11], v[12], v[13], v[14], 0);
    }
};

// Sixteen 32-bit lanes as sixteen 16-bit ones, in order.
__m256i packed(const __m256i (&halves)[2])
{
    return _mm256_permute4x64_epi64(_mm256_packs_epi32(halves[0], halves[1]), _MM_SHUFFLE(3, 1, 2, 0));
}

struct Boxes {
    __m256i loX, hiX, loY, hiY;
};

Boxes boxesOf(const int *x, const int *y, const int *r, int margin)
{
    const Octets cx(x), cy(y), cr(r);
    __m256i loX[2], hiX[2], loY[2], hiY[2];
    // Unrolled, the vectors stay in registers rather than on the stack.
#if defined(__GNUC__)
#  pragma GCC unroll 2
#endif
    for (int k = 0; k < 2; ++k) {
        const __m256i alive = _mm256_cmpgt_epi32(cr.o[k], _mm256_setzero_si256());
        const __m256i reach = _mm256_blendv_epi8(_mm256_set1_epi32(deadReach),
                                                 _mm256_add_epi32(cr.o[k], _mm256_set1_epi32(margin)), alive);
        loX[k] = _mm256_sub_epi32(cx.o[k], reach);
        hiX[k] = _mm256_add_epi32(cx.o[k], reach);
        loY[k] = _mm256_sub_epi32(cy.o[k], reach);
        hiY[k] = _mm256_add_epi32(cy.o[k], reach);
    }
    return Boxes{packed(loX), packed(hiX), packed(loY), packed(hiY)};
}

bool boundsCut(const Boxes &b)
{
    const __m256i low = _mm256_set1_epi16(-32768), high = _mm256_set1_epi16(32767);
    const __m256i cut
        = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi16(b.loX, low), _mm256_cmpeq_epi16(b.loY, low)),
                          _mm256_or_si256(_mm256_cmpeq_epi16(b.hiX, high), _mm256_cmpeq_epi16(b.hiY, high)));
    return !_mm256_testz_si256(cut, cut);
}

// Lane `Lane` of sixteen 16-bit lanes, in all sixteen: its pair of lanes
// to every 32-bit lane, then the one of the pair to both halves.
template <int Lane>
__m256i spread(__m256i v)
{
    const __m256i pairs = _mm256_permutevar8x32_epi32(v, _mm256_set1_epi32(Lane / 2));
    constexpr int low = (Lane % 2) * 2;
    return _mm256_shuffle_epi8(pairs, _mm256_set1_epi16(short(low | (low + 1) << 8)));
}

// Agent A's box against every circle's, its own included, counted into
// the lanes of the circles it overlaps. A dead agent overlaps nothing and
// is passed over: agents stay dead, so the branch is well predicted.
template <int A>
void againstAgent(const Boxes &b, const int *r, __m256i &count)
{
    if (r[A] <= 0)
        return;
    const __m256i loX = spread<A>(b.loX), hiX = spread<A>(b.hiX);
    const __m256i loY = spread<A>(b.loY), hiY = spread<A>(b.hiY);
    const __m256i onX = _mm256_and_si256(_mm256_cmpgt_epi16(hiX, b.loX), _mm256_cmpgt_epi16(b.hiX, loX));
    const __m256i onY = _mm256_and_si256(_mm256_cmpgt_epi16(hiY, b.loY), _mm256_cmpgt_epi16(b.hiY, loY));
    count = _mm256_sub_epi16(count, _mm256_and_si256(onX, onY)); // all ones are -1
}

template <int... A>
void againstAgents(const Boxes &b, const int *r, __m256i &count, std::integer_sequence<int, A...>)
{
    (againstAgent<A>(b, r, count), ...);
}

} // namespace

uint32_t nearAgentsAvx2(const int *x, const int *y, const int *r, int margin)
{
    const Boxes boxes = boxesOf(x, y, r, margin);
    if (boundsCut(boxes))
        return (1u << circles) - 1;
    __m256i count = _mm256_setzero_si256();
    againstAgents(boxes, r, count, std::make_integer_sequence<int, agents>());
    // A living agent's box overlaps its own: it needs one more.
    const __m256i lane = _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m256i own = _mm256_and_si256(_mm256_cmpgt_epi16(_mm256_set1_epi16(agents), lane), _mm256_set1_epi16(1));
    const __m256i hit = _mm256_cmpgt_epi16(count, own);
    const __m128i bytes = _mm_packs_epi16(_mm256_castsi256_si128(hit), _mm256_extracti128_si256(hit, 1));
    return static_cast<uint32_t>(_mm_movemask_epi8(bytes)) & ((1u << circles) - 1);
}

} // namespace nearCircles
