#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace hosttest;

namespace
{
// The VST3 parameter ID that the wrapper derives from a parameter's string ID.
std::uint32_t expectedVst3ParameterId (const char* id)
{
    std::uint32_t h = 0;
    for (const auto* c = id; *c != 0; ++c)
        h = 31u * h + static_cast<std::uint8_t> (*c);
    return h & 0x7fffffffu;
}
}

TEST (HostScan, FindsOneReverbEffectUnderItsIdentity)
{
    ASSERT_TRUE (juce::File (bundlePath()).isDirectory()) << bundlePath();

    juce::VST3PluginFormat format;
    EXPECT_TRUE (format.fileMightContainThisPluginType (bundlePath()));

    const auto types = scanBundle();
    ASSERT_EQ (types.size(), 1);
    const auto& d = *types[0];

    EXPECT_EQ (d.pluginFormatName, "VST3");
    EXPECT_EQ (d.name, "Quolbane");
    EXPECT_EQ (d.descriptiveName, "Quolbane");
    EXPECT_EQ (d.manufacturerName, "QuolBane Audio");
    EXPECT_EQ (d.category, "Fx|Reverb");
    EXPECT_EQ (d.version, "0.1.0");
    EXPECT_FALSE (d.isInstrument);
    EXPECT_EQ (d.numInputChannels, 2);
    EXPECT_EQ (d.numOutputChannels, 2);
    EXPECT_EQ (juce::File (d.fileOrIdentifier), juce::File (bundlePath()));
}

TEST (HostScan, InstanceOffersElevenAutomatableParametersWithBypassLast)
{
    auto plugin = createPlugin();
    ASSERT_NE (plugin, nullptr);

    EXPECT_EQ (plugin->getName(), "Quolbane");
    EXPECT_FALSE (plugin->acceptsMidi());
    EXPECT_FALSE (plugin->producesMidi());
    EXPECT_EQ (plugin->getLatencySamples(), 0);
    EXPECT_TRUE (plugin->hasEditor());

    struct Row
    {
        const char* name;
        const char* id;
        double defaultNormalised;
        const char* defaultText;
        const char* label;
    };
    // Normalised defaults follow from the ranges and skews: ((v - start) / (end - start))^skew.
    const Row rows[] = {
        { "Character", "character", 2.0 / 9.0, "Hall", "" }, { "Mix", "mix", 0.35, "35.0", "%" },
        { "Size", "size", 3.0 / 7.0, "100.0", "%" },         { "Decay", "decay", 0.4320, "2.00", "s" },
        { "Pre-Delay", "predelay", 0.08, "20.0", "ms" },     { "Damping", "damping", 0.5, "50.0", "%" },
        { "Modulation", "modulation", 0.5, "50.0", "%" },    { "Width", "width", 1.0, "100.0", "%" },
        { "Low Cut", "lowcut", 0.4161, "100", "Hz" },        { "High Cut", "highcut", 0.7388, "9000", "Hz" },
    };

    const auto& parameters = plugin->getParameters();
    ASSERT_EQ (parameters.size(), 11);

    for (int i = 0; i < 10; ++i)
    {
        const auto& row = rows[i];
        SCOPED_TRACE (row.name);
        auto* p = parameters[i];
        EXPECT_EQ (p->getName (100), row.name);
        EXPECT_TRUE (p->isAutomatable());
        EXPECT_NEAR (p->getDefaultValue(), row.defaultNormalised, 1.0e-3);
        EXPECT_NEAR (p->getValue(), row.defaultNormalised, 1.0e-3);
        EXPECT_EQ (p->getText (p->getValue(), 100), row.defaultText);
        EXPECT_EQ (p->getLabel(), row.label);

        // Host automation and stored projects address parameters by these IDs.
        auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*> (p);
        ASSERT_NE (hosted, nullptr);
        EXPECT_EQ (hosted->getParameterID(), juce::String (expectedVst3ParameterId (row.id)));
    }

    auto* character = parameters[0];
    EXPECT_TRUE (character->isDiscrete());
    EXPECT_EQ (character->getNumSteps(), 10);
    EXPECT_EQ (character->getText (0.0f, 100), "Foil");
    EXPECT_EQ (character->getText (1.0f, 100), "Void");

    auto* bypass = parameters[10];
    EXPECT_EQ (bypass->getName (100), "Bypass");
    EXPECT_TRUE (bypass->isAutomatable());
    EXPECT_EQ (plugin->getBypassParameter(), bypass);
    EXPECT_EQ (bypass->getValue(), 0.0f);
}

TEST (HostScan, DefaultBusesAreStereoAndOnlyEqualMonoOrStereoLayoutsAreAccepted)
{
    auto plugin = createPlugin (false);
    ASSERT_NE (plugin, nullptr);

    ASSERT_EQ (plugin->getBusCount (true), 1);
    ASSERT_EQ (plugin->getBusCount (false), 1);
    EXPECT_EQ (plugin->getChannelLayoutOfBus (true, 0), juce::AudioChannelSet::stereo());
    EXPECT_EQ (plugin->getChannelLayoutOfBus (false, 0), juce::AudioChannelSet::stereo());

    using Set = juce::AudioChannelSet;
    struct Case
    {
        const char* what;
        Set in, out;
        bool accepted;
    };
    const Case cases[] = {
        { "mono/mono", Set::mono(), Set::mono(), true },
        { "stereo/stereo", Set::stereo(), Set::stereo(), true },
        { "mono/stereo", Set::mono(), Set::stereo(), false },
        { "stereo/mono", Set::stereo(), Set::mono(), false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (c.in);
        layout.outputBuses.add (c.out);

        EXPECT_EQ (plugin->checkBusesLayoutSupported (layout), c.accepted);

        // A refused layout leaves the current one in place; an accepted one is applied.
        const auto before = plugin->getBusesLayout();
        EXPECT_EQ (plugin->setBusesLayout (layout), c.accepted);
        const auto expected = c.accepted ? layout : before;
        EXPECT_EQ (plugin->getChannelLayoutOfBus (true, 0), expected.getMainInputChannelSet());
        EXPECT_EQ (plugin->getChannelLayoutOfBus (false, 0), expected.getMainOutputChannelSet());
    }
}
