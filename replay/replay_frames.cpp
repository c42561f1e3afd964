#include "replay_frames.h"

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
    explicit Bytes(unsigned char *at) : p(at) {}
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

// Each entry's difference from what it would be if nothing happened but
// motion: the same value, and for an agent's position the value before
// plus the agent's velocity now. Most entries then differ by nothing.
// Writes the entries that differ from what they would be if nothing had
// happened but motion, as a mask and their differences; nothing when none
// differs. Returns whether it wrote anything.
template <size_t N, size_t V = 0>
bool appendChanges(Bytes &out, const std::array<int32_t, N> &now, const std::array<int32_t, N> &before,
                   const std::array<int32_t, V> *velocity = nullptr)
{
    static_assert(N <= 16 && V <= N, "a mask holds 16 entries");
    int64_t expected[N];
    for (size_t i = 0; i < N; ++i)
        expected[i] = before[i];
    if (velocity)
        for (size_t i = 0; i < V; ++i)
            expected[i] += (*velocity)[i];
    unsigned mask = 0;
    for (size_t i = 0; i < N; ++i)
        mask |= unsigned(now[i] != expected[i]) << i;
    if (mask == 0)
        return false;
    out.byte(mask & 0xffu);
    out.byte(mask >> 8);
    for (size_t i = 0; i < N; ++i)
        if (mask & (1u << i))
            out.signedVarint(int64_t(now[i]) - expected[i]);
    return true;
}

} // namespace

// Room for an average game from the start.
FrameWriter::FrameWriter() : buffer(size_t(64) << 10) {}

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
