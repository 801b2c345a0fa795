#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnel::extensions::vst {

/// The largest preset file readPresetFile reads: far above any plug-in's state a
/// preset holds, far below what would exhaust a machine's memory.
constexpr std::uint64_t kLargestPresetFileBytes = std::uint64_t{128} << 20;

/// Reads the whole file at `path` into `bytes` when it is a regular file of at most
/// kLargestPresetFileBytes. Anything else (a folder, a device such as /dev/zero, a
/// FIFO, which it never waits on, a larger file, a read error) is false with the
/// reason, one line, in `error`. Never throws.
bool readPresetFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

} // namespace varnel::extensions::vst
