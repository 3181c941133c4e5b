// libFuzzer entry points; QUOLBANE_FUZZ_CHECK names the check of FuzzChecks.h that a target runs.

#include "FuzzChecks.h"

#if QUOLBANE_FUZZ_HOSTS_MODULE
#include "tests/module/ModuleTestSupport.h"

#include <pluginterfaces/vst/ivstcomponent.h>
#else
#include <juce_events/juce_events.h>
#endif

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize (int*, char***);
extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size);

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
#if QUOLBANE_FUZZ_HOSTS_MODULE
    // The check drives the fuzz-built module, which brings its own JUCE. It is loaded before the
    // first input, so that libFuzzer counts the module's coverage from the start. One component
    // lives as long as the fuzzer, as in a host with a project open, so that the module's JUCE
    // runtime stays up between inputs instead of starting and stopping for each one.
    moduletest::FactoryRef factory;
    void* component = nullptr;
    if (factory.factory == nullptr ||
        factory->createInstance (moduletest::asTuid (moduletest::componentClassId),
                                 Steinberg::Vst::IComponent::iid, &component) != Steinberg::kResultOk)
        std::abort();
#else
    // The parameter tree needs JUCE's message manager. It is never shut down: libFuzzer leaves
    // through exit(), and JUCE's shutdown from a static destructor runs after JUCE's own statics.
    static auto* juceRuntime = new juce::ScopedJuceInitialiser_GUI();
    juce::ignoreUnused (juceRuntime);
#endif
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
