#include "PaintHelpers.h"

juce::String letterSpaced (const juce::String& text)
{
    juce::String result;
    for (int i = 0; i < text.length(); ++i)
    {
        if (i > 0)
            result << " ";
        result << juce::String::charToString (text[i]);
    }
    return result;
}

juce::Path chevronPath (juce::Rectangle<int> box, bool pointsLeft)
{
    const auto r = box.toFloat().reduced (0.34f * (float) box.getWidth(), 0.36f * (float) box.getHeight());

    juce::Path path;
    if (pointsLeft)
    {
        path.startNewSubPath (r.getRight(), r.getY());
        path.lineTo (r.getX(), r.getCentreY());
        path.lineTo (r.getRight(), r.getBottom());
    }
    else
    {
        path.startNewSubPath (r.getX(), r.getY());
        path.lineTo (r.getRight(), r.getCentreY());
        path.lineTo (r.getX(), r.getBottom());
    }
    return path;
}
