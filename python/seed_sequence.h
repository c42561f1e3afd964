// The seeds of the games nobody named: reset() without a seed and the games
// a VectorGame lays out again by itself. They come from the training range,
// 2^31 to 2^32 - 1, which pelloria-arena's evaluation seeds (1 and up, a
// few thousand at most) never reach, so that nothing trained on by default
// is later evaluated on.
//
// The sequence is a function of its root: a named seed roots it (the same
// seed, the same games after it), and a game never given one is rooted in
// the operating system's entropy, as Gymnasium does.
#ifndef SEED_SEQUENCE_H
#define SEED_SEQUENCE_H

#include <cstddef>
#include <cstdint>
#include <random>

constexpr uint32_t firstTrainingSeed = 0x80000000u;

class SeedSequence
{
public:
    // A root that no named seed gives.
    static uint64_t entropyRoot()
    {
        std::random_device device;
        return (uint64_t(device()) << 32 | device()) | (uint64_t(1) << 63);
    }

    void root(uint64_t value)
    {
        base = value;
        count = 0;
    }

    // Several named seeds root one sequence together.
    void rootAll(const uint32_t *seeds, size_t n)
    {
        uint64_t value = n;
        for (size_t i = 0; i < n; ++i)
            value = mix(value ^ seeds[i]);
        root(value);
    }

    // The next training seed: splitmix64 of the root and a counter, so that
    // neighbouring roots give unrelated sequences.
    uint32_t next() { return firstTrainingSeed | uint32_t(mix(base + ++count * golden) >> 33); }

    static uint64_t mix(uint64_t z)
    {
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    static constexpr uint64_t golden = 0x9E3779B97F4A7C15ull;
    uint64_t base = 0;
    uint64_t count = 0;
};

#endif
