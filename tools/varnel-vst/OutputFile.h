#pragma once

#include "TemporaryFiles.h"

#include <sndfile.h>

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace varnelvst::tool {

// Where a sound file goes, found out before anything is rendered.
struct OutputTarget {
    enum class Kind {
        regularFile,    // a regular file or none yet: a temporary file renamed over it
        inPlace,        // a device, a FIFO or the like: written into, never replaced
        standardOutput, // "-"
    };
    Kind kind = Kind::regularFile;
    std::string path;      // as named, for messages
    std::string writePath; // for a regular file: the file itself, links resolved
    mode_t mode = 0666;    // the replaced file's, or the usual one for a new file
};

// Throws a ToolError "cannot write <path>: <reason>" for a folder, for the input
// file itself (by device and inode) and, unless `force`, for a read-only file.
OutputTarget inspectOutput(const std::string& path, const std::string& inputPath, bool force);

// A sound file that reaches its destination only complete, by commit(); a
// failure before that leaves the destination as it was and no temporary file.
// A regular file is written beside itself and renamed over (keeping its mode);
// anything else is rendered into memory and copied into it at commit.
class OutputFile {
public:
    // Throws a ToolError "cannot write <path>: <reason>".
    OutputFile(const OutputTarget& target, int format, int sampleRate, int channels);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const float* interleaved, std::size_t frames);
    void commit();

private:
    void copyInto(int destination);
    void discard() noexcept;

    OutputTarget target;
    std::string temporaryPath;
    RegisteredTemporaryFile registered;
    int memoryFile = -1;
    SNDFILE* file = nullptr;
};

} // namespace varnelvst::tool
