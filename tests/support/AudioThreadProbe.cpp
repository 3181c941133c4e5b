#include "tests/support/AudioThreadProbe.h"

#include <dlfcn.h>
#include <malloc.h> // memalign
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>

// glibc's own entry points, so the replacements below can forward without recursion.
extern "C" void* __libc_malloc (std::size_t);
extern "C" void* __libc_calloc (std::size_t, std::size_t);
extern "C" void* __libc_realloc (void*, std::size_t);
extern "C" void* __libc_memalign (std::size_t, std::size_t);
extern "C" void __libc_free (void*);

namespace
{
thread_local bool counting = false;
thread_local AudioThreadProbe::Counts counts;

inline void countAllocation() noexcept
{
    if (counting)
        ++counts.allocations;
}

inline void countFree (void* p) noexcept
{
    if (counting && p != nullptr)
        ++counts.frees;
}

inline void countLock() noexcept
{
    if (counting)
        ++counts.locks;
}

template <typename Fn>
Fn resolve (const char* name) noexcept
{
    return reinterpret_cast<Fn> (dlsym (RTLD_NEXT, name));
}

using MutexFn = int (*) (pthread_mutex_t*);
using RwFn = int (*) (pthread_rwlock_t*);

MutexFn realMutexLock = nullptr;
MutexFn realMutexTryLock = nullptr;
RwFn realRdLock = nullptr;
RwFn realWrLock = nullptr;

// Resolved before main, while nothing counts.
__attribute__ ((constructor (101))) void resolveLockFunctions()
{
    realMutexLock = resolve<MutexFn> ("pthread_mutex_lock");
    realMutexTryLock = resolve<MutexFn> ("pthread_mutex_trylock");
    realRdLock = resolve<RwFn> ("pthread_rwlock_rdlock");
    realWrLock = resolve<RwFn> ("pthread_rwlock_wrlock");
}
}

AudioThreadProbe::Counts AudioThreadProbe::current() noexcept
{
    return counts;
}

AudioThreadProbe::ScopedCount::ScopedCount() noexcept : wasCounting (counting)
{
    counting = true;
}

AudioThreadProbe::ScopedCount::~ScopedCount() noexcept
{
    counting = wasCounting;
}

extern "C"
{
    void* malloc (std::size_t n)
    {
        countAllocation();
        return __libc_malloc (n);
    }

    void* calloc (std::size_t count, std::size_t n)
    {
        countAllocation();
        return __libc_calloc (count, n);
    }

    void* realloc (void* p, std::size_t n)
    {
        countAllocation();
        return __libc_realloc (p, n);
    }

    void free (void* p)
    {
        countFree (p);
        __libc_free (p);
    }

    void* memalign (std::size_t alignment, std::size_t n)
    {
        countAllocation();
        return __libc_memalign (alignment, n);
    }

    void* aligned_alloc (std::size_t alignment, std::size_t n)
    {
        countAllocation();
        return __libc_memalign (alignment, n);
    }

    int posix_memalign (void** out, std::size_t alignment, std::size_t n)
    {
        countAllocation();
        *out = __libc_memalign (alignment, n);
        return *out != nullptr || n == 0 ? 0 : ENOMEM;
    }

    int pthread_mutex_lock (pthread_mutex_t* m)
    {
        countLock();
        if (realMutexLock == nullptr)
            realMutexLock = resolve<MutexFn> ("pthread_mutex_lock");
        return realMutexLock (m);
    }

    int pthread_mutex_trylock (pthread_mutex_t* m)
    {
        countLock();
        if (realMutexTryLock == nullptr)
            realMutexTryLock = resolve<MutexFn> ("pthread_mutex_trylock");
        return realMutexTryLock (m);
    }

    int pthread_rwlock_rdlock (pthread_rwlock_t* l)
    {
        countLock();
        if (realRdLock == nullptr)
            realRdLock = resolve<RwFn> ("pthread_rwlock_rdlock");
        return realRdLock (l);
    }

    int pthread_rwlock_wrlock (pthread_rwlock_t* l)
    {
        countLock();
        if (realWrLock == nullptr)
            realWrLock = resolve<RwFn> ("pthread_rwlock_wrlock");
        return realWrLock (l);
    }
}

// operator new and delete in every form end in the counted functions above.
#if !defined(__cpp_sized_deallocation)
// <new> declares the sized forms only when sized deallocation is on (clang leaves it off for C++17).
void operator delete (void*, std::size_t) noexcept;
void operator delete[] (void*, std::size_t) noexcept;
void operator delete (void*, std::size_t, std::align_val_t) noexcept;
void operator delete[] (void*, std::size_t, std::align_val_t) noexcept;
#endif

void* operator new (std::size_t n)
{
    if (void* p = malloc (n == 0 ? 1 : n))
        return p;
    throw std::bad_alloc();
}

void* operator new[] (std::size_t n)
{
    return operator new (n);
}

void* operator new (std::size_t n, const std::nothrow_t&) noexcept
{
    return malloc (n == 0 ? 1 : n);
}

void* operator new[] (std::size_t n, const std::nothrow_t&) noexcept
{
    return malloc (n == 0 ? 1 : n);
}

void* operator new (std::size_t n, std::align_val_t a)
{
    if (void* p = aligned_alloc (static_cast<std::size_t> (a), n == 0 ? 1 : n))
        return p;
    throw std::bad_alloc();
}

void* operator new[] (std::size_t n, std::align_val_t a)
{
    return operator new (n, a);
}

void operator delete (void* p) noexcept
{
    free (p);
}

void operator delete[] (void* p) noexcept
{
    free (p);
}

void operator delete (void* p, std::size_t) noexcept
{
    free (p);
}

void operator delete[] (void* p, std::size_t) noexcept
{
    free (p);
}

void operator delete (void* p, std::align_val_t) noexcept
{
    free (p);
}

void operator delete[] (void* p, std::align_val_t) noexcept
{
    free (p);
}

void operator delete (void* p, std::size_t, std::align_val_t) noexcept
{
    free (p);
}

void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept
{
    free (p);
}
