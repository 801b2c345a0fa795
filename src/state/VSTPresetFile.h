#pragma once

#include "public.sdk/source/vst/utility/uid.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnel::extensions::vst {

/// A plug-in's whole state as two chunks: what its component and its edit
/// controller gave through getState.
struct PluginStateChunks {
    VST3::UID classId; ///< the audio module class that wrote it
    std::vector<std::uint8_t> component;
    std::optional<std::vector<std::uint8_t>> controller; ///< absent when the writer kept none
};

/// The bytes of a standard VST 3 preset file ("VST3" header, class id, chunks,
/// chunk list) holding `chunks`. The same bytes serve as the in-memory state, so a
/// saved state is a preset any VST 3 host reads, and the other way round. Empty
/// only when the SDK's writer fails.
std::vector<std::uint8_t> encodePresetFile(const PluginStateChunks& chunks);

/// Reads the bytes of a VST 3 preset file. Gives nothing, with the reason in
/// `error`, for bytes that are not one, or whose chunk list or chunks end past the
/// end of the bytes (a truncated file), or that hold no component chunk.
std::optional<PluginStateChunks> decodePresetFile(const std::vector<std::uint8_t>& bytes, std::string& error);

/// The class id as a preset file writes it, for messages.
std::string presetClassIdText(const VST3::UID& classId);

} // namespace varnel::extensions::vst
