#include "engine/processor.h"

namespace processor {

bool runsAvx2()
{
#if defined(PELLORIA_ENGINE_AVX2)
    // Asked once, before any game.
    static const bool avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0);
    return avx2;
#else
    return false;
#endif
}

} // namespace processor
