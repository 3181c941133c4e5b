#pragma once

#include "editor/QuolbaneEditor.h"
#include "engine/CharacterPreset.h"
#include "processor/QuolbaneProcessor.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace juce
{
// JUCE's own dispatch step for the Linux message queue (its plug-in wrapper declares it the same way).
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

namespace editortest
{
// Delivers pending messages (async callbacks, timers, window events) for about the given time.
inline void pumpMessages (int milliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;
    while (juce::Time::getMillisecondCounter() < end)
        if (!juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
}

inline juce::RangedAudioParameter& parameter (QuolbaneProcessor& processor, const juce::String& id)
{
    auto* p = processor.valueTreeState.getParameter (id);
    EXPECT_NE (p, nullptr) << id;
    return *p;
}

inline void setCharacter (QuolbaneProcessor& processor, int index)
{
    auto& p = parameter (processor, "character");
    p.setValueNotifyingHost (p.convertTo0to1 ((float) index));
}

inline int indexOf (const char* name)
{
    for (int i = 0; i < numCharacters; ++i)
        if (juce::String (characterTable[(size_t) i].name) == name)
            return i;
    ADD_FAILURE() << "no character " << name;
    return 0;
}

inline juce::Image snapshot (juce::Component& c)
{
    return c.createComponentSnapshot (c.getLocalBounds(), true, 1.0f);
}

inline int channelDistance (juce::Colour a, juce::Colour b)
{
    return juce::jmax (std::abs (a.getRed() - b.getRed()), std::abs (a.getGreen() - b.getGreen()),
                       std::abs (a.getBlue() - b.getBlue()));
}

// Number of pixels in the area whose colour differs from the reference by more than the tolerance.
inline int countDiffering (const juce::Image& image, juce::Rectangle<int> area, juce::Colour reference,
                           int tolerance = 8)
{
    int n = 0;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (channelDistance (image.getPixelAt (x, y), reference) > tolerance)
                ++n;
    return n;
}

// The smallest rectangle holding every pixel of the area that differs from the reference.
inline juce::Rectangle<int> inkBounds (const juce::Image& image, juce::Rectangle<int> area, juce::Colour reference,
                                       int tolerance = 8)
{
    int left = area.getRight(), right = area.getX(), top = area.getBottom(), bottom = area.getY();
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (channelDistance (image.getPixelAt (x, y), reference) > tolerance)
            {
                left = juce::jmin (left, x);
                right = juce::jmax (right, x + 1);
                top = juce::jmin (top, y);
                bottom = juce::jmax (bottom, y + 1);
            }
    return right > left ? juce::Rectangle<int> (left, top, right - left, bottom - top) : juce::Rectangle<int>();
}

// What a host would see of the processor's parameter traffic.
struct HostEvent
{
    enum Kind
    {
        begin,
        value,
        end
    };
    Kind kind;
    int parameterIndex;
    float newValue;
};

struct HostRecorder : juce::AudioProcessorListener
{
    explicit HostRecorder (juce::AudioProcessor& p) : processor (p) { processor.addListener (this); }
    ~HostRecorder() override { processor.removeListener (this); }

    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float newValue) override
    {
        events.push_back ({ HostEvent::value, index, newValue });
    }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int index) override
    {
        events.push_back ({ HostEvent::begin, index, 0.0f });
    }
    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int index) override
    {
        events.push_back ({ HostEvent::end, index, 0.0f });
    }

    juce::AudioProcessor& processor;
    std::vector<HostEvent> events;
};

// Checks that the events are exactly the given number of begin/value/end triples on one parameter.
inline void expectGestures (const std::vector<HostEvent>& events, int parameterIndex, float normalised, int count = 1)
{
    ASSERT_EQ (events.size(), (size_t) (3 * count));
    for (int g = 0; g < count; ++g)
    {
        const auto* e = &events[(size_t) (3 * g)];
        EXPECT_EQ (e[0].kind, HostEvent::begin);
        EXPECT_EQ (e[1].kind, HostEvent::value);
        EXPECT_EQ (e[2].kind, HostEvent::end);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ (e[k].parameterIndex, parameterIndex);
        EXPECT_NEAR (e[1].newValue, normalised, 1.0e-6f);
    }
}

// Counts the repaint requests that reach a component, through JUCE's cached-image hook.
struct RepaintCounter : juce::CachedComponentImage
{
    void paint (juce::Graphics&) override {}
    bool invalidateAll() override
    {
        ++wholeRepaints;
        return false;
    }
    bool invalidate (const juce::Rectangle<int>&) override
    {
        ++partRepaints;
        return false;
    }
    void releaseResources() override {}

    int total() const { return wholeRepaints + partRepaints; }

    int wholeRepaints = 0;
    int partRepaints = 0;
};

// Attaches a repaint counter to a component for its lifetime; the component owns the counter.
inline RepaintCounter& countRepaints (juce::Component& c)
{
    auto* counter = new RepaintCounter();
    c.setVisible (true);
    c.setCachedComponentImage (counter);
    counter->wholeRepaints = counter->partRepaints = 0; // installing it repaints once
    return *counter;
}
}
