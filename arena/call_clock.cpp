#include "call_clock.h"

#include <thread>

namespace callclock {

namespace {
double measured = 0;
} // namespace

double nanosecondsPerTick()
{
#ifdef PELLORIA_HAVE_TSC
    if (measured == 0) {
        using clock = std::chrono::steady_clock;
        const auto t0 = clock::now();
        const uint64_t c0 = ticks();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto t1 = clock::now();
        const uint64_t c1 = ticks();
        const double ns = double(std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count());
        measured = c1 > c0 ? ns / double(c1 - c0) : 1.0;
    }
    return measured;
#else
    return 1.0;
#endif
}

void useNanosecondsPerTick(double rate)
{
    if (rate > 0)
        measured = rate;
}

} // namespace callclock
