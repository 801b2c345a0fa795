#pragma once

#include "CommandLine.h"

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varnelvst::tool {

// A sound file opened for reading through libsndfile, samples as float.
class InputFile {
public:
    // Throws a ToolError "cannot read <path>: <reason>".
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    int sampleRate() const { return info.samplerate; }
    int channels() const { return info.channels; }
    std::int64_t frames() const { return info.frames; }
    // libsndfile's format code: major format, subtype and byte order.
    int format() const { return info.format; }

    // Reads up to `frames` interleaved frames; fewer only at the end of the file.
    std::size_t read(float* interleaved, std::size_t frames);

private:
    std::string path;
    SF_INFO info{};
    SNDFILE* file = nullptr;
};

// The major format an output is written in: --format's when given, WAV for
// standard output ("-"), else the one libsndfile writes under the output's
// extension (as sox chooses), or none for a name without one (the input's is
// kept). Throws a usage ToolError for an extension libsndfile cannot write.
std::optional<int> outputMajorFormat(const std::string& outputPath, std::optional<FileFormat> fileFormat);

// The libsndfile extension of a major format ("wav", "flac", "oga").
std::string extensionOf(int majorFormat);

// The codec an output's extension asks for within its major format: Opus for
// ".opus" (an Ogg file like ".ogg", whose codec is Vorbis); none otherwise, and
// none when --format chooses.
std::optional<int> outputCodec(const std::string& outputPath, std::optional<FileFormat> fileFormat);

// The format to write: the input's major format, subtype and byte order, with
// what `majorFormat`, `codec` and --subtype ask for instead. Throws a ToolError
// when libsndfile cannot write that combination.
int chooseOutputFormat(int inputFormat, std::optional<int> majorFormat, std::optional<int> codec,
                       std::optional<SampleFormat> sampleFormat, int sampleRate, int channels);

// Whether samples beyond full scale are cut off in this format (integer samples),
// rather than kept (floating point).
bool clipsAboveFullScale(int format);

// The bits of integer samples (8, 16, 24, 32); 0 for floating point and lossy codecs.
int integerBitsOf(int format);

// E.g. "WAV (Microsoft), 32 bit float".
std::string describeFormat(int format);

} // namespace varnelvst::tool
