#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

// The processor's parameter tree needs JUCE's message manager, so the runtime is up around all tests.
int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juceRuntime;
    ::testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
