#include "ByteStream.h"
#include "HostRuleCases.h"
#include "ModuleTestSupport.h"

#include "tests/support/ComponentStateDamage.h"

#include <gtest/gtest.h>

#include <string>

using namespace moduletest;
using namespace Steinberg;

namespace
{
using statedamage::Bytes;

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

// A host's stream may deliver fewer bytes per read than asked for; the state is restored all the
// same, the parameters and JUCE's bypass both, whichever kind of stream it is.
TEST (ModuleState, StreamsThatDeliverAFewBytesPerReadRestoreTheWholeState)
{
    const auto state = nonDefaultState();
    const auto expected = restoreAndSave (state).saved;
    ASSERT_TRUE (statedamage::hasTrailer (expected));
    ASSERT_NE (expected, freshState());

    for (const bool tellsSize : { true, false })
        for (const auto bytesPerRead : hostrules::bytesPerRead)
        {
            SCOPED_TRACE (std::to_string (bytesPerRead) + (tellsSize ? " bytes per read, sized" : " bytes per read"));
            ByteStream in (state, tellsSize);
            in.maxBytesPerRead = bytesPerRead;
            const auto run = restoreAndSave (in);
            EXPECT_EQ (run.restoreResult, kResultTrue);
            EXPECT_EQ (run.saved, expected);
        }
}

// A stream far longer than any state of the plug-in (huge, or with no end) is refused after a
// bounded read, and the component keeps the state it had.
TEST (ModuleState, StreamsLongerThanAnyStateAreRefusedWithoutBeingReadWhole)
{
    const auto fresh = freshState();
    for (const auto& c : hostrules::longStreams)
    {
        SCOPED_TRACE (c.what);
        GeneratedStream in (c.length, c.reportedSize);
        const auto run = restoreAndSave (in);
        EXPECT_EQ (run.restoreResult, kResultFalse);
        EXPECT_LE (in.bytesDelivered, hostrules::longestRead);
        EXPECT_EQ (run.saved, fresh);
    }
}

// getState into a stream that takes only part of the state, or nothing, reports that the state
// was not saved.
TEST (ModuleState, SavingIntoAStreamThatWritesShortOrFailsIsAnError)
{
    const auto fresh = freshState();
    ASSERT_GT (fresh.size(), 100u);
    for (const auto& c : hostrules::shortWrites)
    {
        SCOPED_TRACE (c.what);
        Instance instance;
        ASSERT_TRUE (instance.isValid());
        ByteStream out;
        out.capacity = c.capacity (fresh.size());
        out.writesFail = c.writesFail;
        const auto result = instance.component->getState (&out);
        EXPECT_EQ (result == kResultOk, c.saved) << result;
        if (c.saved)
            EXPECT_EQ (out.bytes, fresh);
    }
}
