#include "engine/move_lanes.h"

#include "engine/processor.h"

namespace moveLanes {

#if defined(PELLORIA_ENGINE_AVX2)
uint32_t moveEightAvx2(const Arrays &arrays, int width, int height, int maxRadius);
#endif

bool availableFor(int maxRadius)
{
#if defined(PELLORIA_ENGINE_AVX2)
    return processor::runsAvx2() && maxRadius > 0 && maxRadius < (1 << 24);
#else
    (void)maxRadius;
    return false;
#endif
}

uint32_t moveEight(const Arrays &arrays, int width, int height, int maxRadius)
{
#if defined(PELLORIA_ENGINE_AVX2)
    return moveEightAvx2(arrays, width, height, maxRadius);
#else
    (void)arrays, (void)width, (void)height, (void)maxRadius;
    return 0;
#endif
}

} // namespace moveLanes
