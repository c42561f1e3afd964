// The C library's random() with its default 128-byte state, written out so
// that it compiles inline: the same numbers as srand()/rand() and
// srandom_r()/random_r() give with the GNU C library, from the same seed.
//
// Seeded games draw many numbers every step; a library call per draw (and,
// for rand(), a lock) costs more than the arithmetic of the draw itself.
// Being a plain value it needs no library state, may be copied, and gives
// the GNU library's games on every system.
#ifndef INLINE_GENERATOR_H
#define INLINE_GENERATOR_H

#include <cstdint>

class InlineGenerator
{
public:
    // As the library starts, before any srand().
    InlineGenerator() { seed(1); }
    explicit InlineGenerator(uint32_t seedValue) { seed(seedValue); }

    // What srand(seedValue) does to the shared generator.
    void seed(uint32_t seedValue);

    // The next number, 0 to 2^31 - 1, as rand() would give it.
    int32_t next()
    {
        // r[i] = r[i - 31] + r[i - 3], wrapping in 32 bits; the ring keeps
        // the last 31 values, r[i - 31] at `oldest`, r[i - 3] at `recent`.
        const uint32_t value = ring[oldest] += ring[recent];
        oldest = oldest + 1 == lag ? 0 : oldest + 1;
        recent = recent + 1 == lag ? 0 : recent + 1;
        return static_cast<int32_t>(value >> 1);
    }

private:
    static constexpr int lag = 31;
    static constexpr int shortLag = 3;
    // The library throws away this many values after seeding, so that the
    // first ones drawn no longer follow the seed's simple arithmetic.
    static constexpr int discarded = 310;

    static int32_t schrageStep(int32_t r);

    uint32_t ring[lag] = {};
    int oldest = 0;
    int recent = 0;
};

// 16807 * r modulo 2^31 - 1 without overflow, with the library's rounding
// of a negative r (a seed of 2^31 or more is read as a negative word).
inline int32_t InlineGenerator::schrageStep(int32_t r)
{
    const int32_t hi = r / 127773;
    const int32_t lo = r % 127773;
    int32_t w = 16807 * lo - 2836 * hi;
    if (w < 0)
        w += 2147483647;
    return w;
}

inline void InlineGenerator::seed(uint32_t seedValue)
{
    // Read as a signed word (two's complement, as on every target); a ring
    // started from 0 would stay all zeros, so the library starts it from 1.
    int32_t r = static_cast<int32_t>(seedValue);
    if (r == 0)
        r = 1;
    ring[0] = static_cast<uint32_t>(r);
    for (int i = 1; i < lag; ++i) {
        r = schrageStep(r);
        ring[i] = static_cast<uint32_t>(r);
    }
    // r[31..33] repeat r[0..2], which the ring already holds where r[31..33]
    // belong; r[34] is the first sum, of r[3] and r[31].
    oldest = shortLag;
    recent = 0;
    for (int i = 0; i < discarded; ++i)
        next();
}

#endif
