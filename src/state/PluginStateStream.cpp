#include "state/PluginStateStream.h"

#include <algorithm>
#include <cstring>

namespace varnel::extensions::vst {

using namespace Steinberg;

tresult PLUGIN_API PluginStateStream::queryInterface(const TUID iid, void** object) {
    if (FUnknownPrivate::iidEqual(iid, IBStream::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
        addRef();
        *object = this;
        return kResultOk;
    }
    *object = nullptr;
    return kNoInterface;
}

uint32 PLUGIN_API PluginStateStream::addRef() {
    return ++references;
}

uint32 PLUGIN_API PluginStateStream::release() {
    const uint32 left = --references;
    if (left == 0)
        delete this;
    return left;
}

tresult PLUGIN_API PluginStateStream::read(void* buffer, int32 numBytes, int32* numBytesRead) {
    if (numBytes < 0 || (buffer == nullptr && numBytes > 0))
        return kInvalidArgument;
    const std::size_t count = std::min(static_cast<std::size_t>(numBytes), bytes.size() - cursor);
    if (count > 0)
        std::memcpy(buffer, bytes.data() + cursor, count);
    cursor += count;
    if (numBytesRead)
        *numBytesRead = static_cast<int32>(count);
    return kResultOk;
}

tresult PLUGIN_API PluginStateStream::write(void* buffer, int32 numBytes, int32* numBytesWritten) {
    if (numBytes < 0 || (buffer == nullptr && numBytes > 0))
        return kInvalidArgument;
    const auto count = static_cast<std::size_t>(numBytes);
    if (cursor + count > bytes.size())
        bytes.resize(cursor + count);
    if (count > 0)
        std::memcpy(bytes.data() + cursor, buffer, count);
    cursor += count;
    if (numBytesWritten)
        *numBytesWritten = numBytes;
    return kResultOk;
}

tresult PLUGIN_API PluginStateStream::seek(int64 pos, int32 mode, int64* result) {
    int64 base = 0;
    if (mode == kIBSeekCur)
        base = static_cast<int64>(cursor);
    else if (mode == kIBSeekEnd)
        base = static_cast<int64>(bytes.size());
    else if (mode != kIBSeekSet)
        return kInvalidArgument;
    const int64 size = static_cast<int64>(bytes.size());
    // Overflow-safe clamp of base + pos into [0, size].
    const int64 target = pos < 0 ? (pos < -base ? 0 : base + pos) : (pos > size - base ? size : base + pos);
    cursor = static_cast<std::size_t>(target);
    if (result)
        *result = target;
    return kResultOk;
}

tresult PLUGIN_API PluginStateStream::tell(int64* pos) {
    if (pos == nullptr)
        return kInvalidArgument;
    *pos = static_cast<int64>(cursor);
    return kResultOk;
}

} // namespace varnel::extensions::vst
