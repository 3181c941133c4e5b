#include "EditorTestSupport.h"
#include "editor/FontHelpers.h"
#include "editor/KnobGeometry.h"

using namespace editortest;

namespace
{
constexpr float startAngle = juce::MathConstants<float>::pi * 1.2f;
constexpr float endAngle = juce::MathConstants<float>::pi * 2.8f;

struct GeometryCase
{
    int width, height;
    juce::Rectangle<float> bounds;
    juce::Point<float> centre;
    float radius, lineWidth, arcRadius, pointerInner, pointerThickness;
};
}

TEST (MinimalLookAndFeel, KnobGeometryForTheEditorsKnobAndASmallOne)
{
    const GeometryCase cases[] = {
        { 185, 64, { 4.0f, 4.0f, 177.0f, 56.0f }, { 92.5f, 32.0f }, 28.0f, 2.52f, 25.48f, 21.448f, 1.89f },
        // 16 x 0.09 is below the floor of 2.
        { 40, 40, { 4.0f, 4.0f, 32.0f, 32.0f }, { 20.0f, 20.0f }, 16.0f, 2.0f, 14.0f, 10.8f, 1.5f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.width) + "x" + juce::String (c.height));
        for (float position : { 0.0f, 0.5f, 1.0f })
        {
            const auto k = KnobGeometry::compute (0, 0, c.width, c.height, position, startAngle, endAngle);
            EXPECT_EQ (k.bounds, c.bounds);
            EXPECT_FLOAT_EQ (k.centre.x, c.centre.x);
            EXPECT_FLOAT_EQ (k.centre.y, c.centre.y);
            EXPECT_FLOAT_EQ (k.radius, c.radius);
            EXPECT_NEAR (k.lineWidth, c.lineWidth, 1.0e-5f);
            EXPECT_NEAR (k.arcRadius, c.arcRadius, 1.0e-5f);
            EXPECT_NEAR (k.pointerThickness, c.pointerThickness, 1.0e-5f);
            EXPECT_NEAR (k.pointerStart.getDistanceFrom (k.centre), c.pointerInner, 1.0e-4f);
            EXPECT_NEAR (k.pointerEnd.getDistanceFrom (k.centre), c.arcRadius, 1.0e-4f);

            // Angle 0 points up and grows clockwise: 0.5 is straight up, 0 and 1 the two ends of the scale.
            const float angle = startAngle + position * (endAngle - startAngle);
            EXPECT_NEAR (k.pointerEnd.x, c.centre.x + c.arcRadius * std::sin (angle), 1.0e-4f);
            EXPECT_NEAR (k.pointerEnd.y, c.centre.y - c.arcRadius * std::cos (angle), 1.0e-4f);
        }
        const auto up = KnobGeometry::compute (0, 0, c.width, c.height, 0.5f, startAngle, endAngle);
        EXPECT_NEAR (up.pointerEnd.x, c.centre.x, 1.0e-4f);
        EXPECT_NEAR (up.pointerEnd.y, c.centre.y - c.arcRadius, 1.0e-4f);
    }

    // The knob rectangle's origin only moves everything.
    const auto moved = KnobGeometry::compute (30, 152, 185, 64, 0.25f, startAngle, endAngle);
    EXPECT_EQ (moved.bounds, juce::Rectangle<float> (34.0f, 156.0f, 177.0f, 56.0f));
    // Bounds never turn negative.
    const auto tiny = KnobGeometry::compute (0, 0, 6, 3, 0.5f, startAngle, endAngle);
    EXPECT_EQ (tiny.bounds.getWidth(), 0.0f);
    EXPECT_EQ (tiny.bounds.getHeight(), 0.0f);
}

TEST (MinimalLookAndFeel, ValueArcStartsStrictlyAboveFiveTenThousandths)
{
    const struct
    {
        float position;
        bool arc;
    } cases[] = { { 0.0f, false }, { 0.0005f, false }, { 0.0006f, true }, { 1.0f, true } };
    for (const auto& c : cases)
        EXPECT_EQ (KnobGeometry::compute (0, 0, 185, 64, c.position, startAngle, endAngle).hasValueArc, c.arc)
            << c.position;
}

