#pragma once

#include "SignalStats.h"

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace varnelvst::tool {

// One plug-in of the chain.
struct StageSummary {
    std::string plugin;
    std::string pluginPath;
    std::string channelLayout; // how the stereo signal reached the plug-in, in words
    std::uint32_t latencySamples = 0;
    std::uint32_t tailSamples = 0; // as the plug-in reports it
    std::string pluginClass;       // the name of the audio module class loaded
    // Its preset and every parameter the command set, as the plug-in shows the
    // value it took: "preset a.vstpreset", "Threshold = -24 dB".
    std::vector<std::string> settings;
};

// What `process` reports when it is done. Latency and tail are the chain's.
struct RenderSummary {
    std::vector<StageSummary> stages; // every plug-in, in order; never empty
    bool bypassed = false;
    std::int64_t frames = 0;          // of input
    std::int64_t tailFrames = 0;      // written after the input's length
    std::uint64_t latencySamples = 0; // the plug-ins' added up
    std::uint32_t tailSamples = 0;    // as the plug-ins report it, added up
    bool latencyCompensated = true;
    bool latencyCapped = false; // more than the cap of a tail: only that much was taken off
    int sampleRate = 0;
    std::chrono::nanoseconds processingTime{0}; // inside the plug-in nodes only
    SignalStats input;
    SignalStats output;
    std::string outputPath;
    std::string outputFormat;
};

// The input's length in seconds.
double inputSeconds(const RenderSummary& summary);
// How many times faster than real time the plug-ins processed the input; 0 when
// no processing time was measured.
double realtimeFactor(const RenderSummary& summary);

// "none", "infinite" or "N samples (S s)", for a plug-in's reported tail.
std::string describeTail(std::uint32_t tailSamples, int sampleRate);

// "peak -1.7 dBFS, RMS -13.5 dBFS", or "silent", with the NaN and infinite
// samples left out.
std::string describeLevels(const SignalStats& stats);

// The plug-ins, frames and seconds, latency, tail, realtime factor, input and
// output levels and the output's path.
void printSummary(std::ostream& out, const RenderSummary& summary);

} // namespace varnelvst::tool
