#include "FuzzChecks.h"

#include "processor/ParameterTable.h"
#include "processor/QuolbaneProcessor.h"

#include <cmath>
#include <cstring>

namespace
{
constexpr std::uint8_t magicBytes[] = { 0x56, 0x43, 0x32, 0x21 };

bool startsWithMagic (const std::uint8_t* data, std::size_t size)
{
    return size >= 4 && std::memcmp (data, magicBytes, 4) == 0;
}

// Input that does not start like a state blob is taken as the XML text and wrapped in a valid
// header, so the fuzzer spends its time in the text rather than on the four magic bytes.
juce::MemoryBlock toBlob (const std::uint8_t* data, std::size_t size)
{
    if (startsWithMagic (data, size))
        return { data, size };

    juce::MemoryBlock blob;
    blob.append (magicBytes, 4);
    const auto length = juce::ByteOrder::swapIfBigEndian (static_cast<std::uint32_t> (size));
    blob.append (&length, 4);
    blob.append (data, size);
    blob.append ("", 1);
    return blob;
}

std::string checkParameters (QuolbaneProcessor& p, const char* when)
{
    const auto fail = [when] (const juce::String& id, const char* what, float v)
    { return std::string (when) + ": " + id.toStdString() + " " + what + " (" + std::to_string (v) + ")"; };

    const auto character = p.valueTreeState.getRawParameterValue (characterParameterId)->load();
    if (!std::isfinite (character) || character < 0.0f || character > 9.0f || character != std::round (character))
        return fail (characterParameterId, "is not a whole index in 0..9", character);
    if (p.getCharacterIndex() != static_cast<int> (character))
        return fail (characterParameterId, "index disagrees with its raw value", character);

    for (const auto& info : floatParameterTable)
    {
        const float v = p.valueTreeState.getRawParameterValue (info.id)->load();
        if (!std::isfinite (v))
            return fail (info.id, "is not finite", v);
        if (v < info.start || v > info.end)
            return fail (info.id, "is out of range", v);
        const double steps = (static_cast<double> (v) - info.start) / info.interval;
        if (std::abs (steps - std::round (steps)) > 1.0e-2)
            return fail (info.id, "is off its grid", v);
    }
    return {};
}

std::string checkBlobFormat (const juce::MemoryBlock& blob)
{
    const auto size = blob.getSize();
    const auto* bytes = static_cast<const std::uint8_t*> (blob.getData());
    if (size < 9 || !startsWithMagic (bytes, size))
        return "saved blob lacks the header";
    if (juce::ByteOrder::littleEndianInt (bytes + 4) != size - 9 || bytes[size - 1] != 0)
        return "saved blob length field or terminator is wrong";
    return {};
}
}

std::string FuzzChecks::stateRestore (const std::uint8_t* data, std::size_t size)
{
    const auto blob = toBlob (data, size);

    QuolbaneProcessor first;
    first.setStateInformation (blob.getData(), static_cast<int> (juce::jmin (blob.getSize(), std::size_t{ 1 } << 30)));
    if (auto failure = checkParameters (first, "after restoring the input"); !failure.empty())
        return failure;

    juce::MemoryBlock saved;
    first.getStateInformation (saved);
    if (auto failure = checkBlobFormat (saved); !failure.empty())
        return failure;

    QuolbaneProcessor second;
    second.setStateInformation (saved.getData(), static_cast<int> (saved.getSize()));
    if (auto failure = checkParameters (second, "after restoring the saved state"); !failure.empty())
        return failure;

    for (auto* parameter : first.getParameters())
    {
        const auto* a = dynamic_cast<juce::RangedAudioParameter*> (parameter);
        const auto* b =
            dynamic_cast<juce::RangedAudioParameter*> (second.getParameters()[parameter->getParameterIndex()]);
        if (a == nullptr || b == nullptr)
            continue;
        const float va = first.valueTreeState.getRawParameterValue (a->paramID)->load();
        const float vb = second.valueTreeState.getRawParameterValue (b->paramID)->load();
        if (va != vb)
            return "saved state restores " + a->paramID.toStdString() + " as " + std::to_string (vb) + " instead of " +
                   std::to_string (va);
    }

    juce::MemoryBlock savedAgain;
    second.getStateInformation (savedAgain);
    if (savedAgain != saved)
        return "a restored saved state saves different bytes";

    return {};
}
