#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

// JUCE's VST3 hosting runs on the message thread: the runtime is brought up here and every test
// runs on this thread.
int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juceRuntime;
    ::testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
