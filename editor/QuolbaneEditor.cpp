#include "QuolbaneEditor.h"

#include "FontHelpers.h"
#include "PaintHelpers.h"
#include "engine/CharacterPreset.h"
#include "processor/QuolbaneProcessor.h"

#include <cmath>

namespace
{
constexpr const char* characterId = "character";
constexpr float fadeProportion = 0.18f;
constexpr float valueTextAlpha = 0.75f;
constexpr float captionTextAlpha = 0.55f;
constexpr int tickIntervalMs = 33;
}

QuolbaneEditor::QuolbaneEditor (QuolbaneProcessor& p) : juce::AudioProcessorEditor (p), processorRef (p)
{
    setupKnob (mixKnob, "mix", "MIX");
    setupKnob (sizeKnob, "size", "SIZE");
    setupKnob (decayKnob, "decay", "DECAY");
    setupKnob (preDelayKnob, "predelay", "PRE-DELAY");
    setupKnob (dampingKnob, "damping", "DAMPING");
    setupKnob (modulationKnob, "modulation", "MODULATION");
    setupKnob (widthKnob, "width", "WIDTH");
    setupKnob (lowCutKnob, "lowcut", "LOW CUT");
    setupKnob (highCutKnob, "highcut", "HIGH CUT");

    setSize (640, 470);
    startTimer (tickIntervalMs);

    // Open in the current character's exact colours, without a fade.
    timerCallback();
    currentBackground = targetBackground;
    currentAccent = targetAccent;
    applyPalette();
}

QuolbaneEditor::~QuolbaneEditor()
{
    releaseLookAndFeel();
}

void QuolbaneEditor::releaseLookAndFeel()
{
    for (auto* knob : knobs)
        knob->slider.setLookAndFeel (nullptr);
}

void QuolbaneEditor::setupKnob (KnobGroup& knob, const juce::String& parameterId, const juce::String& captionText)
{
    knob.slider.setSliderStyle (juce::Slider::RotaryHorizontalVerticalDrag);
    knob.slider.setTextBoxStyle (juce::Slider::TextBoxBelow, false, 78, 18);
    knob.slider.setLookAndFeel (&editorLookAndFeel);
    addAndMakeVisible (knob.slider);

    knob.caption.setText (captionText, juce::dontSendNotification);
    knob.caption.setJustificationType (juce::Justification::centred);
    knob.caption.setInterceptsMouseClicks (false, false);
    addAndMakeVisible (knob.caption);

    // A host can set a parameter to NaN, which the engine plays as the parameter's default: the
    // knob shows that default (the attachment sets it as the double-click value) and never
    // paints a value that is not a number.
    knob.slider.onValueChange = [&slider = knob.slider]
    {
        if (!std::isfinite (slider.getValue()))
            slider.setValue (slider.getDoubleClickReturnValue(), juce::dontSendNotification);
    };

    knob.attachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (
        processorRef.valueTreeState, parameterId, knob.slider);
}

void QuolbaneEditor::resized()
{
    auto area = getLocalBounds().reduced (24, 20);
    area.removeFromTop (24); // header strip, painted in rectangles of its own

    auto row = area.removeFromTop (72);
    prevArrowBox = row.removeFromLeft (44);
    nextArrowBox = row.removeFromRight (44);
    characterBox = row;

    area.removeFromTop (34); // spacer

    const int colW = area.getWidth() / 3;
    const int cellH = area.getHeight() / 3;

    for (int i = 0; i < (int) knobs.size(); ++i)
    {
        auto& knob = *knobs[(size_t) i];
        const int c = i % 3;
        const int r = i / 3;
        auto cell = juce::Rectangle<int> (area.getX() + c * colW, area.getY() + r * cellH, colW, cellH).reduced (6, 2);
        knob.caption.setBounds (cell.removeFromBottom (14));
        knob.slider.setBounds (cell);
    }
}

