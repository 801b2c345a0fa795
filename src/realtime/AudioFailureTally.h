#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace varnel::extensions::vst {

/// Carries one kind of failure from the audio thread to the log without the audio
/// thread allocating, locking or logging: the audio thread only counts, in atomics,
/// and a control thread turns the counts into lines later.
///
/// A run is a stretch of failures with the same code and no success in between.
/// The first failure of a run becomes one line of its own (`head`, with the code
/// when asked for); the failures after it are summed into one count line per
/// report ("<head> repeated N times").
class AudioFailureTally {
public:
    /// Audio thread; never allocates, locks or waits.
    void fail(std::int32_t code) noexcept {
        if (!inRun || code != runCode) {
            inRun = true;
            runCode = code;
            latestRunCode.store(code, std::memory_order_relaxed);
            // Released after the code, so a report that sees the new run sees its code.
            // The audio thread is the counts' only writer: plain increments do.
            runs.store(runs.load(std::memory_order_relaxed) + 1, std::memory_order_release);
        }
        failures.store(failures.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    /// Audio thread; never allocates, locks or waits. Ends the current run.
    void succeed() noexcept { inRun = false; }

    /// Any thread; never allocates, locks or waits. Every failure counted so far.
    std::uint64_t count() const noexcept { return failures.load(std::memory_order_acquire); }

    /// Control thread, one at a time (the caller serialises reports). Logs what was
    /// counted since the last report; nothing when nothing failed.
    void report(const char* head, bool withCode);

private:
    // Audio thread only.
    bool inRun = false;
    std::int32_t runCode = 0;

    // Written by the audio thread, read by reports.
    std::atomic<std::int32_t> latestRunCode{0};
    std::atomic<std::uint32_t> runs{0};
    std::atomic<std::uint64_t> failures{0};

    // Reporting side only.
    std::uint32_t reportedRuns = 0;
    std::uint64_t reportedFailures = 0;
};

} // namespace varnel::extensions::vst
