#include "DelayLine.h"

#include <algorithm>
#include <cstdint>

void DelayLine::prepare (int n)
{
    // Smallest power of two >= n, at least 4; bit smearing on 32 bits.
    auto v = static_cast<std::uint32_t> (std::clamp (n, 4, maxSize) - 1);
    v |= v >> 1;
    v |= v >> 2;
    v |= v >> 4;
    v |= v >> 8;
    v |= v >> 16;
    const auto size = static_cast<std::size_t> (v + 1);

    buffer.resize (size); // keeps the capacity when shrinking
    std::fill (buffer.begin(), buffer.end(), 0.0f);
    mask = static_cast<int> (size - 1);
    writeIndex = 0;
}

void DelayLine::clearSamples() noexcept
{
    std::fill (buffer.begin(), buffer.end(), 0.0f);
    writeIndex = 0;
}