namespace
{
// Draws one 185 x 64 knob four times enlarged on white, so thin strokes cover whole pixels.
juce::Image drawKnob (MinimalLookAndFeel& lf, float position)
{
    constexpr float scale = 4.0f;
    juce::Image image (juce::Image::RGB, (int) (185 * scale), (int) (64 * scale), true);
    juce::Graphics g (image);
    g.fillAll (juce::Colours::white);
    g.addTransform (juce::AffineTransform::scale (scale));
    juce::Slider slider;
    lf.drawRotarySlider (g, 0, 0, 185, 64, position, startAngle, endAngle, slider);
    return image;
}

juce::Colour pixelAt (const juce::Image& image, juce::Point<float> p)
{
    return image.getPixelAt ((int) (p.x * 4.0f), (int) (p.y * 4.0f));
}
}

TEST (MinimalLookAndFeel, DrawsTrackValueArcAndPointerInTheirColours)
{
    MinimalLookAndFeel lf;
    lf.accentColour = juce::Colour (0xffd2543f);
    lf.inkColour = inkFor (lf.accentColour);

    const auto k = KnobGeometry::compute (0, 0, 185, 64, 0.0f, startAngle, endAngle);
    // Just outside the pointer's outer end, still inside the value arc's stroke at the start angle.
    const auto arcStart = k.centre.getPointOnCircumference (k.arcRadius + 0.6f, startAngle + 0.02f);
    // Half-way round the track, where only the full-scale value arc reaches.
    const auto arcMiddle = k.centre.getPointOnCircumference (k.arcRadius, juce::MathConstants<float>::twoPi);
    const auto track = juce::Colours::white.overlaidWith (lf.inkColour.withAlpha (0.14f));

    for (float position : { 0.0f, 0.0005f })
    {
        const auto image = drawKnob (lf, position);
        EXPECT_LE (channelDistance (pixelAt (image, arcStart), track), 12) << position;
        EXPECT_GT (channelDistance (pixelAt (image, arcStart), lf.accentColour), 60) << position;
        EXPECT_LE (channelDistance (pixelAt (image, arcMiddle), track), 12) << position;
    }

    const auto justAbove = drawKnob (lf, 0.0006f);
    EXPECT_LE (channelDistance (pixelAt (justAbove, arcStart), lf.accentColour), 12);
    EXPECT_LE (channelDistance (pixelAt (justAbove, arcMiddle), track), 12);

    const auto full = drawKnob (lf, 1.0f);
    EXPECT_LE (channelDistance (pixelAt (full, arcMiddle), lf.accentColour), 12);

    // The pointer is drawn in the accent's ink, whatever inkColour holds.
    lf.inkColour = juce::Colours::yellow;
    const auto half = drawKnob (lf, 0.5f);
    const auto pointerMiddle = k.centre.translated (0.0f, -(k.arcRadius - 0.8f * k.lineWidth));
    EXPECT_LE (channelDistance (pixelAt (half, pointerMiddle), inkFor (lf.accentColour)), 12);
    // Nothing is drawn at the centre: no thumb, no fill.
    EXPECT_EQ (pixelAt (half, k.centre), juce::Colours::white);
}

TEST (MinimalLookAndFeel, LabelFontIsPlainSansAtSeventyTwoPercentOfTheLabelHeight)
{
    MinimalLookAndFeel lf;
    const struct
    {
        int height;
        float fontHeight;
    } cases[] = { { 18, 12.96f }, { 20, 14.4f } };
    for (const auto& c : cases)
    {
        juce::Label label;
        label.setFont (juce::Font (30.0f, juce::Font::bold)); // the label's own font is ignored
        label.setSize (80, c.height);
        const auto font = lf.getLabelFont (label);
        EXPECT_NEAR (font.getHeight(), c.fontHeight, 1.0e-4f);
        EXPECT_EQ (font.getStyleFlags(), juce::Font::plain);
        EXPECT_EQ (font.getTypefaceName(), juce::Font::getDefaultSansSerifFontName());
    }
    EXPECT_EQ (plainSansFont (44.0f).getHeight(), 44.0f);
}

