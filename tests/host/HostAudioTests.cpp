#include "HostTestSupport.h"

#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iostream>

using namespace hosttest;

namespace
{
constexpr int numSecondsOfTail = 4;
constexpr int blocksPerSecond = static_cast<int> (sampleRate) / blockSize;

// An impulse and three silent blocks: the tail is sounding afterwards.
void startTail (juce::AudioProcessor& plugin, int numChannels = 2)
{
    process (plugin, impulseBlock (numChannels, blockSize));
    processSilence (plugin, numChannels, 3);
}

// What a plug-in that was left alone plays after startTail.
Block undisturbedContinuation (int numBlocks)
{
    auto plugin = createPlugin();
    if (plugin == nullptr)
        return {};
    startTail (*plugin);
    return processSilence (*plugin, 2, numBlocks);
}

// Sends setProcessing through the component's own audio-processor interface, the one call that
// JUCE's hosting API never makes without also deactivating.
bool setProcessing (juce::AudioPluginInstance& plugin, bool state)
{
    struct ComponentFinder : juce::ExtensionsVisitor
    {
        void visitVST3Client (const VST3Client& client) override { component = client.getIComponentPtr(); }
        Steinberg::Vst::IComponent* component = nullptr;
    } finder;
    plugin.getExtensions (finder);
    auto* component = finder.component;
    if (component == nullptr)
        return false;

    Steinberg::Vst::IAudioProcessor* audioProcessor = nullptr;
    if (component->queryInterface (Steinberg::Vst::IAudioProcessor::iid, reinterpret_cast<void**> (&audioProcessor)) !=
            Steinberg::kResultOk ||
        audioProcessor == nullptr)
        return false;

    const auto result = audioProcessor->setProcessing (state ? 1 : 0);
    audioProcessor->release();
    return result == Steinberg::kResultOk;
}

// Seconds from a one-sample full-scale burst until the output stays 60 dB below its peak,
// listened to for the given time in blocks of the given size; output still above that at the end
// reads as the whole time.
double ringOutSeconds (juce::AudioProcessor& plugin, double seconds, int numSamplesPerBlock)
{
    const auto total = static_cast<size_t> (std::ceil (seconds * sampleRate));
    std::vector<float> level;
    level.reserve (total + static_cast<size_t> (numSamplesPerBlock));
    const auto burst = impulseBlock (2, numSamplesPerBlock);
    const auto silence = makeBlock (2, numSamplesPerBlock);
    while (level.size() < total)
    {
        const auto out = process (plugin, level.empty() ? burst : silence);
        for (size_t i = 0; i < out[0].size(); ++i)
            level.push_back (juce::jmax (std::abs (out[0][i]), std::abs (out[1][i])));
    }

    const float threshold = *std::max_element (level.begin(), level.end()) * 1.0e-3f;
    size_t last = level.size() - 1;
    while (last > 0 && level[last] <= threshold)
        --last;
    if (last + static_cast<size_t> (numSamplesPerBlock) >= level.size())
        return static_cast<double> (level.size()) / sampleRate;
    return static_cast<double> (last) / sampleRate; // the burst is sample 0
}
}

TEST (HostAudio, ImpulseGivesAFiniteDecayingTail)
{
    for (const auto layout : { juce::AudioChannelSet::stereo(), juce::AudioChannelSet::mono() })
    {
        SCOPED_TRACE (layout.getDescription());
        auto plugin = createPlugin (false);
        ASSERT_NE (plugin, nullptr);

        juce::AudioProcessor::BusesLayout buses;
        buses.inputBuses.add (layout);
        buses.outputBuses.add (layout);
        ASSERT_TRUE (plugin->setBusesLayout (buses));
        plugin->prepareToPlay (sampleRate, blockSize);
        ASSERT_EQ (plugin->getTotalNumInputChannels(), layout.size());
        ASSERT_EQ (plugin->getTotalNumOutputChannels(), layout.size());

        const auto first = process (*plugin, impulseBlock (layout.size(), blockSize));
        auto out = processSilence (*plugin, layout.size(), numSecondsOfTail * blocksPerSecond);
        for (size_t ch = 0; ch < out.size(); ++ch)
            out[ch].insert (out[ch].begin(), first[ch].begin(), first[ch].end());

        ASSERT_TRUE (allFinite (out));

        // The dry impulse is one sample; everything after the pre-delay is reverberation.
        const auto rate = static_cast<int> (sampleRate);
        const auto early = energy (out, rate / 20, rate / 2);
        const auto late = energy (out, 3 * rate, 4 * rate);
        EXPECT_GT (early, 1.0e-3);
        EXPECT_GT (late, 0.0);
        EXPECT_LT (late, early * 1.0e-2);
    }
}

