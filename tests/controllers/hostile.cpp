// Controllers that misbehave: crash, take too long, write nonsense, read
// every entry they are given, or draw heavily on the shared generator.
#include "brainlet.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>

namespace {
long calls = 0;
}

extern "C" BRAINLET_API void BRAINLET_CALL controller(int &action, const size_t agent,
                                                      const size_t num_agents,
                                                      const size_t num_resources,
                                                      const int *circleRadius,
                                                      const int *xCoordinate,
                                                      const int *yCoordinate,
                                                      const int *xVelocity,
                                                      const int *yVelocity)
{
    ++calls;
    action = 0;
#if defined(CRASH_AT_CALL)
    if (calls == CRASH_AT_CALL) {
        volatile int *nowhere = nullptr;
        *nowhere = 1; // NOLINT(clang-analyzer-core.NullDereference): the point of this plug-in
    }
#elif defined(SLEEP_MS_AT_CALL)
    if (calls == SLEEP_AT_CALL)
        std::this_thread::sleep_for(std::chrono::milliseconds(SLEEP_MS_AT_CALL));
#elif defined(SLEEP_MS_EVERY_CALL)
    std::this_thread::sleep_for(std::chrono::milliseconds(SLEEP_MS_EVERY_CALL));
#elif defined(HUGE_CODES)
    static const int codes[] = {INT_MAX, INT_MIN, 9, -1, 1000000, -9};
    action = codes[calls % 6];
#elif defined(READ_EVERYTHING)
    // The contract: agent 0 of 10, 5 resources. Anything else is a fault of
    // the caller, and so is an entry past the ends (the sanitizers watch).
    if (agent != 0 || num_agents != 10 || num_resources != 5)
        std::abort();
    long sum = 0;
    for (size_t k = 0; k < num_agents + num_resources; ++k)
        sum += circleRadius[k] + xCoordinate[k] + yCoordinate[k];
    for (size_t k = 0; k < num_agents; ++k)
        sum += xVelocity[k] + yVelocity[k];
    action = int((sum % 9 + 9) % 9);
#elif defined(RAND_HEAVY)
    int last = 0;
    for (int i = 0; i < 1000; ++i)
        last = std::rand();
    action = last % 9;
#endif
    (void)agent; (void)num_agents; (void)num_resources; (void)circleRadius;
    (void)xCoordinate; (void)yCoordinate; (void)xVelocity; (void)yVelocity;
}
