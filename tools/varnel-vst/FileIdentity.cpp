#include "FileIdentity.h"

#include "StandardOutput.h"

#include <filesystem>
#include <system_error>
#include <tuple>

#include <sys/stat.h>

namespace varnelvst::tool {

namespace fs = std::filesystem;

FileIdentity::FileIdentity(const std::string& path) {
    struct stat status {};
    const bool found =
        path == "-" ? ::fstat(standardOutputDescriptor(), &status) == 0 : ::stat(path.c_str(), &status) == 0;
    if (found) {
        exists = true;
        device = status.st_dev;
        inode = status.st_ino;
        return;
    }
    std::error_code error;
    const fs::path absolute = fs::absolute(fileToCreate(path), error);
    resolved = (error ? fs::path(path) : fs::weakly_canonical(absolute, error)).lexically_normal().string();
    if (error)
        resolved = absolute.lexically_normal().string();
}

bool FileIdentity::operator==(const FileIdentity& other) const {
    return !(*this < other) && !(other < *this);
}

bool FileIdentity::operator<(const FileIdentity& other) const {
    return std::tie(exists, device, inode, resolved) <
           std::tie(other.exists, other.device, other.inode, other.resolved);
}

std::string fileToCreate(const std::string& path) {
    fs::path current = path;
    std::error_code error;
    for (int hops = 0; hops < 40 && fs::is_symlink(current, error); ++hops) {
        const fs::path next = fs::read_symlink(current, error);
        if (error)
            break;
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return current.string();
}

} // namespace varnelvst::tool
