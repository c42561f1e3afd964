// Controllers that misbehave on a chosen call: crash, or take too long.
#include "brainlet.h"

#include <chrono>
#include <thread>

namespace {
long calls = 0;
}

extern "C" BRAINLET_API void BRAINLET_CALL controller(int &action, const size_t, const size_t,
                                                      const size_t, const int *, const int *,
                                                      const int *, const int *, const int *)
{
    ++calls;
#if defined(CRASH_AT_CALL)
    if (calls == CRASH_AT_CALL) {
        volatile int *nowhere = nullptr;
        *nowhere = 1;
    }
#elif defined(SLEEP_MS_AT_CALL)
    if (calls == SLEEP_AT_CALL)
        std::this_thread::sleep_for(std::chrono::milliseconds(SLEEP_MS_AT_CALL));
#endif
    action = 0;
}
