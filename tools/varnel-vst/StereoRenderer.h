#pragma once

#include <VSTProcessorNode.h>

#include <varnel/AudioBuffer.h>
#include <varnel/AudioBus.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace varnelvst::tool {

// Runs interleaved file samples through a VSTProcessorNode, or a chain of them,
// the way the framework would: planar buffers on stereo buses, one process call
// per node and block of at most `blockFrames` frames, each node's output bus the
// next one's input.
class StereoRenderer {
public:
    StereoRenderer(std::vector<varnel::extensions::vst::VSTProcessorNode*> chain, std::uint32_t blockFrames);

    // One block: `frames` (at most blockFrames) interleaved frames of one or
    // two channels in, two interleaved channels out. A mono input feeds both
    // channels of the bus.
    void render(const float* interleavedInput, int inputChannels, std::size_t frames,
                float* interleavedOutput);

    // Time spent inside the node's process calls so far.
    std::chrono::nanoseconds processingTime() const { return timeInNode; }

private:
    std::vector<varnel::extensions::vst::VSTProcessorNode*> nodes;
    std::vector<float> inputLeft, inputRight, outputLeft, outputRight, otherLeft, otherRight;
    varnel::AudioBuffer<float> inputBuffer, outputBuffer, otherBuffer;
    std::chrono::nanoseconds timeInNode{0};
};

} // namespace varnelvst::tool
