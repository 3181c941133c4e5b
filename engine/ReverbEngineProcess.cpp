// The engine's block processing: picks the sample loop for the CPU, then guards the output.

#include "ReverbEngine.h"

#include <xsimd/xsimd.hpp>

#define QUOLBANE_KERNEL_AVX2 0
#include "ReverbEngineKernel.h"

bool ReverbEngine::wideLanesAvailable() noexcept
{
#if QUOLBANE_WITH_AVX2
    return __builtin_cpu_supports ("avx2") != 0;
#else
    return false;
#endif
}

void ReverbEngine::process (juce::AudioBuffer<float>& buffer) noexcept
{
    const int numChannels = buffer.getNumChannels();
    const int numSamples = buffer.getNumSamples();
    if (numChannels <= 0 || numSamples <= 0 || !isPrepared())
        return;

    float* left = buffer.getWritePointer (0);
    float* right = numChannels > 1 ? buffer.getWritePointer (1) : left;
    const bool stereo = numChannels > 1;

#if QUOLBANE_WITH_AVX2
    if (useWideLanes && wideLanesAvailable())
        processWithAvx2 (*this, left, right, stereo, numSamples);
    else
#endif
        processLanes<xsimd::sse2> (*this, left, right, stereo, numSamples);

    // Non-finite guard: a NaN or infinity anywhere drops the sound in flight and silences the block.
    for (int ch = 0; ch < numChannels; ++ch)
    {
        const float* data = buffer.getReadPointer (ch);
        for (int n = 0; n < numSamples; ++n)
        {
            if (!std::isfinite (data[n]))
            {
                reset();
                buffer.clear();
                return;
            }
        }
    }
}
