// A game's frames as the replay file holds them, written as the game is
// played. No Qt here: the arena's games write their frames in a process
// that has none.
#ifndef REPLAY_FRAMES_H
#define REPLAY_FRAMES_H

#include "engine/ball_engine.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int replayCircles = int(rules::circlesPerGame);
constexpr int replayAgents = int(rules::agentsPerGame);

// The state after step `step` (0: the layout), with the actions that step
// was played with and the changes of agent 0's radius during it.
struct ReplayFrame {
    int step = 0;
    std::array<int32_t, replayCircles> radius{}, x{}, y{};
    std::array<int32_t, replayAgents> vx{}, vy{}, action{};
    std::vector<RadiusChange> changes;
};

// Frames in the file's form, one at a time as a game is played: each as its
// differences from the one before. Keeps nothing but the last frame.
class FrameWriter
{
public:
    FrameWriter();
    void add(const ReplayFrame &frame);
    const char *data() const { return reinterpret_cast<const char *>(buffer.data()); }
    size_t size() const { return used; }

private:
    std::vector<unsigned char> buffer; // grown, never cleared: only `used` bytes count
    size_t used = 0;
    ReplayFrame before;
};

#endif
