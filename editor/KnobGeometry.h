#pragma once

#include <juce_graphics/juce_graphics.h>

// Where the parts of one rotary knob go, for a knob rectangle, a value position and the rotary range.
struct KnobGeometry
{
    juce::Rectangle<float> bounds;
    juce::Point<float> centre;
    float radius = 0.0f;
    float valueAngle = 0.0f;
    float lineWidth = 0.0f;
    float arcRadius = 0.0f;
    float pointerThickness = 0.0f;
    juce::Point<float> pointerStart;
    juce::Point<float> pointerEnd;
    bool hasValueArc = false;

    static KnobGeometry compute (int x, int y, int width, int height, float position, float rotaryStartAngle,
                                 float rotaryEndAngle) noexcept
    {
        KnobGeometry k;
        k.bounds = juce::Rectangle<int> (x, y, width, height).toFloat().reduced (4.0f);
        k.radius = juce::jmin (k.bounds.getWidth(), k.bounds.getHeight()) / 2.0f;
        k.centre = k.bounds.getCentre();
        k.valueAngle = rotaryStartAngle + position * (rotaryEndAngle - rotaryStartAngle);
        k.lineWidth = juce::jmax (k.radius * 0.09f, 2.0f);
        // A whole line width inside the radius, so the stroke never touches the bounds.
        k.arcRadius = k.radius - k.lineWidth;
        k.pointerThickness = 0.75f * k.lineWidth;
        k.pointerStart = k.centre.getPointOnCircumference (k.arcRadius - 1.6f * k.lineWidth, k.valueAngle);
        k.pointerEnd = k.centre.getPointOnCircumference (k.arcRadius, k.valueAngle);
        k.hasValueArc = position > 0.0005f;
        return k;
    }
};
