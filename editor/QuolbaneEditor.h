#pragma once

#include "KnobGroup.h"
#include "MinimalLookAndFeel.h"

#include <array>
#include <functional>

class QuolbaneProcessor;

// The fixed 640 x 470 window: header, character selector, nine knobs and a palette that fades to
// the current character's colours on a 33 ms timer. The data members are public so the painting,
// palette and selector code (and the tests) read them as plain state.
class QuolbaneEditor : public juce::AudioProcessorEditor, public juce::Timer
{
public:
    explicit QuolbaneEditor (QuolbaneProcessor& p);
    ~QuolbaneEditor() override;

    void mouseUp (const juce::MouseEvent& event) override;
    void paint (juce::Graphics& g) override;
    void resized() override;
    void timerCallback() override;

    void setupKnob (KnobGroup& knob, const juce::String& parameterId, const juce::String& captionText);
    void applyPalette();

    void stepCharacter (int step);
    void showCharacterMenu();
    juce::PopupMenu createCharacterMenu();
    void characterMenuCallback (int result);
    // The completion handed to the menu: it reaches characterMenuCallback only while this editor lives.
    std::function<void (int)> characterMenuCompletion();

    // Gives every knob slider back the look-and-feel it inherits; run before the knobs go.
    void releaseLookAndFeel();

    QuolbaneProcessor& processorRef;
    MinimalLookAndFeel editorLookAndFeel;

    KnobGroup mixKnob, sizeKnob, decayKnob, preDelayKnob, dampingKnob, modulationKnob, widthKnob, lowCutKnob,
        highCutKnob;
    std::array<KnobGroup*, 9> knobs{ &mixKnob,        &sizeKnob,  &decayKnob,  &preDelayKnob, &dampingKnob,
                                     &modulationKnob, &widthKnob, &lowCutKnob, &highCutKnob };

    juce::Rectangle<int> characterBox;
    juce::Rectangle<int> prevArrowBox;
    juce::Rectangle<int> nextArrowBox;

    int characterIndex = -1;
    juce::Colour currentBackground{ 0xffecf1f7 };
    juce::Colour currentAccent{ 0xff5b82ae };
    juce::Colour targetBackground{ 0xffecf1f7 };
    juce::Colour targetAccent{ 0xff5b82ae };

private:
    // Sends one begin/set/end gesture that selects the character at index.
    void sendCharacterChange (int index);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QuolbaneEditor)
};
