#include "ByteStream.h"

#include <algorithm>
#include <cstring>

using namespace Steinberg;

namespace moduletest
{
namespace
{
template <typename Stream>
tresult answerStreamInterfaces (Stream& stream, bool sizeable, const TUID iid, void** obj)
{
    if (FUnknownPrivate::iidEqual (iid, IBStream::iid) || FUnknownPrivate::iidEqual (iid, FUnknown::iid))
        *obj = static_cast<IBStream*> (&stream);
    else if (sizeable && FUnknownPrivate::iidEqual (iid, ISizeableStream::iid))
        *obj = static_cast<ISizeableStream*> (&stream);
    else
    {
        *obj = nullptr;
        return kNoInterface;
    }
    stream.addRef();
    return kResultOk;
}

// Where a seek lands, or -1 when it lands outside 0 ... end.
int64 seekTarget (int64 pos, int32 mode, int64 position, int64 end)
{
    const auto base = mode == IBStream::kIBSeekSet ? 0 : mode == IBStream::kIBSeekCur ? position : end;
    return base + pos < 0 || base + pos > end ? -1 : base + pos;
}

tresult tellPosition (int64 position, int64* pos)
{
    if (pos == nullptr)
        return kInvalidArgument;
    *pos = position;
    return kResultTrue;
}
}

ByteStream::ByteStream (std::vector<std::uint8_t> initialBytes, bool tellsSize)
    : bytes (std::move (initialBytes)), sizeable (tellsSize)
{
}

tresult PLUGIN_API ByteStream::queryInterface (const TUID iid, void** obj)
{
    return answerStreamInterfaces (*this, sizeable, iid, obj);
}

tresult PLUGIN_API ByteStream::read (void* buffer, int32 numBytes, int32* numBytesRead)
{
    const auto count = std::min ({ bytes.size() - position, static_cast<std::size_t> (std::max (numBytes, 0)),
                                   static_cast<std::size_t> (std::max (maxBytesPerRead, 0)) });
    if (count > 0)
        std::memcpy (buffer, bytes.data() + position, count);
    position += count;
    if (numBytesRead != nullptr)
        *numBytesRead = static_cast<int32> (count);
    return kResultOk;
}

tresult PLUGIN_API ByteStream::write (void* buffer, int32 numBytes, int32* numBytesWritten)
{
    const auto room = capacity > position ? capacity - position : 0;
    const auto count = writesFail ? 0 : std::min (room, static_cast<std::size_t> (std::max (numBytes, 0)));
    bytes.resize (std::max (bytes.size(), position + count));
    if (count > 0)
        std::memcpy (bytes.data() + position, buffer, count);
    position += count;
    if (numBytesWritten != nullptr)
        *numBytesWritten = static_cast<int32> (count);
    return writesFail ? kResultFalse : kResultOk;
}

tresult PLUGIN_API ByteStream::seek (int64 pos, int32 mode, int64* result)
{
    const auto target = seekTarget (pos, mode, static_cast<int64> (position), static_cast<int64> (bytes.size()));
    if (target < 0)
        return kInvalidArgument;
    position = static_cast<std::size_t> (target);
    if (result != nullptr)
        *result = target;
    return kResultTrue;
}

tresult PLUGIN_API ByteStream::tell (int64* pos)
{
    return tellPosition (static_cast<int64> (position), pos);
}

tresult PLUGIN_API ByteStream::getStreamSize (int64& size)
{
    size = static_cast<int64> (bytes.size());
    return kResultOk;
}

tresult PLUGIN_API ByteStream::setStreamSize (int64 size)
{
    if (size < 0)
        return kInvalidArgument;
    bytes.resize (static_cast<std::size_t> (size));
    position = std::min (position, bytes.size());
    return kResultOk;
}

GeneratedStream::GeneratedStream (int64 streamLength, int64 sizeToReport)
    : length (streamLength), reportedSize (sizeToReport)
{
}

tresult PLUGIN_API GeneratedStream::queryInterface (const TUID iid, void** obj)
{
    return answerStreamInterfaces (*this, reportedSize >= 0, iid, obj);
}

tresult PLUGIN_API GeneratedStream::read (void* buffer, int32 numBytes, int32* numBytesRead)
{
    const auto left = length < 0 ? std::numeric_limits<int64>::max() : std::max<int64> (length - position, 0);
    const auto count = static_cast<int32> (std::min<int64> (left, std::max (numBytes, 0)));
    if (count > 0)
        std::memset (buffer, 0, static_cast<std::size_t> (count));
    position += count;
    bytesDelivered += count;
    if (numBytesRead != nullptr)
        *numBytesRead = count;
    return kResultTrue;
}

tresult PLUGIN_API GeneratedStream::write (void*, int32, int32* numBytesWritten)
{
    if (numBytesWritten != nullptr)
        *numBytesWritten = 0;
    return kResultFalse;
}

tresult PLUGIN_API GeneratedStream::seek (int64 pos, int32 mode, int64* result)
{
    const auto end = length < 0 ? std::numeric_limits<int64>::max() / 2 : length;
    const auto target = seekTarget (pos, mode, position, end);
    if (target < 0)
        return kInvalidArgument;
    position = target;
    if (result != nullptr)
        *result = target;
    return kResultTrue;
}

tresult PLUGIN_API GeneratedStream::tell (int64* pos)
{
    return tellPosition (position, pos);
}

tresult PLUGIN_API GeneratedStream::getStreamSize (int64& size)
{
    size = reportedSize;
    return kResultOk;
}

tresult PLUGIN_API GeneratedStream::setStreamSize (int64)
{
    return kNotImplemented;
}
}
