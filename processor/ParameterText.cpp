#include "ParameterText.h"

#include "engine/CharacterPreset.h"

#include <cmath>
#include <limits>

juce::String ParameterText::withBoundedExponent (const juce::String& text)
{
    const int e = text.indexOfAnyOf ("eE");
    if (e <= 0 || !(juce::CharacterFunctions::isDigit (text[e - 1]) || text[e - 1] == '.'))
        return text;

    int digits = e + 1;
    if (text[digits] == '+' || text[digits] == '-')
        ++digits;
    int first = digits;
    while (text[first] == '0')
        ++first;
    int end = first;
    while (juce::CharacterFunctions::isDigit (text[end]))
        ++end;

    if (end - first <= 4)
        return text;
    return text.substring (0, digits) + "9999" + text.substring (end);
}

float ParameterText::valueOf (const juce::String& text)
{
    const auto trimmed = text.trimStart();
    int i = trimmed[0] == '+' || trimmed[0] == '-' ? 1 : 0;
    if (trimmed[i] == '.')
        ++i;
    if (!juce::CharacterFunctions::isDigit (trimmed[i]))
        return 0.0f;

    constexpr double largest = std::numeric_limits<float>::max();
    return static_cast<float> (juce::jlimit (-largest, largest, withBoundedExponent (trimmed).getDoubleValue()));
}

juce::String ParameterText::textOf (float value, float fallback, float interval, int maximumLength)
{
    // JUCE's rule: a whole interval shows no decimals, any other as many as it has, up to seven.
    int decimals = 7;
    if (interval != 0.0f)
    {
        if (juce::approximatelyEqual (std::abs (interval - std::floor (interval)), 0.0f))
        {
            decimals = 0;
        }
        else
        {
            auto v = std::abs (juce::roundToInt (interval * std::pow (10.0, decimals)));
            while (v % 10 == 0 && decimals > 0)
            {
                --decimals;
                v /= 10;
            }
        }
    }

    const juce::String text (std::isfinite (value) ? value : fallback, decimals);
    return maximumLength > 0 ? text.substring (0, maximumLength) : text;
}

int ParameterText::characterIndexOf (const juce::String& text)
{
    const auto name = text.trim();
    for (int i = 0; i < numCharacters; ++i)
        if (name.equalsIgnoreCase (characterTable[static_cast<std::size_t> (i)].name))
            return i;
    return -1;
}
