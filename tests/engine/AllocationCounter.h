#pragma once

// Heap allocations made by the calling thread so far: every operator new and (with glibc) every
// call of the malloc family, counted by replacements that live in AllocationCounter.cpp.
long allocationsOnThisThread() noexcept;

// False in sanitizer builds, whose runtimes own the allocator: nothing is counted there.
bool allocationCountingAvailable() noexcept;

// Counts the allocations made between its construction and count().
class AllocationScope
{
public:
    AllocationScope() noexcept : start (allocationsOnThisThread()) {}
    long count() const noexcept { return allocationsOnThisThread() - start; }

private:
    long start;
};
