#include "tests/support/AudioThreadProbe.h"

#include "processor/ParameterTable.h"
#include "processor/QuolbaneProcessor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int announcedBlock = 256;
constexpr int largestBlock = 4096; // well past the size announced to prepareToPlay

void* volatile sink = nullptr;

std::unique_ptr<QuolbaneProcessor> makeProcessor (int numChannels, int character)
{
    auto p = std::make_unique<QuolbaneProcessor>();
    const auto set = numChannels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (set);
    layout.outputBuses.add (set);
    EXPECT_TRUE (p->setBusesLayout (layout));
    p->getParameters()[0]->setValueNotifyingHost (static_cast<float> (character) / 9.0f);
    p->prepareToPlay (sampleRate, announcedBlock);
    return p;
}

void fillNoise (juce::AudioBuffer<float>& buffer, int numSamples, std::mt19937& rng, float level)
{
    std::uniform_real_distribution<float> u (-level, level);
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int n = 0; n < numSamples; ++n)
            buffer.setSample (ch, n, u (rng));
}

AudioThreadProbe::Counts difference (const AudioThreadProbe::Counts& after, const AudioThreadProbe::Counts& before)
{
    return { after.allocations - before.allocations, after.frees - before.frees, after.locks - before.locks };
}

// Runs processBlock like a host's audio thread; only the call itself is counted.
AudioThreadProbe::Counts countedProcessBlock (QuolbaneProcessor& p, juce::AudioBuffer<float>& storage, int numSamples)
{
    juce::AudioBuffer<float> block (storage.getArrayOfWritePointers(), storage.getNumChannels(), numSamples);
    juce::MidiBuffer midi;
    const auto before = AudioThreadProbe::current();
    {
        AudioThreadProbe::ScopedCount counting;
        p.processBlock (block, midi);
    }
    return difference (AudioThreadProbe::current(), before);
}

int randomBlockSize (std::mt19937& rng)
{
    constexpr int sizes[] = { 0, 1, 7, 64, 255, 256, 257, 1000, largestBlock };
    return sizes[std::uniform_int_distribution<int> (0, std::size (sizes) - 1) (rng)];
}
}

TEST (AudioThreadProbe, SeesAllocationsAndLocksOfTheCountingThreadOnly)
{
    const auto before = AudioThreadProbe::current();
    {
        AudioThreadProbe::ScopedCount counting;
        sink = std::malloc (16);
        std::free (sink);
        auto* boxed = new std::vector<int> (8);
        sink = boxed;
        delete boxed;
        juce::CriticalSection lock;
        const juce::ScopedLock held (lock);
    }
    const auto counted = difference (AudioThreadProbe::current(), before);
    EXPECT_GE (counted.allocations, 3);
    EXPECT_GE (counted.frees, 3);
    EXPECT_GE (counted.locks, 1);

    // Outside the scope nothing counts.
    const auto idle = AudioThreadProbe::current();
    sink = std::malloc (16);
    std::free (sink);
    EXPECT_EQ (difference (AudioThreadProbe::current(), idle).allocations, 0);
}

class AudioPathPerLayout : public ::testing::TestWithParam<int>
{
};

// Every character as the starting voice, parameter changes between blocks (all ten, the character
// too), block sizes from 0 to past the announced maximum: processBlock neither allocates nor locks.
TEST_P (AudioPathPerLayout, ProcessBlockNeitherAllocatesNorLocks)
{
    const int numChannels = GetParam();
    std::mt19937 rng (1234u + static_cast<unsigned> (numChannels));
    std::uniform_real_distribution<float> unit (0.0f, 1.0f);
    juce::AudioBuffer<float> storage (numChannels, largestBlock);

    AudioThreadProbe::Counts total;
    int blocks = 0;
    for (int character = 0; character < numCharacters; ++character)
    {
        auto p = makeProcessor (numChannels, character);
        auto& parameters = p->getParameters();

        for (int b = 0; b < 200; ++b)
        {
            for (int i = 1; i < parameters.size(); ++i)
                parameters[i]->setValueNotifyingHost (unit (rng));
            if (b % 16 == 15)
                parameters[0]->setValueNotifyingHost (unit (rng));
            if (b % 16 == 0)
                parameters[0]->setValueNotifyingHost (static_cast<float> (character) / 9.0f);

            const int numSamples = randomBlockSize (rng);
            fillNoise (storage, numSamples, rng, 1.0f);
            const auto counted = countedProcessBlock (*p, storage, numSamples);
            total.allocations += counted.allocations;
            total.frees += counted.frees;
            total.locks += counted.locks;
            ++blocks;
        }
    }

    std::printf ("[ figures  ] %d channel(s): %d blocks, %lld allocations, %lld frees, %lld locks in processBlock\n",
                 numChannels, blocks, static_cast<long long> (total.allocations), static_cast<long long> (total.frees),
                 static_cast<long long> (total.locks));
    EXPECT_EQ (total.allocations, 0);
    EXPECT_EQ (total.frees, 0);
    EXPECT_EQ (total.locks, 0);
}

