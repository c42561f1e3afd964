// Controllers for a referee's game that look for each other: one writes a
// marker into a large buffer; the other writes a marker of its own and then
// searches every page it can reach for both. Finding its own proves the
// search works; finding the other's would mean the two share memory.
#include "brainlet.h"

#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr size_t bufferBytes = size_t(1) << 20;
constexpr size_t markerBytes = 32;

// Built at run time, so that no copy of it lies in either library's own
// read-only data: "PELLORIA-MARKER-" and a tag.
void makeMarker(char *out, char tag)
{
    const char stem[] = "QFMMPSJB.NBSLFS."; // each letter one past
    for (size_t i = 0; i + 1 < sizeof stem; ++i)
        out[i] = char(stem[i] - 1);
    for (size_t i = sizeof stem - 1; i < markerBytes; ++i)
        out[i] = tag;
}

char *fillWithMarker(char tag)
{
    char *buffer = static_cast<char *>(std::malloc(bufferBytes));
    char marker[markerBytes];
    makeMarker(marker, tag);
    for (size_t at = 0; at + markerBytes <= bufferBytes; at += markerBytes)
        std::memcpy(buffer + at, marker, markerBytes);
    return buffer;
}

#if defined(SCANS_MEMORY)
sigjmp_buf onFault;
void jumpBack(int)
{
    siglongjmp(onFault, 1);
}

// Whether one readable page holds `marker` anywhere but at `skip`.
bool pageHolds(const char *page, size_t size, const char *marker, const char *skip)
{
    if (sigsetjmp(onFault, 1) != 0)
        return false; // not readable
    for (size_t i = 0; i + markerBytes <= size; ++i)
        if (page + i != skip && page[i] == marker[0] && std::memcmp(page + i, marker, markerBytes) == 0)
            return true;
    return false;
}

// Every page mapped within a window around `near`, over the holes between
// mappings: what another library's buffer would be near if it shared this
// process.
constexpr uintptr_t window = uintptr_t(64) << 20;

bool regionHolds(const void *near, const char *marker, const char *skip)
{
    const uintptr_t page = uintptr_t(::sysconf(_SC_PAGESIZE));
    const uintptr_t centre = uintptr_t(near) & ~(page - 1);
    const uintptr_t low = centre > window ? centre - window : page;
    for (uintptr_t p = low; p < centre + window; p += page) {
        if (::madvise(reinterpret_cast<void *>(p), page, MADV_NORMAL) != 0)
            continue; // a hole
        if (pageHolds(reinterpret_cast<const char *>(p), page, marker, skip))
            return true;
    }
    return false;
}

bool anywhere(const char *marker, const char *skip, const void *const *places, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (regionHolds(places[i], marker, skip))
            return true;
    return false;
}

void search(const int *observation)
{
    struct sigaction fault = {};
    fault.sa_handler = &jumpBack;
    ::sigaction(SIGSEGV, &fault, nullptr);
    ::sigaction(SIGBUS, &fault, nullptr);
    char *mine = fillWithMarker('S');
    char *probe = static_cast<char *>(std::malloc(64));
    int onStack = 0;
    const void *places[] = {mine,
                            probe,
                            &onStack,
                            observation,
                            reinterpret_cast<const void *>(&std::malloc),
                            reinterpret_cast<const void *>(&search),
                            environ};
    char self[markerBytes], other[markerBytes];
    makeMarker(self, 'S');
    makeMarker(other, 'O');
    const size_t count = sizeof places / sizeof places[0];
    std::printf("own marker found: %s\n", anywhere(self, self, places, count) ? "yes" : "no");
    std::printf("opponent's marker found: %s\n", anywhere(other, other, places, count) ? "yes" : "no");
    std::fflush(stdout);
    ::signal(SIGSEGV, SIG_DFL);
    ::signal(SIGBUS, SIG_DFL);
}
#endif

#if defined(WRITES_MARKER)
// Kept where the compiler cannot drop it as unused.
char *volatile written = fillWithMarker('O');
#endif

long calls = 0;

} // namespace

extern "C" BRAINLET_API void BRAINLET_CALL controller(int &action, const size_t agent, const size_t num_agents,
                                                      const size_t num_resources, const int *circleRadius,
                                                      const int *xCoordinate, const int *yCoordinate,
                                                      const int *xVelocity, const int *yVelocity)
{
    action = 0;
    (void)agent;
    (void)num_agents;
    (void)num_resources;
    (void)xCoordinate;
    (void)yCoordinate;
    (void)xVelocity;
    (void)yVelocity;
#if defined(SCANS_MEMORY)
    if (++calls == 1)
        search(circleRadius);
#else
    (void)circleRadius;
    ++calls;
#endif
}
