#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

namespace varnelvst::tool {

// Interleaved stereo frames handed from one thread to another without a lock:
// one writer (the file reader) and one reader (the audio callback), neither of
// which ever waits for the other. The storage is allocated once, here.
class SampleRing {
public:
    // Holds at least `minimumFrames` frames (rounded up to a power of two).
    explicit SampleRing(std::size_t minimumFrames);
    SampleRing(const SampleRing&) = delete;
    SampleRing& operator=(const SampleRing&) = delete;

    std::size_t capacityFrames() const noexcept { return mask + 1; }

    // Writer thread: copies as many of `frames` as there is room for; returns that count.
    std::size_t write(const float* interleavedStereo, std::size_t frames) noexcept;
    // Writer thread: room left.
    std::size_t writableFrames() const noexcept;

    // Reader thread (the audio thread); never allocates, locks or waits: copies
    // as many of `frames` as there are; returns that count.
    std::size_t read(float* interleavedStereo, std::size_t frames) noexcept;
    // Reader thread: frames waiting.
    std::size_t readableFrames() const noexcept;

private:
    std::vector<float> samples;
    std::size_t mask;
    // Frames ever written and read; each side writes only its own counter, and
    // the other side's acquire load sees the samples before the count.
    alignas(64) std::atomic<std::size_t> written{0};
    alignas(64) std::atomic<std::size_t> taken{0};
};

} // namespace varnelvst::tool
