#pragma once

#include <varnel/AudioBuffer.h>
#include <varnel/AudioBus.h>

#include <cstdint>
#include <vector>

namespace nodetest {

// Planar buffers of `channels` x `frames` behind framework views, for driving a
// node as the graph would.
struct BusBuffers {
    BusBuffers(std::uint32_t channels, std::uint32_t frames, float value = 0.0f)
        : samples(channels, std::vector<float>(frames, value)), pointers(channels) {
        for (std::uint32_t c = 0; c < channels; ++c)
            pointers[c] = samples[c].data();
        buffer = varnel::AudioBuffer<float>(pointers.data(), channels, frames);
        bus.buffer = &buffer;
    }

    std::vector<std::vector<float>> samples;
    std::vector<float*> pointers;
    varnel::AudioBuffer<float> buffer;
    varnel::AudioBus bus;
};

} // namespace nodetest
