#include "OutputFile.h"

#include "AudioFile.h"
#include "FileIdentity.h"
#include "StandardOutput.h"
#include "ToolError.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnelvst::tool {

namespace fs = std::filesystem;

namespace {

ToolError cannotWrite(const std::string& path, const std::string& reason) {
    return failure("cannot write " + path + ": " + reason);
}

mode_t usualMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool sameFile(const struct stat& one, const std::string& path) {
    struct stat other {};
    return ::stat(path.c_str(), &other) == 0 && other.st_dev == one.st_dev && other.st_ino == one.st_ino;
}

void writeAll(int descriptor, const char* data, std::size_t size, const std::string& path) {
    while (size > 0) {
        const ssize_t written = ::write(descriptor, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw cannotWrite(path, std::strerror(errno));
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

} // namespace

OutputTarget inspectOutput(const std::string& path, const std::string& inputPath, bool force) {
    if (path == "-")
        return {OutputTarget::Kind::standardOutput, path, {}, 0};
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno != ENOENT)
            throw cannotWrite(path, std::strerror(errno));
        return {OutputTarget::Kind::regularFile, path, fileToCreate(path), usualMode()};
    }
    if (S_ISDIR(status.st_mode))
        throw cannotWrite(path, "it is a folder");
    if (sameFile(status, inputPath))
        throw cannotWrite(path, "it is the input file");
    if (!S_ISREG(status.st_mode))
        return {OutputTarget::Kind::inPlace, path, path, 0};
    // Mode bits as well as access(): root may write anything, but a file nobody
    // may write was made read-only on purpose.
    const bool readOnly = (status.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
    if (readOnly && !force)
        throw cannotWrite(path, "it is read-only (--force replaces it)");
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    return {OutputTarget::Kind::regularFile, path, error ? path : resolved.string(),
            static_cast<mode_t>(status.st_mode & 07777)};
}

OutputFile::OutputFile(const OutputTarget& destination, int format, int sampleRate, int channels)
    : target(destination) {
    int descriptor = -1;
    if (target.kind == OutputTarget::Kind::regularFile) {
        std::string pattern = target.writePath + ".tmp-XXXXXX";
        descriptor = ::mkstemp(pattern.data());
        if (descriptor < 0)
            throw cannotWrite(target.path, std::strerror(errno));
        temporaryPath = pattern;
        registered.arm(temporaryPath);
        // mkstemp makes the file private; the result gets the replaced file's mode.
        ::fchmod(descriptor, target.mode);
    } else {
        // A pipe or a device cannot be seeked back to finish the header, and should
        // receive nothing from a render that fails: the file is made in memory first.
        memoryFile = ::memfd_create("varnel-vst-output", MFD_CLOEXEC);
        if (memoryFile < 0)
            throw cannotWrite(target.path, std::strerror(errno));
        descriptor = memoryFile;
    }

    SF_INFO info{};
    info.format = format;
    info.samplerate = sampleRate;
    info.channels = channels;
    file = sf_open_fd(descriptor, SFM_WRITE, &info, memoryFile < 0 ? SF_TRUE : SF_FALSE);
    if (file == nullptr) {
        const std::string reason = sf_strerror(nullptr);
        if (memoryFile < 0)
            ::close(descriptor);
        discard();
        throw cannotWrite(target.path, reason);
    }
    // Without clipping, libsndfile wraps samples beyond full scale around when it
    // converts to integers: a loud plug-in would turn into a loud click.
    if (clipsAboveFullScale(format))
        sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::write(const float* interleaved, std::size_t frames) {
    const auto count = static_cast<sf_count_t>(frames);
    if (sf_writef_float(file, interleaved, count) != count)
        throw cannotWrite(target.path, sf_strerror(file));
}

void OutputFile::commit() {
    const int closed = sf_close(file);
    file = nullptr;
    if (closed != 0)
        throw cannotWrite(target.path, sf_error_number(closed));
    switch (target.kind) {
    case OutputTarget::Kind::regularFile:
        if (::rename(temporaryPath.c_str(), target.writePath.c_str()) != 0)
            throw cannotWrite(target.path, std::strerror(errno));
        temporaryPath.clear();
        registered.release();
        break;
    case OutputTarget::Kind::standardOutput:
        copyInto(standardOutputDescriptor());
        break;
    case OutputTarget::Kind::inPlace: {
        const int destination = ::open(target.path.c_str(), O_WRONLY | O_CLOEXEC);
        if (destination < 0)
            throw cannotWrite(target.path, std::strerror(errno));
        try {
            copyInto(destination);
        } catch (...) {
            ::close(destination);
            throw;
        }
        ::close(destination);
        break;
    }
    }
}

void OutputFile::copyInto(int destination) {
    const off_t size = ::lseek(memoryFile, 0, SEEK_END);
    if (size < 0)
        throw cannotWrite(target.path, std::strerror(errno));
    if (size == 0)
        return;
    void* data = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, memoryFile, 0);
    if (data == MAP_FAILED)
        throw cannotWrite(target.path, std::strerror(errno));
    try {
        writeAll(destination, static_cast<const char*>(data), static_cast<std::size_t>(size), target.path);
    } catch (...) {
        ::munmap(data, static_cast<std::size_t>(size));
        throw;
    }
    ::munmap(data, static_cast<std::size_t>(size));
}

void OutputFile::discard() noexcept {
    if (file != nullptr) {
        sf_close(file);
        file = nullptr;
    }
    if (!temporaryPath.empty()) {
        ::unlink(temporaryPath.c_str());
        temporaryPath.clear();
    }
    registered.release();
    if (memoryFile >= 0) {
        ::close(memoryFile);
        memoryFile = -1;
    }
}

} // namespace varnelvst::tool
