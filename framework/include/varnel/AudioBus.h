#pragma once

#include <vector>

#include "varnel/AudioBuffer.h"

namespace varnel {

// One bus of a node for one block: a borrowed buffer, never owned.
struct AudioBus {
    AudioBuffer<float>* buffer = nullptr;

    AudioBuffer<float>* getBuffer() const noexcept { return buffer; }

    // Audio thread; never allocates. Copies the first min(channels) channels and
    // min(frames) frames of other's buffer into this bus's buffer; the rest of
    // this buffer is left as it is. Nothing happens when either buffer is null
    // or both are the same buffer, and a channel that is the same memory on both
    // sides is skipped.
    void copyFrom(const AudioBus& other) noexcept;
};

using AudioBusList = std::vector<AudioBus>;

} // namespace varnel
