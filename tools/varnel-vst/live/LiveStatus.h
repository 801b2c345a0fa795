#pragma once

#include "live/LiveMeters.h"

#include <cstdint>
#include <string>

namespace varnelvst::tool {

// What the status line of live playing shows, and its summary at the end.
struct LiveStatus {
    double seconds = 0.0;      // played
    LiveMeters::Window meters; // load and peaks, of the last moments or of the whole run
    std::uint64_t xruns = 0;
    std::uint32_t latencyFrames = 0; // heard: the device's and the plug-ins'
    int sampleRate = 0;
};

// "0:12.3  load 1.4% (peak 31%)  xruns 0  in -12.1 dBFS  out -14.3 dBFS  latency 10.7 ms"
std::string describeStatus(const LiveStatus& status);

// "12.5 ms" for a number of frames at the rate.
std::string describeLatency(std::uint32_t frames, int sampleRate);

// "14%", or "0.8%" below 10%
std::string percent(double share);

// A line on standard error rewritten in place, drawn only when standard error
// is a terminal (so logs and pipes stay clean), erased at the end.
class StatusLine {
public:
    StatusLine();
    ~StatusLine();
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

    void show(const std::string& text);
    void clear();

private:
    bool visible;
    bool shown = false;
};

} // namespace varnelvst::tool
