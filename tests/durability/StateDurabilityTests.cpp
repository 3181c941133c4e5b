#include "processor/QuolbaneProcessor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

// A state saved by one instance and restored into a fresh one gives the same parameters, the same
// saved bytes and, for the same input, the same output sample for sample.
namespace
{
constexpr double sampleRate = 48000.0;

std::vector<float> render (QuolbaneProcessor& p, unsigned inputSeed)
{
    constexpr int total = 96000;
    p.prepareToPlay (sampleRate, 512);
    std::vector<float> out (2 * total);
    std::mt19937 rng (inputSeed);
    std::uniform_real_distribution<float> u (-1.0f, 1.0f);
    for (int i = 0; i < total / 4; ++i) // a quarter second of noise, then the tail
        out[static_cast<std::size_t> (i)] = out[static_cast<std::size_t> (total + i)] = u (rng);

    juce::MidiBuffer midi;
    std::mt19937 sizes (inputSeed + 1u);
    for (int done = 0; done < total;)
    {
        const int n = std::min (total - done, 1 + static_cast<int> (sizes() % 2048));
        float* channels[] = { out.data() + done, out.data() + total + done };
        juce::AudioBuffer<float> block (channels, 2, n);
        p.processBlock (block, midi);
        done += n;
    }
    return out;
}

std::vector<float> parameterValues (QuolbaneProcessor& p)
{
    std::vector<float> values;
    for (auto* parameter : p.getParameters())
        values.push_back (parameter->getValue());
    return values;
}

juce::MemoryBlock save (QuolbaneProcessor& p)
{
    juce::MemoryBlock block;
    p.getStateInformation (block);
    return block;
}

// Random settings, each character once, plus both ends of every range.
std::vector<std::vector<float>> settingsToTry()
{
    std::vector<std::vector<float>> settings;
    std::mt19937 rng (42u);
    std::uniform_real_distribution<float> unit (0.0f, 1.0f);
    for (int c = 0; c < 10; ++c)
    {
        std::vector<float> s{ static_cast<float> (c) / 9.0f };
        for (int i = 0; i < 9; ++i)
            s.push_back (unit (rng));
        settings.push_back (s);
    }
    settings.push_back (std::vector<float> (10, 0.0f));
    settings.push_back (std::vector<float> (10, 1.0f));
    return settings;
}

void applySetting (QuolbaneProcessor& p, const std::vector<float>& normalised)
{
    for (std::size_t i = 0; i < normalised.size(); ++i)
        p.getParameters()[static_cast<int> (i)]->setValueNotifyingHost (normalised[i]);
}
}

TEST (StateDurability, FreshInstanceRestoresParametersBytesAndSound)
{
    int caseIndex = 0;
    for (const auto& setting : settingsToTry())
    {
        SCOPED_TRACE (caseIndex++);
        QuolbaneProcessor original;
        applySetting (original, setting);
        const auto state = save (original);

        QuolbaneProcessor restored;
        restored.setStateInformation (state.getData(), static_cast<int> (state.getSize()));

        EXPECT_EQ (parameterValues (restored), parameterValues (original));
        EXPECT_TRUE (save (restored) == state);
        EXPECT_TRUE (render (restored, 9u) == render (original, 9u));
    }
}

// An instance that has been playing with other settings, then restores: once prepared again it
// sounds like a fresh instance restored from the same state. The first 20 ms may differ: the mix and
// width smoothers start from the values the engine last had, which differ between the two.
TEST (StateDurability, UsedInstanceRestoresToTheSameSoundAsAFreshOne)
{
    const auto settings = settingsToTry();
    QuolbaneProcessor original;
    applySetting (original, settings[7]);
    const auto state = save (original);

    QuolbaneProcessor used;
    applySetting (used, settings[3]);
    render (used, 5u);
    used.setStateInformation (state.getData(), static_cast<int> (state.getSize()));

    QuolbaneProcessor fresh;
    fresh.setStateInformation (state.getData(), static_cast<int> (state.getSize()));

    EXPECT_EQ (parameterValues (used), parameterValues (original));
    const auto a = render (used, 9u);
    const auto b = render (fresh, 9u);
    const auto rampEnd = static_cast<std::size_t> (0.02 * sampleRate);
    const auto half = a.size() / 2;
    for (std::size_t ch : { std::size_t{ 0 }, half })
        EXPECT_TRUE (std::equal (a.begin() + static_cast<long> (ch + rampEnd),
                                 a.begin() + static_cast<long> (ch + half),
                                 b.begin() + static_cast<long> (ch + rampEnd)));
}

// The program state is the same blob, and a chain of save and restore through several instances
// changes nothing.
TEST (StateDurability, ProgramStateAndRepeatedRoundTripsAreLossless)
{
    QuolbaneProcessor original;
    applySetting (original, settingsToTry()[8]);
    juce::MemoryBlock programState;
    original.getCurrentProgramStateInformation (programState);
    EXPECT_TRUE (programState == save (original));

    auto state = programState;
    for (int hop = 0; hop < 5; ++hop)
    {
        QuolbaneProcessor next;
        next.setCurrentProgramStateInformation (state.getData(), static_cast<int> (state.getSize()));
        EXPECT_EQ (parameterValues (next), parameterValues (original)) << "hop " << hop;
        state = save (next);
    }
    EXPECT_TRUE (state == programState);
}
