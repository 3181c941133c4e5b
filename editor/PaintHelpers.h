#pragma once

#include <juce_graphics/juce_graphics.h>

// The text with one space after every code point but the last: "AB C" becomes "A B   C".
juce::String letterSpaced (const juce::String& text);

// The open three-point arrowhead drawn inside a selector arrow box.
juce::Path chevronPath (juce::Rectangle<int> box, bool pointsLeft);
