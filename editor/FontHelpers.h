#pragma once

#include <juce_graphics/juce_graphics.h>

// The editor's one kind of font: JUCE's default sans-serif typeface, plain, at a given height.
inline juce::Font plainSansFont (float height)
{
    return juce::Font (juce::Font::getDefaultSansSerifFontName(), height, juce::Font::plain);
}
