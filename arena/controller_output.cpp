#include "arena/controller_output.h"

#include "arena/channel/descriptors.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#if defined(__unix__) || defined(__APPLE__)
#  include <stdio_ext.h>
#  include <unistd.h>
#  define PELLORIA_CAPTURE_OUTPUT 1
#endif

namespace controlleroutput {

#ifdef PELLORIA_CAPTURE_OUTPUT
namespace {

// Larger than one call's output in any sane controller; more than this in a
// single call is flushed by stdio itself and reaches the log untagged.
constexpr size_t bufferBytes = 1 << 16;
char outBuffer[bufferBytes];
char errBuffer[bufferBytes];

void tagStream(FILE *stream, const char *buffer, const char *name, const char *prefix)
{
    const size_t size = ::__fpending(stream);
    if (size == 0)
        return;
    // One write per line, so that lines of games played side by side never
    // interleave within a line.
    char line[1024];
    size_t start = 0;
    while (start < size) {
        const char *newline = static_cast<const char *>(std::memchr(buffer + start, '\n', size - start));
        const size_t end = newline ? size_t(newline - buffer) : size;
        const int head = std::snprintf(line, sizeof line, "%s %s: ", prefix, name);
        size_t used = head > 0 ? std::min(size_t(head), sizeof line - 1) : 0;
        const size_t take = std::min(end - start, sizeof line - 1 - used);
        std::memcpy(line + used, buffer + start, take);
        used += take;
        line[used++] = '\n';
        descriptors::writeAll(STDOUT_FILENO, line, used);
        start = end + 1;
    }
    ::__fpurge(stream);
}

} // namespace

void capture(int logFd)
{
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(logFd, STDOUT_FILENO);
    ::dup2(logFd, STDERR_FILENO);
    std::setvbuf(stdout, outBuffer, _IOFBF, bufferBytes);
    std::setvbuf(stderr, errBuffer, _IOFBF, bufferBytes);
}

void rebuffer()
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::setvbuf(stdout, outBuffer, _IOFBF, bufferBytes);
    std::setvbuf(stderr, errBuffer, _IOFBF, bufferBytes);
}

bool pending()
{
    return (::__fpending(stdout) | ::__fpending(stderr)) != 0;
}

void tag(uint32_t seed, int step, const char *context)
{
    char prefix[64];
    if (context)
        std::snprintf(prefix, sizeof prefix, "%s", context);
    else
        std::snprintf(prefix, sizeof prefix, "seed %u step %d", seed, step);
    tagStream(stdout, outBuffer, "stdout", prefix);
    tagStream(stderr, errBuffer, "stderr", prefix);
}

void discard()
{
    ::__fpurge(stdout);
    ::__fpurge(stderr);
}

#else

void capture(int) { }
void rebuffer() { }
bool pending()
{
    return false;
}
void tag(uint32_t, int, const char *) { }
void discard() { }

#endif

} // namespace controlleroutput
