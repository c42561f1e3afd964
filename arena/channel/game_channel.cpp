#include "arena/channel/game_channel.h"

namespace channel {

size_t firstNonAction(const uint8_t *bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (bytes[i] > outOfRange)
            return i;
    return count;
}

} // namespace channel
