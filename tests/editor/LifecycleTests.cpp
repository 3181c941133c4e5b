#include "EditorTestSupport.h"

using namespace editortest;

namespace
{
std::vector<float> parameterValues (QuolbaneProcessor& processor)
{
    std::vector<float> values;
    for (auto* p : processor.getParameters())
        values.push_back (p->getValue());
    return values;
}
}

TEST (EditorLifecycle, TheProcessorCreatesTheEditorAt640x470)
{
    QuolbaneProcessor processor;
    std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditorIfNeeded());
    ASSERT_NE (dynamic_cast<QuolbaneEditor*> (editor.get()), nullptr);
    EXPECT_EQ (editor->getWidth(), 640);
    EXPECT_EQ (editor->getHeight(), 470);
    EXPECT_EQ (processor.getActiveEditor(), editor.get());
    editor.reset();
    EXPECT_EQ (processor.getActiveEditor(), nullptr);
}

TEST (EditorLifecycle, ReleasingTheLookAndFeelLeavesNoKnobOnIt)
{
    QuolbaneProcessor processor;
    QuolbaneEditor editor (processor);
    editor.releaseLookAndFeel();
    for (auto* knob : editor.knobs)
    {
        EXPECT_NE (&knob->slider.getLookAndFeel(), &editor.editorLookAndFeel);
        // The value box inside the slider follows its parent.
        for (auto* child : knob->slider.getChildren())
            EXPECT_NE (&child->getLookAndFeel(), &editor.editorLookAndFeel);
        EXPECT_NE (&knob->caption.getLookAndFeel(), &editor.editorLookAndFeel);
    }
}

TEST (EditorLifecycle, ClosingChangesNoParameterAndLeavesNoAttachmentBehind)
{
    QuolbaneProcessor processor;
    setCharacter (processor, indexOf ("Bloom"));
    parameter (processor, "decay").setValueNotifyingHost (0.7f);
    const auto before = parameterValues (processor);

    {
        QuolbaneEditor editor (processor);
        for (int tick = 0; tick < 30; ++tick)
            editor.timerCallback();
    }
    EXPECT_EQ (parameterValues (processor), before);

    // With the sliders gone, parameter changes (host automation) must find no attachment to call.
    HostRecorder recorder (processor);
    for (auto* p : processor.getParameters())
        p->setValueNotifyingHost (0.25f);
    pumpMessages (150);
    for (auto* p : processor.getParameters())
        EXPECT_NEAR (p->getValue(), 0.25f, 0.12f);
    EXPECT_EQ (recorder.events.size(), (size_t) processor.getParameters().size());

    // A new editor shows the changed values.
    QuolbaneEditor reopened (processor);
    auto& decay = parameter (processor, "decay");
    EXPECT_NEAR (reopened.decayKnob.slider.getValue(), decay.convertFrom0to1 (decay.getValue()), 1.0e-3);
}

TEST (EditorLifecycle, AReopenedEditorPollsAfresh)
{
    QuolbaneProcessor processor;
    setCharacter (processor, indexOf ("Hall"));
    auto first = std::make_unique<QuolbaneEditor> (processor);
    EXPECT_EQ (first->characterIndex, indexOf ("Hall"));
    first.reset();

    setCharacter (processor, indexOf ("Void"));
    QuolbaneEditor second (processor);
    // No fade from the earlier editor's colours: the new one starts from -1 and polls in its constructor.
    EXPECT_EQ (second.characterIndex, indexOf ("Void"));
    EXPECT_EQ (second.currentAccent.getARGB(), characterTable[(size_t) indexOf ("Void")].accent);
    EXPECT_EQ (second.currentBackground.getARGB(), characterTable[(size_t) indexOf ("Void")].background);
}

TEST (EditorLifecycle, TheLiveTimerFollowsTheCharacter)
{
    QuolbaneProcessor processor;
    QuolbaneEditor editor (processor);
    setCharacter (processor, indexOf ("Coil"));
    pumpMessages (1500); // about 45 ticks of 33 ms
    EXPECT_EQ (editor.characterIndex, indexOf ("Coil"));
    EXPECT_EQ (editor.targetAccent.getARGB(), characterTable[(size_t) indexOf ("Coil")].accent);
    EXPECT_LE (channelDistance (editor.currentAccent, editor.targetAccent), 5);
}

TEST (EditorPictures, WritesOnePngPerCharacter)
{
    const juce::File folder (QUOLBANE_EDITOR_PICTURE_DIR);
    ASSERT_TRUE (folder.createDirectory());

    for (int index = 0; index < numCharacters; ++index)
    {
        QuolbaneProcessor processor;
        setCharacter (processor, index);
        QuolbaneEditor editor (processor);
        editor.stopTimer();
        const auto image = snapshot (editor);

        const auto file = folder.getChildFile ("editor-" + juce::String (characterTable[(size_t) index].name) + ".png");
        file.deleteFile();
        juce::PNGImageFormat png;
        {
            juce::FileOutputStream out (file);
            ASSERT_TRUE (out.openedOk());
            ASSERT_TRUE (png.writeImageToStream (image, out));
        }
        const auto readBack = juce::ImageFileFormat::loadFrom (file);
        ASSERT_TRUE (readBack.isValid());
        EXPECT_EQ (readBack.getWidth(), 640);
        EXPECT_EQ (readBack.getHeight(), 470);
        EXPECT_EQ (readBack.getPixelAt (1, 1).getARGB(), characterTable[(size_t) index].background);

        // Every knob cell holds a drawn knob and a caption.
        for (auto* knob : editor.knobs)
        {
            EXPECT_GT (countDiffering (readBack, knob->slider.getBounds(), editor.currentBackground), 200);
            EXPECT_GT (countDiffering (readBack, knob->caption.getBounds(), editor.currentBackground), 10);
        }
    }
}
