#pragma once

#include "SignalStats.h"
#include "StereoRenderer.h"
#include "live/AudioCallback.h"
#include "live/LiveMeters.h"

#include <VSTProcessorNode.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace varnelvst::tool {

class FileFeeder;
class SampleRing;

// What the sound server's callback runs: each period it takes a block from a
// file's ring, or from the sound input, runs it through the chain of nodes and
// hands the result to the outputs, measuring its time and levels. After the
// file's end it plays on for `framesAfterEnd` (for what the chain and the
// device still hold), then it has ended and plays silence.
class LivePlayer final : public AudioCallback {
public:
    // `ring` and `file`: the file's; both null to play the sound input. The
    // nodes are set up for `sampleRate` and blocks of up to maxBlockFrames.
    LivePlayer(std::vector<varnel::extensions::vst::VSTProcessorNode*> chain, std::uint32_t maxBlockFrames,
               int sampleRate, SampleRing* ring, const FileFeeder* file, std::uint64_t framesAfterEnd);

    // Any thread: from the next period on the sound plays. Until then the
    // outputs are silent and neither the source nor the chain is touched, so
    // the sound's start is not lost while the outputs are being connected.
    void begin() noexcept { playing.store(true, std::memory_order_release); }

    void process(const float* const* inputs, float* const* outputs, std::uint32_t frames) noexcept override;

    // Any thread.
    bool ended() const noexcept { return over.load(std::memory_order_acquire); }
    LiveMeters& meters() noexcept { return measured; }
    const LiveMeters& meters() const noexcept { return measured; }

    // Once the server no longer calls: the levels of everything played. (The
    // meters' acquire makes the last callback's writes visible, also to a
    // thread checker that cannot see the server's own synchronisation.)
    const SignalStats& inputLevels() const {
        measured.framesPlayed();
        return inputStats;
    }
    const SignalStats& outputLevels() const {
        measured.framesPlayed();
        return outputStats;
    }

private:
    std::uint32_t takeInput(const float* const* inputs, std::uint32_t offset, std::uint32_t frames) noexcept;
    void render(float* const* outputs, std::uint32_t frames, std::uint32_t heard) noexcept;

    StereoRenderer renderer;
    std::uint32_t maxBlock;
    double nanosPerFrame;
    SampleRing* ring;
    const FileFeeder* file;
    std::vector<float> inputBlock, outputBlock; // interleaved stereo, maxBlock frames
    bool inputEnded = false;
    std::uint64_t framesLeft;
    std::atomic<bool> playing{false};
    std::atomic<bool> over{false};
    LiveMeters measured;
    SignalStats inputStats, outputStats;
};

} // namespace varnelvst::tool
