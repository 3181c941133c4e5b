#include "EditorTestSupport.h"

using namespace editortest;

namespace
{
struct EditorFixture : ::testing::Test
{
    QuolbaneProcessor processor;
    std::unique_ptr<QuolbaneEditor> editor = std::make_unique<QuolbaneEditor> (processor);
};

const char* const parameterIds[] = { "mix",        "size",  "decay",  "predelay", "damping",
                                     "modulation", "width", "lowcut", "highcut" };
const char* const captions[] = { "MIX",        "SIZE",  "DECAY",   "PRE-DELAY", "DAMPING",
                                 "MODULATION", "WIDTH", "LOW CUT", "HIGH CUT" };
}

using EditorLayout = EditorFixture;

TEST_F (EditorLayout, WorkedExampleAt640x470IsInPlaceRightAfterConstruction)
{
    EXPECT_EQ (editor->getWidth(), 640);
    EXPECT_EQ (editor->getHeight(), 470);
    EXPECT_FALSE (editor->isResizable());
    EXPECT_EQ (editor->prevArrowBox, juce::Rectangle<int> (24, 44, 44, 72));
    EXPECT_EQ (editor->nextArrowBox, juce::Rectangle<int> (572, 44, 44, 72));
    EXPECT_EQ (editor->characterBox, juce::Rectangle<int> (68, 44, 504, 72));

    const int xs[] = { 30, 227, 424 };
    const int ys[] = { 152, 252, 352 };
    for (int i = 0; i < 9; ++i)
    {
        SCOPED_TRACE (captions[i]);
        const auto& knob = *editor->knobs[(size_t) i];
        EXPECT_EQ (knob.slider.getBounds(), juce::Rectangle<int> (xs[i % 3], ys[i / 3], 185, 82));
        EXPECT_EQ (knob.caption.getBounds(), juce::Rectangle<int> (xs[i % 3], ys[i / 3] + 82, 185, 14));
        EXPECT_EQ (knob.caption.getText(), captions[i]);
        EXPECT_EQ (knob.caption.getJustificationType(), juce::Justification (juce::Justification::centred));
        EXPECT_EQ (knob.slider.getSliderStyle(), juce::Slider::RotaryHorizontalVerticalDrag);
        EXPECT_EQ (knob.slider.getTextBoxPosition(), juce::Slider::TextBoxBelow);
        EXPECT_EQ (knob.slider.getTextBoxWidth(), 78);
        EXPECT_EQ (knob.slider.getTextBoxHeight(), 18);
        EXPECT_TRUE (knob.slider.isTextBoxEditable());
        EXPECT_EQ (&knob.slider.getLookAndFeel(), &editor->editorLookAndFeel);
        EXPECT_NE (&knob.caption.getLookAndFeel(), &editor->editorLookAndFeel);
    }

    // Children in order of addition: slider, caption, slider, caption, ...
    ASSERT_EQ (editor->getNumChildComponents(), 18);
    for (int i = 0; i < 9; ++i)
    {
        EXPECT_EQ (editor->getChildComponent (2 * i), &editor->knobs[(size_t) i]->slider);
        EXPECT_EQ (editor->getChildComponent (2 * i + 1), &editor->knobs[(size_t) i]->caption);
    }
}

TEST_F (EditorLayout, SmallSizesCollapseToTheMarginsWithoutNegativeSizes)
{
    for (auto size : { juce::Point<int> (48, 40), juce::Point<int> (30, 25), juce::Point<int> (0, 0) })
    {
        SCOPED_TRACE (size.toString());
        editor->setSize (size.x, size.y);
        for (auto* box : { &editor->prevArrowBox, &editor->nextArrowBox, &editor->characterBox })
            EXPECT_EQ (*box, juce::Rectangle<int> (24, 20, 0, 0));
        for (auto* knob : editor->knobs)
        {
            EXPECT_EQ (knob->slider.getBounds(), juce::Rectangle<int> (30, 22, 0, 0));
            EXPECT_EQ (knob->caption.getBounds(), juce::Rectangle<int> (30, 22, 0, 0));
        }
    }
}

