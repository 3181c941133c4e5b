#include "processor/QuolbaneProcessor.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <X11/Xlib.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

// One thread processes blocks without pause, holding the callback lock like JUCE's VST3 wrapper,
// while the message thread automates every parameter, saves and restores the state and opens and
// closes the editor. Built with ThreadSanitizer it reports any race; in every build it checks
// that the output stays finite. Usage: ConcurrencyStress [seconds]
namespace
{
// Like a host, ignore X errors: a bare virtual display has no window manager, so some
// window-manager atoms that JUCE asks for do not exist.
int ignoreXError (Display*, XErrorEvent*)
{
    return 0;
}

class MessageThreadDriver : public juce::Timer
{
public:
    MessageThreadDriver (QuolbaneProcessor& p, double seconds, bool withEditor)
        : processor (p), endTime (juce::Time::getMillisecondCounterHiRes() + seconds * 1000.0), editor (withEditor)
    {
        startTimer (1);
    }

    void timerCallback() override
    {
        ++ticks;
        for (auto* parameter : processor.getParameters())
        {
            parameter->beginChangeGesture();
            parameter->setValueNotifyingHost (unit (rng));
            parameter->endChangeGesture();
        }

        if (ticks % 5 == 0)
        {
            processor.getStateInformation (states[static_cast<std::size_t> (ticks / 5) % states.size()]);
            ++saves;
        }
        if (ticks % 7 == 0)
        {
            const auto& s = states[rng() % states.size()];
            if (s.getSize() > 0)
            {
                processor.setStateInformation (s.getData(), static_cast<int> (s.getSize()));
                ++restores;
            }
        }
        if (editor && ticks % 25 == 0)
            toggleEditor();

        if (juce::Time::getMillisecondCounterHiRes() > endTime)
        {
            stopTimer();
            delete processor.getActiveEditor();
            juce::MessageManager::getInstance()->stopDispatchLoop();
        }
    }

    void toggleEditor()
    {
        if (auto* open = processor.getActiveEditor())
        {
            delete open;
            return;
        }
        if (auto* created = processor.createEditorIfNeeded())
        {
            created->addToDesktop (0);
            created->setVisible (true);
            ++editorsOpened;
        }
    }

    QuolbaneProcessor& processor;
    const double endTime;
    const bool editor;
    std::mt19937 rng{ 17u };
    std::uniform_real_distribution<float> unit{ 0.0f, 1.0f };
    std::array<juce::MemoryBlock, 4> states;
    long ticks = 0, saves = 0, restores = 0, editorsOpened = 0;
};
}

int main (int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof (argv[1]) : 3.0;
    const bool withEditor = std::getenv ("DISPLAY") != nullptr;

    if (withEditor)
        XSetErrorHandler (ignoreXError);
    juce::ScopedJuceInitialiser_GUI juceRuntime;
    QuolbaneProcessor processor;
    processor.prepareToPlay (48000.0, 512);

    std::atomic<bool> stop{ false };
    std::atomic<long> blocks{ 0 }, nonFinite{ 0 };
    std::thread audio (
        [&]
        {
            std::mt19937 rng (3u);
            std::uniform_real_distribution<float> noise (-1.0f, 1.0f);
            juce::AudioBuffer<float> storage (2, 2048);
            juce::MidiBuffer midi;
            while (!stop.load())
            {
                const int n = 1 + static_cast<int> (rng() % 2048);
                for (int ch = 0; ch < 2; ++ch)
                    for (int i = 0; i < n; ++i)
                        storage.setSample (ch, i, noise (rng));
                juce::AudioBuffer<float> block (storage.getArrayOfWritePointers(), 2, n);
                {
                    const juce::ScopedLock callback (processor.getCallbackLock());
                    processor.processBlock (block, midi);
                }
                for (int ch = 0; ch < 2; ++ch)
                    for (int i = 0; i < n; ++i)
                        if (!std::isfinite (block.getSample (ch, i)))
                            ++nonFinite;
                ++blocks;
            }
        });

    long ticks = 0, saves = 0, restores = 0, editors = 0;
    {
        MessageThreadDriver driver (processor, seconds, withEditor);
        juce::MessageManager::getInstance()->runDispatchLoop();
        ticks = driver.ticks;
        saves = driver.saves;
        restores = driver.restores;
        editors = driver.editorsOpened;
    }
    stop = true;
    audio.join();

    std::printf ("ConcurrencyStress: %.1f s, %ld blocks, %ld automation rounds, %ld saves, %ld restores, %ld editors "
                 "opened%s, %ld non-finite samples\n",
                 seconds, blocks.load(), ticks, saves, restores, editors, withEditor ? "" : " (no display)",
                 nonFinite.load());
    const bool ok = nonFinite.load() == 0 && blocks.load() > 0 && ticks > 0 && saves > 0 && restores > 0;
    return ok ? 0 : 1;
}
