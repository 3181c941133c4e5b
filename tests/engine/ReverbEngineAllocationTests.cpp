#include "AllocationCounter.h"
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

using namespace enginetest;

namespace
{
void* volatile escaped = nullptr;
}

#define SKIP_WITHOUT_COUNTER()                                                                                         \
    if (!allocationCountingAvailable())                                                                                \
    GTEST_SKIP() << "allocations are not counted in sanitizer builds"

TEST (ReverbEngineAllocation, CounterSeesNewAndMalloc)
{
    SKIP_WITHOUT_COUNTER();
    {
        AllocationScope scope;
        escaped = ::operator new (64);
        EXPECT_EQ (scope.count(), 1);
        ::operator delete (escaped);
    }
#if defined(__GLIBC__)
    {
        AllocationScope scope;
        escaped = std::malloc (64);
        EXPECT_EQ (scope.count(), 1);
        std::free (escaped);
    }
#endif
    {
        ReverbEngine e;
        AllocationScope scope;
        e.prepare (48000.0);
        EXPECT_GE (scope.count(), 26); // every line gets its storage
    }
}

TEST (ReverbEngineAllocation, AudioThreadOperationsNeverAllocate)
{
    SKIP_WITHOUT_COUNTER();
    ReverbEngine e;
    e.prepare (48000.0);

    juce::AudioBuffer<float> stereo (2, 2048);
    juce::AudioBuffer<float> mono (1, 333);
    juce::AudioBuffer<float> many (5, 100);
    juce::AudioBuffer<float> bad (2, 64);
    juce::AudioBuffer<float> empty (0, 64);
    fillNoise (stereo, 0.5f);
    fillNoise (mono, 0.5f);
    fillNoise (many, 0.5f);
    fillNoise (bad, 0.5f);
    bad.setSample (1, 10, std::numeric_limits<float>::quiet_NaN());

    AllocationScope scope;
    for (int character = -1; character <= numCharacters; ++character)
    {
        e.setCharacter (character);
        e.params.mix = character < 5 ? 0.2f : 0.9f;
        e.params.decay = 0.5f + static_cast<float> (character);
        e.params.width = 0.3f;
        e.updateCoefficients();
        e.process (stereo);
        e.process (mono);
        e.process (many);
        e.process (empty);
    }
    e.process (bad); // the guard's reset
    e.reset();
    e.updateCoefficients();
    e.process (stereo);
    EXPECT_EQ (scope.count(), 0);
}

TEST (ReverbEngineAllocation, PreparingAgainWithinTheSizesAlreadyHeldDoesNotAllocate)
{
    SKIP_WITHOUT_COUNTER();
    ReverbEngine e;
    e.prepare (96000.0);
    for (double rate : { 96000.0, 48000.0, 44100.0, 8000.0, 96000.0 })
    {
        AllocationScope scope;
        e.prepare (rate);
        EXPECT_EQ (scope.count(), 0) << rate;
    }
}
