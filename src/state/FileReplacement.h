#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnel::extensions::vst {

/// Writes `bytes` as the whole content of the file at `path` so that a failure
/// (a full disk, a folder without write permission) leaves an existing file as it
/// was: a regular or missing file is written into a temporary file beside it,
/// created exclusively under a name nobody can guess (so nothing planted in a
/// shared folder, a link least of all, is written through), and renamed into place,
/// keeping the old file's permissions. A symbolic link's target is written, never
/// the link; something that is not a regular file (a device, a FIFO) is written in
/// place, never replaced. False with the reason in `error`.
bool replaceFileContent(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error);

} // namespace varnel::extensions::vst
