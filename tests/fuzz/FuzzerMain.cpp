// libFuzzer entry points; QUOLBANE_FUZZ_CHECK names the check of FuzzChecks.h that a target runs.

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
    if (const auto failure = FuzzChecks::QUOLBANE_FUZZ_CHECK (data, size); !failure.empty())
    {
        std::fprintf (stderr, "%s: %s\n", QUOLBANE_FUZZ_NAME, failure.c_str());
        std::abort();
    }
    return 0;
}
