#include "EditorTestSupport.h"
#include "editor/PaintHelpers.h"

using namespace editortest;

TEST (LetterSpaced, PutsOneSpaceBetweenNeighbouringCodePoints)
{
    const struct
    {
        const char* text;
        const char* spaced;
        int length;
    } cases[] = {
        { "QUOLBANE", "Q U O L B A N E", 15 },
        { "QUOLBANE AUDIO", "Q U O L B A N E   A U D I O", 27 },
        { "", "", 0 },
        { "X", "X", 1 },
    };
    for (const auto& c : cases)
    {
        const auto result = letterSpaced (c.text);
        EXPECT_EQ (result, juce::String (c.spaced)) << c.text;
        EXPECT_EQ (result.length(), c.length) << c.text;
    }
    // Code points, not bytes: a two-byte character stays one.
    const auto umlaut = letterSpaced (juce::String (juce::CharPointer_UTF8 ("\xc3\x84"
                                                                            "B")));
    EXPECT_EQ (umlaut.length(), 3);
    EXPECT_EQ (umlaut[0], (juce::juce_wchar) 0xc4);
}

TEST (ChevronPath, ArrowheadsOfTheSelectorBoxesAt640x470)
{
    const struct
    {
        juce::Rectangle<int> box;
        bool pointsLeft;
        juce::Point<float> points[3];
    } cases[] = {
        { { 24, 44, 44, 72 }, true, { { 53.04f, 69.92f }, { 38.96f, 80.0f }, { 53.04f, 90.08f } } },
        { { 572, 44, 44, 72 }, false, { { 586.96f, 69.92f }, { 601.04f, 80.0f }, { 586.96f, 90.08f } } },
    };
    for (const auto& c : cases)
    {
        const auto path = chevronPath (c.box, c.pointsLeft);
        juce::Path::Iterator it (path);
        std::vector<std::pair<int, juce::Point<float>>> elements;
        while (it.next())
            elements.push_back ({ (int) it.elementType, { it.x1, it.y1 } });

        // Open path: a start and two lines, no closing segment.
        ASSERT_EQ (elements.size(), 3u);
        EXPECT_EQ (elements[0].first, (int) juce::Path::Iterator::startNewSubPath);
        for (int i = 0; i < 3; ++i)
        {
            if (i > 0)
            {
                EXPECT_EQ (elements[(size_t) i].first, (int) juce::Path::Iterator::lineTo);
            }
            EXPECT_NEAR (elements[(size_t) i].second.x, c.points[i].x, 1.0e-3f);
            EXPECT_NEAR (elements[(size_t) i].second.y, c.points[i].y, 1.0e-3f);
        }
    }
}

namespace
{
struct PaintFixture : ::testing::Test
{
    PaintFixture() { editor->stopTimer(); }

    QuolbaneProcessor processor;
    std::unique_ptr<QuolbaneEditor> editor = std::make_unique<QuolbaneEditor> (processor);
};
}

using EditorPainting = PaintFixture;

TEST_F (EditorPainting, BackgroundHeadersTitleAndChevronsAppearWhereTheyBelong)
{
    const auto image = snapshot (*editor);
    const auto bg = editor->currentBackground;
    ASSERT_EQ (bg.getARGB(), characterTable[2].background); // a new processor is at "Hall"

    for (auto p : { juce::Point<int> (0, 0), juce::Point<int> (639, 0), juce::Point<int> (0, 469),
                    juce::Point<int> (639, 469), juce::Point<int> (320, 140) })
        EXPECT_EQ (image.getPixelAt (p.x, p.y), bg) << p.toString();

    // Left header hugs the left margin, right header the right one; nothing between them.
    const auto left = inkBounds (image, { 24, 20, 240, 16 }, bg);
    ASSERT_FALSE (left.isEmpty());
    EXPECT_LE (left.getX(), 27);
    const auto right = inkBounds (image, { 376, 20, 240, 16 }, bg);
    ASSERT_FALSE (right.isEmpty());
    EXPECT_GE (right.getRight(), 612);
    EXPECT_GT (right.getX(), 400);
    EXPECT_EQ (countDiffering (image, { 264, 18, 112, 20 }, bg), 0);
    EXPECT_EQ (countDiffering (image, { 0, 0, 640, 18 }, bg), 0);

    // The title sits centred in the character box, in the accent.
    const auto title = inkBounds (image, editor->characterBox, bg);
    ASSERT_FALSE (title.isEmpty());
    EXPECT_NEAR (title.getCentreX(), editor->characterBox.getCentreX(), 3);
    EXPECT_NEAR (title.getCentreY(), editor->characterBox.getCentreY(), 6);
    bool accentFound = false;
    for (int y = title.getY(); y < title.getBottom() && !accentFound; ++y)
        for (int x = title.getX(); x < title.getRight() && !accentFound; ++x)
            accentFound = image.getPixelAt (x, y) == editor->currentAccent;
    EXPECT_TRUE (accentFound);

    // Chevron tips drawn, box centres empty.
    const auto ink = inkFor (editor->currentAccent);
    for (auto tip : { juce::Point<int> (39, 80), juce::Point<int> (600, 80) })
        EXPECT_GT (channelDistance (image.getPixelAt (tip.x, tip.y), bg), 10) << tip.toString();
    EXPECT_EQ (image.getPixelAt (46, 80), bg);
    EXPECT_EQ (image.getPixelAt (594, 80), bg);
    EXPECT_LT (channelDistance (image.getPixelAt (45, 75), bg.overlaidWith (ink.withAlpha (0.35f))), 40);
}

TEST_F (EditorPainting, DividerIsOnePixelHighAtY130From24To616)
{
    const auto image = snapshot (*editor);
    const auto bg = editor->currentBackground;
    const auto line = bg.overlaidWith (inkFor (editor->currentAccent).withAlpha (0.12f));
    ASSERT_GT (channelDistance (line, bg), 1);

    for (int x = 24; x < 616; ++x)
        ASSERT_LE (channelDistance (image.getPixelAt (x, 130), line), 1) << x;
    for (int x : { 0, 23, 616, 639 })
        EXPECT_EQ (image.getPixelAt (x, 130), bg) << x;
    for (int x : { 24, 300, 615 })
    {
        EXPECT_EQ (image.getPixelAt (x, 129), bg) << x;
        EXPECT_EQ (image.getPixelAt (x, 131), bg) << x;
    }
}

TEST_F (EditorPainting, NarrowWindowsDrawNoDivider)
{
    const struct
    {
        int width;
        int dividerPixels;
    } cases[] = { { 48, 0 }, { 40, 0 }, { 49, 1 }, { 60, 12 } };
    for (const auto& c : cases)
    {
        editor->setSize (c.width, 470);
        const auto image = snapshot (*editor);
        EXPECT_EQ (countDiffering (image, { 0, 130, c.width, 1 }, editor->currentBackground, 0), c.dividerPixels)
            << c.width;
    }
}

TEST_F (EditorPainting, TitleShowsTheFirstRowBeforeAnyPoll)
{
    auto titleArea = [this]
    {
        const auto image = snapshot (*editor);
        return image.getClippedImage (editor->characterBox).createCopy();
    };
    auto same = [] (const juce::Image& a, const juce::Image& b)
    {
        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
                if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                    return false;
        return true;
    };

    const auto hall = titleArea();
    editor->characterIndex = 0;
    const auto foil = titleArea();
    editor->characterIndex = -1;
    const auto none = titleArea();

    EXPECT_TRUE (same (none, foil));
    EXPECT_FALSE (same (hall, foil));
}
