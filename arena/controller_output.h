// What a controller prints, kept out of the report and tagged with the seed
// and step it was printed at.
//
// The controller's process has its stdout and stderr pointed at the
// controller's log, and both streams buffered in memory of ours. After every
// call whatever the call printed through stdio (printf, std::cout, fprintf to
// stderr) is written to the log line by line behind its seed and step.
// Output a controller flushes itself or writes straight to the descriptors
// reaches the log as it is, without the prefix.
#ifndef CONTROLLER_OUTPUT_H
#define CONTROLLER_OUTPUT_H

#include <cstdint>

namespace controlleroutput {

// Points descriptors 1 and 2 at `logFd` and buffers both streams.
void capture(int logFd);

// Gives both streams our buffers again, after a library that changed them
// (an embedded interpreter may) has loaded.
void rebuffer();

// True when the last call printed something that is still buffered.
bool pending();

// Writes the buffered output behind "seed S step N" (or `context` when it is
// not null) and empties the buffers.
void tag(uint32_t seed, int step, const char *context = nullptr);

// Drops whatever is buffered, unwritten: a game's process starts clean.
void discard();

} // namespace controlleroutput

#endif
