#pragma once

#include <atomic>
#include <cstdint>

namespace varnelvst::tool {

// What the audio callback measures for the status line: written on the audio
// thread with lock-free atomics only, read and reset on another.
class LiveMeters {
public:
    // What a window of callbacks measured, since the last take.
    struct Window {
        double load = 0.0;     // share of the periods' time spent in the callback
        double peakLoad = 0.0; // of the busiest callback
        float inputPeak = 0.0f;
        float outputPeak = 0.0f;
    };

    // Audio thread: one callback's time and the period it had, and the block's peaks.
    void addCallback(std::uint64_t busyNanos, std::uint64_t periodNanos) noexcept;
    void addPeaks(float inputPeak, float outputPeak) noexcept;
    // Last in each callback: it publishes what the callback wrote before it.
    void addFrames(std::uint64_t frames) noexcept { played.fetch_add(frames, std::memory_order_release); }
    // Audio thread: frames the file could not deliver in time, played as silence.
    void addLateFrames(std::uint64_t frames) noexcept { late.fetch_add(frames, std::memory_order_relaxed); }

    // Another thread: what was measured since the last take.
    Window take() noexcept;
    // Another thread: over the whole run.
    Window total() const noexcept;
    std::uint64_t framesPlayed() const noexcept { return played.load(std::memory_order_acquire); }
    std::uint64_t lateFrames() const noexcept { return late.load(std::memory_order_relaxed); }

private:
    std::atomic<std::uint64_t> busy{0}, period{0}, busyTotal{0}, periodTotal{0};
    // Loads in millionths, so that a maximum is one atomic compare-exchange.
    std::atomic<std::uint64_t> peakLoadMillionths{0}, peakLoadMillionthsTotal{0};
    std::atomic<float> inputPeak{0.0f}, outputPeak{0.0f}, inputPeakTotal{0.0f}, outputPeakTotal{0.0f};
    std::atomic<std::uint64_t> played{0}, late{0};
};

} // namespace varnelvst::tool
