#include "EditorTestSupport.h"

using namespace editortest;

namespace
{
void expectPaletteApplied (QuolbaneEditor& editor)
{
    const auto ink = inkFor (editor.currentAccent);
    EXPECT_EQ (editor.editorLookAndFeel.accentColour, editor.currentAccent);
    EXPECT_EQ (editor.editorLookAndFeel.inkColour, ink);
    for (auto* knob : editor.knobs)
    {
        const auto value = knob->slider.findColour (juce::Slider::textBoxTextColourId);
        const auto caption = knob->caption.findColour (juce::Label::textColourId);
        EXPECT_EQ (value.getAlpha(), 191);
        EXPECT_EQ (caption.getAlpha(), 140);
        EXPECT_EQ (value.withAlpha ((juce::uint8) 255), ink);
        EXPECT_EQ (caption.withAlpha ((juce::uint8) 255), ink);
    }
}

struct Palette
{
    juce::Colour background, accent;
    bool operator== (const Palette& o) const { return background == o.background && accent == o.accent; }
};

Palette shown (const QuolbaneEditor& e)
{
    return { e.currentBackground, e.currentAccent };
}

// Ticks until nothing moves for a while; returns the number of ticks on which a colour moved.
int ticksUntilSettled (QuolbaneEditor& editor)
{
    int moving = 0, still = 0;
    for (int tick = 0; tick < 60 && still < 5; ++tick)
    {
        const auto before = shown (editor);
        editor.timerCallback();
        if (shown (editor) == before)
            ++still;
        else
        {
            EXPECT_EQ (still, 0) << "a colour moved again after resting";
            ++moving;
        }
    }
    return moving;
}

// A settled channel either reached its target or rose to within 5 below it.
void expectRestingNear (juce::Colour resting, juce::Colour target)
{
    const int pairs[3][2] = { { resting.getRed(), target.getRed() },
                              { resting.getGreen(), target.getGreen() },
                              { resting.getBlue(), target.getBlue() } };
    for (const auto& p : pairs)
    {
        EXPECT_LE (p[0], p[1]);
        EXPECT_GE (p[0], p[1] - 5);
    }
    EXPECT_EQ (resting.getAlpha(), 255);
}
}

TEST (EditorPalette, OpensInTheCurrentCharactersExactColours)
{
    for (int index = 0; index < numCharacters; ++index)
    {
        SCOPED_TRACE (characterTable[(size_t) index].name);
        QuolbaneProcessor processor;
        setCharacter (processor, index);
        QuolbaneEditor editor (processor);

        EXPECT_EQ (editor.characterIndex, index);
        EXPECT_EQ (editor.currentBackground.getARGB(), characterTable[(size_t) index].background);
        EXPECT_EQ (editor.currentAccent.getARGB(), characterTable[(size_t) index].accent);
        EXPECT_EQ (editor.targetBackground, editor.currentBackground);
        EXPECT_EQ (editor.targetAccent, editor.currentAccent);
        expectPaletteApplied (editor);

        const auto image = snapshot (editor);
        EXPECT_EQ (image.getPixelAt (2, 2).getARGB(), characterTable[(size_t) index].background);
    }
}

TEST (EditorPalette, GateOpensWithGatesColoursAndInkAlphas191And140)
{
    QuolbaneProcessor processor;
    setCharacter (processor, indexOf ("Gate"));
    QuolbaneEditor editor (processor);
    editor.stopTimer();

    EXPECT_EQ (editor.currentBackground.getARGB(), 0xfffde6e3u);
    EXPECT_EQ (editor.currentAccent.getARGB(), 0xffd2543fu);
    expectPaletteApplied (editor);
    // Already settled: the next tick moves nothing.
    const auto before = shown (editor);
    editor.timerCallback();
    EXPECT_TRUE (shown (editor) == before);
}

