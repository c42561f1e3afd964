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

#include "engine/each_index.h"

#include <cstddef>
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
        if (used == lag)
            refill();
        return static_cast<int32_t>(ring[used++] >> 1);
    }

    // The next Count numbers, in order: use(k, number) for k = 0, 1, ...
    // as std::integral_constant. When this round holds them all, one test
    // serves them all.
    template <size_t Count, typename Use>
    void nextMany(Use use)
    {
        static_assert(Count <= lag, "a round holds them");
        if (used + Count <= lag) {
            const uint32_t *from = ring + used;
            used = static_cast<uint16_t>(used + Count);
            forEachIndex<Count>([&](auto k) { use(k, static_cast<int32_t>(from[k] >> 1)); });
        } else {
            forEachIndex<Count>([&](auto k) { use(k, next()); });
        }
    }

private:
    static constexpr int lag = 31;
    static constexpr int shortLag = 3;
    // The library throws away this many values after seeding, so that the
    // first ones drawn no longer follow the seed's simple arithmetic.
    static constexpr int discarded = 310;

    static int32_t schrageStep(int32_t r);
    void refill();

    // r[i] = r[i - 31] + r[i - 3], wrapping in 32 bits, kept at i mod 31:
    // a value replaces the one 31 before it, and a whole round of 31 is made
    // at once, which leaves a draw an index and a load. `used` counts the
    // values of this round already drawn; of a type that neither the
    // engine's int arrays nor its size_t visit order can alias, so that it
    // stays in a register while the step writes them.
    uint32_t ring[lag] = {};
    uint16_t used = lag;
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

// The next round. The last three values made ride along in registers: a
// loop reading back what it just stored would wait on the store each time.
inline void InlineGenerator::refill()
{
    uint32_t back3 = ring[lag - 3], back2 = ring[lag - 2], back1 = ring[lag - 1];
    // Unrolled, the three values riding along are just registers renamed.
#if defined(__GNUC__)
#  pragma GCC unroll 31
#endif
    for (int k = 0; k < lag; ++k) {
        const uint32_t value = ring[k] + back3;
        ring[k] = value;
        back3 = back2;
        back2 = back1;
        back1 = value;
    }
    used = 0;
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
    // belong; the sums start at r[34], the rest of the round of r[31..61].
    for (int k = shortLag; k < lag; ++k)
        ring[k] += ring[k - shortLag];
    // The values up to r[343] are thrown away: the rounds of r[62..340]
    // whole, and the first three of the round of r[341..371].
    constexpr int wholeRounds = (shortLag + discarded) / lag - 1;
    static_assert((shortLag + discarded) % lag == shortLag, "the first value drawn is the fourth of a round");
    for (int round = 0; round <= wholeRounds; ++round)
        refill();
    used = shortLag;
}

#endif
