#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The editor's dark ink for an accent: the accent's hue at saturation 0.42 and brightness 0.21.
juce::Colour inkFor (juce::Colour accent);

// Thin arc knobs with an accent-coloured value arc; fixed colours for value boxes and the pop-up menu.
class MinimalLookAndFeel : public juce::LookAndFeel_V4
{
public:
    MinimalLookAndFeel();
    ~MinimalLookAndFeel() override;

    juce::Font getLabelFont (juce::Label& label) override;

    void drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height, float position,
                           float rotaryStartAngle, float rotaryEndAngle, juce::Slider& slider) override;

    juce::Colour accentColour;
    juce::Colour inkColour;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MinimalLookAndFeel)
};