TEST (EditorPalette, HallToVoidMovesOnFourteenTicksAndThenRests)
{
    QuolbaneProcessor processor;
    setCharacter (processor, indexOf ("Hall"));
    QuolbaneEditor editor (processor);
    editor.stopTimer();
    auto& repaints = countRepaints (editor);

    setCharacter (processor, indexOf ("Void"));

    std::vector<int> reds;
    int accentMoves = 0, backgroundMoves = 0, lastBackgroundMove = 0;
    for (int tick = 1; tick <= 30; ++tick)
    {
        const auto before = shown (editor);
        const int repaintsBefore = repaints.wholeRepaints;
        editor.timerCallback();
        const auto after = shown (editor);
        EXPECT_EQ (editor.characterIndex, 9);

        if (after.accent != before.accent)
        {
            ++accentMoves;
            reds.push_back (after.accent.getRed());
        }
        if (after.background != before.background)
        {
            ++backgroundMoves;
            lastBackgroundMove = tick;
        }
        const bool moved = !(after == before);
        EXPECT_EQ (repaints.wholeRepaints - repaintsBefore, moved ? 1 : 0) << "tick " << tick;
        if (moved)
            expectPaletteApplied (editor);
    }

    EXPECT_EQ (accentMoves, 14);
    EXPECT_EQ (backgroundMoves, 6);
    EXPECT_EQ (lastBackgroundMove, 6);
    EXPECT_EQ (editor.currentAccent.getARGB(), 0xff556b8cu);     // 85, 107, 140
    EXPECT_EQ (editor.currentBackground.getARGB(), 0xffe4ebf2u); // 228, 235, 242

    // The red channel's path; it stops changing before the last moving ticks of green and blue.
    const std::vector<int> expectedReds = { 66, 70, 73, 76, 78, 80, 81, 82, 83, 84, 85 };
    std::vector<int> distinctReds;
    for (int r : reds)
        if (distinctReds.empty() || distinctReds.back() != r)
            distinctReds.push_back (r);
    EXPECT_EQ (distinctReds, expectedReds);
}

TEST (EditorPalette, SettledTicksApplyNothingAndRepaintNothing)
{
    QuolbaneProcessor processor;
    QuolbaneEditor editor (processor);
    editor.stopTimer();
    auto& repaints = countRepaints (editor);

    // Break the applied colours on purpose: a settled tick must not write them back.
    const auto marker = juce::Colours::orange;
    editor.editorLookAndFeel.accentColour = marker;
    editor.mixKnob.caption.setColour (juce::Label::textColourId, marker);
    repaints.wholeRepaints = repaints.partRepaints = 0;

    for (int tick = 0; tick < 10; ++tick)
        editor.timerCallback();
    EXPECT_EQ (repaints.total(), 0);
    EXPECT_EQ (editor.editorLookAndFeel.accentColour, marker);
    EXPECT_EQ (editor.mixKnob.caption.findColour (juce::Label::textColourId), marker);

    // Selecting the character that is already current changes nothing either.
    setCharacter (processor, editor.characterIndex);
    editor.timerCallback();
    EXPECT_EQ (repaints.total(), 0);
}

TEST (EditorPalette, EveryChangeBetweenTwoRowsMovesOnElevenToTwentyOneTicks)
{
    QuolbaneProcessor processor;
    QuolbaneEditor editor (processor);
    editor.stopTimer();

    for (int from = 0; from < numCharacters; ++from)
        for (int to = 0; to < numCharacters; ++to)
        {
            if (from == to)
                continue;
            SCOPED_TRACE (juce::String (characterTable[(size_t) from].name) + " -> " +
                          characterTable[(size_t) to].name);
            // Start from the exact colours of the first row, as a freshly opened editor does.
            setCharacter (processor, from);
            editor.timerCallback();
            editor.currentBackground = editor.targetBackground;
            editor.currentAccent = editor.targetAccent;

            setCharacter (processor, to);
            const int moving = ticksUntilSettled (editor);
            EXPECT_GE (moving, 11);
            EXPECT_LE (moving, 21);
            expectRestingNear (editor.currentBackground, juce::Colour (characterTable[(size_t) to].background));
            expectRestingNear (editor.currentAccent, juce::Colour (characterTable[(size_t) to].accent));
        }
}

