// A cheap clock for timing every controller call: the time-stamp counter where
// there is one (a tenth of the cost of the system clock), else steady_clock.
#ifndef CALL_CLOCK_H
#define CALL_CLOCK_H

#include <chrono>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#  include <x86intrin.h>
#  define PELLORIA_HAVE_TSC 1
#endif

namespace callclock {

inline uint64_t ticks()
{
#ifdef PELLORIA_HAVE_TSC
    return __rdtsc();
#else
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
#endif
}

// Nanoseconds per tick, measured once against steady_clock.
double nanosecondsPerTick();
// A rate measured by another process of this machine, taken instead of
// measuring it again.
void useNanosecondsPerTick(double rate);

} // namespace callclock

#endif
