#include "FuzzChecks.h"

#include "processor/QuolbaneProcessor.h"

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

#include <ostream>

// Every input the fuzzers ever failed on (regressions/) and every seed (corpus/) runs through the
// same checks in the normal build, so a fixed crash stays fixed.
namespace
{
using Check = std::string (*) (const std::uint8_t*, std::size_t);

struct ReplayCase
{
    const char* name;
    const char* folder;
    Check check;
    bool mustHaveFiles;
};

void replayFolder (const ReplayCase& c)
{
    const juce::File folder (juce::String (QUOLBANE_FUZZ_DIR) + "/" + c.folder);
    const auto files = folder.findChildFiles (juce::File::findFiles, true, "*");
    if (c.mustHaveFiles)
    {
        ASSERT_FALSE (files.isEmpty()) << folder.getFullPathName();
    }

    for (const auto& file : files)
    {
        if (file.getFileName().startsWithChar ('.') || file.hasFileExtension ("md"))
            continue;
        juce::MemoryBlock bytes;
        ASSERT_TRUE (file.loadFileAsData (bytes)) << file.getFullPathName();
        const auto failure = c.check (static_cast<const std::uint8_t*> (bytes.getData()), bytes.getSize());
        EXPECT_TRUE (failure.empty()) << file.getFileName() << ": " << failure;
    }
}

constexpr ReplayCase replayCases[] = {
    { "StateSeeds", "corpus/state", FuzzChecks::stateRestore, true },
    { "StateRegressions", "regressions/state", FuzzChecks::stateRestore, false },
    { "EngineSeeds", "corpus/engine", FuzzChecks::engineScript, true },
    { "EngineRegressions", "regressions/engine", FuzzChecks::engineScript, false },
    { "ComponentSeeds", "corpus/component", FuzzChecks::componentStateRestore, true },
    { "ComponentRegressions", "regressions/component", FuzzChecks::componentStateRestore, false },
};

// Names the case by its folder in test listings.
void PrintTo (const ReplayCase& c, std::ostream* os)
{
    *os << c.folder;
}

class FuzzReplay : public ::testing::TestWithParam<ReplayCase>
{
};

TEST_P (FuzzReplay, EveryFilePassesTheFuzzerChecks)
{
    replayFolder (GetParam());
}

INSTANTIATE_TEST_SUITE_P (Folders, FuzzReplay, ::testing::ValuesIn (replayCases),
                          [] (const auto& folder) { return std::string (folder.param.name); });

// The seed the fuzzer mutates most is a real state: byte for byte what a fresh instance saves.
TEST (FuzzSeeds, DefaultStateSeedIsWhatAFreshInstanceSaves)
{
    juce::MemoryBlock seed;
    ASSERT_TRUE (
        juce::File (juce::String (QUOLBANE_FUZZ_DIR) + "/corpus/state/default-state.bin").loadFileAsData (seed));
    QuolbaneProcessor processor;
    juce::MemoryBlock saved;
    processor.getStateInformation (saved);
    EXPECT_TRUE (saved == seed) << saved.toString();
}
}
