#pragma once

#include "CommandLine.h"

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

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

// A sound file written to a temporary file beside its destination and renamed
// into place by commit(), so that the destination only ever holds a complete
// file. Destroying an uncommitted file, or an interrupt (SIGINT, SIGTERM)
// while one is open, removes the temporary file.
class OutputFile {
public:
    // Throws a ToolError "cannot write <path>: <reason>".
    OutputFile(const std::string& path, int format, int sampleRate, int channels);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const float* interleaved, std::size_t frames);
    // Closes the file and renames it to the destination.
    void commit();

private:
    void discard() noexcept;

    std::string path;
    std::string temporaryPath;
    SNDFILE* file = nullptr;
};

// The format to write: the input's major format, subtype and byte order, or what
// --format and --subtype ask for. Throws a ToolError when libsndfile cannot
// write that combination.
int chooseOutputFormat(int inputFormat, std::optional<FileFormat> fileFormat,
                       std::optional<SampleFormat> sampleFormat, int sampleRate, int channels);

// Whether samples beyond full scale are cut off in this format (integer samples),
// rather than kept (floating point).
bool clipsAboveFullScale(int format);

// E.g. "WAV (Microsoft), 32 bit float".
std::string describeFormat(int format);

} // namespace varnelvst::tool
