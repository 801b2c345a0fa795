#include "live/SampleRing.h"

#include <algorithm>
#include <bit>

namespace varnelvst::tool {

SampleRing::SampleRing(std::size_t minimumFrames)
    : samples(2 * std::bit_ceil(std::max<std::size_t>(minimumFrames, 2))),
      mask(std::bit_ceil(std::max<std::size_t>(minimumFrames, 2)) - 1) {}

std::size_t SampleRing::writableFrames() const noexcept {
    return capacityFrames() -
           (written.load(std::memory_order_relaxed) - taken.load(std::memory_order_acquire));
}

std::size_t SampleRing::readableFrames() const noexcept {
    return written.load(std::memory_order_acquire) - taken.load(std::memory_order_relaxed);
}

std::size_t SampleRing::write(const float* interleavedStereo, std::size_t frames) noexcept {
    const std::size_t start = written.load(std::memory_order_relaxed);
    const std::size_t count = std::min(frames, writableFrames());
    // At most two pieces: up to the end of the storage, then from its start.
    const std::size_t first = std::min(count, capacityFrames() - (start & mask));
    std::copy_n(interleavedStereo, 2 * first, samples.data() + 2 * (start & mask));
    std::copy_n(interleavedStereo + 2 * first, 2 * (count - first), samples.data());
    written.store(start + count, std::memory_order_release);
    return count;
}

std::size_t SampleRing::read(float* interleavedStereo, std::size_t frames) noexcept {
    const std::size_t start = taken.load(std::memory_order_relaxed);
    const std::size_t count = std::min(frames, readableFrames());
    const std::size_t first = std::min(count, capacityFrames() - (start & mask));
    std::copy_n(samples.data() + 2 * (start & mask), 2 * first, interleavedStereo);
    std::copy_n(samples.data(), 2 * (count - first), interleavedStereo + 2 * first);
    taken.store(start + count, std::memory_order_release);
    return count;
}

} // namespace varnelvst::tool