// A host that stops processing once the reported tail has passed must not cut the reverb off,
// nor process silence for long: the tail is at least the ring-out and at most twice it plus
// half a second. All ten characters at Decay 0.2 s and 2 s with three pre-delays, Size at both
// ends at the longest decay, and the settings that came closest to either bound in a sweep of
// every character over six decays, three pre-delays and four sizes. The other settings stay at
// their defaults; mix 100 %. Large blocks keep the 84 ring-outs to a few seconds.
TEST (HostAudio, TailLengthCoversTheRingOut)
{
    const char* const names[] = {
        "Foil", "Chamber", "Hall", "Basilica", "Room", "Coil", "Gate", "Bloom", "Halo", "Void"
    };
    struct Case
    {
        int character;
        const char* decay;
        const char* preDelay;
        const char* size;
    };
    std::vector<Case> cases;
    for (int character = 0; character < 10; ++character)
        for (const char* decay : { "0.2", "2" })
            for (const char* preDelay : { "0", "20", "250" })
                cases.push_back ({ character, decay, preDelay, "100" });
    for (int character = 0; character < 10; ++character)
        for (const char* size : { "25", "200" })
            cases.push_back ({ character, "20", "20", size });
    cases.push_back ({ 9, "0.5", "20", "200" }); // Void: the closest to twice the ring-out
    cases.push_back ({ 4, "0.2", "250", "25" }); // Room: the closest to the ring-out
    cases.push_back ({ 6, "20", "250", "25" });  // Gate: its gate closes the tail
    cases.push_back ({ 5, "20", "0", "25" });    // Coil: few, short lines

    constexpr int tailBlockSize = 4096;
    for (const auto& c : cases)
    {
        const auto what = juce::String (names[c.character]) + ", Decay " + c.decay + " s, Pre-Delay " + c.preDelay +
                          " ms, Size " + c.size + " %";
        SCOPED_TRACE (what);
        auto plugin = createPlugin (true, sampleRate, tailBlockSize);
        ASSERT_NE (plugin, nullptr);
        plugin->getParameters()[0]->setValue (static_cast<float> (c.character) / 9.0f);
        for (const auto& [name, text] : { std::pair ("Mix", "100"), std::pair ("Decay", c.decay),
                                          std::pair ("Pre-Delay", c.preDelay), std::pair ("Size", c.size) })
        {
            auto* parameter = findParameter (*plugin, name);
            ASSERT_NE (parameter, nullptr) << name;
            parameter->setValue (parameter->getValueForText (text));
        }
        process (*plugin, makeBlock (2, tailBlockSize)); // the values arrive; the mix glides to 100 %

        const auto reported = plugin->getTailLengthSeconds();
        const auto rings = ringOutSeconds (*plugin, 2.0 * reported + 1.0, tailBlockSize);
        std::cout << "[ tail     ] " << what << ": reported " << reported << " s, rings " << rings << " s\n";
        EXPECT_GE (reported, rings);
        EXPECT_LE (reported, 2.0 * rings + 0.5);
    }
}

TEST (HostAudio, TailLengthFollowsCharacterAndDecay)
{
    // One instance walks through the settings; after each change it reports what an instance
    // given only those settings reports.
    struct Case
    {
        const char* what;
        float characterNormalised;
        float decayNormalised;
    };
    const Case cases[] = {
        { "Void at 20 s", 1.0f, 1.0f },
        { "Hall at 2 s", 2.0f / 9.0f, 0.432f },
        { "Room at 2 s", 4.0f / 9.0f, 0.432f },
        { "Foil at 0.2 s", 0.0f, 0.0f },
    };

    const auto applied = [] (juce::AudioPluginInstance& plugin, const Case& c)
    {
        plugin.getParameters()[0]->setValue (c.characterNormalised);
        plugin.getParameters()[3]->setValue (c.decayNormalised);
        process (plugin, makeBlock (2, blockSize));
        return plugin.getTailLengthSeconds();
    };

    auto walking = createPlugin();
    ASSERT_NE (walking, nullptr);
    double before = walking->getTailLengthSeconds();
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        auto fresh = createPlugin();
        ASSERT_NE (fresh, nullptr);
        const double tail = applied (*walking, c);
        EXPECT_EQ (tail, applied (*fresh, c));
        EXPECT_NE (tail, before);
        before = tail;
    }
}

