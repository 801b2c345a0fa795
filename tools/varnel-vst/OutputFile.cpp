#include "OutputFile.h"

#include "AudioFile.h"
#include "FileIdentity.h"
#include "OggSerialNumber.h"
#include "StandardOutput.h"
#include "ToolError.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
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
    if (target.kind == OutputTarget::Kind::regularFile)
        openTemporaryFile(format, sampleRate, channels);
    else
        openStream(format, sampleRate, channels);
    // The PEAK chunk of float files holds the time of writing: without it the same
    // samples give the same bytes.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    // Without clipping, libsndfile wraps samples beyond full scale around when it
    // converts to integers: a loud plug-in would turn into a loud click.
    if (clipsAboveFullScale(format))
        sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

// Where the system has one, an unnamed file in the destination's folder (O_TMPFILE):
// a render killed outright (SIGKILL) leaves nothing. Else a named one beside it,
// removed on every other way out.
int OutputFile::createTemporaryFile() {
    const fs::path destination(target.writePath);
    const std::string folder = destination.has_parent_path() ? destination.parent_path().string() : ".";
    const int unnamed = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (unnamed >= 0) {
        temporaryDescriptor = unnamed;
        return unnamed;
    }
    std::string pattern = target.writePath + ".tmp-XXXXXX";
    const int descriptor = ::mkstemp(pattern.data());
    if (descriptor < 0)
        throw cannotWrite(target.path, std::strerror(errno));
    temporaryPath = pattern;
    registered.arm(temporaryPath);
    return descriptor;
}

void OutputFile::openTemporaryFile(int format, int sampleRate, int channels) {
    isOgg = (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG;
    const int descriptor = createTemporaryFile();
    // The temporary file is private; the result gets the replaced file's mode.
    ::fchmod(descriptor, target.mode);
    SF_INFO info{0, sampleRate, channels, format, 0, 0};
    // An unnamed file stays open past sf_close, to be linked in.
    file = sf_open_fd(descriptor, SFM_WRITE, &info, temporaryDescriptor < 0 ? SF_TRUE : SF_FALSE);
    if (file == nullptr) {
        const std::string reason = sf_strerror(nullptr);
        if (temporaryDescriptor < 0)
            ::close(descriptor);
        discard();
        throw cannotWrite(target.path, reason);
    }
}

// The unnamed file gets a name beside its destination, then takes its place: a
// file can be linked in only under a name still free.
void OutputFile::nameTemporaryFile() {
    const std::string self = "/proc/self/fd/" + std::to_string(temporaryDescriptor);
    for (unsigned attempt = 0;; ++attempt) {
        const std::string name =
            target.writePath + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temporaryPath = name;
            registered.arm(temporaryPath);
            break;
        }
        if (errno != EEXIST || attempt == 100)
            throw cannotWrite(target.path, std::strerror(errno));
    }
    ::close(temporaryDescriptor);
    temporaryDescriptor = -1;
}

// Standard output redirected into a file (`> out.wav`) can seek like one: the
// header gets the length at the end, as sox writes it. Not when it appends, or
// starts anywhere but at the file's start.
bool seekableFromTheStart(int descriptor) {
    struct stat status {};
    const int flags = ::fcntl(descriptor, F_GETFL);
    return descriptor >= 0 && ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && flags >= 0 &&
           (flags & O_APPEND) == 0 && ::lseek(descriptor, 0, SEEK_CUR) == 0;
}

bool OutputFile::openSeekableStandardOutput(int format, int sampleRate, int channels) {
    const int descriptor = standardOutputDescriptor();
    if (target.kind != OutputTarget::Kind::standardOutput || !seekableFromTheStart(descriptor))
        return false;
    // Whatever the file held before goes, as with `>`.
    if (::ftruncate(descriptor, 0) != 0)
        return false;
    SF_INFO info{0, sampleRate, channels, format, 0, 0};
    file = sf_open_fd(descriptor, SFM_WRITE, &info, SF_FALSE);
    if (file == nullptr)
        throw cannotWrite(target.path, sf_strerror(nullptr));
    direct = true;
    return true;
}

void OutputFile::openStream(int format, int sampleRate, int channels) {
    if (openSeekableStandardOutput(format, sampleRate, channels))
        return;
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_AIFF)
        throw usageError("cannot write " + target.path +
                         ": an AIFF file states its length at its start, which a stream cannot wait for; "
                         "choose --format wav, flac or ogg");
    int descriptor = standardOutputDescriptor();
    if (target.kind == OutputTarget::Kind::inPlace) {
        // A FIFO opens once a reader is there.
        streamDescriptor = ::open(target.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (streamDescriptor < 0)
            throw cannotWrite(target.path, std::strerror(errno));
        descriptor = streamDescriptor;
    }
    stream = std::make_unique<ForwardStream>(descriptor, (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV);
    SF_INFO info{0, sampleRate, channels, format, 0, 0};
    file = sf_open_virtual(ForwardStream::io(), SFM_WRITE, &info, stream.get());
    if (file == nullptr) {
        const std::string reason = sf_strerror(nullptr);
        discard();
        throw cannotWrite(target.path, reason);
    }
}

OutputFile::~OutputFile() {
    discard();
}

ToolError OutputFile::writeFailure() const {
    if (stream && !stream->failure().empty())
        return cannotWrite(target.path, stream->failure());
    return cannotWrite(target.path, sf_strerror(file));
}

void OutputFile::write(const float* interleaved, std::size_t frames) {
    const auto count = static_cast<sf_count_t>(frames);
    wroteDirectly = direct;
    if (sf_writef_float(file, interleaved, count) != count)
        throw writeFailure();
}

bool OutputFile::streamStarted() const {
    return stream ? stream->started() : wroteDirectly;
}

void OutputFile::commit() {
    const int closed = sf_close(file);
    file = nullptr;
    if (closed != 0)
        throw cannotWrite(target.path, sf_error_number(closed));
    if (stream) {
        if (!stream->finish())
            throw cannotWrite(target.path, stream->failure());
        return;
    }
    if (direct)
        return;
    const std::string written =
        temporaryDescriptor >= 0 ? "/proc/self/fd/" + std::to_string(temporaryDescriptor) : temporaryPath;
    if (std::string reason; isOgg && !fixOggSerialNumber(written, reason))
        throw cannotWrite(target.path, reason);
    if (temporaryDescriptor >= 0)
        nameTemporaryFile();
    if (::rename(temporaryPath.c_str(), target.writePath.c_str()) != 0)
        throw cannotWrite(target.path, std::strerror(errno));
    temporaryPath.clear();
    registered.release();
}

void OutputFile::discard() noexcept {
    if (file != nullptr) {
        sf_close(file);
        file = nullptr;
    }
    if (temporaryDescriptor >= 0) {
        ::close(temporaryDescriptor); // and the unnamed file is gone
        temporaryDescriptor = -1;
    }
    if (!temporaryPath.empty()) {
        ::unlink(temporaryPath.c_str());
        temporaryPath.clear();
    }
    registered.release();
    if (streamDescriptor >= 0) {
        ::close(streamDescriptor);
        streamDescriptor = -1;
    }
}

} // namespace varnelvst::tool
