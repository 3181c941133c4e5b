#include "EditorTestSupport.h"

using namespace editortest;

namespace
{
enum class Action
{
    none,
    previous,
    next,
    menu
};

// An editor on the (virtual) desktop, driven by mouse events through its window peer.
struct SelectorFixture : ::testing::Test
{
    SelectorFixture()
    {
        editor->stopTimer();
        editor->addToDesktop (0);
        editor->setTopLeftPosition (0, 0);
        editor->setVisible (true);
    }

    ~SelectorFixture() override { juce::PopupMenu::dismissAllActiveMenus(); }

    // Press at one point, move there pressed, release at another.
    void click (juce::Point<int> down, juce::Point<int> up,
                juce::ModifierKeys::Flags button = juce::ModifierKeys::leftButtonModifier)
    {
        auto* peer = editor->getPeer();
        ASSERT_NE (peer, nullptr);
        const auto type = juce::MouseInputSource::InputSourceType::mouse;
        const float pressure = juce::MouseInputSource::defaultPressure;
        const float orientation = juce::MouseInputSource::defaultOrientation;
        time += 1000; // far apart, so no two clicks count as a double click
        peer->handleMouseEvent (type, down.toFloat(), juce::ModifierKeys (button), pressure, orientation, time);
        peer->handleMouseEvent (type, up.toFloat(), juce::ModifierKeys (button), pressure, orientation, time + 10);
        peer->handleMouseEvent (type, up.toFloat(), juce::ModifierKeys(), pressure, orientation, time + 20);
    }

    void release (juce::Point<int> at, juce::ModifierKeys::Flags button = juce::ModifierKeys::leftButtonModifier)
    {
        click (at, at, button);
    }

    void startAt (int index)
    {
        setCharacter (processor, index);
        editor->timerCallback();
        ASSERT_EQ (editor->characterIndex, index);
        recorder.events.clear();
    }

    std::vector<HostEvent> characterEvents() const
    {
        std::vector<HostEvent> result;
        for (const auto& e : recorder.events)
            if (e.parameterIndex == characterParameterIndex)
                result.push_back (e);
        return result;
    }

    QuolbaneProcessor processor;
    std::unique_ptr<QuolbaneEditor> editor = std::make_unique<QuolbaneEditor> (processor);
    HostRecorder recorder{ processor };
    const int characterParameterIndex = parameter (processor, "character").getParameterIndex();
    juce::int64 time = juce::Time::currentTimeMillis();
};

const juce::Point<int> prevCentre{ 46, 80 }, nextCentre{ 594, 80 }, nameCentre{ 320, 80 };
}

using CharacterSelector = SelectorFixture;

TEST_F (CharacterSelector, ChevronsStepWithWrapAroundInOneGesture)
{
    const struct
    {
        const char* from;
        juce::Point<int> at;
        float normalised;
    } cases[] = {
        { "Foil", prevCentre, 1.0f },        // -> Void
        { "Void", nextCentre, 0.0f },        // -> Foil
        { "Hall", nextCentre, 3.0f / 9.0f }, // -> Basilica
        { "Hall", prevCentre, 1.0f / 9.0f }, // -> Chamber
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.from);
        startAt (indexOf (c.from));
        release (c.at);
        expectGestures (recorder.events, characterParameterIndex, c.normalised);
        // The editor's cached index waits for the next tick.
        EXPECT_EQ (editor->characterIndex, indexOf (c.from));
        editor->timerCallback();
        EXPECT_EQ (editor->characterIndex, juce::roundToInt (c.normalised * 9.0f));
    }
}

TEST_F (CharacterSelector, EveryMouseButtonActsAlike)
{
    for (auto button : { juce::ModifierKeys::leftButtonModifier, juce::ModifierKeys::rightButtonModifier,
                         juce::ModifierKeys::middleButtonModifier })
    {
        startAt (indexOf ("Hall"));
        release (nextCentre, button);
        expectGestures (recorder.events, characterParameterIndex, 3.0f / 9.0f);
    }
}

TEST_F (CharacterSelector, OnlyTheReleasePointDecidesAndTheBoxesEndAtTheirEdges)
{
    const struct
    {
        juce::Point<int> at;
        Action action;
    } cases[] = {
        { { 24, 44 }, Action::previous }, { { 67, 115 }, Action::previous }, { { 68, 44 }, Action::menu },
        { { 571, 115 }, Action::menu },   { { 572, 44 }, Action::next },     { { 615, 115 }, Action::next },
        { { 616, 80 }, Action::none },    { { 23, 80 }, Action::none },      { { 46, 116 }, Action::none },
        { { 46, 43 }, Action::none },     { { 100, 30 }, Action::none },     { { 320, 140 }, Action::none },
        { { 122, 241 }, Action::none }, // a caption: the editor gets it, but no box is there
        { { 639, 469 }, Action::none },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.at.toString());
        startAt (indexOf ("Hall"));
        release (c.at);
        const bool menuOpened = juce::PopupMenu::dismissAllActiveMenus();
        pumpMessages (50); // a dismissed menu goes asynchronously
        EXPECT_EQ (menuOpened, c.action == Action::menu);
        if (c.action == Action::previous)
            expectGestures (recorder.events, characterParameterIndex, 1.0f / 9.0f);
        else if (c.action == Action::next)
            expectGestures (recorder.events, characterParameterIndex, 3.0f / 9.0f);
        else
            EXPECT_TRUE (recorder.events.empty());
    }
}

