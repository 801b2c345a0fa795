#pragma once

// The values the processors reported in outputParameterChanges for their
// read-only parameters. A correct host passes them on to the controller with
// setParamNormalized; the controller looks them up here to tell that from a host
// setting a read-only parameter of its own accord. Lock-free: processors add on
// the audio thread while the controller looks up on another.

#include "pluginterfaces/vst/vsttypes.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace testplugin {

class ReportedValues {
public:
    static constexpr Steinberg::Vst::ParamID trackedIds = 8; // ids 0..7; others are neither kept nor found
    // Per id. Meters report every block and a host hands them on some blocks late;
    // this many covers over a second of 64-sample blocks at 192 kHz.
    static constexpr std::size_t kept = 4096;

    // Audio thread; never allocates, locks or waits. Several processors may add at once.
    void add(Steinberg::Vst::ParamID id, double value) noexcept {
        if (id >= trackedIds)
            return;
        History& history = histories_[id];
        const std::uint64_t index = history.claimed.fetch_add(1, std::memory_order_relaxed);
        history.values[index % kept].store(value, std::memory_order_relaxed);
        history.written.fetch_add(1, std::memory_order_release);
    }

    // Any thread: whether one of the last `kept` reports of id carried exactly value.
    bool contains(Steinberg::Vst::ParamID id, double value) const noexcept {
        if (id >= trackedIds)
            return false;
        const History& history = histories_[id];
        const std::uint64_t written = history.written.load(std::memory_order_acquire);
        const std::uint64_t count = written < kept ? written : kept;
        for (std::uint64_t index = 0; index < count; ++index) {
            if (history.values[index].load(std::memory_order_relaxed) == value)
                return true;
        }
        return false;
    }

private:
    struct History {
        std::atomic<std::uint64_t> claimed{0};
        std::atomic<std::uint64_t> written{0};
        std::array<std::atomic<double>, kept> values{};
    };
    std::array<History, trackedIds> histories_{};
};

} // namespace testplugin
