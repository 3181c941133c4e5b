#include "FuzzChecks.h"

#include <juce_events/juce_events.h>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize (int*, char***);
extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size);

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    // The parameter tree needs JUCE's message manager. It is never shut down: libFuzzer leaves
    // through exit(), and JUCE's shutdown from a static destructor runs after JUCE's own statics.
    static auto* juceRuntime = new juce::ScopedJuceInitialiser_GUI();
    juce::ignoreUnused (juceRuntime);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    if (const auto failure = FuzzChecks::engineScript (data, size); !failure.empty())
    {
        std::fprintf (stderr, "EngineFuzzer: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
