#include "PlayingOptions.h"

#include "ToolError.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <string>

namespace varnelvst::tool {

namespace {

constexpr std::uint32_t kLargestFixedBlock = 1u << 20;

// "N/D": N beats of 1/D notes; D a power of two up to 64, as written in scores.
void parseTimeSignature(const std::string& text, PlayingOptions& target) {
    const std::size_t slash = text.find('/');
    int beats = 0, unit = 0;
    const char* end = text.data() + text.size();
    const bool read = slash != std::string::npos &&
                      std::from_chars(text.data(), text.data() + slash, beats).ptr == text.data() + slash &&
                      std::from_chars(text.data() + slash + 1, end, unit).ptr == end &&
                      slash + 1 < text.size();
    if (!read || beats < 1 || beats > 64 || unit < 1 || unit > 64 || (unit & (unit - 1)) != 0)
        throw usageError(
            "--time-signature takes N/D with N from 1 to 64 and D one of 1, 2, 4, 8, 16, 32, 64, "
            "not '" +
            text + "' (see varnel-vst process --help)");
    target.beatsPerBar = beats;
    target.beatUnit = unit;
}

} // namespace

void addPlayingOptions(CLI::App& command, PlayingOptions& target) {
    command
        .add_option("--tempo", target.tempo, "Tempo the plug-ins are told, in beats per minute (default 120)")
        ->type_name("BPM")
        ->check(CLI::Range(1.0, 999.0).description(""));
    command
        .add_option_function<std::string>(
            "--time-signature", [&target](const std::string& text) { parseTimeSignature(text, target); },
            "Time signature the plug-ins are told (default 4/4)")
        ->type_name("N/D");
    command
        .add_option("--fixed-block", target.fixedBlockFrames,
                    "Give every plug-in blocks of exactly N frames, whatever --block reads, at N frames of "
                    "latency (compensated like any)")
        ->type_name("N")
        ->check(CLI::Range(1u, kLargestFixedBlock).description(""));
}

void applyPlayingOptions(varnel::extensions::vst::VSTProcessorNode& node, const PlayingOptions& options) {
    // The library has said why a value was refused; the parser let through only
    // what it takes.
    if (!node.setFixedBlockSize(static_cast<int>(options.fixedBlockFrames)) ||
        !node.setTempo(options.tempo) || !node.setTimeSignature(options.beatsPerBar, options.beatUnit))
        throw failure("the plug-in refused the tempo, time signature or block size");
    // Each file starts at the first beat.
    node.setTransportPosition(0);
    node.setTransportPlaying(true);
}

} // namespace varnelvst::tool