TEST (EditorPalette, AFadeAcrossTheWholeScaleMovesOnTwentyThreeTicks)
{
    QuolbaneProcessor processor;
    QuolbaneEditor editor (processor);
    editor.stopTimer();
    // Rising from black to white and falling from white to black, with the index unchanged.
    editor.currentBackground = juce::Colours::black;
    editor.targetBackground = juce::Colours::white;
    editor.currentAccent = juce::Colours::white;
    editor.targetAccent = juce::Colours::black;

    EXPECT_EQ (ticksUntilSettled (editor), 23);
    EXPECT_EQ (editor.currentBackground.getARGB(), 0xfffafafau); // rests 5 below white
    EXPECT_EQ (editor.currentAccent.getARGB(), 0xff000000u);     // falling lands exactly
}

TEST (EditorPalette, ANewCharacterDuringAFadeTurnsItFromWhereItIs)
{
    QuolbaneProcessor processor;
    setCharacter (processor, indexOf ("Foil"));
    QuolbaneEditor editor (processor);
    editor.stopTimer();

    setCharacter (processor, indexOf ("Void"));
    for (int i = 0; i < 3; ++i)
        editor.timerCallback();
    const auto reached = shown (editor);

    setCharacter (processor, indexOf ("Coil"));
    editor.timerCallback();
    EXPECT_EQ (editor.characterIndex, indexOf ("Coil"));
    EXPECT_EQ (editor.targetAccent.getARGB(), characterTable[(size_t) indexOf ("Coil")].accent);
    // One step from the reached colours, not from the old or new row's colours.
    EXPECT_EQ (editor.currentAccent, reached.accent.interpolatedWith (editor.targetAccent, 0.18f));
    EXPECT_EQ (editor.currentBackground, reached.background.interpolatedWith (editor.targetBackground, 0.18f));
}

TEST (EditorPalette, ANewCharacterRepaintsItsNameEvenWhenNoColourMoves)
{
    QuolbaneProcessor processor;
    QuolbaneEditor editor (processor);
    editor.stopTimer();
    auto& repaints = countRepaints (editor);

    // Colours already at the next character's: its fade step moves nothing.
    const int next = indexOf ("Bloom");
    editor.currentBackground = juce::Colour (characterTable[(size_t) next].background);
    editor.currentAccent = juce::Colour (characterTable[(size_t) next].accent);
    setCharacter (processor, next);
    editor.timerCallback();

    EXPECT_EQ (editor.characterIndex, next);
    EXPECT_EQ (repaints.wholeRepaints, 1);
}

TEST (EditorPalette, MenuColoursNeverFollowTheCharacter)
{
    QuolbaneProcessor processor;
    QuolbaneEditor editor (processor);
    editor.stopTimer();

    for (int index = 0; index < numCharacters; ++index)
    {
        setCharacter (processor, index);
        for (int tick = 0; tick < 25; ++tick)
            editor.timerCallback();
        const auto& lf = editor.editorLookAndFeel;
        EXPECT_EQ (lf.findColour (juce::PopupMenu::backgroundColourId).getARGB(), 0xfffafafau);
        EXPECT_EQ (lf.findColour (juce::PopupMenu::textColourId).getARGB(), 0xff2b2b2bu);
        EXPECT_EQ (lf.findColour (juce::PopupMenu::highlightedTextColourId).getARGB(), 0xff2b2b2bu);
        EXPECT_EQ (lf.findColour (juce::PopupMenu::highlightedBackgroundColourId).getARGB(), 0x2e5b82aeu);
        EXPECT_EQ (lf.findColour (juce::Slider::textBoxTextColourId).getARGB(), 0xff2b2b2bu);
    }
}
