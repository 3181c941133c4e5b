#include "AllocationCounter.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>

// Sanitizer runtimes replace the allocator themselves; a second replacement would fight theirs.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUOLBANE_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define QUOLBANE_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef QUOLBANE_COUNT_ALLOCATIONS
#define QUOLBANE_COUNT_ALLOCATIONS 1
#endif

#if QUOLBANE_COUNT_ALLOCATIONS && defined(__GLIBC__)
#define QUOLBANE_COUNT_MALLOC 1
#else
#define QUOLBANE_COUNT_MALLOC 0
#endif

#if QUOLBANE_COUNT_MALLOC
// glibc's own allocator entry points, so that the malloc family below can count and forward.
extern "C" void* __libc_malloc (std::size_t);
extern "C" void* __libc_calloc (std::size_t, std::size_t);
extern "C" void* __libc_realloc (void*, std::size_t);
extern "C" void* __libc_memalign (std::size_t, std::size_t);
extern "C" void __libc_free (void*);
#endif

namespace
{
// Per thread, so that no other thread of the process can disturb a measurement.
thread_local long allocationEvents = 0;

#if QUOLBANE_COUNT_ALLOCATIONS
void* rawAllocate (std::size_t size, std::size_t alignment) noexcept
{
    if (size == 0)
        size = 1;
#if QUOLBANE_COUNT_MALLOC
    return alignment > alignof (std::max_align_t) ? __libc_memalign (alignment, size) : __libc_malloc (size);
#else
    if (alignment <= alignof (std::max_align_t))
        return std::malloc (size);
    return std::aligned_alloc (alignment, (size + alignment - 1) / alignment * alignment);
#endif
}

void rawFree (void* p) noexcept
{
#if QUOLBANE_COUNT_MALLOC
    __libc_free (p);
#else
    std::free (p);
#endif
}

void* allocateOrThrow (std::size_t size, std::size_t alignment)
{
    ++allocationEvents;
    void* p = rawAllocate (size, alignment);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

void* allocateOrNull (std::size_t size, std::size_t alignment) noexcept
{
    ++allocationEvents;
    return rawAllocate (size, alignment);
}
#endif
}

bool allocationCountingAvailable() noexcept
{
    return QUOLBANE_COUNT_ALLOCATIONS != 0;
}

long allocationsOnThisThread() noexcept
{
    return allocationEvents;
}

#if QUOLBANE_COUNT_MALLOC
extern "C"
{
    void* malloc (std::size_t size) noexcept
    {
        ++allocationEvents;
        return __libc_malloc (size);
    }

    void* calloc (std::size_t count, std::size_t size) noexcept
    {
        ++allocationEvents;
        return __libc_calloc (count, size);
    }

    void* realloc (void* p, std::size_t size) noexcept
    {
        ++allocationEvents;
        return __libc_realloc (p, size);
    }

    void* aligned_alloc (std::size_t alignment, std::size_t size) noexcept
    {
        ++allocationEvents;
        return __libc_memalign (alignment, size);
    }

    void* memalign (std::size_t alignment, std::size_t size) noexcept
    {
        ++allocationEvents;
        return __libc_memalign (alignment, size);
    }

    int posix_memalign (void** out, std::size_t alignment, std::size_t size) noexcept
    {
        ++allocationEvents;
        if (alignment < sizeof (void*) || (alignment & (alignment - 1)) != 0)
            return EINVAL;
        void* p = __libc_memalign (alignment, size);
        if (p == nullptr)
            return ENOMEM;
        *out = p;
        return 0;
    }

    void free (void* p) noexcept
    {
        __libc_free (p);
    }
}
#endif

#if QUOLBANE_COUNT_ALLOCATIONS

void* operator new (std::size_t size)
{
    return allocateOrThrow (size, 0);
}

void* operator new[] (std::size_t size)
{
    return allocateOrThrow (size, 0);
}

void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    return allocateOrNull (size, 0);
}

void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept
{
    return allocateOrNull (size, 0);
}

void* operator new (std::size_t size, std::align_val_t alignment)
{
    return allocateOrThrow (size, static_cast<std::size_t> (alignment));
}

void* operator new[] (std::size_t size, std::align_val_t alignment)
{
    return allocateOrThrow (size, static_cast<std::size_t> (alignment));
}

void* operator new (std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return allocateOrNull (size, static_cast<std::size_t> (alignment));
}

void* operator new[] (std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return allocateOrNull (size, static_cast<std::size_t> (alignment));
}

void operator delete (void* p) noexcept
{
    rawFree (p);
}

void operator delete[] (void* p) noexcept
{
    rawFree (p);
}

void operator delete (void* p, std::size_t) noexcept
{
    rawFree (p);
}

void operator delete[] (void* p, std::size_t) noexcept
{
    rawFree (p);
}

void operator delete (void* p, const std::nothrow_t&) noexcept
{
    rawFree (p);
}

void operator delete[] (void* p, const std::nothrow_t&) noexcept
{
    rawFree (p);
}

void operator delete (void* p, std::align_val_t) noexcept
{
    rawFree (p);
}

void operator delete[] (void* p, std::align_val_t) noexcept
{
    rawFree (p);
}

void operator delete (void* p, std::size_t, std::align_val_t) noexcept
{
    rawFree (p);
}

void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept
{
    rawFree (p);
}

void operator delete (void* p, std::align_val_t, const std::nothrow_t&) noexcept
{
    rawFree (p);
}

void operator delete[] (void* p, std::align_val_t, const std::nothrow_t&) noexcept
{
    rawFree (p);
}
#endif