TEST_F (CharacterSelector, APressElsewhereThenAReleaseOnAChevronSteps)
{
    startAt (indexOf ("Hall"));
    // A press alone on the chevron does nothing; the release in the header decides: nothing.
    click (nextCentre, { 100, 30 });
    EXPECT_TRUE (recorder.events.empty());

    // A press in the header and a release on the chevron steps.
    click ({ 100, 30 }, nextCentre);
    expectGestures (recorder.events, characterParameterIndex, 3.0f / 9.0f);

    // A press on a knob belongs to the knob, wherever it is released.
    startAt (indexOf ("Hall"));
    click (editor->mixKnob.slider.getBounds().getCentre(), nextCentre);
    EXPECT_TRUE (characterEvents().empty());
    EXPECT_EQ (processor.getCharacterIndex(), indexOf ("Hall"));
}

TEST_F (CharacterSelector, TwoReleasesBeforeATickAdvanceByOne)
{
    startAt (indexOf ("Hall"));
    release (nextCentre);
    release (nextCentre);
    expectGestures (recorder.events, characterParameterIndex, 3.0f / 9.0f, 2);
    editor->timerCallback();
    EXPECT_EQ (editor->characterIndex, indexOf ("Basilica"));
}

TEST_F (CharacterSelector, MenuListsTheTenCharactersWithTheCurrentOneTicked)
{
    for (int current : { 0, 2, 9 })
    {
        startAt (current);
        const auto menu = editor->createCharacterMenu();
        EXPECT_EQ (menu.getNumItems(), numCharacters);

        int count = 0, ticked = 0;
        for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
        {
            const auto& item = it.getItem();
            EXPECT_EQ (item.itemID, count + 1);
            EXPECT_EQ (item.text, juce::String (characterTable[(size_t) count].name));
            EXPECT_TRUE (item.isEnabled);
            EXPECT_EQ (item.isTicked, count == current);
            ticked += item.isTicked ? 1 : 0;
            ++count;
        }
        EXPECT_EQ (count, 10);
        EXPECT_EQ (ticked, 1);
    }
    const char* names[] = { "Foil", "Chamber", "Hall", "Basilica", "Room", "Coil", "Gate", "Bloom", "Halo", "Void" };
    for (int i = 0; i < numCharacters; ++i)
        EXPECT_STREQ (characterTable[(size_t) i].name, names[i]);
}

TEST_F (CharacterSelector, MenuOpensAtTheNameWithTheEditorsLookAndFeel)
{
    startAt (indexOf ("Gate"));
    juce::Array<juce::Component*> before;
    for (int i = 0; i < juce::Desktop::getInstance().getNumComponents(); ++i)
        before.add (juce::Desktop::getInstance().getComponent (i));

    release (nameCentre);

    juce::Component* menuWindow = nullptr;
    for (int i = 0; i < juce::Desktop::getInstance().getNumComponents(); ++i)
        if (!before.contains (juce::Desktop::getInstance().getComponent (i)))
            menuWindow = juce::Desktop::getInstance().getComponent (i);
    ASSERT_NE (menuWindow, nullptr);
    EXPECT_EQ (&menuWindow->getLookAndFeel(), &editor->editorLookAndFeel);

    // Placed against the character name's area: beside it horizontally, touching it above or below.
    const auto target = editor->localAreaToGlobal (editor->characterBox);
    const auto placed = menuWindow->getScreenBounds();
    EXPECT_TRUE (placed.getX() >= target.getX() - 10 && placed.getX() <= target.getRight()) << placed.toString();
    EXPECT_TRUE (std::abs (placed.getY() - target.getBottom()) <= 10 ||
                 std::abs (placed.getBottom() - target.getY()) <= 10)
        << placed.toString() << " target " << target.toString();

    // The menu keeps the fixed colours while the palette is Gate's.
    const auto picture = menuWindow->createComponentSnapshot (menuWindow->getLocalBounds());
    EXPECT_EQ (picture.getPixelAt (picture.getWidth() / 2, 2).getARGB() | 0xff000000u, 0xfffafafau);

    // Dismissing sends nothing.
    EXPECT_TRUE (juce::PopupMenu::dismissAllActiveMenus());
    pumpMessages (200);
    EXPECT_TRUE (recorder.events.empty());
}

TEST_F (CharacterSelector, MenuChoicesSendOneGestureAndDismissalSendsNothing)
{
    startAt (indexOf ("Hall"));
    for (int result : { 0, -1 })
    {
        editor->characterMenuCallback (result);
        editor->characterMenuCompletion() (result);
    }
    EXPECT_TRUE (recorder.events.empty());

    // Choosing the ticked item still sends a gesture with the unchanged value.
    editor->characterMenuCallback (indexOf ("Hall") + 1);
    expectGestures (recorder.events, characterParameterIndex, 2.0f / 9.0f);

    recorder.events.clear();
    editor->characterMenuCompletion() (10);
    expectGestures (recorder.events, characterParameterIndex, 1.0f);
}

TEST_F (CharacterSelector, AChoiceArrivingAfterTheEditorIsGoneIsIgnored)
{
    startAt (indexOf ("Hall"));
    auto completion = editor->characterMenuCompletion();
    editor.reset();

    completion (4);
    completion (0);
    EXPECT_TRUE (recorder.events.empty());
    EXPECT_EQ (processor.getCharacterIndex(), indexOf ("Hall"));
}

TEST_F (CharacterSelector, AMenuLeftOpenWhenTheEditorIsDestroyedEndsHarmlessly)
{
    startAt (indexOf ("Hall"));
    release (nameCentre);
    editor.reset();
    pumpMessages (100);
    juce::PopupMenu::dismissAllActiveMenus();
    pumpMessages (200);
    EXPECT_TRUE (recorder.events.empty());
    EXPECT_EQ (processor.getCharacterIndex(), indexOf ("Hall"));
}