TEST (MinimalLookAndFeel, InkKeepsHueAndAlphaAtSaturationPointFourTwoAndBrightnessPointTwoOne)
{
    for (const auto& row : characterTable)
    {
        const juce::Colour accent (row.accent);
        const auto ink = inkFor (accent);
        SCOPED_TRACE (row.name);
        EXPECT_EQ (ink.getAlpha(), 255);
        const int hi = juce::jmax (ink.getRed(), ink.getGreen(), ink.getBlue());
        const int lo = juce::jmin (ink.getRed(), ink.getGreen(), ink.getBlue());
        EXPECT_NEAR (hi, 0.21 * 255.0, 1.0);        // brightness
        EXPECT_NEAR (lo, 0.21 * 255.0 * 0.58, 1.5); // saturation 0.42
        EXPECT_NEAR (ink.getHue(), accent.getHue(), 0.02f);
    }

    // The initial accent's ink, worked by hand: hue of (91, 130, 174), max 54, min 31.
    const auto ink = inkFor (juce::Colour (0xff5b82ae));
    EXPECT_EQ (ink.getBlue(), 54);
    EXPECT_EQ (ink.getRed(), 31);
    EXPECT_NEAR (ink.getGreen(), 42, 1);
    // Alpha passes through.
    EXPECT_EQ (inkFor (juce::Colour (0x805b82ae)).getAlpha(), 0x80);
}

TEST (MinimalLookAndFeel, StartsWithItsTwoColoursAndSevenFixedEntries)
{
    MinimalLookAndFeel lf;
    EXPECT_EQ (lf.accentColour.getARGB(), 0xff5b82aeu);
    EXPECT_EQ (lf.inkColour.getARGB(), 0xff2b2b2bu);

    const struct
    {
        int id;
        int expectedIdValue;
        juce::uint32 argb;
    } entries[] = {
        { juce::Slider::textBoxOutlineColourId, 0x1001700, 0x00000000u },
        { juce::Slider::textBoxTextColourId, 0x1001400, 0xff2b2b2bu },
        { juce::Slider::textBoxBackgroundColourId, 0x1001500, 0x00000000u },
        { juce::PopupMenu::backgroundColourId, 0x1000700, 0xfffafafau },
        { juce::PopupMenu::textColourId, 0x1000600, 0xff2b2b2bu },
        { juce::PopupMenu::highlightedBackgroundColourId, 0x1000900, 0x2e5b82aeu },
        { juce::PopupMenu::highlightedTextColourId, 0x1000800, 0xff2b2b2bu },
    };
    for (const auto& e : entries)
    {
        EXPECT_EQ (e.id, e.expectedIdValue);
        EXPECT_EQ (lf.findColour (e.id).getARGB(), e.argb) << std::hex << e.id;
    }

    // Everything else keeps the dark scheme of the base.
    juce::LookAndFeel_V4 base;
    EXPECT_EQ (lf.findColour (juce::Slider::thumbColourId), base.findColour (juce::Slider::thumbColourId));
    EXPECT_EQ (lf.findColour (juce::Label::textColourId), base.findColour (juce::Label::textColourId));
}

TEST (MinimalLookAndFeel, AlphaFloatsGiveRoundedHalfEvenBytes)
{
    const struct
    {
        float alpha;
        int byte;
    } cases[] = { { 0.14f, 36 }, { 0.18f, 46 }, { 0.45f, 115 }, { 0.3f, 76 },
                  { 0.12f, 31 }, { 0.35f, 89 }, { 0.75f, 191 }, { 0.55f, 140 } };
    for (const auto& c : cases)
        EXPECT_EQ (juce::Colour (0xff2b2b2b).withAlpha (c.alpha).getAlpha(), c.byte) << c.alpha;
}
