#include "MinimalLookAndFeel.h"

#include "FontHelpers.h"
#include "KnobGeometry.h"

juce::Colour inkFor (juce::Colour accent)
{
    // Two separate HSB round trips: the brightness step reads hue and saturation back from 8-bit ARGB.
    const auto desaturated = accent.withSaturation (0.42f);
    return desaturated.withBrightness (0.21f);
}

MinimalLookAndFeel::MinimalLookAndFeel() : accentColour (0xff5b82ae), inkColour (0xff2b2b2b)
{
    setColour (juce::Slider::textBoxOutlineColourId, juce::Colours::transparentBlack);
    setColour (juce::Slider::textBoxTextColourId, inkColour);
    setColour (juce::Slider::textBoxBackgroundColourId, juce::Colours::transparentBlack);
    setColour (juce::PopupMenu::backgroundColourId, juce::Colour (0xfffafafa));
    setColour (juce::PopupMenu::textColourId, inkColour);
    setColour (juce::PopupMenu::highlightedBackgroundColourId, accentColour.withAlpha (0.18f));
    setColour (juce::PopupMenu::highlightedTextColourId, inkColour);
}

MinimalLookAndFeel::~MinimalLookAndFeel() = default;

juce::Font MinimalLookAndFeel::getLabelFont (juce::Label& label)
{
    return plainSansFont ((float) label.getHeight() * 0.72f);
}

void MinimalLookAndFeel::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height, float position,
                                           float rotaryStartAngle, float rotaryEndAngle, juce::Slider&)
{
    const auto k = KnobGeometry::compute (x, y, width, height, position, rotaryStartAngle, rotaryEndAngle);
    const juce::PathStrokeType stroke (k.lineWidth, juce::PathStrokeType::curved, juce::PathStrokeType::rounded);

    juce::Path track;
    track.addCentredArc (k.centre.x, k.centre.y, k.arcRadius, k.arcRadius, 0.0f, rotaryStartAngle, rotaryEndAngle,
                         true);
    g.setColour (inkColour.withAlpha (0.14f));
    g.strokePath (track, stroke);

    if (k.hasValueArc)
    {
        juce::Path valueArc;
        valueArc.addCentredArc (k.centre.x, k.centre.y, k.arcRadius, k.arcRadius, 0.0f, rotaryStartAngle, k.valueAngle,
                                true);
        g.setColour (accentColour);
        g.strokePath (valueArc, stroke);
    }

    // The pointer follows the accent being drawn, not the stored ink.
    g.setColour (inkFor (accentColour));
    g.drawLine (juce::Line<float> (k.pointerStart, k.pointerEnd), k.pointerThickness);
}