// Another thread automates every parameter, as a host's or the editor's thread does, while the
// audio thread processes; the audio thread's share stays free of allocations and locks.
TEST_P (AudioPathPerLayout, ConcurrentAutomationLeavesTheAudioThreadClean)
{
    const int numChannels = GetParam();
    auto p = makeProcessor (numChannels, 9);
    std::atomic<bool> stop{ false };

    std::thread automation (
        [&]
        {
            std::mt19937 rng (99u);
            std::uniform_real_distribution<float> unit (0.0f, 1.0f);
            auto& parameters = p->getParameters();
            while (!stop.load())
                for (auto* parameter : parameters)
                    parameter->setValueNotifyingHost (unit (rng));
        });

    std::mt19937 rng (7u);
    juce::AudioBuffer<float> storage (numChannels, largestBlock);
    AudioThreadProbe::Counts total;
    for (int b = 0; b < 2000; ++b)
    {
        const int numSamples = randomBlockSize (rng) / 4;
        fillNoise (storage, numSamples, rng, 1.0f);
        const auto counted = countedProcessBlock (*p, storage, numSamples);
        total.allocations += counted.allocations;
        total.frees += counted.frees;
        total.locks += counted.locks;
    }
    stop = true;
    automation.join();

    EXPECT_EQ (total.allocations, 0);
    EXPECT_EQ (total.frees, 0);
    EXPECT_EQ (total.locks, 0);
}

INSTANTIATE_TEST_SUITE_P (MonoAndStereo, AudioPathPerLayout, ::testing::Values (1, 2),
                          [] (const auto& layout) { return layout.param == 1 ? "Mono" : "Stereo"; });

// A loud burst into silence: every output sample of the tail is zero or a normal number. With the
// shortest decay the tail falls through the whole normal range within seconds, so the run crosses
// the point where the network's values would turn subnormal. With denormals flushed, a one-pole
// memory whose next step would be subnormal stays where it is, so the tail either reaches exact
// silence or settles at a normal value near the smallest one (about -730 dBFS).
TEST (Denormals, TailAfterALoudBurstHoldsNoSubnormal)
{
    constexpr int blockSize = 512;
    constexpr double tailSeconds = 40.0;
    constexpr float inaudible = 1.0e-30f; // -600 dBFS
    std::mt19937 rng (5u);
    juce::AudioBuffer<float> storage (2, blockSize);
    juce::MidiBuffer midi;

    for (int character = 0; character < numCharacters; ++character)
    {
        auto p = makeProcessor (2, character);
        auto& parameters = p->getParameters();
        parameters[3]->setValueNotifyingHost (0.0f); // decay 0.2 s
        parameters[1]->setValueNotifyingHost (1.0f); // mix 100 %: only the tail is heard

        std::int64_t subnormals = 0;
        std::int64_t lastAudible = -1;
        std::int64_t sampleIndex = 0;
        float finalLevel = 0.0f;
        const auto burstBlocks = static_cast<int> (0.5 * sampleRate / blockSize);
        const auto totalBlocks = burstBlocks + static_cast<int> (tailSeconds * sampleRate / blockSize);

        for (int b = 0; b < totalBlocks; ++b)
        {
            if (b < burstBlocks)
                fillNoise (storage, blockSize, rng, 1.0f);
            else
                storage.clear();
            p->processBlock (storage, midi);

            finalLevel = 0.0f;
            for (int n = 0; n < blockSize; ++n, ++sampleIndex)
                for (int ch = 0; ch < 2; ++ch)
                {
                    const float y = storage.getSample (ch, n);
                    if (std::fpclassify (y) == FP_SUBNORMAL)
                        ++subnormals;
                    if (std::abs (y) >= inaudible)
                        lastAudible = sampleIndex;
                    finalLevel = std::max (finalLevel, std::abs (y));
                }
        }

        const char* name = characterTable[static_cast<std::size_t> (character)].name;
        const double quietAfter = static_cast<double> (lastAudible + 1) / sampleRate - 0.5;
        std::printf ("[ figures  ] %-8s below -600 dBFS %.2f s after the burst, final peak %g\n", name, quietAfter,
                     static_cast<double> (finalLevel));
        EXPECT_EQ (subnormals, 0) << name;
        EXPECT_LT (quietAfter, tailSeconds - 5.0) << name << " tail did not die away";
        EXPECT_LT (finalLevel, inaudible) << name;
    }
}
