#include "state/PresetFileReader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#ifdef _WIN32
#include <filesystem>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace varnel::extensions::vst {

namespace {

std::string tooLarge() {
    return "it is larger than " + std::to_string(kLargestPresetFileBytes >> 20) + " MiB";
}

#ifdef _WIN32

bool readWhole(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    std::error_code failure;
    const std::filesystem::file_status status = std::filesystem::status(path, failure);
    if (failure) {
        error = failure.message();
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = "it is not a regular file";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    bytes.clear();
    std::uint8_t buffer[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0 && bytes.size() <= kLargestPresetFileBytes)
        bytes.insert(bytes.end(), buffer, buffer + got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        error = "it could not be read";
    else if (bytes.size() > kLargestPresetFileBytes)
        error = tooLarge();
    return error.empty();
}

#else

bool readWhole(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    // Non-blocking, so that opening a FIFO returns at once; the type is then read
    // from what was opened, not from a path that may have changed since.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0)
        error = std::strerror(errno);
    else if (!S_ISREG(status.st_mode))
        error = S_ISDIR(status.st_mode) ? "it is a folder" : "it is not a regular file";
    else if (static_cast<std::uint64_t>(status.st_size) > kLargestPresetFileBytes)
        error = tooLarge();
    bytes.clear();
    if (error.empty())
        bytes.reserve(static_cast<std::size_t>(status.st_size));
    std::uint8_t buffer[1 << 16];
    // One byte beyond the limit tells a file that grew past it while being read.
    while (error.empty()) {
        const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            error = std::strerror(errno);
        if (got <= 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + got);
        if (bytes.size() > kLargestPresetFileBytes)
            error = tooLarge();
    }
    ::close(descriptor);
    return error.empty();
}

#endif

} // namespace

bool readPresetFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    error.clear();
    if (readWhole(path, bytes, error))
        return true;
    bytes.clear();
    return false;
}

} // namespace varnel::extensions::vst
