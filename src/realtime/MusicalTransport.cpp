#include "realtime/MusicalTransport.h"

#include <chrono>
#include <cmath>

namespace varnel::extensions::vst {

using Steinberg::Vst::ProcessContext;

std::uint64_t MusicalTransport::packSignature(std::int32_t numerator, std::int32_t denominator) noexcept {
    return (std::uint64_t{static_cast<std::uint32_t>(numerator)} << 32) |
           static_cast<std::uint32_t>(denominator);
}

void MusicalTransport::setTempo(double beatsPerMinute) noexcept {
    tempo.store(beatsPerMinute, std::memory_order_relaxed);
}

void MusicalTransport::setTimeSignature(std::int32_t numerator, std::int32_t denominator) noexcept {
    timeSignature.store(packSignature(numerator, denominator), std::memory_order_relaxed);
}

void MusicalTransport::setPlaying(bool isPlaying) noexcept {
    playing.store(isPlaying, std::memory_order_relaxed);
}

void MusicalTransport::locate(std::int64_t projectTimeSamples) noexcept {
    locateTarget.store(projectTimeSamples, std::memory_order_relaxed);
    locateRequests.fetch_add(1, std::memory_order_release);
}

void MusicalTransport::derive(double beatsPerMinute, std::uint64_t signature, double sampleRate) noexcept {
    derivedTempo = beatsPerMinute;
    derivedSignature = signature;
    derivedRate = sampleRate;
    numerator = static_cast<std::int32_t>(signature >> 32);
    denominator = static_cast<std::int32_t>(signature & 0xFFFFFFFFu);
    quartersPerSample = sampleRate > 0.0 ? beatsPerMinute / 60.0 / sampleRate : 0.0;
    // A bar holds numerator notes of 1/denominator, each 4/denominator quarters.
    quartersPerBar = 4.0 * numerator / denominator;
    barCertainUntil = barCheckedFrom; // the bar is found again
}

void MusicalTransport::findBar() noexcept {
    barPosition = std::floor(quarterNotes / quartersPerBar) * quartersPerBar;
    // The quotient only grows with the position, so the bar holds from here on
    // until a margin (far wider than any rounding) before the next bar starts.
    const double nextBar = barPosition + quartersPerBar;
    barCheckedFrom = quarterNotes;
    barCertainUntil = nextBar - (std::abs(nextBar) + 1.0) * 1e-9;
}

void MusicalTransport::fill(ProcessContext& context, double sampleRate) noexcept {
    const double beatsPerMinute = tempo.load(std::memory_order_relaxed);
    const std::uint64_t signature = timeSignature.load(std::memory_order_relaxed);
    if (beatsPerMinute != derivedTempo || signature != derivedSignature || sampleRate != derivedRate)
        derive(beatsPerMinute, signature, sampleRate);
    const std::uint32_t requests = locateRequests.load(std::memory_order_acquire);
    if (requests != locatesTaken) {
        locatesTaken = requests;
        projectTime = locateTarget.load(std::memory_order_relaxed);
        quarterNotes =
            sampleRate > 0.0 ? static_cast<double>(projectTime) / sampleRate * beatsPerMinute / 60.0 : 0.0;
    }
    blockPlaying = playing.load(std::memory_order_relaxed);
    if (!(quarterNotes >= barCheckedFrom && quarterNotes < barCertainUntil))
        findBar();

    if (&context != clearedContext) {
        context = ProcessContext{};
        clearedContext = &context;
    }
    context.state = ProcessContext::kSystemTimeValid | ProcessContext::kContTimeValid |
                    ProcessContext::kProjectTimeMusicValid | ProcessContext::kBarPositionValid |
                    ProcessContext::kTempoValid | ProcessContext::kTimeSigValid |
                    (blockPlaying ? std::uint32_t{ProcessContext::kPlaying} : 0u);
    context.sampleRate = sampleRate;
    context.projectTimeSamples = projectTime;
    context.systemTime = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count();
    context.continousTimeSamples = continuousTime;
    context.projectTimeMusic = quarterNotes;
    context.barPositionMusic = barPosition;
    context.tempo = beatsPerMinute;
    context.timeSigNumerator = numerator;
    context.timeSigDenominator = denominator;
}

} // namespace varnel::extensions::vst
