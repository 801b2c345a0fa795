#pragma once

#include "SignalStats.h"

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace varnelvst::tool {

// What `process` reports when it is done.
struct RenderSummary {
    std::string plugin;
    std::string pluginPath;
    bool bypassed = false;
    std::string channelLayout; // how the stereo signal reached the plug-in, in words
    std::int64_t frames = 0;
    int sampleRate = 0;
    std::chrono::nanoseconds processingTime{0}; // inside the plug-in node only
    SignalStats input;
    SignalStats output;
    std::string outputPath;
    std::string outputFormat;
};

// Frames, seconds, realtime factor, input and output levels and the output's path.
void printSummary(std::ostream& out, const RenderSummary& summary);

} // namespace varnelvst::tool
