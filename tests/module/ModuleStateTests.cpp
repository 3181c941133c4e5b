#include "ModuleTestSupport.h"

#include "tests/support/ComponentStateDamage.h"

#include <gtest/gtest.h>

#include <string>

using namespace moduletest;
using namespace Steinberg;

namespace
{
using statedamage::Bytes;

// A state of the plug-in's own blob format with values other than the defaults, and JUCE's
// trailer with the bypass on.
Bytes nonDefaultState()
{
    const std::string text = R"(<?xml version="1.0" encoding="UTF-8"?> <QUOLBANE>)"
                             R"(<PARAM id="character" value="7.0"/><PARAM id="mix" value="80.0"/>)"
                             R"(<PARAM id="decay" value="9.0"/></QUOLBANE>)";
    Bytes blob{ 'V', 'C', '2', '!' };
    for (int i = 0; i < 4; ++i)
        blob.push_back (static_cast<std::uint8_t> (text.size() >> (8 * i)));
    blob.insert (blob.end(), text.begin(), text.end());
    blob.push_back (0);
    return statedamage::componentState (blob, statedamage::bypassTree (true));
}

std::string textOf (const Bytes& blob)
{
    return { blob.begin(), blob.end() };
}
}

// The host hands back a saved state whose JUCE trailer was damaged: setState returns, the
// processor's blob in front of the trailer is restored, and only an intact trailer restores the
// bypass; otherwise the component keeps the value it had. Either kind of host stream.
TEST (ModuleState, DamagedTrailerIsIgnoredAndTheProcessorBlobRestored)
{
    const auto saved = restoreAndSave (nonDefaultState()).saved;
    ASSERT_TRUE (statedamage::hasTrailer (saved));
    const auto savedBlob = statedamage::processorBlob (saved);
    ASSERT_NE (textOf (savedBlob).find (R"(<PARAM id="mix" value="80.0"/>)"), std::string::npos) << textOf (savedBlob);

    const auto fresh = freshState();
    ASSERT_TRUE (statedamage::hasTrailer (fresh));
    ASSERT_NE (statedamage::privateTree (fresh), statedamage::privateTree (saved));

    for (const bool tellsSize : { true, false })
    {
        for (const auto& c : statedamage::cases)
        {
            SCOPED_TRACE (std::string (c.what) + (tellsSize ? ", stream that tells its size" : ", plain stream"));
            const auto run = restoreAndSave (c.damage (saved), tellsSize);
            EXPECT_EQ (run.restoreResult, kResultTrue);
            ASSERT_TRUE (statedamage::hasTrailer (run.saved));
            EXPECT_EQ (textOf (statedamage::processorBlob (run.saved)), textOf (savedBlob));
            EXPECT_EQ (statedamage::privateTree (run.saved),
                       statedamage::privateTree (c.restoresBypass ? saved : fresh));

            // The restored component saves a state that restores to itself.
            EXPECT_EQ (restoreAndSave (run.saved, tellsSize).saved, run.saved);
        }
    }
}
