#pragma once

#include "ForwardStream.h"
#include "TemporaryFiles.h"
#include "ToolError.h"

#include <sndfile.h>

#include <cstddef>
#include <memory>
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

// A sound file that reaches its destination only complete, by commit(), where it
// can: a regular file is written beside itself and renamed over (keeping its
// mode), so a failure before commit leaves the destination as it was and no
// temporary file; where the system has unnamed files (O_TMPFILE) the file has
// no name until the commit, so that not even SIGKILL leaves one. A stream
// (standard output, a FIFO, a device) cannot wait for the end: it gets the sound
// as it is rendered (ForwardStream), and a failure after the first bytes leaves
// what was sent; standard output redirected into a file from its start is
// written as that file, its header complete at the end. The bytes of a file
// depend only on the samples and the format: no chunk holds the time of writing,
// and an Ogg file's serial number is fixed (a stream's stays libsndfile's random
// one).
class OutputFile {
public:
    // Throws a ToolError "cannot write <path>: <reason>".
    OutputFile(const OutputTarget& target, int format, int sampleRate, int channels);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(const float* interleaved, std::size_t frames);
    void commit();
    // Whether some of the sound has reached a stream already.
    bool streamStarted() const;

private:
    int createTemporaryFile();
    void openTemporaryFile(int format, int sampleRate, int channels);
    void nameTemporaryFile();
    void openStream(int format, int sampleRate, int channels);
    bool openSeekableStandardOutput(int format, int sampleRate, int channels);
    ToolError writeFailure() const;
    void discard() noexcept;

    OutputTarget target;
    int temporaryDescriptor = -1; // an unnamed temporary file's, until it is named at commit
    std::string temporaryPath;    // a named one's
    RegisteredTemporaryFile registered;
    int streamDescriptor = -1; // owned for a FIFO or a device, not for standard output
    std::unique_ptr<ForwardStream> stream;
    bool isOgg = false;         // a regular Ogg file, whose serial number is fixed at commit
    bool direct = false;        // standard output that can seek, written as a file
    bool wroteDirectly = false; // and some of the sound has gone there
    SNDFILE* file = nullptr;
};

} // namespace varnelvst::tool
