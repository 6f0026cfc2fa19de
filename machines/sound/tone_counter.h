// The SN76489's square-wave tone generator: a counter runs from 0 to twice the
// period and back to 0; the output is +level for the first half of the cycle, -level after.
#pragma once

#include <cstdint>

inline int32_t tone_step(uint16_t& counter, int32_t period, int32_t level)
{
    counter = counter >= 2 * period ? 0 : uint16_t(counter + 1);
    return counter < period ? level : -level;
}
