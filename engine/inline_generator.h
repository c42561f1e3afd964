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
        const int32_t value = static_cast<int32_t>(ring[used] >> 1);
        if (++used == lag) {
            refill();
            used = 0;
        }
        return value;
    }

    // The next Count numbers, in order: use(k, number) for k = 0, 1, ...
    // as std::integral_constant. Up to nine lie side by side even across
    // the end of a round, so one test after them serves them all.
    template <size_t Count, typename Use>
    void nextMany(Use use)
    {
        if constexpr (Count > ahead + 1) {
            forEachIndex<Count>([&](auto k) { use(k, next()); });
        } else {
            const uint32_t *from = ring + used;
            forEachIndex<Count>([&](auto k) { use(k, static_cast<int32_t>(from[k] >> 1)); });
            used = static_cast<uint16_t>(used + Count);
            if (used >= lag) {
                refill();
                used = static_cast<uint16_t>(used - lag);
            }
        }
    }

private:
    static constexpr int lag = 31;
    static constexpr int shortLag = 3;
    // How many values of the next round are made with this one, so that a
    // batch that runs past the round's end still reads one array.
    static constexpr int ahead = 8;
    // The library throws away this many values after seeding, so that the
    // first ones drawn no longer follow the seed's simple arithmetic.
    static constexpr int discarded = 310;

    static int32_t schrageStep(int32_t r);
    void makeAhead();
    void refill();

    // r[i] = r[i - 31] + r[i - 3], wrapping in 32 bits, kept at i mod 31:
    // a value replaces the one 31 before it, and a whole round of 31 is made
    // at once, which leaves a draw an index and a load; the next round's
    // first `ahead` values follow it. `used` counts the values of this
    // round already drawn, always fewer than 31 between draws; of a type
    // that neither the engine's int arrays nor its size_t visit order can
    // alias, so that it stays in a register while the step writes them.
    uint32_t ring[lag + ahead] = {};
    uint16_t used = 0;
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

// The next round's first values, r[i + 31] = r[i] + r[i + 28], made from
// this round; those past the third add values made ahead themselves.
inline void InlineGenerator::makeAhead()
{
    for (int k = 0; k < ahead; ++k)
        ring[lag + k] = ring[k] + ring[lag - shortLag + k];
}

// The next round, whose first values were made ahead. The last three values
// made ride along in registers: a loop reading back what it just stored
// would wait on the store each time.
inline void InlineGenerator::refill()
{
    for (int k = 0; k < ahead; ++k)
        ring[k] = ring[lag + k];
    uint32_t back3 = ring[ahead - 3], back2 = ring[ahead - 2], back1 = ring[ahead - 1];
    // Unrolled, the three values riding along are just registers renamed.
#if defined(__GNUC__)
#  pragma GCC unroll 31
#endif
    for (int k = ahead; k < lag + ahead; ++k) {
        uint32_t value = ring[k < lag ? k : k - lag] + back3;
#if defined(__GNUC__)
        // Out of the vectorizer's reach: it would pair neighbours in
        // vectors and read back, wider or narrower, what it just stored.
        __asm__("" : "+r"(value));
#endif
        ring[k] = value;
        back3 = back2;
        back2 = back1;
        back1 = value;
    }
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
    makeAhead();
    // The values up to r[343] are thrown away: the rounds of r[62..340]
    // whole, and the first three of the round of r[341..371].
    constexpr int wholeRounds = (shortLag + discarded) / lag - 1;
    static_assert((shortLag + discarded) % lag == shortLag, "the first value drawn is the fourth of a round");
    for (int round = 0; round <= wholeRounds; ++round)
        refill();
    used = shortLag;
}

#endif
