#pragma once

#include <cstdint>
#include <deque>
#include <optional>

namespace varnelvst::tool {

// Where a tail of open length ends: one the plug-ins report as endless, or none
// although they ring on. Fed the tail frame by frame, it decides over spans of
// kSpanSeconds, long enough that echoes up to 3 s apart (a delay's repeats, with
// silence between them) belong to the tail:
// - silence: the tail ends once it has stayed quiet for a span, below -120 dBFS
//   or 100 dB below the render's own peak; the quiet span is not part of it;
// - no more decay (with `followDecay`, for --tail auto): the tail ends once its
//   peak over the last span is not 1 dB below its peak over the span before, as
//   with a noise floor, dither or a DC offset that never falls silent; it ends
//   where that level began (the start of the span before), so a tail that is
//   only such a floor is none.
// Both rules look at tenths of a second of the loudest channel.
class TailEnd {
public:
    static constexpr float kSilence = 1.0e-6f;     // -120 dBFS
    static constexpr float kBelowPeak = 1.0e-5f;   // -100 dB
    static constexpr float kDecayPerSpan = 0.891f; // -1 dB
    static constexpr int kSpanSeconds = 4;

    TailEnd(int sampleRate, bool followDecay);

    // The next tail frame's loudest channel, and the render's peak so far.
    void add(float level, float renderPeak);

    // Tail frames that belong to the tail whatever comes next.
    std::uint64_t certain() const;
    // Once decided, the tail's length in frames.
    std::optional<std::uint64_t> length() const { return decided; }

private:
    void closeWindow();

    const std::uint64_t spanFrames;
    const std::uint64_t windowFrames;
    const bool followDecay;
    std::uint64_t frames = 0;                // tail frames seen
    std::optional<std::uint64_t> audibleEnd; // one past the last frame above the quiet level
    float windowPeak = 0.0f;
    std::deque<float> windowPeaks; // the last two spans' worth, oldest first
    std::uint64_t windowsClosed = 0;
    std::uint64_t decaySafe = 0; // frames the decay rule will not take back
    std::optional<std::uint64_t> decided;
};

} // namespace varnelvst::tool
