#include "replay/replay_frames.h"

#include <algorithm>
#include <cstdint>

namespace {

// Frames are written as their differences from the frame before (the
// frame before the first is all zeros): per array a 16-bit mask of the
// entries that changed, then each change as a zigzag varint, then agent 0's
// radius changes. A game's frames then take some forty bytes a step, which
// deflate packs about threefold at a fraction of the cost of text.
// Writes through a cursor into room made beforehand: no test for space, and
// no byte written twice.
class Bytes
{
public:
    explicit Bytes(unsigned char *at) : p(at) { }
    unsigned char *end() const { return p; }

    void byte(unsigned value) { *p++ = static_cast<unsigned char>(value); }
    void varint(uint64_t value)
    {
        while (value >= 0x80) {
            *p++ = static_cast<unsigned char>(value | 0x80u);
            value >>= 7;
        }
        *p++ = static_cast<unsigned char>(value);
    }
    // Zigzag: 0, -1, 1, -2, ... as 0, 1, 2, 3, ...
    void signedVarint(int64_t value) { varint(value < 0 ? ~(uint64_t(value) << 1) : uint64_t(value) << 1); }

private:
    unsigned char *p;
};

// The most a frame can take: which arrays it lists, six masks, 75 values
// and the changes' count at ten bytes at most each, and the changes.
size_t frameRoom(const ReplayFrame &f)
{
    return 1 + 6 * 2 + 76 * 10 + f.changes.size() * 30;
}

// Loops over an array's 10 or 15 entries, unrolled: each entry's test then
// stands on its own instead of waiting on the one before.
#if defined(__GNUC__)
#  define PELLORIA_EVERY_ENTRY _Pragma("GCC unroll 16")
#else
#  define PELLORIA_EVERY_ENTRY
#endif

// The index of the lowest bit set in `bits`, which is not 0.
inline unsigned lowestBit(unsigned bits)
{
#if defined(__GNUC__)
    return unsigned(__builtin_ctz(bits));
#else
    unsigned i = 0;
    for (; (bits & 1u) == 0; bits >>= 1)
        ++i;
    return i;
#endif
}

// Writes the entries that differ from what they would be if nothing had
// happened but motion (the same value, and for an agent's position the
// value before plus its velocity now), as a mask and their differences;
// nothing when none differs, which is most entries. Returns whether it
// wrote anything. Every difference is worked out first, in one pass the
// compiler can do side by side, and only the entries that changed are
// visited after: a test per entry, taken at random, cost more than the rest.
template <size_t N, size_t V = 0>
bool appendChanges(Bytes &out, const std::array<int32_t, N> &now, const std::array<int32_t, N> &before,
                   const std::array<int32_t, V> *velocity = nullptr)
{
    static_assert(N <= 16 && V <= N, "a mask holds 16 entries");
    int64_t difference[N];
    PELLORIA_EVERY_ENTRY
    for (size_t i = 0; i < N; ++i)
        difference[i] = int64_t(now[i]) - before[i];
    if constexpr (V > 0) {
        PELLORIA_EVERY_ENTRY
        for (size_t i = 0; i < V; ++i)
            difference[i] -= (*velocity)[i];
    }
    unsigned mask = 0;
    PELLORIA_EVERY_ENTRY
    for (size_t i = 0; i < N; ++i)
        mask |= unsigned(difference[i] != 0) << i;
    if (mask == 0)
        return false;
    out.byte(mask & 0xffu);
    out.byte(mask >> 8);
    for (unsigned m = mask; m != 0; m &= m - 1)
        out.signedVarint(difference[lowestBit(m)]);
    return true;
}

} // namespace

// Room for an average game from the start.
FrameWriter::FrameWriter() : buffer(size_t(64) << 10) { }

void FrameWriter::add(const ReplayFrame &f)
{
    const size_t room = frameRoom(f);
    if (buffer.size() < used + room)
        buffer.resize(std::max(buffer.size() * 2, used + room));
    unsigned char *listed = buffer.data() + used;
    Bytes bytes(listed + 1);
    // One statement each: the arrays go in this order.
    unsigned arrays = appendChanges(bytes, f.radius, before.radius) ? 1u : 0u;
    arrays |= appendChanges(bytes, f.vx, before.vx) ? 2u : 0u;
    arrays |= appendChanges(bytes, f.vy, before.vy) ? 4u : 0u;
    arrays |= appendChanges(bytes, f.action, before.action) ? 8u : 0u;
    arrays |= appendChanges(bytes, f.x, before.x, &f.vx) ? 16u : 0u;
    arrays |= appendChanges(bytes, f.y, before.y, &f.vy) ? 32u : 0u;
    *listed = static_cast<unsigned char>(arrays);
    bytes.varint(f.changes.size());
    for (const RadiusChange &change : f.changes) {
        bytes.varint(uint64_t(change.cause));
        bytes.signedVarint(change.other);
        bytes.signedVarint(change.delta);
    }
    used = size_t(bytes.end() - buffer.data());
    before.radius = f.radius;
    before.x = f.x;
    before.y = f.y;
    before.vx = f.vx;
    before.vy = f.vy;
    before.action = f.action;
}