void QuolbaneEditor::paint (juce::Graphics& g)
{
    const auto ink = inkFor (currentAccent);
    const int width = getWidth();

    g.fillAll (currentBackground);

    g.setColour (ink.withAlpha (0.45f));
    g.setFont (plainSansFont (11.0f));
    g.drawText (letterSpaced ("QUOLBANE"), juce::Rectangle<float> (24.0f, 20.0f, 240.0f, 16.0f),
                juce::Justification::centredLeft, true);

    g.setColour (ink.withAlpha (0.3f));
    g.setFont (plainSansFont (10.0f));
    g.drawText (letterSpaced ("QUOLBANE AUDIO"), juce::Rectangle<int> (width - 264, 20, 240, 16).toFloat(),
                juce::Justification::centredRight, true);

    const auto& row = characterTable[(size_t) juce::jlimit (0, numCharacters - 1, characterIndex)];
    g.setColour (currentAccent);
    g.setFont (plainSansFont (44.0f));
    g.drawText (juce::String (row.name).toUpperCase(), characterBox.toFloat(), juce::Justification::centred, true);

    auto drawChevron = [&g, &ink] (juce::Rectangle<int> box, bool pointsLeft)
    {
        g.setColour (ink.withAlpha (0.35f));
        g.strokePath (chevronPath (box, pointsLeft),
                      juce::PathStrokeType (1.6f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
    };
    drawChevron (prevArrowBox, true);
    drawChevron (nextArrowBox, false);

    g.setColour (ink.withAlpha (0.12f));
    g.drawHorizontalLine (characterBox.getBottom() + 14, 24.0f, (float) (width - 24));
}

void QuolbaneEditor::timerCallback()
{
    // The processor already limits the index to the table; limit again so a row look-up can never stray.
    const int index = juce::jlimit (0, numCharacters - 1, processorRef.getCharacterIndex());
    const bool indexChanged = index != characterIndex;
    if (indexChanged)
    {
        characterIndex = index;
        const auto& row = characterTable[(size_t) index];
        targetBackground = juce::Colour (row.background);
        targetAccent = juce::Colour (row.accent);
    }

    const auto nextBackground = currentBackground.interpolatedWith (targetBackground, fadeProportion);
    const auto nextAccent = currentAccent.interpolatedWith (targetAccent, fadeProportion);

    if (nextBackground == currentBackground && nextAccent == currentAccent)
    {
        // The colours have settled; a new character still needs its name painted.
        if (indexChanged)
            repaint();
        return;
    }

    currentBackground = nextBackground;
    currentAccent = nextAccent;
    applyPalette();
    repaint();
}

void QuolbaneEditor::applyPalette()
{
    const auto ink = inkFor (currentAccent);
    editorLookAndFeel.accentColour = currentAccent;
    editorLookAndFeel.inkColour = ink;

    for (auto* knob : knobs)
    {
        knob->slider.setColour (juce::Slider::textBoxTextColourId, ink.withAlpha (valueTextAlpha));
        knob->caption.setColour (juce::Label::textColourId, ink.withAlpha (captionTextAlpha));
    }
}

void QuolbaneEditor::mouseUp (const juce::MouseEvent& event)
{
    const auto position = event.getPosition();

    if (prevArrowBox.contains (position))
        stepCharacter (-1);
    else if (nextArrowBox.contains (position))
        stepCharacter (+1);
    else if (characterBox.contains (position))
        showCharacterMenu();
}

void QuolbaneEditor::stepCharacter (int step)
{
    // Steps start from the polled index, so two steps before the next tick land on the same character.
    sendCharacterChange ((step + characterIndex + numCharacters) % numCharacters);
}

juce::PopupMenu QuolbaneEditor::createCharacterMenu()
{
    juce::PopupMenu menu;
    menu.setLookAndFeel (&editorLookAndFeel);
    for (int i = 0; i < numCharacters; ++i)
        menu.addItem (i + 1, characterTable[(size_t) i].name, true, i == characterIndex);
    return menu;
}

void QuolbaneEditor::showCharacterMenu()
{
    const auto options =
        juce::PopupMenu::Options().withTargetComponent (this).withTargetScreenArea (localAreaToGlobal (characterBox));
    createCharacterMenu().showMenuAsync (options, characterMenuCompletion());
}

std::function<void (int)> QuolbaneEditor::characterMenuCompletion()
{
    // The host may close the editor while its menu is still open; a later choice must not reach it.
    return [editor = juce::Component::SafePointer<QuolbaneEditor> (this)] (int result)
    {
        if (result < 1)
            return;
        if (auto* live = editor.getComponent())
            live->characterMenuCallback (result);
    };
}

void QuolbaneEditor::characterMenuCallback (int result)
{
    if (result < 1)
        return;
    sendCharacterChange (result - 1);
}

void QuolbaneEditor::sendCharacterChange (int index)
{
    auto* parameter = processorRef.valueTreeState.getParameter (characterId);
    if (parameter == nullptr)
        return;

    parameter->beginChangeGesture();
    parameter->setValueNotifyingHost (parameter->convertTo0to1 ((float) index));
    parameter->endChangeGesture();
}
