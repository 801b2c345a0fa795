#include "live/LiveStatus.h"

#include <cmath>
#include <cstdio>

#include <unistd.h>

namespace varnelvst::tool {

namespace {

std::string level(float peak) {
    if (!(peak > 0.0f))
        return "silent";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dBFS", 20.0 * std::log10(peak));
    return text;
}

std::string clock(double seconds) {
    char text[32];
    const int minutes = static_cast<int>(seconds / 60.0);
    std::snprintf(text, sizeof text, "%d:%04.1f", minutes, seconds - 60.0 * minutes);
    return text;
}

} // namespace

std::string percent(double share) {
    // A tenth of a percent where a light load would otherwise read 0% or 1%.
    char text[32];
    std::snprintf(text, sizeof text, share < 0.1 ? "%.1f%%" : "%.0f%%", 100.0 * share);
    return text;
}

std::string describeLatency(std::uint32_t frames, int sampleRate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", sampleRate > 0 ? 1000.0 * frames / sampleRate : 0.0);
    return text;
}

std::string describeStatus(const LiveStatus& status) {
    return clock(status.seconds) + "  load " + percent(status.meters.load) + " (peak " +
           percent(status.meters.peakLoad) + ")  xruns " + std::to_string(status.xruns) + "  in " +
           level(status.meters.inputPeak) + "  out " + level(status.meters.outputPeak) + "  latency " +
           describeLatency(status.latencyFrames, status.sampleRate);
}

StatusLine::StatusLine() : visible(::isatty(STDERR_FILENO) == 1) {}

StatusLine::~StatusLine() {
    clear();
}

void StatusLine::show(const std::string& text) {
    if (!visible)
        return;
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    std::fflush(stderr);
    shown = true;
}

void StatusLine::clear() {
    if (!shown)
        return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown = false;
}

} // namespace varnelvst::tool
