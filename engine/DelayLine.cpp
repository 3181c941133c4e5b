#include "DelayLine.h"

#include <algorithm>
#include <cstdint>

std::size_t DelayLine::sizeFor (int n) noexcept
{
    // Smallest power of two >= n, at least 4; bit smearing on 32 bits.
    auto v = static_cast<std::uint32_t> (std::clamp (n, 4, maxSize) - 1);
    v |= v >> 1;
    v |= v >> 2;
    v |= v >> 4;
    v |= v >> 8;
    v |= v >> 16;
    return static_cast<std::size_t> (v + 1);
}

void DelayLine::reserve (int n)
{
    buffer.reserve (sizeFor (n));
}

void DelayLine::releaseSpareStorage() noexcept
{
    buffer.shrink_to_fit(); // libstdc++ keeps the storage when the smaller copy cannot be had
}

void DelayLine::prepare (int n)
{
    const auto size = sizeFor (n);
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
