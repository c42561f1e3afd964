#include "engine/processor.h"

namespace processor {

namespace {

bool askProcessor()
{
#if defined(PELLORIA_ENGINE_AVX2)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
#else
    return false;
#endif
}

} // namespace

const bool avx2 = askProcessor();

} // namespace processor
