#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace hosttest;

// Text that a host reads through the plug-in (getParamValueByString) and the text it shows for a
// value (getParamStringByValue).

TEST (HostText, CharacterNamesReadInAnyCaseAndOtherTextKeepsTheCharacter)
{
    auto plugin = createPlugin();
    ASSERT_NE (plugin, nullptr);
    auto* character = plugin->getParameters()[0];
    character->setValue (3.0f / 9.0f); // "Basilica", neither the default nor the first
    process (*plugin, makeBlock (2, blockSize));
    ASSERT_EQ (character->getText (character->getValue(), 100), "Basilica");

    struct Case
    {
        const char* text;
        const char* reads; // the character the value read from the text names
    };
    const Case cases[]{
        { "Hall", "Hall" },      { "hall", "Hall" },    { "Hall ", "Hall" },      { " HALL", "Hall" },
        { "\tvOiD\n", "Void" },  { "foil", "Foil" },    { "  Bloom  ", "Bloom" }, { "", "Basilica" },
        { "   ", "Basilica" },   { "Hal", "Basilica" }, { "Halls", "Basilica" },  { "Hall Void", "Basilica" },
        { "H all", "Basilica" }, { "2", "Basilica" },   { "nan", "Basilica" },    { "Foil!", "Basilica" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String ("\"") + c.text + "\"");
        EXPECT_EQ (character->getText (character->getValueForText (c.text), 100), c.reads);
    }

    // A name read from text plays: the host sets the value it got.
    character->setValue (character->getValueForText (" halo "));
    process (*plugin, makeBlock (2, blockSize));
    EXPECT_EQ (character->getText (character->getValue(), 100), "Halo");
}

TEST (HostText, FloatParameterAtNaNShowsItsDefault)
{
    // The value plays as the default, so it reads as the default, not "nan" nor the value before.
    struct Case
    {
        const char* name;
        const char* defaultText;
    };
    const Case cases[]{
        { "Mix", "35.0" },       { "Size", "100.0" },   { "Decay", "2.00" },
        { "Pre-Delay", "20.0" }, { "Damping", "50.0" }, { "Modulation", "50.0" },
        { "Width", "100.0" },    { "Low Cut", "100" },  { "High Cut", "9000" },
    };

    auto plugin = createPlugin();
    ASSERT_NE (plugin, nullptr);
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        auto* parameter = findParameter (*plugin, c.name);
        ASSERT_NE (parameter, nullptr);
        parameter->setValue (0.9f);
        process (*plugin, makeBlock (2, blockSize));
        ASSERT_NE (parameter->getText (parameter->getValue(), 100), c.defaultText);

        parameter->setValue (std::numeric_limits<float>::quiet_NaN());
        process (*plugin, makeBlock (2, blockSize));
        EXPECT_EQ (parameter->getText (parameter->getValue(), 100), c.defaultText);
        EXPECT_EQ (parameter->getText (std::numeric_limits<float>::quiet_NaN(), 100), c.defaultText);
    }
}
