#include "ProcessorTestHelpers.h"

using namespace ProcessorTest;

namespace
{
struct FloatRow
{
    const char* id;
    const char* name;
    float start, end, interval, skew, defaultValue;
    const char* label;
    double normalisedDefault;
    const char* defaultText;
};

// The nine continuous parameters in host order (indices 1 to 9).
const FloatRow floatRows[]{
    { "mix", "Mix", 0.0f, 100.0f, 0.1f, 1.0f, 35.0f, "%", 0.35, "35.0" },
    { "size", "Size", 25.0f, 200.0f, 0.1f, 1.0f, 100.0f, "%", 3.0 / 7.0, "100.0" },
    { "decay", "Decay", 0.2f, 20.0f, 0.01f, 0.35f, 2.0f, "s", 0.432, "2.00" },
    { "predelay", "Pre-Delay", 0.0f, 250.0f, 0.1f, 1.0f, 20.0f, "ms", 0.08, "20.0" },
    { "damping", "Damping", 0.0f, 100.0f, 0.1f, 1.0f, 50.0f, "%", 0.5, "50.0" },
    { "modulation", "Modulation", 0.0f, 100.0f, 0.1f, 1.0f, 50.0f, "%", 0.5, "50.0" },
    { "width", "Width", 0.0f, 100.0f, 0.1f, 1.0f, 100.0f, "%", 1.0, "100.0" },
    { "lowcut", "Low Cut", 20.0f, 1000.0f, 1.0f, 0.35f, 100.0f, "Hz", 0.416, "100" },
    { "highcut", "High Cut", 1000.0f, 20000.0f, 1.0f, 0.35f, 9000.0f, "Hz", 0.739, "9000" },
};

const char* const characterNames[]{ "Foil", "Chamber", "Hall",  "Basilica", "Room",
                                    "Coil", "Gate",    "Bloom", "Halo",     "Void" };
}

TEST (ProcessorParameters, TenParametersInHostOrder)
{
    QuolbaneProcessor p;
    const auto& params = p.getParameters();
    ASSERT_EQ (params.size(), 10);

    for (int i = 0; i < params.size(); ++i)
    {
        auto* withId = dynamic_cast<juce::AudioProcessorParameterWithID*> (params[i]);
        ASSERT_NE (withId, nullptr);
        EXPECT_EQ (withId->paramID, parameterIds[static_cast<std::size_t> (i)]) << "index " << i;
        EXPECT_EQ (withId->getVersionHint(), 1) << withId->paramID;
        EXPECT_EQ (params[i]->getParameterIndex(), i);
        EXPECT_TRUE (params[i]->isAutomatable()) << withId->paramID;
        EXPECT_FALSE (params[i]->isMetaParameter()) << withId->paramID;
        EXPECT_FALSE (params[i]->isOrientationInverted()) << withId->paramID;
        EXPECT_EQ (params[i]->getCategory(), juce::AudioProcessorParameter::genericParameter) << withId->paramID;
        EXPECT_EQ (p.valueTreeState.getParameter (withId->paramID), params[i]);
    }
}

TEST (ProcessorParameters, CharacterChoice)
{
    QuolbaneProcessor p;
    auto* choice = dynamic_cast<juce::AudioParameterChoice*> (p.valueTreeState.getParameter ("character"));
    ASSERT_NE (choice, nullptr);

    EXPECT_EQ (choice->getName (100), "Character");
    EXPECT_EQ (choice->getLabel(), "");
    ASSERT_EQ (choice->choices.size(), 10);
    for (int i = 0; i < 10; ++i)
    {
        EXPECT_EQ (choice->choices[i], characterNames[i]);
        EXPECT_EQ (choice->choices[i], characterTable[static_cast<std::size_t> (i)].name);
    }

    const auto& range = choice->getNormalisableRange();
    EXPECT_EQ (range.start, 0.0f);
    EXPECT_EQ (range.end, 9.0f);
    EXPECT_EQ (range.interval, 1.0f);
    EXPECT_EQ (range.skew, 1.0f);

    EXPECT_EQ (choice->getIndex(), 2);
    EXPECT_NEAR (static_cast<juce::AudioProcessorParameter*> (choice)->getDefaultValue(), 2.0 / 9.0, 1e-6);
    EXPECT_EQ (choice->getCurrentValueAsText(), "Hall");
    EXPECT_EQ (p.getCharacterIndex(), 2);
    EXPECT_EQ (raw (p, "character"), 2.0f);
}

TEST (ProcessorParameters, FloatParameterTable)
{
    QuolbaneProcessor p;
    const auto& params = p.getParameters();

    for (std::size_t row = 0; row < std::size (floatRows); ++row)
    {
        const auto& r = floatRows[row];
        SCOPED_TRACE (r.id);
        auto* f = dynamic_cast<juce::AudioParameterFloat*> (params[static_cast<int> (row) + 1]);
        ASSERT_NE (f, nullptr);
        juce::AudioProcessorParameter& base = *f;

        EXPECT_EQ (f->paramID, r.id);
        EXPECT_EQ (f->getName (100), r.name);
        EXPECT_EQ (f->getLabel(), r.label);
        EXPECT_EQ (f->range.start, r.start);
        EXPECT_EQ (f->range.end, r.end);
        EXPECT_EQ (f->range.interval, r.interval);
        EXPECT_EQ (f->range.skew, r.skew);
        EXPECT_FALSE (f->range.symmetricSkew);

        EXPECT_EQ (f->get(), r.defaultValue);
        EXPECT_EQ (raw (p, r.id), r.defaultValue);
        EXPECT_NEAR (base.getDefaultValue(), r.normalisedDefault, 5e-4);
        EXPECT_EQ (base.getValue(), base.getDefaultValue());
        EXPECT_EQ (f->getCurrentValueAsText(), r.defaultText);
        EXPECT_EQ (base.getText (base.getValue(), 1024), r.defaultText);

        // The unit is not part of the text, and a text reads back as the number it begins with.
        EXPECT_FLOAT_EQ (f->convertFrom0to1 (base.getValueForText (juce::String (r.defaultText) + " " + r.label)),
                         r.defaultValue);
    }
}

