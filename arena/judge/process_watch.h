// What the arena keeps of a game's process: the memory it shares with it
// alone, and what the kernel says of the process (its processor time,
// whether it stopped itself).
#ifndef ARENA_JUDGE_PROCESS_WATCH_H
#define ARENA_JUDGE_PROCESS_WATCH_H

#include "arena/channel/game_channel.h"
#include "arena/judge/judge.h"

#include <QString>

#include <chrono>

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

// A game's channel: memory shared with its process and no other.
class ChannelMemory
{
public:
    ChannelMemory() = default;
    ~ChannelMemory();
    ChannelMemory(const ChannelMemory &) = delete;
    ChannelMemory &operator=(const ChannelMemory &) = delete;

    bool create(int maxSteps, uint32_t seed, bool loadOnly);
    void closeFd();

    int fd = -1;
    channel::Header *header = nullptr;
    size_t bytes = 0;
};

// The processor time `pid` has had; -1 once it is gone.
int64_t cpuOf(pid_t pid);

// Whether `pid` stopped itself (or was stopped): it would never go on.
bool isStopped(pid_t pid);

// What a step that is late calls for, from the processor time the process
// has spent on it and how long it has stood on the clock: OverTime past
// `limitMs` of processor time, Stalled when it stopped itself or stood past
// the stall cap, Finished (nothing) otherwise.
ProcessEnd::Way lateness(pid_t pid, int64_t spentNs, int limitMs, std::chrono::steady_clock::duration still);

// How a game's process ended: what its launcher saw (`status`, -1 for
// never started), what the arena did to it (`killedAs`, when it killed it)
// and, for a clean exit, what the process said of itself.
ProcessEnd processEnd(const channel::Header &header, int status, const ProcessEnd *killedAs, uint32_t calls);

// Why a library could not be played, from its load check's channel and
// end; empty when it loaded.
QString loadFailure(const channel::Header &header, const ProcessEnd &end, const QString &path, int firstCallMs);

#endif
