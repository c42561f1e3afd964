// Waking a process that waits on a word of shared memory, and waiting so:
// the exchange between a referee and a seat.
#ifndef ARENA_CHANNEL_WAKE_H
#define ARENA_CHANNEL_WAKE_H

#include <atomic>
#include <cstdint>

namespace wake {

// Sleeps while `word` holds `expected`, `timeoutNs` at most; wakes early
// when woken, or for no reason (callers look again).
void waitWhile(std::atomic<uint32_t> &word, uint32_t expected, long long timeoutNs);
void wakeAll(std::atomic<uint32_t> &word);

} // namespace wake

#endif
