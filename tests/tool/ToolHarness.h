#pragma once

// Runs the built varnel-vst in a child process and handles the sound files
// around it, for the tool's end-to-end tests.

#include "testsupport/ScratchFolder.h"
#include "testsupport/SoundFile.h"

#include <sndfile.h>

#include <cstddef>
#include <string>
#include <vector>

namespace tooltest {

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;

    // Standard error split into lines, without the empty last one.
    std::vector<std::string> errLines() const;
};

using testsupport::ScratchFolder;

// Runs varnel-vst with `arguments` in `workingFolder` (the current one when
// empty); `environment` is prepended to the command as shell assignments, e.g.
// "HOME=/tmp/x".
ToolRun runTool(const std::vector<std::string>& arguments, const std::string& workingFolder = {},
                const std::string& environment = {});

using testsupport::readSound;
using testsupport::Sound;
using testsupport::writeSound;

// A deterministic test signal: decaying tones with a different pitch per channel,
// loud enough to make a compressor work.
Sound makeSignal(int channels, std::size_t frames, int sampleRate = 48000,
                 int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT);

} // namespace tooltest