TEST_F (EditorLayout, LowGridAreasGiveTheirHeightToTheCaptionsFirst)
{
    // Grid area height = H - 170; cellH = that / 3; the reduced cell loses 4.
    const struct
    {
        int height;
        int cellH;
        int captionH;
    } cases[] = {
        { 184, 4, 0 },   // grid area 14 high: reduced cells of height 0
        { 170, 0, 0 },   // no grid area at all
        { 200, 10, 6 },  // a reduced cell lower than 14 goes wholly to the caption
        { 224, 18, 14 }, // exactly one caption strip, no knob
        { 230, 20, 14 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.height);
        editor->setSize (640, c.height);
        const int reducedH = juce::jmax (0, c.cellH - 4);
        for (int i = 0; i < 9; ++i)
        {
            const auto& knob = *editor->knobs[(size_t) i];
            const int x = 30 + 197 * (i % 3);
            const int cellTop = 150 + c.cellH * (i / 3) + 2;
            EXPECT_EQ (knob.caption.getBounds(),
                       juce::Rectangle<int> (x, cellTop + reducedH - c.captionH, 185, c.captionH));
            EXPECT_EQ (knob.slider.getBounds(), juce::Rectangle<int> (x, cellTop, 185, reducedH - c.captionH));
        }
    }
}

TEST_F (EditorLayout, NoSizeEverGivesANegativeRectangle)
{
    for (int w = 0; w <= 700; w += 7)
        for (int h = 0; h <= 500; h += 11)
        {
            editor->setSize (w, h);
            for (auto* box : { &editor->prevArrowBox, &editor->nextArrowBox, &editor->characterBox })
                ASSERT_FALSE (box->getWidth() < 0 || box->getHeight() < 0) << w << "x" << h;
            for (int i = 0; i < editor->getNumChildComponents(); ++i)
            {
                const auto b = editor->getChildComponent (i)->getBounds();
                ASSERT_FALSE (b.getWidth() < 0 || b.getHeight() < 0) << w << "x" << h;
            }
        }
}

TEST_F (EditorLayout, EveryKnobTakesItsParametersRangeAndMovesOnlyThatParameter)
{
    for (int i = 0; i < 9; ++i)
    {
        SCOPED_TRACE (parameterIds[i]);
        auto& slider = editor->knobs[(size_t) i]->slider;
        auto& p = parameter (processor, parameterIds[i]);
        const auto range = p.getNormalisableRange();

        EXPECT_DOUBLE_EQ (slider.getMinimum(), range.start);
        EXPECT_DOUBLE_EQ (slider.getMaximum(), range.end);
        EXPECT_DOUBLE_EQ (slider.getInterval(), range.interval);
        EXPECT_DOUBLE_EQ (slider.getSkewFactor(), range.skew);
        EXPECT_NEAR (slider.getDoubleClickReturnValue(), p.convertFrom0to1 (p.getDefaultValue()), 1.0e-4);
        EXPECT_NEAR (slider.getValue(), p.convertFrom0to1 (p.getValue()), 1.0e-4);
    }

    // Turning one knob changes its parameter and no other.
    for (int i = 0; i < 9; ++i)
    {
        std::vector<float> before;
        for (auto* p : processor.getParameters())
            before.push_back (p->getValue());

        auto& slider = editor->knobs[(size_t) i]->slider;
        auto& p = parameter (processor, parameterIds[i]);
        const double target = slider.getMinimum() + 0.3 * (slider.getMaximum() - slider.getMinimum());
        slider.setValue (target, juce::sendNotificationSync);
        EXPECT_NEAR (p.convertFrom0to1 (p.getValue()), slider.getValue(), 1.0e-3 * slider.getMaximum());

        const auto& all = processor.getParameters();
        for (int j = 0; j < all.size(); ++j)
        {
            if (all[j] != &p)
            {
                EXPECT_EQ (all[j]->getValue(), before[(size_t) j]) << parameterIds[i] << " moved " << j;
            }
        }
    }
}

TEST_F (EditorLayout, ReleasesOverACaptionReachTheEditorItself)
{
    editor->setVisible (true);
    for (auto* knob : editor->knobs)
    {
        bool self = true, children = true;
        knob->caption.getInterceptsMouseClicks (self, children);
        EXPECT_FALSE (self);
        EXPECT_FALSE (children);
        const auto centre = knob->caption.getBounds().getCentre();
        EXPECT_EQ (editor->getComponentAt (centre), editor.get()) << knob->caption.getText();
        EXPECT_EQ (editor->getComponentAt (knob->slider.getBounds().getCentre()), &knob->slider);
    }
}

