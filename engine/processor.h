// What the processor running the engine can do, asked once.
#ifndef PROCESSOR_H
#define PROCESSOR_H

namespace processor {

// Whether the engine's AVX2 variants are built and this processor runs
// them. Answered while the program loads, so that the step pays a load
// and no call; code that runs before then gets the portable answer.
extern const bool avx2;
inline bool runsAvx2()
{
    return avx2;
}

} // namespace processor

#endif