TEST (ProcessorParameters, TextReadsAsTheNumberItBeginsWithAndOtherwiseAsZero)
{
    struct Case
    {
        const char* id;
        const char* text;
        float value;
    };

    const Case cases[]{
        { "mix", "42.5", 42.5f },    { "mix", "  40 %", 40.0f },    { "mix", ".5", 0.5f },
        { "mix", "+7", 7.0f },       { "predelay", "12.5ms", 12.5f }, { "mix", "-.5", 0.0f },
        { "mix", "1e1", 10.0f },     { "mix", "1e999", 100.0f },     { "mix", "-1e999", 0.0f },
        { "mix", "9e99999999999999", 100.0f }, // an exponent too long for JUCE's own reader
        // Not beginning with a decimal number: 0, then clamped to the range.
        { "mix", "nan", 0.0f },      { "mix", "-nan", 0.0f },       { "mix", "inf", 0.0f },
        { "mix", "-inf", 0.0f },     { "mix", "", 0.0f },           { "mix", "-", 0.0f },
        { "mix", "abc", 0.0f },      { "size", "nan", 25.0f },      { "size", "INF", 25.0f },
        { "decay", "NaN", 0.2f },    { "highcut", "inf", 1000.0f }, { "lowcut", " nan", 20.0f },
    };

    QuolbaneProcessor p;
    for (const auto& c : cases)
    {
        SCOPED_TRACE (std::string (c.id) + " \"" + c.text + "\"");
        juce::AudioProcessorParameter& parameter = *p.valueTreeState.getParameter (c.id);
        const float normalised = parameter.getValueForText (c.text);
        ASSERT_TRUE (std::isfinite (normalised));
        EXPECT_NEAR (p.valueTreeState.getParameter (c.id)->convertFrom0to1 (normalised), c.value, 1.0e-4f);
    }
}

TEST (ProcessorParameters, ValuesAreSnappedAndClamped)
{
    struct Case
    {
        const char* id;
        float set;
        float stored;
    };

    const Case cases[]{
        { "mix", 35.04f, 35.0f },          { "mix", 35.06f, 35.1f },       { "mix", -3.0f, 0.0f },
        { "mix", 250.0f, 100.0f },         { "size", 10.0f, 25.0f },       { "size", 300.0f, 200.0f },
        { "decay", 2.004f, 2.0f },         { "decay", 0.05f, 0.2f },       { "decay", 40.0f, 20.0f },
        { "predelay", 249.96f, 250.0f },   { "lowcut", 99.6f, 100.0f },    { "lowcut", 5.0f, 20.0f },
        { "highcut", 25000.0f, 20000.0f }, { "highcut", 999.0f, 1000.0f }, { "width", 0.04f, 0.0f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (std::string (c.id) + " set to " + std::to_string (c.set));
        QuolbaneProcessor p;
        auto* f = dynamic_cast<juce::AudioParameterFloat*> (p.valueTreeState.getParameter (c.id));
        ASSERT_NE (f, nullptr);

        // Once as a host sets it (normalised), once as plain-value assignment.
        f->setValueNotifyingHost (f->convertTo0to1 (c.set));
        EXPECT_NEAR (f->get(), c.stored, 1e-4f);
        EXPECT_NEAR (raw (p, c.id), c.stored, 1e-4f);

        QuolbaneProcessor q;
        auto* g = dynamic_cast<juce::AudioParameterFloat*> (q.valueTreeState.getParameter (c.id));
        *g = c.set;
        EXPECT_NEAR (g->get(), c.stored, 1e-4f);
    }
}

TEST (ProcessorParameters, CharacterHoldsOnlyWholeIndices)
{
    QuolbaneProcessor p;
    auto* choice = dynamic_cast<juce::AudioParameterChoice*> (p.valueTreeState.getParameter ("character"));
    ASSERT_NE (choice, nullptr);

    choice->setValueNotifyingHost (0.0f);
    EXPECT_EQ (choice->getCurrentValueAsText(), "Foil");
    EXPECT_EQ (p.getCharacterIndex(), 0);
    choice->setValueNotifyingHost (1.0f);
    EXPECT_EQ (choice->getCurrentValueAsText(), "Void");
    EXPECT_EQ (p.getCharacterIndex(), 9);

    for (int step = 0; step <= 200; ++step)
    {
        const float normalised = static_cast<float> (step) / 200.0f;
        choice->setValueNotifyingHost (normalised);
        const float value = raw (p, "character");
        EXPECT_EQ (value, std::round (value)) << "normalised " << normalised;
        EXPECT_EQ (p.getCharacterIndex(), juce::roundToInt (normalised * 9.0f)) << "normalised " << normalised;
    }

    // A text selects the item with exactly that name.
    EXPECT_EQ (
        choice->convertFrom0to1 (static_cast<juce::AudioProcessorParameter*> (choice)->getValueForText ("Basilica")),
        3.0f);
}
