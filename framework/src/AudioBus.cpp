#include "varnel/AudioBus.h"

#include <algorithm>
#include <cstring>

namespace varnel {

void AudioBus::copyFrom(const AudioBus& other) noexcept {
    // Audio thread: no allocation, locking or logging.
    const AudioBuffer<float>* source = other.buffer;
    AudioBuffer<float>* destination = buffer;
    if (source == nullptr || destination == nullptr || source == destination) {
        return;
    }
    const std::uint32_t channels =
        std::min(source->getNumberOfChannels(), destination->getNumberOfChannels());
    const std::uint32_t frames = std::min(source->getNumberOfFrames(), destination->getNumberOfFrames());
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        const float* from = source->getReadPointer(channel);
        float* to = destination->getWritePointer(channel);
        if (from == nullptr || to == nullptr || from == to) {
            continue;
        }
        // memmove: views may overlap partially when a caller offsets into one array.
        std::memmove(to, from, sizeof(float) * frames);
    }
}

} // namespace varnel
