#include "HostTestSupport.h"

#include "tests/support/HostComponentState.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace hosttest;

namespace
{
std::vector<float> parameterValues (juce::AudioProcessor& plugin)
{
    std::vector<float> values;
    for (auto* p : plugin.getParameters())
        values.push_back (p->getValue());
    return values;
}

juce::MemoryBlock saveState (juce::AudioProcessor& plugin)
{
    juce::MemoryBlock block;
    plugin.getStateInformation (block);
    return block;
}

// The component's own state inside the host's blob: the plug-in's bytes and JUCE's trailer.
juce::MemoryBlock componentState (const juce::MemoryBlock& hostState)
{
    const auto chunk = statedamage::componentChunk (hostState);
    return { chunk.data(), chunk.size() };
}
}

TEST (HostState, HostRoundTripRestoresEveryParameterAndSavesTheSameBytes)
{
    auto plugin = createPlugin();
    ASSERT_NE (plugin, nullptr);

    // A saved state that is not all defaults, with every value on its parameter's grid, so the
    // plug-in keeps exactly what the host sends.
    const char* savedTexts[] = { "Bloom", "60.0", "150.0", "5.50", "30.0", "10.0", "90.0", "25.0", "250", "15000" };
    auto& parameters = plugin->getParameters();
    for (int i = 0; i < 10; ++i)
        parameters[i]->setValue (parameters[i]->getValueForText (savedTexts[i]));
    process (*plugin, makeBlock (2, blockSize));

    const auto before = parameterValues (*plugin);
    const auto state = saveState (*plugin);

    // The component's chunk: the plug-in's blob ("VC2!", length n, n bytes of XML, a zero byte),
    // then JUCE's trailer, which ends with its identifier.
    const auto component = componentState (state);
    ASSERT_GT (component.getSize(), 8u);
    const auto* bytes = static_cast<const char*> (component.getData());
    EXPECT_EQ (juce::String::fromUTF8 (bytes, 4), "VC2!");
    const auto textLength = static_cast<size_t> (juce::ByteOrder::littleEndianInt (bytes + 4));
    ASSERT_LT (textLength + 9, component.getSize());
    const auto text = juce::String::fromUTF8 (bytes + 8, static_cast<int> (textLength));
    EXPECT_TRUE (text.contains ("<QUOLBANE>")) << text;
    EXPECT_EQ (bytes[8 + textLength], 0);
    const juce::String trailerId ("JUCEPrivateData");
    EXPECT_EQ (juce::String::fromUTF8 (bytes + component.getSize() - static_cast<size_t> (trailerId.length()),
                                       trailerId.length()),
               trailerId);

    for (int i = 0; i < 10; ++i)
        parameters[i]->setValue (i % 2 == 0 ? 0.0f : 1.0f);
    process (*plugin, makeBlock (2, blockSize));
    ASSERT_NE (parameterValues (*plugin), before);

    plugin->setStateInformation (state.getData(), static_cast<int> (state.getSize()));
    process (*plugin, makeBlock (2, blockSize));

    const auto after = parameterValues (*plugin);
    ASSERT_EQ (after.size(), before.size());
    for (int i = 0; i < 10; ++i)
    {
        SCOPED_TRACE (parameters[i]->getName (100));
        EXPECT_NEAR (after[static_cast<size_t> (i)], before[static_cast<size_t> (i)], 1.0e-5);
        EXPECT_EQ (parameters[i]->getText (parameters[i]->getValue(), 100), savedTexts[i]);
    }
    EXPECT_EQ (after.back(), 0.0f); // bypass

    EXPECT_EQ (saveState (*plugin), state);

    // The values live in the plug-in, not only in the host's copy: a second instance given the
    // state holds the same values and reports the same tail length.
    auto second = createPlugin();
    ASSERT_NE (second, nullptr);
    second->setStateInformation (state.getData(), static_cast<int> (state.getSize()));
    process (*second, makeBlock (2, blockSize));
    EXPECT_EQ (parameterValues (*second), after);
    EXPECT_EQ (second->getTailLengthSeconds(), plugin->getTailLengthSeconds());
    auto fresh = createPlugin();
    ASSERT_NE (fresh, nullptr);
    EXPECT_NE (second->getTailLengthSeconds(), fresh->getTailLengthSeconds());
    EXPECT_EQ (saveState (*second), state);
}

TEST (HostState, BypassIsSavedAndRestoredWithTheState)
{
    auto plugin = createPlugin();
    ASSERT_NE (plugin, nullptr);
    auto* bypass = plugin->getBypassParameter();
    ASSERT_NE (bypass, nullptr);

    bypass->setValue (1.0f);
    process (*plugin, makeBlock (2, blockSize));
    const auto bypassedState = saveState (*plugin);

    auto second = createPlugin();
    ASSERT_NE (second, nullptr);
    second->setStateInformation (bypassedState.getData(), static_cast<int> (bypassedState.getSize()));
    EXPECT_EQ (second->getBypassParameter()->getValue(), 1.0f);

    const auto input = noiseBlock (2, blockSize, 7);
    EXPECT_EQ (process (*second, input), input);
}

TEST (HostState, UnreadableHostStateLeavesTheParametersAlone)
{
    auto plugin = createPlugin();
    ASSERT_NE (plugin, nullptr);
    plugin->getParameters()[1]->setValue (0.8f);
    process (*plugin, makeBlock (2, blockSize));
    const auto before = parameterValues (*plugin);

    // A host blob whose component chunk is not a state of this plug-in.
    juce::XmlElement foreign ("VST3PluginState");
    juce::MemoryBlock junk ("not a state", 11);
    foreign.createNewChildElement ("IComponent")->addTextElement (junk.toBase64Encoding());
    juce::MemoryBlock blob;
    juce::AudioProcessor::copyXmlToBinary (foreign, blob);

    plugin->setStateInformation (blob.getData(), static_cast<int> (blob.getSize()));
    process (*plugin, makeBlock (2, blockSize));
    EXPECT_EQ (parameterValues (*plugin), before);
}

