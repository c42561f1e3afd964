// How an agent moves, written once for one agent (V = int) and for several
// at a time (V = a vector of ints, GCC's or Clang's vector extension): a
// comparison gives a mask of all ones or all zeros, and pick() chooses by
// it, so each branch of the rule is a choice made in every lane at once.
//
// Everything here has internal linkage: the files that include it are
// built for different instruction sets, and must not share one copy.
#ifndef MOVE_RULE_H
#define MOVE_RULE_H

#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__AVX__)
#  include <immintrin.h>
#endif

// The rule is the step's innermost code: a call would cost more than it.
#if defined(__GNUC__)
#  define PELLORIA_MOVE_INLINE __attribute__((always_inline)) inline
#else
#  define PELLORIA_MOVE_INLINE inline
#endif

namespace {

struct Acceleration {
    int x;
    int y;
};

// Indexed by action code; see brainlet.h.
constexpr Acceleration actionTable[] = {
    {0, 0}, {0, -1}, {0, 1}, {-1, 0}, {1, 0}, {-1, -1}, {1, -1}, {-1, 1}, {1, 1},
};
constexpr int actionCount = static_cast<int>(sizeof actionTable / sizeof actionTable[0]);

// Any other code is no acceleration.
inline Acceleration accelerationOf(int code)
{
    return (code >= 0 && code < actionCount) ? actionTable[code] : Acceleration{0, 0};
}

// All ones where a < b, else zeros.
template <typename V>
PELLORIA_MOVE_INLINE V lessThan(V a, V b)
{
    if constexpr (std::is_same_v<V, int>)
        return -static_cast<int>(a < b);
    else
        return a < b;
}

// a where the mask is set, b elsewhere; for one agent a choice the
// compiler may make with a branch or a conditional move.
template <typename V>
PELLORIA_MOVE_INLINE V pick(V mask, V a, V b)
{
    if constexpr (std::is_same_v<V, int>)
        return mask != 0 ? a : b;
    else
        return (a & mask) | (b & ~mask);
}

template <typename V>
PELLORIA_MOVE_INLINE V clampSpeed(V v, V vmax)
{
    return pick(lessThan(v, -vmax), -vmax, pick(lessThan(vmax, v), vmax, v));
}

// Whether any lane's mask is set. The rule skips what no lane needs: for
// one agent a plain branch, for several a branch taken when none bounces.
template <typename V>
PELLORIA_MOVE_INLINE bool any(V mask)
{
    if constexpr (std::is_same_v<V, int>) {
        return mask != 0;
    } else {
#if defined(__AVX__)
        if constexpr (sizeof(V) == sizeof(__m256i)) {
            const __m256i bits = reinterpret_cast<__m256i>(mask);
            return _mm256_testz_si256(bits, bits) == 0;
        }
#endif
        uint64_t words[sizeof(V) / sizeof(uint64_t)];
        std::memcpy(words, &mask, sizeof words);
        uint64_t set = 0;
        for (uint64_t word : words)
            set |= word;
        return set != 0;
    }
}

// One axis of a move between the walls at 0 and `extent`: an agent of
// radius `r` that would cross one bounces (its velocity turns), and the
// mask says so; otherwise it moves by `velocity`. The low wall places it at
// r - (P + V) rather than the mirror image; keepInside then usually sets it
// against the wall.
template <typename V>
PELLORIA_MOVE_INLINE V bounceOrMove(V &position, V &velocity, V r, int extent)
{
    V bounced = lessThan(position + velocity, r);
    if (any(bounced)) {
        position = pick(bounced, r - (position + velocity), position);
        velocity = pick(bounced, -velocity, velocity);
    }
    const V far = extent - r;
    const V high = lessThan(far, position + velocity);
    if (any(high)) {
        position = pick(high, far + far - (position + velocity), position);
        velocity = pick(high, -velocity, velocity);
        bounced |= high;
    }
    position = pick(bounced, position, position + velocity);
    return bounced;
}

// The centre of a circle of radius `r` back between the walls.
template <typename V>
PELLORIA_MOVE_INLINE V keepInside(V position, V r, int extent)
{
    const V far = extent - r;
    position = pick(lessThan(position, r), r, position);
    return pick(lessThan(far, position), far, position);
}

// What a move changes of an agent.
template <typename V>
struct Motion {
    V x, y, vx, vy, r;
};

// A living agent's move: it accelerates by (ax, ay) within its speed cap,
// and bounces or moves on each axis independently. A bounce halves the
// velocity and costs a unit of radius, a corner no more than a single
// wall. Returns the mask of the agents that bounced.
template <typename V>
PELLORIA_MOVE_INLINE V moveLiving(Motion<V> &m, V ax, V ay, V vmax, int width, int height)
{
    m.vx = clampSpeed(m.vx + ax, vmax);
    m.vy = clampSpeed(m.vy + ay, vmax);
    const V bounced = bounceOrMove(m.x, m.vx, m.r, width) | bounceOrMove(m.y, m.vy, m.r, height);
    if (any(bounced)) {
        m.vx = pick(bounced, m.vx / 2, m.vx);
        m.vy = pick(bounced, m.vy / 2, m.vy);
        m.r += bounced; // a mask's all ones are -1
    }
    m.x = keepInside(m.x, m.r, width);
    m.y = keepInside(m.y, m.r, height);
    return bounced;
}

} // namespace

#endif
