#include "ByteStream.h"

#include <algorithm>
#include <cstring>

using namespace Steinberg;

namespace moduletest
{
ByteStream::ByteStream (std::vector<std::uint8_t> initialBytes, bool tellsSize)
    : bytes (std::move (initialBytes)), sizeable (tellsSize)
{
}

tresult PLUGIN_API ByteStream::queryInterface (const TUID iid, void** obj)
{
    if (FUnknownPrivate::iidEqual (iid, IBStream::iid) || FUnknownPrivate::iidEqual (iid, FUnknown::iid))
        *obj = static_cast<IBStream*> (this);
    else if (sizeable && FUnknownPrivate::iidEqual (iid, ISizeableStream::iid))
        *obj = static_cast<ISizeableStream*> (this);
    else
    {
        *obj = nullptr;
        return kNoInterface;
    }
    addRef();
    return kResultOk;
}

tresult PLUGIN_API ByteStream::read (void* buffer, int32 numBytes, int32* numBytesRead)
{
    const auto count = std::min (bytes.size() - position, static_cast<std::size_t> (std::max (numBytes, 0)));
    if (count > 0)
        std::memcpy (buffer, bytes.data() + position, count);
    position += count;
    if (numBytesRead != nullptr)
        *numBytesRead = static_cast<int32> (count);
    return kResultOk;
}

tresult PLUGIN_API ByteStream::write (void* buffer, int32 numBytes, int32* numBytesWritten)
{
    const auto count = static_cast<std::size_t> (std::max (numBytes, 0));
    bytes.resize (std::max (bytes.size(), position + count));
    if (count > 0)
        std::memcpy (bytes.data() + position, buffer, count);
    position += count;
    if (numBytesWritten != nullptr)
        *numBytesWritten = static_cast<int32> (count);
    return kResultOk;
}

tresult PLUGIN_API ByteStream::seek (int64 pos, int32 mode, int64* result)
{
    const auto base = mode == kIBSeekSet ? 0 : mode == kIBSeekCur ? static_cast<int64> (position)
                                                                   : static_cast<int64> (bytes.size());
    if (base + pos < 0 || base + pos > static_cast<int64> (bytes.size()))
        return kInvalidArgument;
    position = static_cast<std::size_t> (base + pos);
    if (result != nullptr)
        *result = static_cast<int64> (position);
    return kResultTrue;
}

tresult PLUGIN_API ByteStream::tell (int64* pos)
{
    if (pos == nullptr)
        return kInvalidArgument;
    *pos = static_cast<int64> (position);
    return kResultTrue;
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
}
