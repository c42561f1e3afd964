// Packets with descriptors in them, between the arena, a launcher and a
// game's process; a process's way to shed every descriptor it was not
// meant to keep; and the one way here to see a system call through the
// signals that interrupt it.
#ifndef ARENA_CHANNEL_DESCRIPTORS_H
#define ARENA_CHANNEL_DESCRIPTORS_H

#include <cerrno>
#include <cstddef>
#include <initializer_list>

namespace descriptors {

// Calls `call` again for as long as a signal interrupts it (it fails with
// EINTR), and returns its first other result.
template <typename Call>
auto retryInterrupted(Call call) -> decltype(call())
{
    for (;;) {
        const auto result = call();
        if (!(result < 0 && errno == EINTR))
            return result;
    }
}

// Writes all `size` bytes, in as many writes as it takes; gives up at the
// first write that fails or writes nothing.
void writeAll(int fd, const char *data, size_t size);

constexpr int maxPassed = 4;

// One packet of `size` bytes with `count` descriptors; false if it did not go.
bool send(int socket, const void *data, size_t size, const int *fds, int count);

// One packet into `data`: its size, 0 at the other end's close, -1 on an
// error (errno) or a packet of another size. Descriptors that came with it
// are in `fds` (as many as `count` says, the rest closed), close-on-exec.
long receive(int socket, void *data, size_t size, int *fds, int &count, bool wait = true);

// Closes every descriptor from 3 up but those in `keep`.
void closeAllBut(std::initializer_list<int> keep);

} // namespace descriptors

#endif
