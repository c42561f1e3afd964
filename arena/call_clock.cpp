#include "call_clock.h"

#include <thread>

namespace callclock {

namespace {
double measured = 0;

#ifdef PELLORIA_HAVE_TSC
using Clock = std::chrono::steady_clock;

// Both clocks at one moment: the tick count between two readings of the
// steady clock no more than 2 us apart, taken as at their middle. A process
// descheduled between the readings tries again.
void readBoth(Clock::time_point &at, uint64_t &count)
{
    for (int tries = 0;; ++tries) {
        const Clock::time_point before = Clock::now();
        count = ticks();
        const Clock::time_point after = Clock::now();
        at = before + (after - before) / 2;
        if (after - before <= std::chrono::microseconds(2) || tries == 100)
            return;
    }
}
#endif
} // namespace

double nanosecondsPerTick()
{
#ifdef PELLORIA_HAVE_TSC
    if (measured == 0) {
        Clock::time_point t0, t1;
        uint64_t c0 = 0, c1 = 0;
        readBoth(t0, c0);
        // Within a microsecond at either end of 5 ms: the rate is good to a
        // few parts in 10,000, whatever the sleep's own length.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        readBoth(t1, c1);
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
