#include "StereoRenderer.h"

#include <utility>

namespace varnelvst::tool {

namespace {

varnel::AudioBuffer<float> viewOf(std::vector<float>& left, std::vector<float>& right, std::uint32_t frames) {
    float* const channels[] = {left.data(), right.data()};
    return varnel::AudioBuffer<float>(channels, 2, frames);
}

} // namespace

StereoRenderer::StereoRenderer(std::vector<varnel::extensions::vst::VSTProcessorNode*> chain,
                               std::uint32_t blockFrames)
    : nodes(std::move(chain)), inputLeft(blockFrames), inputRight(blockFrames), outputLeft(blockFrames),
      outputRight(blockFrames), otherLeft(blockFrames), otherRight(blockFrames),
      inputBuffer(viewOf(inputLeft, inputRight, blockFrames)),
      outputBuffer(viewOf(outputLeft, outputRight, blockFrames)),
      otherBuffer(viewOf(otherLeft, otherRight, blockFrames)) {}

void StereoRenderer::render(const float* interleavedInput, int inputChannels, std::size_t frames,
                            float* interleavedOutput) {
    const auto channels = static_cast<std::size_t>(inputChannels);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        inputLeft[frame] = interleavedInput[frame * channels];
        inputRight[frame] = interleavedInput[frame * channels + channels - 1];
    }
    inputBuffer.setNumberOfFrames(static_cast<std::uint32_t>(frames));
    outputBuffer.setNumberOfFrames(static_cast<std::uint32_t>(frames));
    otherBuffer.setNumberOfFrames(static_cast<std::uint32_t>(frames));
    varnel::AudioBus inputBus{&inputBuffer};
    varnel::AudioBus outputBus{&outputBuffer};
    varnel::AudioBus otherBus{&otherBuffer};

    // Node i writes the bus node i + 1 reads; the last one writes outputBus.
    const auto start = std::chrono::steady_clock::now();
    varnel::AudioBus* from = &inputBus;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        varnel::AudioBus* to = (nodes.size() - 1 - i) % 2 == 0 ? &outputBus : &otherBus;
        nodes[i]->process(*from, *to);
        from = to;
    }
    timeInNode += std::chrono::steady_clock::now() - start;

    for (std::size_t frame = 0; frame < frames; ++frame) {
        interleavedOutput[2 * frame] = outputLeft[frame];
        interleavedOutput[2 * frame + 1] = outputRight[frame];
    }
}

} // namespace varnelvst::tool
