#include "AudioFile.h"

#include "ToolError.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnelvst::tool {

namespace fs = std::filesystem;

namespace {

// The one temporary file open at a time, for the interrupt handler, which may
// only call async-signal-safe functions: no std::string there.
char pendingTemporaryPath[4096];

extern "C" void removePendingAndExit(int signalNumber) {
    if (pendingTemporaryPath[0] != '\0')
        ::unlink(pendingTemporaryPath);
    ::_exit(128 + signalNumber);
}

void watchForInterrupts(const std::string& temporaryPath) {
    if (temporaryPath.size() >= sizeof pendingTemporaryPath)
        return; // the destructor still removes it on any ordinary exit
    std::memcpy(pendingTemporaryPath, temporaryPath.c_str(), temporaryPath.size() + 1);
    std::signal(SIGINT, removePendingAndExit);
    std::signal(SIGTERM, removePendingAndExit);
}

void stopWatching() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    pendingTemporaryPath[0] = '\0';
}

int majorFormatOf(FileFormat format) {
    switch (format) {
    case FileFormat::wav:
        return SF_FORMAT_WAV;
    case FileFormat::flac:
        return SF_FORMAT_FLAC;
    case FileFormat::aiff:
        return SF_FORMAT_AIFF;
    case FileFormat::ogg:
        return SF_FORMAT_OGG;
    }
    return SF_FORMAT_WAV;
}

int subtypeOf(SampleFormat format) {
    switch (format) {
    case SampleFormat::pcm16:
        return SF_FORMAT_PCM_16;
    case SampleFormat::pcm24:
        return SF_FORMAT_PCM_24;
    case SampleFormat::float32:
        return SF_FORMAT_FLOAT;
    }
    return SF_FORMAT_FLOAT;
}

bool writable(int format, int sampleRate, int channels) {
    SF_INFO info{};
    info.format = format;
    info.samplerate = sampleRate;
    info.channels = channels;
    return sf_format_check(&info) == SF_TRUE;
}

// The subtype for a new major format when only --format was given: the input's
// when the new format takes it, else the format's natural one.
int subtypeFor(int majorFormat, int inputSubtype, int sampleRate, int channels) {
    if (majorFormat == SF_FORMAT_OGG)
        return SF_FORMAT_VORBIS;
    if (writable(majorFormat | inputSubtype, sampleRate, channels))
        return inputSubtype;
    return majorFormat == SF_FORMAT_FLAC ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT;
}

std::string formatName(int format) {
    SF_FORMAT_INFO info{};
    info.format = format;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || info.name == nullptr)
        return "format " + std::to_string(format);
    return info.name;
}

} // namespace

bool clipsAboveFullScale(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
        return true;
    default:
        return false;
    }
}

InputFile::InputFile(const std::string& filePath) : path(filePath) {
    std::error_code error;
    if (fs::is_directory(path, error))
        throw failure("cannot read " + path + ": it is a folder");
    file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        throw failure("cannot read " + path + ": " + sf_strerror(nullptr));
}

InputFile::~InputFile() {
    if (file != nullptr)
        sf_close(file);
}

std::size_t InputFile::read(float* interleaved, std::size_t frames) {
    const sf_count_t got = sf_readf_float(file, interleaved, static_cast<sf_count_t>(frames));
    // A short read is the end of the file, unless libsndfile says otherwise.
    if (got < static_cast<sf_count_t>(frames) && sf_error(file) != SF_ERR_NO_ERROR)
        throw failure("cannot read " + path + ": " + sf_strerror(file));
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

OutputFile::OutputFile(const std::string& filePath, int format, int sampleRate, int channels)
    : path(filePath) {
    std::error_code error;
    if (fs::is_directory(path, error))
        throw failure("cannot write " + path + ": it is a folder");

    std::string pattern = path + ".tmp-XXXXXX";
    const int descriptor = ::mkstemp(pattern.data());
    if (descriptor < 0)
        throw failure("cannot write " + path + ": " + std::strerror(errno));
    temporaryPath = pattern;
    watchForInterrupts(temporaryPath);

    // mkstemp makes the file private; the result should get the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(descriptor, 0666 & ~mask);

    SF_INFO info{};
    info.format = format;
    info.samplerate = sampleRate;
    info.channels = channels;
    file = sf_open_fd(descriptor, SFM_WRITE, &info, SF_TRUE);
    if (file == nullptr) {
        const std::string reason = sf_strerror(nullptr);
        ::close(descriptor);
        discard();
        throw failure("cannot write " + path + ": " + reason);
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
        throw failure("cannot write " + path + ": " + sf_strerror(file));
}

void OutputFile::commit() {
    const int closed = sf_close(file);
    file = nullptr;
    if (closed != 0)
        throw failure("cannot write " + path + ": " + sf_error_number(closed));
    if (::rename(temporaryPath.c_str(), path.c_str()) != 0)
        throw failure("cannot write " + path + ": " + std::strerror(errno));
    temporaryPath.clear();
    stopWatching();
}

void OutputFile::discard() noexcept {
    if (file != nullptr) {
        sf_close(file);
        file = nullptr;
    }
    if (!temporaryPath.empty()) {
        ::unlink(temporaryPath.c_str());
        temporaryPath.clear();
        stopWatching();
    }
}

int chooseOutputFormat(int inputFormat, std::optional<FileFormat> fileFormat,
                       std::optional<SampleFormat> sampleFormat, int sampleRate, int channels) {
    const int inputMajor = inputFormat & SF_FORMAT_TYPEMASK;
    const int inputSubtype = inputFormat & SF_FORMAT_SUBMASK;
    const int majorFormat = fileFormat ? majorFormatOf(*fileFormat) : inputMajor;
    int subtype = inputSubtype;
    if (sampleFormat)
        subtype = subtypeOf(*sampleFormat);
    else if (majorFormat != inputMajor)
        subtype = subtypeFor(majorFormat, inputSubtype, sampleRate, channels);
    // Byte order belongs to the input's own format; a new one takes its default.
    const int byteOrder = majorFormat == inputMajor ? (inputFormat & SF_FORMAT_ENDMASK) : 0;
    const int format = majorFormat | subtype | byteOrder;
    if (!writable(format, sampleRate, channels)) {
        const std::string what = formatName(majorFormat) + " with " + formatName(subtype) + " samples at " +
                                 std::to_string(sampleRate) + " Hz";
        if (fileFormat || sampleFormat)
            throw usageError("libsndfile cannot write " + what + "; choose another --format or --subtype");
        throw failure("libsndfile cannot write " + what + "; choose an output format with --format");
    }
    return format;
}

std::string describeFormat(int format) {
    return formatName(format & SF_FORMAT_TYPEMASK) + ", " + formatName(format & SF_FORMAT_SUBMASK);
}

} // namespace varnelvst::tool