TEST (HostState, NonNumbersFromTheHostSaveAndReloadAsTheyPlayed)
{
    // Text that is not a number, or a NaN value, sent by the host: the reloaded project holds the
    // values the live one played and renders the same samples.
    struct Case
    {
        const char* text; // nullptr: the host sends the value NaN
    };
    const Case cases[]{ { "nan" }, { "inf" }, { "-nan" }, { nullptr } };

    for (const auto& c : cases)
        for (int i = 0; i < 10; ++i)
        {
            auto live = createPlugin();
            ASSERT_NE (live, nullptr);
            auto* parameter = live->getParameters()[i];
            SCOPED_TRACE (juce::String (c.text != nullptr ? c.text : "NaN value") + " for " + parameter->getName (100));
            parameter->setValue (c.text != nullptr ? parameter->getValueForText (c.text)
                                                   : std::numeric_limits<float>::quiet_NaN());
            process (*live, noiseBlock (2, blockSize, 5));
            if (c.text != nullptr)
                EXPECT_TRUE (std::isfinite (parameter->getValue()));

            const auto state = saveState (*live);
            const auto component = componentState (state);
            const auto text = juce::String::fromUTF8 (static_cast<const char*> (component.getData()) + 8,
                                                      static_cast<int> (component.getSize()) - 8);
            EXPECT_FALSE (text.containsIgnoreCase ("nan") || text.containsIgnoreCase ("inf")) << text;

            auto reloaded = createPlugin();
            ASSERT_NE (reloaded, nullptr);
            reloaded->setStateInformation (state.getData(), static_cast<int> (state.getSize()));
            const auto values = parameterValues (*reloaded);
            for (int j = 0; j < 10; ++j)
            {
                // The host still shows the NaN it sent. A continuous parameter plays its default
                // then; the choice rounds NaN to a character of its own, which the samples below check.
                auto* played = live->getParameters()[j];
                if (std::isfinite (played->getValue()))
                    EXPECT_EQ (values[static_cast<size_t> (j)], played->getValue()) << played->getName (100);
                else if (j > 0)
                    EXPECT_EQ (values[static_cast<size_t> (j)], played->getDefaultValue()) << played->getName (100);
            }

            // Both from a fresh activation, the same input gives the same samples.
            for (auto* plugin : { live.get(), reloaded.get() })
            {
                plugin->releaseResources();
                plugin->prepareToPlay (sampleRate, blockSize);
            }
            int differingBlocks = 0;
            for (int b = 0; b < 8; ++b)
            {
                const auto input = noiseBlock (2, blockSize, 100 + b);
                differingBlocks += process (*live, input) != process (*reloaded, input) ? 1 : 0;
            }
            EXPECT_EQ (differingBlocks, 0);
        }
}

// A project whose saved state had its JUCE trailer damaged: the host stays up, the processor's
// blob in front of the trailer restores every parameter, and only an intact trailer brings the
// saved bypass back; otherwise the bypass keeps the value it had. The instance keeps working.
TEST (HostState, DamagedTrailerIsIgnoredAndTheParametersRestored)
{
    auto plugin = createPlugin();
    ASSERT_NE (plugin, nullptr);
    auto& parameters = plugin->getParameters();
    const char* savedTexts[] = { "Halo", "80.0", "120.0", "9.00", "40.0", "20.0", "70.0", "50.0", "300", "12000" };
    for (int i = 0; i < 10; ++i)
        parameters[i]->setValue (parameters[i]->getValueForText (savedTexts[i]));
    plugin->getBypassParameter()->setValue (1.0f);
    process (*plugin, makeBlock (2, blockSize));
    const auto saved = parameterValues (*plugin);
    const auto state = saveState (*plugin);
    const auto component = statedamage::componentChunk (state);
    ASSERT_TRUE (statedamage::hasTrailer (component));

    auto target = createPlugin();
    ASSERT_NE (target, nullptr);
    auto& targetParameters = target->getParameters();
    for (const auto& c : statedamage::cases)
    {
        SCOPED_TRACE (c.what);
        for (int i = 0; i < 10; ++i)
            targetParameters[i]->setValue (i % 2 == 0 ? 0.0f : 1.0f);
        target->getBypassParameter()->setValue (0.0f);
        process (*target, makeBlock (2, blockSize));

        const auto damaged = statedamage::withComponentChunk (state, c.damage (component));
        ASSERT_GT (damaged.getSize(), 0u);
        target->setStateInformation (damaged.getData(), static_cast<int> (damaged.getSize()));
        const auto input = noiseBlock (2, blockSize, 11);
        const auto output = process (*target, input);

        const auto after = parameterValues (*target);
        for (int i = 0; i < 10; ++i)
            EXPECT_NEAR (after[static_cast<size_t> (i)], saved[static_cast<size_t> (i)], 1.0e-5)
                << targetParameters[i]->getName (100);
        EXPECT_EQ (target->getBypassParameter()->getValue(), c.restoresBypass ? 1.0f : 0.0f);
        EXPECT_TRUE (allFinite (output));
        if (c.restoresBypass)
            EXPECT_EQ (output, input);

        // What the instance saves now holds the restored processor blob.
        const auto resaved = statedamage::componentChunk (saveState (*target));
        ASSERT_TRUE (statedamage::hasTrailer (resaved));
        EXPECT_EQ (statedamage::processorBlob (resaved), statedamage::processorBlob (component));
    }
}
