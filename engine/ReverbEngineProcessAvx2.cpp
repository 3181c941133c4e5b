// The engine's sample loop compiled for AVX2 (eight lanes), chosen at run time on CPUs that have
// it. Everything included before the target switch keeps the baseline instruction set, so only
// this file's own functions and the AVX2 batches use the wider instructions.

#include "ReverbEngine.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <tuple>
#include <type_traits>
#include <utility>

#if defined(__clang__)
#pragma clang attribute push(__attribute__ ((target ("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

// The target switch does not define the feature macros that xsimd reads; they state here what
// the switch enables.
#define __AVX__ 1
#define __AVX2__ 1
#define __SSE3__ 1
#define __SSSE3__ 1
#define __SSE4_1__ 1
#define __SSE4_2__ 1

#include <xsimd/xsimd.hpp>

#if !XSIMD_WITH_AVX2
#error "the AVX2 target did not take effect"
#endif

#define QUOLBANE_KERNEL_AVX2 1
#include "ReverbEngineKernel.h"

void processWithAvx2 (ReverbEngine& engine, float* left, float* right, bool stereo, int numSamples) noexcept
{
    processLanes<xsimd::avx2> (engine, left, right, stereo, numSamples);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
