#include "state/VSTPresetFile.h"

#include "state/PluginStateStream.h"

#include "public.sdk/source/vst/vstpresetfile.h"

#include <cstring>
#include <limits>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// The layout the SDK's PresetFile writes: "VST3", version, 32 characters of class
// id, the offset of the chunk list; the list is "List", a count and 20 bytes per
// chunk (id, offset, size). All numbers little-endian, as on every platform we run.
constexpr std::size_t kHeaderSize = 48;
constexpr std::size_t kListOffsetPosition = 40;
constexpr std::size_t kListHeaderSize = 8;
constexpr std::size_t kListEntrySize = 20;
constexpr std::int32_t kMaxEntries = 128; // what PresetFile reads at most

template <typename Number>
Number readNumber(const std::vector<std::uint8_t>& bytes, std::size_t position) {
    Number value{};
    std::memcpy(&value, bytes.data() + position, sizeof value);
    return value;
}

std::vector<std::uint8_t> chunkBytes(const std::vector<std::uint8_t>& bytes, const PresetFile::Entry& entry) {
    const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(entry.offset);
    return {begin, begin + static_cast<std::ptrdiff_t>(entry.size)};
}

} // namespace

std::string presetClassIdText(const VST3::UID& classId) {
    char8 text[33] = {};
    FUID::fromTUID(classId.data()).toString(text);
    return text;
}

std::vector<std::uint8_t> encodePresetFile(const PluginStateChunks& chunks) {
    constexpr auto kMaxChunk = static_cast<std::size_t>(std::numeric_limits<int32>::max());
    if (chunks.component.size() > kMaxChunk || (chunks.controller && chunks.controller->size() > kMaxChunk))
        return {};
    IPtr<PluginStateStream> stream = owned(new PluginStateStream);
    {
        PresetFile file(stream);
        file.setClassID(FUID::fromTUID(chunks.classId.data()));
        bool written = file.writeHeader() &&
                       file.writeChunk(chunks.component.data(), static_cast<int32>(chunks.component.size()),
                                       kComponentState);
        if (written && chunks.controller)
            written = file.writeChunk(chunks.controller->data(),
                                      static_cast<int32>(chunks.controller->size()), kControllerState);
        if (!written || !file.writeChunkList())
            return {};
    }
    return stream->data();
}

std::optional<PluginStateChunks> decodePresetFile(const std::vector<std::uint8_t>& bytes,
                                                  std::string& error) {
    if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), "VST3", 4) != 0) {
        error = "not a VST 3 preset";
        return std::nullopt;
    }
    // PresetFile stops quietly at the end of the bytes and keeps what it read, so
    // a file cut short is caught here, before any of it reaches the plug-in.
    const auto listOffset = readNumber<std::int64_t>(bytes, kListOffsetPosition);
    if (listOffset < static_cast<std::int64_t>(kHeaderSize) ||
        static_cast<std::uint64_t>(listOffset) > bytes.size() - kListHeaderSize) {
        error = "truncated: the chunk list is missing";
        return std::nullopt;
    }
    const auto listPosition = static_cast<std::size_t>(listOffset);
    const auto entryCount = readNumber<std::int32_t>(bytes, listPosition + 4);
    if (std::memcmp(bytes.data() + listPosition, "List", 4) != 0 || entryCount <= 0 ||
        entryCount > kMaxEntries) {
        error = "the chunk list is damaged";
        return std::nullopt;
    }
    if (static_cast<std::size_t>(entryCount) * kListEntrySize >
        bytes.size() - listPosition - kListHeaderSize) {
        error = "truncated: the chunk list ends early";
        return std::nullopt;
    }

    IPtr<PluginStateStream> stream = owned(new PluginStateStream(bytes));
    PresetFile file(stream);
    if (!file.readChunkList() || file.getEntryCount() != entryCount) {
        error = "the chunk list is damaged";
        return std::nullopt;
    }
    for (int32 index = 0; index < file.getEntryCount(); ++index) {
        const PresetFile::Entry& entry = file.at(index);
        if (entry.offset < 0 || entry.size < 0 || static_cast<std::uint64_t>(entry.offset) > bytes.size() ||
            static_cast<std::uint64_t>(entry.size) > bytes.size() - static_cast<std::size_t>(entry.offset)) {
            error = "truncated: a chunk ends past the end of the data";
            return std::nullopt;
        }
    }
    const PresetFile::Entry* component = file.getEntry(kComponentState);
    if (component == nullptr) {
        error = "it holds no component state";
        return std::nullopt;
    }

    PluginStateChunks chunks;
    TUID classId;
    file.getClassID().toTUID(classId);
    chunks.classId = VST3::UID::fromTUID(classId);
    chunks.component = chunkBytes(bytes, *component);
    if (const PresetFile::Entry* controller = file.getEntry(kControllerState))
        chunks.controller = chunkBytes(bytes, *controller);
    return chunks;
}

} // namespace varnel::extensions::vst
