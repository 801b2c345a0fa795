#include "FileReplacement.h"

#include <atomic>
#include <filesystem>
#include <fstream>

namespace varnel::extensions::vst {

namespace fs = std::filesystem;

namespace {

bool writeTo(const fs::path& file, const std::vector<std::uint8_t>& bytes, std::ios::openmode mode) {
    std::ofstream stream(file, std::ios::binary | mode);
    stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    stream.close();
    return static_cast<bool>(stream);
}

// Unique among the threads of this process; processes write distinct paths or
// race at the rename, where the last one wins whole.
fs::path temporaryBeside(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    fs::path name = target;
    name += ".tmp-" + std::to_string(counter.fetch_add(1));
    return name;
}

} // namespace

bool replaceFileContent(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error) {
    std::error_code failure;
    fs::path target = fs::path(path);
    if (fs::is_symlink(fs::symlink_status(target, failure)))
        target = fs::weakly_canonical(target, failure);
    const fs::file_status status = fs::status(target, failure);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        if (writeTo(target, bytes, std::ios::out))
            return true;
        error = "could not write to it";
        return false;
    }
    const fs::path temporary = temporaryBeside(target);
    if (!writeTo(temporary, bytes, std::ios::trunc)) {
        fs::remove(temporary, failure);
        error = "could not write " + temporary.string();
        return false;
    }
    if (fs::exists(status))
        fs::permissions(temporary, status.permissions(), failure);
    fs::rename(temporary, target, failure);
    if (failure) {
        fs::remove(temporary, failure);
        error = "could not replace it: " + failure.message();
        return false;
    }
    return true;
}

} // namespace varnel::extensions::vst
