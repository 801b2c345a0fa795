#pragma once

// The audio-thread side of the record: process calls and the order violations
// found inside them, kept in preallocated storage so that recording never
// allocates, locks or waits. One writer at a time (the audio thread).

#include "testplugin/TestPluginProbe.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace testplugin {

class ProcessLog {
public:
    static constexpr std::size_t ringSize = 256;
    static constexpr std::size_t violationSlots = 64;
    static constexpr std::size_t violationLength = 160;
    static constexpr std::size_t pointSlots = 16384;

    // Audio thread; never allocates, locks or waits.
    void add(const ProcessRecord& record) noexcept;
    // Audio thread; never allocates, locks or waits. Points beyond pointSlots are dropped.
    void addPoint(const QueuePoint& point) noexcept;
    // Audio thread; printf-style; never allocates, locks or waits. Violations beyond
    // the slots are only counted.
    void violation(const char* format, ...) noexcept __attribute__((format(printf, 2, 3)));

    // Control thread.
    std::int64_t count() const noexcept;
    std::vector<ProcessRecord> last(std::size_t n) const; // not while a process call runs
    std::vector<QueuePoint> points() const;
    void appendViolations(std::vector<std::string>& out) const;
    void reset() noexcept; // not while a process call runs

private:
    struct Slot {
        std::atomic<bool> ready{false};
        char text[violationLength] = {};
    };

    std::atomic<std::int64_t> claimed_{0}; // slots taken by writers
    std::atomic<std::int64_t> total_{0};   // slots written
    std::array<ProcessRecord, ringSize> ring_{};
    std::atomic<std::int64_t> violationCount_{0};
    std::atomic<std::int64_t> pointsClaimed_{0}; // slots taken by writers
    std::atomic<std::int64_t> pointsWritten_{0};
    std::array<QueuePoint, pointSlots> points_{};
    std::array<Slot, violationSlots> slots_{};
};

} // namespace testplugin
