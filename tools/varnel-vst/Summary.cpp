#include "Summary.h"

#include <cmath>
#include <cstdio>
#include <ostream>

namespace varnelvst::tool {

namespace {

std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string levels(const SignalStats& stats) {
    // Silence has no level in dB worth printing ("-inf").
    const std::string text = std::isinf(stats.peakDbfs()) ? std::string("silent")
                                                          : formatted("peak %.1f dBFS", stats.peakDbfs()) +
                                                                formatted(", RMS %.1f dBFS", stats.rmsDbfs());
    if (stats.nonFiniteSamples() == 0)
        return text;
    return text + " (" + std::to_string(stats.nonFiniteSamples()) + " samples NaN or infinite, left out)";
}

} // namespace

void printSummary(std::ostream& out, const RenderSummary& summary) {
    const double seconds =
        summary.sampleRate > 0 ? static_cast<double>(summary.frames) / summary.sampleRate : 0.0;
    const double busy = std::chrono::duration<double>(summary.processingTime).count();
    out << "plug-in   " << summary.plugin << " (" << summary.pluginPath << ")"
        << (summary.bypassed ? ", bypassed" : "") << '\n'
        << "channels  " << summary.channelLayout << '\n'
        << "frames    " << summary.frames << " (" << formatted("%.3f", seconds) << " s at "
        << summary.sampleRate << " Hz)\n"
        << "speed     " << (busy > 0.0 ? formatted("%.1fx realtime", seconds / busy) : std::string("n/a"))
        << '\n'
        << "input     " << levels(summary.input) << '\n'
        << "output    " << levels(summary.output) << '\n'
        << "wrote     " << summary.outputPath << " (" << summary.outputFormat << ")\n";
}

} // namespace varnelvst::tool
