#include "AudioFile.h"

#include "NameMatch.h"
#include "ToolError.h"

#include <filesystem>
#include <utility>
#include <vector>

namespace varnelvst::tool {

namespace fs = std::filesystem;

namespace {

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
    // libsndfile's check lets any rate through for Opus, which takes only these.
    if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS && sampleRate != 8000 && sampleRate != 12000 &&
        sampleRate != 16000 && sampleRate != 24000 && sampleRate != 48000)
        return false;
    SF_INFO info{};
    info.format = format;
    info.samplerate = sampleRate;
    info.channels = channels;
    return sf_format_check(&info) == SF_TRUE;
}

// The subtype for a new major format when no --subtype was given: the input's
// when the new format takes it, else the most precise one it takes.
int subtypeFor(int majorFormat, int inputSubtype, int sampleRate, int channels) {
    if (writable(majorFormat | inputSubtype, sampleRate, channels))
        return inputSubtype;
    for (const int subtype : {SF_FORMAT_FLOAT, SF_FORMAT_PCM_24, SF_FORMAT_PCM_16, SF_FORMAT_VORBIS,
                              SF_FORMAT_OPUS, SF_FORMAT_MPEG_LAYER_III}) {
        if (writable(majorFormat | subtype, sampleRate, channels))
            return subtype;
    }
    return inputSubtype; // refused, with its name, by the caller
}

// libsndfile's major formats with the one extension it gives each.
std::vector<std::pair<std::string, int>> extensionTable() {
    std::vector<std::pair<std::string, int>> table;
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int index = 0; index < count; ++index) {
        SF_FORMAT_INFO info{};
        info.format = index;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 && info.extension != nullptr)
            table.emplace_back(info.extension, info.format & SF_FORMAT_TYPEMASK);
    }
    // The other names people give the same files.
    for (const auto& [alias, format] : std::vector<std::pair<std::string, int>>{{"wave", SF_FORMAT_WAV},
                                                                                {"aiff", SF_FORMAT_AIFF},
                                                                                {"aif", SF_FORMAT_AIFF},
                                                                                {"ogg", SF_FORMAT_OGG},
                                                                                {"oga", SF_FORMAT_OGG},
                                                                                {"opus", SF_FORMAT_OGG},
                                                                                {"mp3", SF_FORMAT_MPEG}})
        table.emplace_back(alias, format);
    return table;
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

int integerBitsOf(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return 8;
    case SF_FORMAT_PCM_16:
        return 16;
    case SF_FORMAT_PCM_24:
        return 24;
    case SF_FORMAT_PCM_32:
        return 32;
    default:
        return 0;
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

std::optional<int> outputMajorFormat(const std::string& outputPath, std::optional<FileFormat> fileFormat) {
    if (fileFormat)
        return majorFormatOf(*fileFormat);
    if (outputPath == "-")
        return SF_FORMAT_WAV;
    const std::string extension = fs::path(outputPath).extension().string();
    if (extension.size() < 2)
        return std::nullopt;
    const std::string name = lowerCase(extension.substr(1));
    for (const auto& [known, format] : extensionTable()) {
        if (known == name)
            return format;
    }
    throw usageError("libsndfile writes no ." + name + " files (" + outputPath +
                     "); name the output .wav, .flac, .aiff or .ogg, or choose a --format");
}

std::string extensionOf(int majorFormat) {
    for (const auto& [extension, format] : extensionTable()) {
        if (format == majorFormat)
            return extension;
    }
    return "wav";
}

std::optional<int> outputCodec(const std::string& outputPath, std::optional<FileFormat> fileFormat) {
    if (fileFormat || lowerCase(fs::path(outputPath).extension().string()) != ".opus")
        return std::nullopt;
    return SF_FORMAT_OPUS;
}

int chooseOutputFormat(int inputFormat, std::optional<int> requestedMajor, std::optional<int> codec,
                       std::optional<SampleFormat> sampleFormat, int sampleRate, int channels) {
    const int inputMajor = inputFormat & SF_FORMAT_TYPEMASK;
    const int inputSubtype = inputFormat & SF_FORMAT_SUBMASK;
    const int majorFormat = requestedMajor.value_or(inputMajor);
    int subtype = inputSubtype;
    if (sampleFormat)
        subtype = subtypeOf(*sampleFormat);
    else if (codec)
        subtype = *codec;
    else if (majorFormat != inputMajor)
        subtype = subtypeFor(majorFormat, inputSubtype, sampleRate, channels);
    // Byte order belongs to the input's own format; a new one takes its default.
    const int byteOrder = majorFormat == inputMajor ? (inputFormat & SF_FORMAT_ENDMASK) : 0;
    const int format = majorFormat | subtype | byteOrder;
    if (!writable(format, sampleRate, channels)) {
        const std::string what = formatName(majorFormat) + " with " + formatName(subtype) + " samples at " +
                                 std::to_string(sampleRate) + " Hz";
        if (codec == SF_FORMAT_OPUS)
            throw usageError("libsndfile cannot write " + what +
                             "; Opus takes 8000, 12000, 16000, 24000 or 48000 Hz (-r 48000 resamples)" +
                             (sampleFormat ? " and no --bits or --subtype" : ""));
        if (sampleFormat)
            throw usageError("libsndfile cannot write " + what +
                             "; choose another --format, --bits or --subtype");
        throw failure("libsndfile cannot write " + what + "; choose an output format with --format");
    }
    return format;
}

std::string describeFormat(int format) {
    return formatName(format & SF_FORMAT_TYPEMASK) + ", " + formatName(format & SF_FORMAT_SUBMASK);
}

} // namespace varnelvst::tool
