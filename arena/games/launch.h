// What the arena and a controller's launcher say to each other.
//
// The launcher (pelloria-arena-host) starts every game of one controller: it
// keeps processes forked ahead, confined before anything of the
// controller's is in them, and hands each its game when the arena asks.
// It never loads the controller's library itself, so it stays the arena's:
// what it says (which process plays which game, how that process ended, the
// processor time it took) is believed. The games' processes load the
// library, play, and tell the arena their actions through their channel.
#ifndef ARENA_GAMES_LAUNCH_H
#define ARENA_GAMES_LAUNCH_H

#include <cstdint>
#include <type_traits>

namespace launch {

constexpr int maxReadableFolders = 16;
constexpr int pathBytes = 1024;

// Given to the launcher through a pipe when it starts.
struct Settings {
    char libraryPath[4096] = {};
    // Folders a controller may read besides the library's own and the
    // system's libraries (its data: weights, a Python file).
    char readable[maxReadableFolders][pathBytes] = {};
    int readableCount = 0;
    int controlFd = -1; // a packet socket to the arena
    int spares = 1;     // games' processes kept forked ahead
    bool sandbox = true;
    long long memoryBytes = 512LL << 20; // beyond what the process maps once loaded
    long long cpuSeconds = 0;            // a backstop behind the arena's own limits
};
static_assert(std::is_trivially_copyable<Settings>::value, "copied through a pipe");

// The arena's word to the launcher. Start comes with two descriptors: the
// game's channel and the write end of its output.
struct Order {
    enum Kind : int32_t { Start, Kill } kind = Start;
    uint64_t ticket = 0;
};

// The launcher's word to the arena.
struct Event {
    enum Kind : int32_t {
        Ready,   // set up; `text`: what could not be confined here, if anything
        Note,    // something the report must say once: what could not be confined
        Failed,  // cannot work at all: `text` says why
        Started, // `ticket` is played by process `pid`
        Ended,   // that process ended with `status` after `cpuNs` of processor time
    } kind = Ready;
    uint64_t ticket = 0;
    int32_t pid = 0;
    int32_t status = 0;
    int64_t cpuNs = 0;
    char text[400] = {};
};
static_assert(std::is_trivially_copyable<Event>::value, "sent as one packet");

} // namespace launch

#endif
