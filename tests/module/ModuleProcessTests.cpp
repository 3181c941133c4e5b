#include "HostRuleCases.h"
#include "ModuleTestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

using namespace moduletest;
using namespace Steinberg;

namespace
{
bool allFinite (const std::vector<float>& samples)
{
    return std::all_of (samples.begin(), samples.end(), [] (float x) { return std::isfinite (x); });
}

float peak (const std::vector<float>& samples)
{
    float p = 0.0f;
    for (auto x : samples)
        p = std::max (p, std::abs (x));
    return p;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool addressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool addressSanitizer = true;
#else
constexpr bool addressSanitizer = false;
#endif
#else
constexpr bool addressSanitizer = false;
#endif

// The process's address space in bytes, as the kernel counts it for RLIMIT_AS.
rlim_t addressSpaceInUse()
{
    unsigned long pages = 0;
    if (auto* f = std::fopen ("/proc/self/statm", "r"))
    {
        if (std::fscanf (f, "%lu", &pages) != 1)
            pages = 0;
        std::fclose (f);
    }
    return static_cast<rlim_t> (pages) * static_cast<rlim_t> (sysconf (_SC_PAGESIZE));
}
}

// A host may send blocks longer than the maximum it announced (it enlarges its buffer, or renders
// offline in bigger blocks, without a new setupProcessing), or announce a maximum of 0. Such
// blocks sound exactly as they do through an instance prepared for them, block after block.
TEST (ModuleProcess, BlocksLongerThanThePreparedMaximumSoundAsThroughOnePreparedForThem)
{
    auto cases = std::vector<hostrules::LongBlock> (std::begin (hostrules::longBlocks), std::end (hostrules::longBlocks));
    cases.push_back ({ "2^20 samples", 4096, 1 << 20 });

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        Instance host, prepared;
        ASSERT_TRUE (host.isValid() && prepared.isValid());
        ASSERT_EQ (host.activate (48000.0, c.announcedMaximum), activated);
        ASSERT_EQ (prepared.activate (48000.0, c.blockSize), activated);

        const auto input = noiseBurst (static_cast<std::size_t> (c.blockSize) / 2 + 1, static_cast<std::size_t> (c.blockSize));
        for (int block = 0; block < 3; ++block)
        {
            const auto expected = prepared.process (input);
            const auto output = host.process (input);
            ASSERT_EQ (host.lastResult, kResultOk);
            ASSERT_EQ (output.size(), 2 * input.size());
            EXPECT_EQ (firstDifference (output, expected), -1) << "block " << block;
            EXPECT_TRUE (allFinite (output));
            EXPECT_GT (peak (output), 0.01f);
        }
    }
}

TEST (ModuleProcess, NegativeSampleCountIsRefusedAndProcessingGoesOn)
{
    Instance instance;
    ASSERT_TRUE (instance.isValid());
    ASSERT_EQ (instance.activate (48000.0, 512), activated);

    Vst::ProcessData data{};
    data.symbolicSampleSize = Vst::kSample32;
    data.numSamples = -64;
    EXPECT_EQ (instance.processor->process (data), kInvalidArgument);

    EXPECT_GT (peak (instance.process (noiseBurst (256, 512))), 0.01f);
    EXPECT_EQ (instance.lastResult, kResultOk);
}

// The bus arrangements a host may propose to the one stereo (or mono) bus in each direction.
TEST (ModuleProcess, BusArrangementsOutsideTheLayoutsAreRefused)
{
    for (const auto& c : hostrules::arrangements())
    {
        SCOPED_TRACE (c.what);
        Instance instance;
        ASSERT_TRUE (instance.isValid());
        auto inputs = c.inputs;
        auto outputs = c.outputs;
        EXPECT_EQ (instance.processor->setBusArrangements (inputs.data(), static_cast<int32> (inputs.size()),
                                                           outputs.data(), static_cast<int32> (outputs.size())),
                   c.expected);

        // Whatever was refused, the instance still takes stereo and plays.
        Vst::SpeakerArrangement stereo[] = { Vst::SpeakerArr::kStereo, Vst::SpeakerArr::kStereo };
        EXPECT_EQ (instance.processor->setBusArrangements (stereo, 1, stereo + 1, 1), kResultTrue);
        ASSERT_EQ (instance.activate (48000.0, 512), activated);
        EXPECT_GT (peak (instance.process (noiseBurst (256, 512))), 0.01f);
    }

    Instance instance;
    ASSERT_TRUE (instance.isValid());
    EXPECT_EQ (instance.processor->setBusArrangements (nullptr, 1, nullptr, 1), kInvalidArgument);
}

// An activation whose delay lines cannot be allocated reports the failure, leaves the component
// inactive, and a later activation at a usable rate plays as usual.
TEST (ModuleProcess, ActivationWithoutMemoryFailsAndTheInstanceStaysUsable)
{
    if (addressSanitizer)
        GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";

    Instance instance;
    ASSERT_TRUE (instance.isValid());

    rlimit before{};
    ASSERT_EQ (getrlimit (RLIMIT_AS, &before), 0);
    rlimit limited = before;
    limited.rlim_cur = addressSpaceInUse() + (rlim_t{ 1 } << 30);
    ASSERT_EQ (setrlimit (RLIMIT_AS, &limited), 0);
    const auto activation = instance.activate (1e9, 512);
    ASSERT_EQ (setrlimit (RLIMIT_AS, &before), 0);

    EXPECT_EQ (activation.first, kResultOk);
    EXPECT_EQ (activation.second, kOutOfMemory);

    // Inactive: the bus arrangement may change again.
    Vst::SpeakerArrangement stereo[] = { Vst::SpeakerArr::kStereo, Vst::SpeakerArr::kStereo };
    EXPECT_EQ (instance.processor->setBusArrangements (stereo, 1, stereo + 1, 1), kResultTrue);

    ASSERT_EQ (instance.activate (48000.0, 512), activated);
    const auto output = instance.process (noiseBurst (256, 512));
    EXPECT_TRUE (allFinite (output));
    EXPECT_GT (peak (output), 0.01f);
}
