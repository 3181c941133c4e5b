// The built module's process call as a host's audio thread makes it, counted by the probe: blocks
// longer than the prepared maximum are processed in slices that add no heap call and no lock.
#include "tests/module/ModuleTestSupport.h"
#include "tests/support/AudioThreadProbe.h"

#include <gtest/gtest.h>

#include <vector>

using namespace moduletest;

namespace
{
constexpr int preparedMaximum = 256;

AudioThreadProbe::Counts countedProcess (Instance& instance, std::vector<float>& samples, int numSamples)
{
    float* channels[2] = { samples.data(), samples.data() + numSamples };
    const auto before = AudioThreadProbe::current();
    Steinberg::tresult result;
    {
        AudioThreadProbe::ScopedCount counting;
        result = instance.processChannels (channels, channels, numSamples);
    }
    const auto after = AudioThreadProbe::current();
    EXPECT_EQ (result, Steinberg::kResultOk);
    return { after.allocations - before.allocations, after.frees - before.frees, after.locks - before.locks };
}
}

TEST (ModuleAudioThread, SlicingALongBlockAddsNoAllocationAndNoLock)
{
    Instance instance;
    ASSERT_TRUE (instance.isValid());
    ASSERT_EQ (instance.activate (48000.0, preparedMaximum).second, Steinberg::kResultOk);

    std::vector<float> samples (2 * 16 * preparedMaximum);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = i % 97 == 0 ? 0.5f : 0.0f;

    // The first block settles whatever the wrapper sets up once. JUCE's channel mapping then copies
    // a channel map of its own on every block (one small allocation and its free); the wrapper
    // takes JUCE's callback lock for the block.
    countedProcess (instance, samples, preparedMaximum);
    const auto perBlock = countedProcess (instance, samples, preparedMaximum);
    EXPECT_LE (perBlock.allocations, 1);
    EXPECT_EQ (perBlock.frees, perBlock.allocations);

    // A longer block costs what that many blocks of the prepared length cost, and nothing more.
    for (const int slices : { 2, 5, 16 })
    {
        SCOPED_TRACE (slices);
        const auto counts = countedProcess (instance, samples, slices * preparedMaximum - 3);
        EXPECT_EQ (counts.allocations, slices * perBlock.allocations);
        EXPECT_EQ (counts.frees, slices * perBlock.frees);
        EXPECT_EQ (counts.locks, slices * perBlock.locks);
    }
}
