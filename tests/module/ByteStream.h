#pragma once

#include <pluginterfaces/base/ibstream.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace moduletest
{
// A host's stream over bytes in memory. Some hosts' streams tell their size (ISizeableStream),
// others can only be read to their end; JUCE reads the two kinds in different ways. A stream may
// also deliver fewer bytes per read than asked, and take fewer per write than given, both legal
// for IBStream. The stream lives on the caller's stack: references are counted but never delete it.
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

    // The most bytes one read delivers.
    Steinberg::int32 maxBytesPerRead = std::numeric_limits<Steinberg::int32>::max();
    // The most bytes the stream ever holds: a write past it takes only what fits and says so.
    std::size_t capacity = std::numeric_limits<std::size_t>::max();
    // Every write fails and takes nothing.
    bool writesFail = false;

private:
    bool sizeable;
    std::size_t position = 0;
    Steinberg::uint32 references = 1;
};

// A stream of zero bytes made up as they are read, too long to hold in memory: length bytes, or
// no end when length is negative; it tells reportedSize as its size, or tells none when that is
// negative. It counts the bytes it delivered.
class GeneratedStream : public Steinberg::IBStream, public Steinberg::ISizeableStream
{
public:
    GeneratedStream (Steinberg::int64 length, Steinberg::int64 reportedSize);

    Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return ++references; }
    Steinberg::uint32 PLUGIN_API release() override { return --references; }

    Steinberg::tresult PLUGIN_API read (void* buffer, Steinberg::int32 numBytes,
                                        Steinberg::int32* numBytesRead) override;
    Steinberg::tresult PLUGIN_API write (void*, Steinberg::int32, Steinberg::int32*) override;
    Steinberg::tresult PLUGIN_API seek (Steinberg::int64 pos, Steinberg::int32 mode,
                                        Steinberg::int64* result) override;
    Steinberg::tresult PLUGIN_API tell (Steinberg::int64* pos) override;
    Steinberg::tresult PLUGIN_API getStreamSize (Steinberg::int64& size) override;
    Steinberg::tresult PLUGIN_API setStreamSize (Steinberg::int64) override;

    Steinberg::int64 bytesDelivered = 0;

private:
    Steinberg::int64 length, reportedSize;
    Steinberg::int64 position = 0;
    Steinberg::uint32 references = 1;
};
}
