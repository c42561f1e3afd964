#include "arena/channel/wake.h"

#if defined(__linux__)
#  include <linux/futex.h>
#  include <sys/syscall.h>
#  include <time.h>
#  include <unistd.h>
#else
#  include <thread>
#endif

namespace wake {

// Shared between processes: never the private futex operations.
void waitWhile(std::atomic<uint32_t> &word, uint32_t expected, long long timeoutNs)
{
#if defined(__linux__)
    const timespec timeout{time_t(timeoutNs / 1000000000), long(timeoutNs % 1000000000)};
    ::syscall(SYS_futex, reinterpret_cast<uint32_t *>(&word), FUTEX_WAIT, expected, &timeout, nullptr, 0);
#else
    if (word.load() == expected)
        std::this_thread::yield();
    (void)timeoutNs;
#endif
}

void wakeAll(std::atomic<uint32_t> &word)
{
#if defined(__linux__)
    ::syscall(SYS_futex, reinterpret_cast<uint32_t *>(&word), FUTEX_WAKE, 1 << 30, nullptr, nullptr, 0);
#else
    (void)word;
#endif
}

} // namespace wake
