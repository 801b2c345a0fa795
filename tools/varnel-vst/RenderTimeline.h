#pragma once

#include "TailEnd.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace varnelvst::tool {

// Decides which rendered frames go into the output file. The plug-ins always get
// full blocks (the input is padded with silence after its end); their first
// `latencyFrames` frames of output are dropped, so that the file lines up with the
// input, and the file ends a tail's length after the input's. A tail of open
// length ends where TailEnd says, at most kTailCapSeconds after the input; what
// TailEnd leaves out is not written, so an effect that falls silent (or to a
// steady floor) with its input keeps the input's length.
class RenderTimeline {
public:
    static constexpr double kTailCapSeconds = 30.0;
    static std::uint64_t tailCapFrames(int sampleRate);

    // `tailFrames` empty: a tail of open length, ended by TailEnd (`followDecay`
    // as there).
    RenderTimeline(std::uint64_t latencyFrames, std::optional<std::uint64_t> tailFrames, bool followDecay,
                   int sampleRate);

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
    void commitHeld(std::size_t frames, const Sink& write);
    void settleTail(bool atCap, const Sink& write);

    std::uint64_t toDrop;
    std::uint64_t tailLimit;
    std::optional<TailEnd> openTail;
    std::optional<std::uint64_t> inputLength;
    std::uint64_t written = 0;
    float peak = 0.0f; // of everything rendered after the latency
    // Tail frames not yet certain to belong to the file, from heldStart on.
    std::vector<float> held;
    std::size_t heldStart = 0;
    bool finished = false;
};

} // namespace varnelvst::tool
