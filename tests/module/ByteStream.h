#pragma once

#include <pluginterfaces/base/ibstream.h>

#include <cstdint>
#include <vector>

namespace moduletest
{
// A host's stream over bytes in memory. Some hosts' streams tell their size (ISizeableStream),
// others can only be read to their end; JUCE reads the two kinds in different ways. The stream
// lives on the caller's stack: references are counted but never delete it.
class ByteStream : public Steinberg::IBStream, public Steinberg::ISizeableStream
{
public:
    explicit ByteStream (std::vector<std::uint8_t> initialBytes = {}, bool tellsSize = true);

    Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return ++references; }
    Steinberg::uint32 PLUGIN_API release() override { return --references; }

    Steinberg::tresult PLUGIN_API read (void* buffer, Steinberg::int32 numBytes,
                                        Steinberg::int32* numBytesRead) override;
    Steinberg::tresult PLUGIN_API write (void* buffer, Steinberg::int32 numBytes,
                                         Steinberg::int32* numBytesWritten) override;
    Steinberg::tresult PLUGIN_API seek (Steinberg::int64 pos, Steinberg::int32 mode,
                                        Steinberg::int64* result) override;
    Steinberg::tresult PLUGIN_API tell (Steinberg::int64* pos) override;
    Steinberg::tresult PLUGIN_API getStreamSize (Steinberg::int64& size) override;
    Steinberg::tresult PLUGIN_API setStreamSize (Steinberg::int64 size) override;

    std::vector<std::uint8_t> bytes;

private:
    bool sizeable;
    std::size_t position = 0;
    Steinberg::uint32 references = 1;
};
}
