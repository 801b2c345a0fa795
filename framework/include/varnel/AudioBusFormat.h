#pragma once

#include <cstdint>
#include <vector>

namespace varnel {

// The format of one bus: sample rate in Hz, then channel count.
struct AudioBusFormat {
    std::uint32_t sampleRate = 0;
    std::uint32_t numberOfChannels = 0;

    // True when a and b can be connected: same sample rate and channel count.
    static bool matchBusFormats(AudioBusFormat& a, AudioBusFormat& b) noexcept;

    bool operator==(const AudioBusFormat& other) const noexcept {
        return sampleRate == other.sampleRate && numberOfChannels == other.numberOfChannels;
    }
    bool operator!=(const AudioBusFormat& other) const noexcept { return !(*this == other); }
};

using AudioBusFormatList = std::vector<AudioBusFormat>;

} // namespace varnel
