#include "Summary.h"

#include "TextTable.h"

#include <VSTModule.h>

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

} // namespace

std::string describeLevels(const SignalStats& stats) {
    // Silence has no level in dB worth printing ("-inf").
    const std::string text = std::isinf(stats.peakDbfs()) ? std::string("silent")
                                                          : formatted("peak %.1f dBFS", stats.peakDbfs()) +
                                                                formatted(", RMS %.1f dBFS", stats.rmsDbfs());
    if (stats.nonFiniteSamples() == 0)
        return text;
    return text + " (" + std::to_string(stats.nonFiniteSamples()) + " samples NaN or infinite, left out)";
}

double inputSeconds(const RenderSummary& summary) {
    return summary.sampleRate > 0 ? static_cast<double>(summary.frames) / summary.sampleRate : 0.0;
}

double realtimeFactor(const RenderSummary& summary) {
    const double busy = std::chrono::duration<double>(summary.processingTime).count();
    return busy > 0.0 ? inputSeconds(summary) / busy : 0.0;
}

std::string describeTail(std::uint32_t tailSamples, int sampleRate) {
    if (tailSamples == varnel::extensions::vst::VSTModule::kInfiniteTail)
        return "infinite";
    if (tailSamples == varnel::extensions::vst::VSTModule::kNoTail)
        return "none";
    return std::to_string(tailSamples) + " samples" +
           (sampleRate > 0 ? " (" + formatted("%.3f s", static_cast<double>(tailSamples) / sampleRate) + ")"
                           : std::string());
}

void printSummary(std::ostream& out, const RenderSummary& summary) {
    const StageSummary& first = summary.stages.front();
    out << "plug-in   " << first.plugin << " (" << first.pluginPath << ")"
        << (summary.bypassed ? ", bypassed" : "") << '\n';
    if (summary.stages.size() == 1) {
        out << "class     " << first.pluginClass << '\n' << "channels  " << first.channelLayout << '\n';
        if (!first.settings.empty())
            out << "settings  " << joined(first.settings, ", ") << '\n';
    }
    // A chain lists every plug-in with its own channels, latency and tail.
    for (std::size_t i = 0; summary.stages.size() > 1 && i < summary.stages.size(); ++i) {
        const StageSummary& stage = summary.stages[i];
        out << (i == 0 ? "chain     " : "          ") << i + 1 << ". " << stage.plugin << " ("
            << stage.pluginPath << "): latency " << stage.latencySamples << " samples, tail "
            << describeTail(stage.tailSamples, summary.sampleRate) << ", " << stage.channelLayout
            << ", class " << stage.pluginClass << '\n';
        if (!stage.settings.empty())
            out << "             settings: " << joined(stage.settings, ", ") << '\n';
    }
    out << "frames    " << summary.frames << " (" << formatted("%.3f", inputSeconds(summary)) << " s at "
        << summary.sampleRate << " Hz)\n"
        << "latency   " << summary.latencySamples << " samples"
        << (summary.latencySamples == 0   ? ""
            : !summary.latencyCompensated ? ", not compensated"
            : summary.latencyCapped       ? ", compensated for its first 30 s only"
                                          : ", compensated")
        << '\n'
        << "tail      " << summary.tailFrames << " frames rendered (plug-in"
        << (summary.stages.size() > 1 ? "s" : "") << ": "
        << describeTail(summary.tailSamples, summary.sampleRate) << ")\n"
        << "speed     "
        << (summary.processingTime.count() > 0 ? formatted("%.1fx realtime", realtimeFactor(summary))
                                               : std::string("n/a"))
        << '\n'
        << "input     " << describeLevels(summary.input) << '\n'
        << "output    " << describeLevels(summary.output) << '\n'
        << "wrote     " << summary.outputPath << " (" << summary.outputFormat << ")\n";
}

} // namespace varnelvst::tool