TEST (EditorValueBoxes, TextThatIsNotANumberAndNaNFromTheHostNeverReachTheKnobsOrTheSavedState)
{
    // "nan", "inf" and "-nan" typed into a value box read as 0, clamped to the range; a NaN from
    // the host shows, plays and saves as the parameter's default. Either way a fresh instance
    // given the saved state holds the same values and renders the same samples.
    const char* const inputs[] = { "nan", "inf", "-nan", nullptr }; // nullptr: the host sends NaN
    constexpr double rate = 48000.0;
    constexpr int blockSize = 256;

    for (const auto* typed : inputs)
        for (int i = 0; i < 9; ++i)
        {
            SCOPED_TRACE (juce::String (typed != nullptr ? juce::String ("typed ") + typed : "NaN from the host") +
                          " for " + parameterIds[i]);
            QuolbaneProcessor live;
            live.prepareToPlay (rate, blockSize);
            auto editor = std::make_unique<QuolbaneEditor> (live);
            editor->setVisible (true);
            auto& slider = editor->knobs[(size_t) i]->slider;
            auto& p = parameter (live, parameterIds[i]);
            const auto range = p.getNormalisableRange();

            juce::Label* valueBox = nullptr;
            for (auto* child : slider.getChildren())
                if (auto* label = dynamic_cast<juce::Label*> (child))
                    valueBox = label;
            ASSERT_NE (valueBox, nullptr);

            float shown = 0.0f;
            if (typed != nullptr)
            {
                valueBox->showEditor();
                auto* textEditor = valueBox->getCurrentTextEditor();
                ASSERT_NE (textEditor, nullptr);
                textEditor->setText (typed);
                valueBox->hideEditor (false);

                shown = range.snapToLegalValue (juce::jlimit (range.start, range.end, 0.0f));
                EXPECT_EQ (p.convertFrom0to1 (p.getValue()), shown);
            }
            else
            {
                p.setValueNotifyingHost (std::numeric_limits<float>::quiet_NaN());
                shown = p.convertFrom0to1 (p.getDefaultValue());
            }

            EXPECT_NEAR (slider.getValue(), shown, 1.0e-4);
            EXPECT_EQ (slider.getTextFromValue (slider.getValue()), p.getText (p.convertTo0to1 (shown), 0));
            EXPECT_EQ (valueBox->getText(), p.getText (p.convertTo0to1 (shown), 0));
            EXPECT_EQ (p.getText (p.getValue(), 0), p.getText (p.convertTo0to1 (shown), 0));
            const auto image = snapshot (*editor); // painted with numbers only
            EXPECT_GT (image.getWidth(), 0);

            juce::MemoryBlock state;
            live.getStateInformation (state);
            ASSERT_GT (state.getSize(), 9u);
            const auto text = juce::String::fromUTF8 ((const char*) state.getData() + 8, (int) state.getSize() - 9);
            EXPECT_TRUE (text.contains ("<PARAM id=\"mix\"") && !text.containsIgnoreCase ("nan")) << text;
            QuolbaneProcessor reloaded;
            reloaded.setStateInformation (state.getData(), (int) state.getSize());
            EXPECT_EQ (parameter (reloaded, parameterIds[i]).convertFrom0to1 (parameter (reloaded, parameterIds[i]).getValue()),
                       shown);

            reloaded.prepareToPlay (rate, blockSize);
            live.prepareToPlay (rate, blockSize);
            juce::Random random (7);
            juce::MidiBuffer midi;
            int differingBlocks = 0;
            for (int b = 0; b < 8; ++b)
            {
                juce::AudioBuffer<float> liveBlock (2, blockSize);
                for (int ch = 0; ch < 2; ++ch)
                    for (int n = 0; n < blockSize; ++n)
                        liveBlock.setSample (ch, n, random.nextFloat() - 0.5f);
                juce::AudioBuffer<float> reloadedBlock (liveBlock);
                live.processBlock (liveBlock, midi);
                reloaded.processBlock (reloadedBlock, midi);
                for (int ch = 0; ch < 2; ++ch)
                    if (std::memcmp (liveBlock.getReadPointer (ch), reloadedBlock.getReadPointer (ch),
                                     sizeof (float) * blockSize) != 0)
                        ++differingBlocks;
            }
            EXPECT_EQ (differingBlocks, 0);
        }
}
