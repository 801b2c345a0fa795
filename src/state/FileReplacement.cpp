#include "state/FileReplacement.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace varnel::extensions::vst {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr int kCreateNew = _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT;
constexpr int kNewFileMode = _S_IREAD | _S_IWRITE;
int openFile(const char* path, int flags, int mode) {
    return ::_open(path, flags, mode);
}
int writeSome(int descriptor, const std::uint8_t* data, std::size_t size) {
    return ::_write(descriptor, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
int closeFile(int descriptor) {
    return ::_close(descriptor);
}
#else
// O_EXCL with O_CREAT refuses any existing name, a link included: nothing planted
// under the temporary name is ever followed.
constexpr int kCreateNew = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
constexpr int kNewFileMode = 0666; // less the umask, as for any new file
int openFile(const char* path, int flags, int mode) {
    return ::open(path, flags, mode);
}
ssize_t writeSome(int descriptor, const std::uint8_t* data, std::size_t size) {
    return ::write(descriptor, data, size);
}
int closeFile(int descriptor) {
    return ::close(descriptor);
}
#endif

bool writeAll(int descriptor, const std::vector<std::uint8_t>& bytes) {
    const std::uint8_t* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const auto written = writeSome(descriptor, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

// A name beside `target` that nobody can guess in advance, so that another user
// cannot prepare it in a shared folder.
std::string unpredictableSuffix() {
    thread_local std::mt19937_64 generator = [] {
        std::seed_seq seed{
            static_cast<std::uint64_t>(std::random_device{}()),
            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
        return std::mt19937_64(seed);
    }();
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string suffix = ".tmp-";
    for (int i = 0; i < 12; ++i)
        suffix += kLetters[generator() % (sizeof kLetters - 1)];
    return suffix;
}

// Creates a new file beside `target`, exclusively; -1 with the reason in `error`.
int createTemporaryBeside(const fs::path& target, fs::path& temporary, std::string& error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = target;
        temporary += unpredictableSuffix();
        const int descriptor = openFile(temporary.string().c_str(), kCreateNew, kNewFileMode);
        if (descriptor >= 0)
            return descriptor;
        if (errno != EEXIST)
            break;
    }
    error = "could not create a temporary file beside it: " + std::string(std::strerror(errno));
    return -1;
}

bool writeInPlace(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream stream(file, std::ios::binary | std::ios::out);
    stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    stream.close();
    return static_cast<bool>(stream);
}

} // namespace

bool replaceFileContent(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error) {
    std::error_code failure;
    fs::path target = fs::path(path);
    if (fs::is_symlink(fs::symlink_status(target, failure)))
        target = fs::weakly_canonical(target, failure);
    const fs::file_status status = fs::status(target, failure);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        if (writeInPlace(target, bytes))
            return true;
        error = "could not write to it";
        return false;
    }
    fs::path temporary;
    const int descriptor = createTemporaryBeside(target, temporary, error);
    if (descriptor < 0)
        return false;
    const bool written = writeAll(descriptor, bytes);
    const bool closed = closeFile(descriptor) == 0;
    if (!written || !closed) {
        error = "could not write " + temporary.string() + ": " + std::strerror(errno);
        fs::remove(temporary, failure);
        return false;
    }
    if (fs::exists(status))
        fs::permissions(temporary, status.permissions(), failure);
    fs::rename(temporary, target, failure);
    if (failure) {
        error = "could not replace it: " + failure.message();
        fs::remove(temporary, failure);
        return false;
    }
    return true;
}

} // namespace varnel::extensions::vst