TEST (HostAudio, BypassPassesTheDryInputAndTheTailContinuesOnRelease)
{
    const auto expected = undisturbedContinuation (8);
    ASSERT_FALSE (expected.empty());

    auto plugin = createPlugin();
    ASSERT_NE (plugin, nullptr);
    auto* bypass = plugin->getBypassParameter();
    ASSERT_NE (bypass, nullptr);

    startTail (*plugin);

    bypass->setValue (1.0f);
    for (int i = 0; i < 4; ++i)
    {
        const auto input = noiseBlock (2, blockSize, 100 + i);
        EXPECT_EQ (process (*plugin, input), input) << "bypassed block " << i;
    }

    // The engine did not run while bypassed: it picks up exactly where it stopped.
    bypass->setValue (0.0f);
    const auto after = processSilence (*plugin, 2, 8);
    EXPECT_GT (energy (after), 0.0);
    EXPECT_EQ (after, expected);
}

// How each way of stopping and restarting through JUCE's hosting reaches the plug-in: the
// hosting API maps prepareToPlay to setActive(true) + setProcessing(true) (skipped when already
// active at the same rate and block size), releaseResources to setProcessing(false) +
// setActive(false), and reset to a full deactivation and reactivation.
TEST (HostAudio, StoppingProcessingKeepsTheTailAndReactivationClearsIt)
{
    struct Case
    {
        const char* what;
        std::function<bool (juce::AudioPluginInstance&)> stopAndRestart;
        bool tailKept;
    };
    const Case cases[] = {
        { "setProcessing off and on",
          [] (juce::AudioPluginInstance& p) { return setProcessing (p, false) && setProcessing (p, true); }, true },
        { "prepareToPlay again, same settings",
          [] (juce::AudioPluginInstance& p)
          {
              p.prepareToPlay (sampleRate, blockSize);
              return true;
          },
          true },
        { "releaseResources then prepareToPlay",
          [] (juce::AudioPluginInstance& p)
          {
              p.releaseResources();
              p.prepareToPlay (sampleRate, blockSize);
              return true;
          },
          false },
        { "reset",
          [] (juce::AudioPluginInstance& p)
          {
              p.reset();
              return true;
          },
          false },
        { "prepareToPlay with another block size",
          [] (juce::AudioPluginInstance& p)
          {
              p.prepareToPlay (sampleRate, blockSize * 2);
              return true;
          },
          false },
    };

    const auto continuation = undisturbedContinuation (8);
    ASSERT_FALSE (continuation.empty());

    // A freshly activated plug-in's answer to an impulse, for comparison after a reactivation.
    Block freshResponse;
    {
        auto fresh = createPlugin();
        ASSERT_NE (fresh, nullptr);
        freshResponse = process (*fresh, impulseBlock (2, blockSize));
    }

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        auto plugin = createPlugin();
        ASSERT_NE (plugin, nullptr);
        startTail (*plugin);

        ASSERT_TRUE (c.stopAndRestart (*plugin));

        if (c.tailKept)
        {
            EXPECT_EQ (processSilence (*plugin, 2, 8), continuation);
        }
        else
        {
            EXPECT_EQ (maxAbs (processSilence (*plugin, 2, 8)), 0.0f);
            EXPECT_EQ (process (*plugin, impulseBlock (2, blockSize)), freshResponse);
        }
    }
}

TEST (HostAudio, FirstBlockAfterActivationPlaysTheValuesSetBeforeIt)
{
    // Values the host sets while the plug-in is inactive hold from the first sample on: no ramp
    // from other values over the first 20 ms.
    struct Case
    {
        const char* what;
        std::vector<std::pair<const char*, const char*>> values; // parameter name, text
        std::function<bool (const Block& input, const Block& output)> holds;
    };
    const Case cases[]{
        { "mix 100 % leaks no dry signal while the pre-delay holds the wet one back",
          { { "Mix", "100" }, { "Pre-Delay", "250" } },
          [] (const Block&, const Block& out) { return maxAbs (out) == 0.0f; } },
        { "mix 0 % passes the input unchanged", { { "Mix", "0" } },
          [] (const Block& in, const Block& out) { return out == in; } },
        { "width 0 % gives both sides the same wet signal", { { "Mix", "100" }, { "Width", "0" }, { "Pre-Delay", "0" } },
          [] (const Block&, const Block& out) { return out[0] == out[1] && maxAbs (out) > 0.0f; } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        auto plugin = createPlugin (false);
        ASSERT_NE (plugin, nullptr);
        for (const auto& [name, text] : c.values)
        {
            auto* parameter = findParameter (*plugin, name);
            ASSERT_NE (parameter, nullptr) << name;
            parameter->setValue (parameter->getValueForText (text));
        }
        plugin->setRateAndBufferSizeDetails (sampleRate, blockSize);
        plugin->prepareToPlay (sampleRate, blockSize);

        const auto input = noiseBlock (2, blockSize, 3);
        EXPECT_TRUE (c.holds (input, process (*plugin, input)));
    }
}
