#include "ProcessorTestHelpers.h"

using namespace ProcessorTest;

TEST (ProcessorBasics, FixedAnswersOfANewProcessor)
{
    QuolbaneProcessor p;

    EXPECT_EQ (p.getName(), "Quolbane");
    EXPECT_FALSE (p.acceptsMidi());
    EXPECT_FALSE (p.producesMidi());
    EXPECT_FALSE (p.isMidiEffect());
    EXPECT_TRUE (p.hasEditor());
    EXPECT_EQ (p.getLatencySamples(), 0);
    EXPECT_FALSE (p.supportsDoublePrecisionProcessing());
    EXPECT_EQ (p.getBypassParameter(), nullptr);

    ASSERT_EQ (p.getBusCount (true), 1);
    ASSERT_EQ (p.getBusCount (false), 1);
    const auto* in = p.getBus (true, 0);
    const auto* out = p.getBus (false, 0);
    EXPECT_EQ (in->getName(), "Input");
    EXPECT_EQ (out->getName(), "Output");
    EXPECT_EQ (in->getCurrentLayout(), juce::AudioChannelSet::stereo());
    EXPECT_EQ (out->getCurrentLayout(), juce::AudioChannelSet::stereo());
    EXPECT_TRUE (in->isEnabled());
    EXPECT_TRUE (out->isEnabled());
    EXPECT_TRUE (in->isEnabledByDefault());
    EXPECT_TRUE (out->isEnabledByDefault());
}

TEST (ProcessorBasics, SingleProgramIgnoresSelectionAndRenaming)
{
    QuolbaneProcessor p;
    const auto before = save (p);

    EXPECT_EQ (p.getNumPrograms(), 1);
    EXPECT_EQ (p.getCurrentProgram(), 0);
    EXPECT_EQ (p.getProgramName (0), "");

    for (int index : { 3, -1, 1, 0 })
    {
        p.setCurrentProgram (index);
        EXPECT_EQ (p.getCurrentProgram(), 0) << "after selecting " << index;
        EXPECT_EQ (p.getProgramName (index), "");
    }

    p.changeProgramName (0, "My Hall");
    p.changeProgramName (5, "Elsewhere");
    EXPECT_EQ (p.getProgramName (0), "");
    EXPECT_EQ (p.getProgramName (5), "");

    // Program operations never touch the parameters.
    EXPECT_EQ (save (p), before);
}

TEST (ProcessorBasics, ProgramStateIsTheWholeState)
{
    QuolbaneProcessor source;
    setAll (source, otherValues);
    juce::MemoryBlock programState;
    source.getCurrentProgramStateInformation (programState);
    EXPECT_EQ (programState, save (source));

    QuolbaneProcessor target;
    target.setCurrentProgramStateInformation (programState.getData(), static_cast<int> (programState.getSize()));
    EXPECT_EQ (allPlainValues (target), allPlainValues (source));
}

namespace
{
struct LayoutCase
{
    const char* name;
    juce::AudioChannelSet input;
    juce::AudioChannelSet output;
    bool accepted;
};

const LayoutCase layoutCases[]{
    { "mono to mono", juce::AudioChannelSet::mono(), juce::AudioChannelSet::mono(), true },
    { "stereo to stereo", juce::AudioChannelSet::stereo(), juce::AudioChannelSet::stereo(), true },
    { "mono to stereo", juce::AudioChannelSet::mono(), juce::AudioChannelSet::stereo(), false },
    { "stereo to mono", juce::AudioChannelSet::stereo(), juce::AudioChannelSet::mono(), false },
    { "disabled input, mono output", juce::AudioChannelSet::disabled(), juce::AudioChannelSet::mono(), false },
    { "disabled input, stereo output", juce::AudioChannelSet::disabled(), juce::AudioChannelSet::stereo(), false },
    { "stereo input, disabled output", juce::AudioChannelSet::stereo(), juce::AudioChannelSet::disabled(), false },
    { "mono input, disabled output", juce::AudioChannelSet::mono(), juce::AudioChannelSet::disabled(), false },
    { "both disabled", juce::AudioChannelSet::disabled(), juce::AudioChannelSet::disabled(), false },
    { "two discrete channels", juce::AudioChannelSet::discreteChannels (2), juce::AudioChannelSet::discreteChannels (2),
      false },
    { "5.1 on both sides", juce::AudioChannelSet::create5point1(), juce::AudioChannelSet::create5point1(), false },
    { "LCR on both sides", juce::AudioChannelSet::createLCR(), juce::AudioChannelSet::createLCR(), false },
};
}

TEST (ProcessorBasics, BusLayoutTable)
{
    for (const auto& c : layoutCases)
    {
        SCOPED_TRACE (c.name);
        QuolbaneProcessor p;

        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (c.input);
        layout.outputBuses.add (c.output);
        EXPECT_EQ (p.isBusesLayoutSupported (layout), c.accepted);

        // Through JUCE's own negotiation: a refused layout leaves the current one in place.
        EXPECT_EQ (p.setBusesLayout (layout), c.accepted);
        const auto expected = c.accepted ? c.output : juce::AudioChannelSet::stereo();
        EXPECT_EQ (p.getBus (false, 0)->getCurrentLayout(), expected);
        EXPECT_EQ (p.getBus (true, 0)->getCurrentLayout(), c.accepted ? c.input : juce::AudioChannelSet::stereo());
        EXPECT_EQ (p.getBusCount (true), 1);
        EXPECT_EQ (p.getBusCount (false), 1);
    }
}

TEST (ProcessorBasics, EveryFactoryCallGivesAnIndependentProcessor)
{
    std::unique_ptr<juce::AudioProcessor> a (createPluginFilter());
    std::unique_ptr<juce::AudioProcessor> b (createPluginFilter());
    ASSERT_NE (dynamic_cast<QuolbaneProcessor*> (a.get()), nullptr);
    ASSERT_NE (dynamic_cast<QuolbaneProcessor*> (b.get()), nullptr);
    ASSERT_NE (a.get(), b.get());

    auto& pa = static_cast<QuolbaneProcessor&> (*a);
    auto& pb = static_cast<QuolbaneProcessor&> (*b);
    setPlain (pa, "mix", 80.0f);
    EXPECT_FLOAT_EQ (plain (pa, "mix"), 80.0f);
    EXPECT_FLOAT_EQ (plain (pb, "mix"), 35.0f);
}
