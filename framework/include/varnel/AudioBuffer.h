#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "varnel/Logger.h"

namespace varnel {

// Planar samples: one contiguous array of frames per channel. Either owns its
// storage (allocated and zeroed once, in the constructor) or is a view over
// channel arrays that the caller keeps alive. After construction every call is
// real-time safe: nothing allocates, locks or logs.
template <typename T>
class AudioBuffer {
public:
    // A view keeps up to this many channel pointers inline, so building one on
    // the audio thread does not allocate.
    static constexpr std::uint32_t kInlineChannelPointers = 32;

    AudioBuffer() noexcept = default;

    // Owning, zeroed. Control thread: allocates. If the allocation fails, the
    // failure is logged and the buffer has no channels and no frames.
    AudioBuffer(std::uint32_t channels, std::uint32_t frames) noexcept {
        const auto samples = static_cast<std::uint64_t>(channels) * frames;
        try {
            storage.assign(static_cast<std::size_t>(samples), T{});
        } catch (...) {
            Logger::error("[AudioBuffer] could not allocate " + std::to_string(channels) + " channels of " +
                          std::to_string(frames) + " frames");
            return;
        }
        owning = true;
        numberOfChannels = channels;
        numberOfFrames = frames;
        frameCapacity = frames;
    }

    // A view over channelPointers[0..channels); the pointer array is copied, the
    // samples are not. Real-time safe up to kInlineChannelPointers channels; more
    // allocate (and on failure, as a null array does, give no channels).
    AudioBuffer(T* const* channelPointers, std::uint32_t channels, std::uint32_t frames) noexcept {
        numberOfFrames = frames;
        frameCapacity = std::numeric_limits<std::uint32_t>::max();
        if (channelPointers == nullptr) {
            return;
        }
        if (channels > kInlineChannelPointers) {
            try {
                manyViewPointers.assign(channelPointers, channelPointers + channels);
            } catch (...) {
                Logger::error("[AudioBuffer] could not allocate a view of " + std::to_string(channels) +
                              " channels");
                return;
            }
        } else {
            std::copy(channelPointers, channelPointers + channels, viewPointers.begin());
        }
        numberOfChannels = channels;
    }

    // Copying would leave the copy's view pointers aimed at the original's storage.
    AudioBuffer(const AudioBuffer&) = delete;
    AudioBuffer& operator=(const AudioBuffer&) = delete;

    AudioBuffer(AudioBuffer&& other) noexcept { takeFrom(other); }
    AudioBuffer& operator=(AudioBuffer&& other) noexcept {
        if (this != &other) {
            takeFrom(other);
        }
        return *this;
    }

    std::uint32_t getNumberOfChannels() const noexcept { return numberOfChannels; }
    std::uint32_t getNumberOfFrames() const noexcept { return numberOfFrames; }

    // Null for a channel out of range (or a null channel of a view).
    const T* getReadPointer(std::uint32_t channel) const noexcept { return channelData(channel); }
    T* getWritePointer(std::uint32_t channel) noexcept { return channelData(channel); }

    // A view takes any count (the caller vouches for its arrays); owning storage
    // takes at most the frames it was built with and refuses more, unchanged.
    bool setNumberOfFrames(std::uint32_t frames) noexcept {
        if (frames > frameCapacity) {
            return false;
        }
        numberOfFrames = frames;
        return true;
    }

    // Zeroes the current frames of every channel.
    void clear() noexcept {
        for (std::uint32_t channel = 0; channel < numberOfChannels; ++channel) {
            if (T* samples = channelData(channel)) {
                std::fill_n(samples, numberOfFrames, T{});
            }
        }
    }

private:
    T* channelData(std::uint32_t channel) const noexcept {
        if (channel >= numberOfChannels) {
            return nullptr;
        }
        if (owning) {
            // Channels sit one after another at the stride of the built frame count.
            return const_cast<T*>(storage.data()) + static_cast<std::size_t>(channel) * frameCapacity;
        }
        return numberOfChannels > kInlineChannelPointers ? manyViewPointers[channel] : viewPointers[channel];
    }

    void takeFrom(AudioBuffer& other) noexcept {
        storage = std::move(other.storage);
        viewPointers = other.viewPointers;
        manyViewPointers = std::move(other.manyViewPointers);
        numberOfChannels = std::exchange(other.numberOfChannels, 0);
        numberOfFrames = std::exchange(other.numberOfFrames, 0);
        frameCapacity = std::exchange(other.frameCapacity, 0);
        owning = std::exchange(other.owning, false);
        other.storage.clear();
        other.manyViewPointers.clear();
    }

    std::vector<T> storage;
    std::array<T*, kInlineChannelPointers> viewPointers{};
    std::vector<T*> manyViewPointers;
    std::uint32_t numberOfChannels = 0;
    std::uint32_t numberOfFrames = 0;
    std::uint32_t frameCapacity = 0;
    bool owning = false;
};

} // namespace varnel
