#pragma once

#include <cstdint>

// Counts heap calls and mutex locks made by the calling thread while a ScopedCount is alive. The
// counting functions are interposed in AudioThreadProbe.cpp, linked into test executables only, and
// never into sanitizer builds, whose runtimes replace the same functions.
namespace AudioThreadProbe
{
struct Counts
{
    std::int64_t allocations = 0; // malloc, calloc, realloc, aligned allocations, operator new
    std::int64_t frees = 0;       // free, operator delete
    std::int64_t locks = 0;       // pthread mutex and rwlock acquisitions
};

Counts current() noexcept;

class ScopedCount
{
public:
    ScopedCount() noexcept;
    ~ScopedCount() noexcept;
    ScopedCount (const ScopedCount&) = delete;
    ScopedCount& operator= (const ScopedCount&) = delete;

private:
    bool wasCounting;
};
}
