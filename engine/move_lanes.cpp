#include "engine/move_lanes.h"

namespace moveLanes {

#if defined(PELLORIA_ENGINE_AVX2)
uint32_t moveAgentsAvx2(const Arrays &arrays, int width, int height, int maxRadius);
#endif

uint32_t moveAgents(const Arrays &arrays, int width, int height, int maxRadius)
{
#if defined(PELLORIA_ENGINE_AVX2)
    return moveAgentsAvx2(arrays, width, height, maxRadius);
#else
    (void)arrays, (void)width, (void)height, (void)maxRadius;
    return 0;
#endif
}

std::vector<Way> waysHere()
{
    std::vector<Way> ways;
#if defined(PELLORIA_ENGINE_AVX2)
    if (processor::runsAvx2())
        ways.push_back({"AVX2", &moveAgentsAvx2});
#endif
    return ways;
}

} // namespace moveLanes
