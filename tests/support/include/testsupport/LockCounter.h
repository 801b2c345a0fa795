#pragma once

// Counts the locks taken (pthread mutexes and read-write locks, which
// std::mutex and std::shared_mutex are made of) on the constructing thread
// while the counter lives, so that a test can check that an audio-thread call
// takes none. The counting replaces the pthread functions in the test program,
// for the plug-ins it loads too; calls inside the C library itself are not seen.
//
// Linux only. Under ThreadSanitizer, which has those functions for itself,
// nothing is counted and available() is false.

#include <cstddef>

namespace testsupport {

class LockCounter {
public:
    static bool available();

    LockCounter();
    LockCounter(const LockCounter&) = delete;
    LockCounter& operator=(const LockCounter&) = delete;

    // Locks taken on the constructing thread since construction. Call it on that thread.
    std::size_t count() const;

private:
    std::size_t start_;
};

} // namespace testsupport
