#pragma once

#include <pluginterfaces/base/funknown.h>
#include <pluginterfaces/vst/vstspeaker.h>

#include <cstddef>
#include <vector>

// What a host that bends the VST3 rules does to the module, as tables shared by the Linux module
// tests and the Windows test host; each side runs every row and checks the last columns.
namespace moduletest::hostrules
{
// A block longer than the maximum the host announced (or any block when it announced 0) sounds
// as through an instance prepared for it.
struct LongBlock
{
    const char* what;
    int announcedMaximum;
    int blockSize;
};

inline const LongBlock longBlocks[] = {
    { "one sample over", 512, 513 },
    { "eight samples over", 512, 520 },
    { "eight times the maximum", 512, 4096 },
    { "a maximum of one sample", 1, 300 },
    { "a maximum of 0", 0, 512 },
    { "a maximum of 0 and a long block", 0, 5000 },
};

// Bus arrangements proposed to the one bus in each direction, and setBusArrangements's answer.
struct Arrangement
{
    const char* what;
    std::vector<Steinberg::Vst::SpeakerArrangement> inputs, outputs;
    Steinberg::tresult expected;
};

inline const std::vector<Arrangement>& arrangements()
{
    using namespace Steinberg::Vst::SpeakerArr;
    constexpr Steinberg::Vst::SpeakerArrangement bit63 = Steinberg::Vst::SpeakerArrangement{ 1 } << 63;
    static const std::vector<Arrangement> rows = {
        { "stereo to stereo", { kStereo }, { kStereo }, Steinberg::kResultTrue },
        { "mono to mono", { kMono }, { kMono }, Steinberg::kResultTrue },
        { "mono to stereo", { kMono }, { kStereo }, Steinberg::kResultFalse },
        { "two input buses", { kStereo, kStereo }, { kStereo }, Steinberg::kResultFalse },
        { "two output buses", { kStereo }, { kStereo, kStereo }, Steinberg::kResultFalse },
        { "bit 63 alone on the input", { bit63 }, { kStereo }, Steinberg::kResultFalse },
        { "bit 63 with stereo on the output", { kStereo }, { kStereo | bit63 }, Steinberg::kResultFalse },
    };
    return rows;
}

// Streams far longer than any state of the plug-in: setState refuses them after reading no more
// than the largest state and one read.
constexpr Steinberg::int64 largestState = 1 << 20;
constexpr Steinberg::int64 longestRead = largestState + 4096;

struct LongStream
{
    const char* what;
    Steinberg::int64 length;       // negative: endless
    Steinberg::int64 reportedSize; // negative: the stream tells no size
};

inline const LongStream longStreams[] = {
    { "one byte over the largest state, sized", largestState + 1, largestState + 1 },
    { "one byte over the largest state", largestState + 1, -1 },
    { "300 MB, sized", 300'000'000, 300'000'000 },
    { "300 MB", 300'000'000, -1 },
    { "endless, telling a size of 2^40", -1, Steinberg::int64{ 1 } << 40 },
    { "endless", -1, -1 },
};

// The most bytes one read delivers, for a state restored through such a stream.
inline const Steinberg::int32 bytesPerRead[] = { 1, 7, 100, 4095 };

// getState into a stream with room for part of a state of the given size, or whose writes fail.
struct ShortWrite
{
    const char* what;
    std::size_t (*capacity) (std::size_t stateSize);
    bool writesFail;
    bool saved;
};

inline const ShortWrite shortWrites[] = {
    { "room for the whole state", [] (std::size_t size) { return size; }, false, true },
    { "room for half of it", [] (std::size_t size) { return size / 2; }, false, false },
    { "room for all but one byte", [] (std::size_t size) { return size - 1; }, false, false },
    { "no room", [] (std::size_t) { return std::size_t{ 0 }; }, false, false },
    { "every write fails", [] (std::size_t size) { return size; }, true, false },
};
}
