#pragma once

// Heap allocations made by the calling thread, counted by the interposed allocation functions of
// tests/support/AudioThreadProbe.cpp. Sanitizer builds leave the probe out; nothing is counted there.
#if QUOLBANE_ALLOCATION_PROBE
#include "tests/support/AudioThreadProbe.h"
#endif

#include <cstdint>

inline bool allocationCountingAvailable() noexcept
{
    return QUOLBANE_ALLOCATION_PROBE != 0;
}

// Counts the allocations made by this thread between its construction and count().
class AllocationScope
{
public:
    long count() const noexcept
    {
#if QUOLBANE_ALLOCATION_PROBE
        return static_cast<long> (AudioThreadProbe::current().allocations - start);
#else
        return 0;
#endif
    }

private:
#if QUOLBANE_ALLOCATION_PROBE
    AudioThreadProbe::ScopedCount counting;
    std::int64_t start = AudioThreadProbe::current().allocations;
#endif
};
