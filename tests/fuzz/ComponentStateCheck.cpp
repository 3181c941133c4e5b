#include "FuzzChecks.h"

#include "tests/module/ByteStream.h"
#include "tests/module/ModuleTestSupport.h"
#include "tests/support/ComponentStateDamage.h"

#include <vector>

std::string FuzzChecks::componentStateRestore (const std::uint8_t* data, std::size_t size)
{
    if (moduletest::module().getPluginFactory == nullptr)
        return "the module cannot be loaded";

    // A stream that tells its size: JUCE then copies it into a buffer of exactly that size, so
    // the sanitizers see any read past the state. The other streams deliver in chunks, or take
    // only part of a save.
    const auto first = moduletest::restoreAndSave (std::vector<std::uint8_t> (data, data + size));
    const auto& saved = first.saved;
    if (!statedamage::hasTrailer (saved) || statedamage::trailerSize (saved) > saved.size() - statedamage::trailerFixedBytes)
        return "the component saves no state with JUCE's trailer after restoring the input";
    const auto blob = statedamage::processorBlob (saved);
    if (blob.size() < 9 || std::string (blob.begin(), blob.begin() + 4) != "VC2!")
        return "the saved state does not start with the plug-in's blob";

    if (moduletest::restoreAndSave (saved).saved != saved)
        return "a restored saved state saves different bytes";

    // A stream that delivers a few bytes per read restores the same state as one that delivers all.
    moduletest::ByteStream chunked (std::vector<std::uint8_t> (data, data + size));
    chunked.maxBytesPerRead = 1 + static_cast<Steinberg::int32> (size % 61);
    if (moduletest::restoreAndSave (chunked).saved != saved)
        return "a stream that delivers a few bytes per read restores another state";

    // A save into a stream with room for only part of the state is reported as failed.
    moduletest::ByteStream shortOut;
    shortOut.capacity = size % saved.size();
    if (moduletest::restoreAndSaveInto (std::vector<std::uint8_t> (data, data + size), shortOut) == Steinberg::kResultOk)
        return "a save that did not fit into the stream is reported as done";
    return {};
}
