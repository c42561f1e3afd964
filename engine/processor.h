// What the processor running the engine can do, asked once.
#ifndef PROCESSOR_H
#define PROCESSOR_H

namespace processor {

// Whether the engine's AVX2 variants are built and this processor runs
// them.
bool runsAvx2();

} // namespace processor

#endif
