#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace varnelvst::tool {

// Decides which rendered frames go into the output file. The plug-ins always get
// full blocks (the input is padded with silence after its end); their first
// `latencyFrames` frames of output are dropped, so that the file lines up with the
// input, and the file ends a tail's length after the input's. A tail rendered
// "until silent" ends once the output has stayed below -120 dBFS for one second;
// that silent stretch is not written, so an effect that falls silent with its
// input keeps the input's length.
class RenderTimeline {
public:
    static constexpr float kSilence = 1.0e-6f; // -120 dBFS
    static constexpr double kTailCapSeconds = 30.0;
    static std::uint64_t tailCapFrames(int sampleRate);

    // `tailFrames` empty: until silent, at most kTailCapSeconds.
    RenderTimeline(std::uint64_t latencyFrames, std::optional<std::uint64_t> tailFrames, int sampleRate);

    // After the last frame of input was read: its number of frames.
    void inputEnded(std::uint64_t inputFrames);

    // Interleaved stereo frames to the file.
    using Sink = std::function<void(const float* interleavedStereo, std::size_t frames)>;
    // Hands what is due of `frames` rendered interleaved stereo frames to `write`.
    void add(const float* interleavedStereo, std::size_t frames, const Sink& write);

    // Whether the file is complete.
    bool done() const { return finished; }
    // Frames written beyond the input's length.
    std::uint64_t tailWritten() const;

private:
    void flushHeldBack(const Sink& write);

    std::uint64_t toDrop;
    std::uint64_t tailLimit;
    bool untilSilent;
    std::uint64_t framesPerSecond;
    std::optional<std::uint64_t> inputLength;
    std::uint64_t written = 0;
    // Quiet frames after the input's end, written only once something audible follows.
    std::vector<float> heldBack;
    bool finished = false;
};

} // namespace varnelvst::tool
