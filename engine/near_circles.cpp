#include "engine/near_circles.h"

#include "engine/near_circles_variants.h"
#include "engine/processor.h"

#include <utility>

#if defined(PELLORIA_NEAR_CIRCLES_SSE2)
#  include <emmintrin.h>
#endif

namespace nearCircles {

namespace {

constexpr int agents = int(rules::agentsPerGame);
constexpr int circles = int(rules::circlesPerGame);
constexpr uint32_t allCircles = (1u << circles) - 1;

struct Box {
    long long loX, hiX, loY, hiY;
};

Box boxOf(const int *x, const int *y, const int *r, int margin, int c)
{
    const long long reach = static_cast<long long>(r[c]) + margin;
    return Box{x[c] - reach, x[c] + reach, y[c] - reach, y[c] + reach};
}

bool overlap(const Box &a, const Box &b)
{
    return a.loX < b.hiX && b.loX < a.hiX && a.loY < b.hiY && b.loY < a.hiY;
}

} // namespace

uint32_t nearAgentsPairByPair(const int *x, const int *y, const int *r, int margin)
{
    uint32_t near = 0;
    for (int a = 0; a < agents; ++a) {
        if (r[a] <= 0)
            continue;
        const Box agent = boxOf(x, y, r, margin, a);
        // Agent a is flagged in turn when the loop reaches its partner.
        for (int c = 0; c < circles; ++c)
            if (c != a && r[c] > 0 && overlap(agent, boxOf(x, y, r, margin, c)))
                near |= 1u << c;
    }
    return near;
}

#if defined(PELLORIA_NEAR_CIRCLES_SSE2)

namespace {

static_assert(circles > 12, "the circles fill four vectors of four, the last one partly");
static_assert(agents <= 16, "every agent has a lane");

inline __m128i load4(const int *from)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
}

// Circles 0 .. 15 of an array of `circles`, four to a vector; the lanes past
// the last circle hold 0, which is a dead radius.
struct Quads {
    __m128i q[4];
    explicit Quads(const int *v)
    {
        q[0] = load4(v);
        q[1] = load4(v + 4);
        q[2] = load4(v + 8);
        q[3] = _mm_srli_si128(load4(v + circles - 4), (16 - circles) * 4);
    }
};

// Every box bound, eight circles to a vector of 16-bit lanes.
struct Boxes {
    __m128i loX[2], hiX[2], loY[2], hiY[2];
};

// Whether a bound of a living box reached the edge of the 16-bit range,
// where it may have been cut short.
bool boundsCut(const Boxes &b)
{
    const __m128i low = _mm_set1_epi16(-32768), high = _mm_set1_epi16(32767);
    __m128i cut = _mm_setzero_si128();
    for (int w = 0; w < 2; ++w) {
        cut = _mm_or_si128(cut, _mm_or_si128(_mm_cmpeq_epi16(b.loX[w], low), _mm_cmpeq_epi16(b.loY[w], low)));
        cut = _mm_or_si128(cut, _mm_or_si128(_mm_cmpeq_epi16(b.hiX[w], high), _mm_cmpeq_epi16(b.hiY[w], high)));
    }
    return _mm_movemask_epi8(cut) != 0;
}

Boxes boxesOf(const int *x, const int *y, const int *r, int margin)
{
    const Quads cx(x), cy(y), cr(r);
    __m128i loX[4], hiX[4], loY[4], hiY[4];
    for (int k = 0; k < 4; ++k) {
        const __m128i alive = _mm_cmpgt_epi32(cr.q[k], _mm_setzero_si128());
        const __m128i reach = _mm_or_si128(_mm_and_si128(alive, _mm_add_epi32(cr.q[k], _mm_set1_epi32(margin))),
                                           _mm_andnot_si128(alive, _mm_set1_epi32(deadReach)));
        loX[k] = _mm_sub_epi32(cx.q[k], reach);
        hiX[k] = _mm_add_epi32(cx.q[k], reach);
        loY[k] = _mm_sub_epi32(cy.q[k], reach);
        hiY[k] = _mm_add_epi32(cy.q[k], reach);
    }
    Boxes b;
    for (int w = 0; w < 2; ++w) {
        b.loX[w] = _mm_packs_epi32(loX[2 * w], loX[2 * w + 1]);
        b.hiX[w] = _mm_packs_epi32(hiX[2 * w], hiX[2 * w + 1]);
        b.loY[w] = _mm_packs_epi32(loY[2 * w], loY[2 * w + 1]);
        b.hiY[w] = _mm_packs_epi32(hiY[2 * w], hiY[2 * w + 1]);
    }
    return b;
}

// Lane `Lane` of eight 16-bit lanes, in all eight.
template <int Lane>
__m128i spread(__m128i v)
{
    constexpr int in = Lane & 3;
    if constexpr (Lane < 4)
        return _mm_shuffle_epi32(_mm_shufflelo_epi16(v, _MM_SHUFFLE(in, in, in, in)), _MM_SHUFFLE(0, 0, 0, 0));
    else
        return _mm_shuffle_epi32(_mm_shufflehi_epi16(v, _MM_SHUFFLE(in, in, in, in)), _MM_SHUFFLE(2, 2, 2, 2));
}

// Agent A's box against every circle's, into the lanes of the circles it
// overlaps, its own excepted.
template <int A>
void againstAgent(const Boxes &b, __m128i hit[2])
{
    constexpr int home = A / 8, lane = A % 8;
    const __m128i loX = spread<lane>(b.loX[home]), hiX = spread<lane>(b.hiX[home]);
    const __m128i loY = spread<lane>(b.loY[home]), hiY = spread<lane>(b.hiY[home]);
    const __m128i self = _mm_cmpeq_epi16(_mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7), _mm_set1_epi16(lane));
    for (int w = 0; w < 2; ++w) {
        const __m128i onX = _mm_and_si128(_mm_cmpgt_epi16(hiX, b.loX[w]), _mm_cmpgt_epi16(b.hiX[w], loX));
        const __m128i onY = _mm_and_si128(_mm_cmpgt_epi16(hiY, b.loY[w]), _mm_cmpgt_epi16(b.hiY[w], loY));
        __m128i pair = _mm_and_si128(onX, onY);
        if (w == home)
            pair = _mm_andnot_si128(self, pair);
        hit[w] = _mm_or_si128(hit[w], pair);
    }
}

template <int... A>
void againstAgents(const Boxes &b, __m128i hit[2], std::integer_sequence<int, A...>)
{
    (againstAgent<A>(b, hit), ...);
}

} // namespace

uint32_t nearAgentsSse2(const int *x, const int *y, const int *r, int margin)
{
    const Boxes boxes = boxesOf(x, y, r, margin);
    if (boundsCut(boxes))
        return allCircles;
    __m128i hit[2] = {_mm_setzero_si128(), _mm_setzero_si128()};
    againstAgents(boxes, hit, std::make_integer_sequence<int, agents>());
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(hit[0], hit[1]))) & allCircles;
}

#endif

std::vector<Way> waysHere()
{
    std::vector<Way> ways{{"pair by pair", &nearAgentsPairByPair}};
#if defined(PELLORIA_NEAR_CIRCLES_SSE2)
    ways.push_back({"SSE2", &nearAgentsSse2});
#endif
#if defined(PELLORIA_ENGINE_AVX2)
    if (processor::runsAvx2())
        ways.push_back({"AVX2", &nearAgentsAvx2});
#endif
    return ways;
}

uint32_t nearAgents(const int *x, const int *y, const int *r, int margin)
{
#if defined(PELLORIA_ENGINE_AVX2)
    if (processor::runsAvx2())
        return nearAgentsAvx2(x, y, r, margin);
#endif
#if defined(PELLORIA_NEAR_CIRCLES_SSE2)
    return nearAgentsSse2(x, y, r, margin);
#else
    return nearAgentsPairByPair(x, y, r, margin);
#endif
}

} // namespace nearCircles
