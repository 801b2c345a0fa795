#pragma once

// Counts the mutex and reader-writer lock acquisitions (pthread_mutex_lock and
// trylock, pthread_rwlock_rdlock and wrlock) made on the constructing thread
// while the counter lives, so a test can assert that an audio-path call takes no
// lock. Linux only: the counting replacements of those functions live in the same
// object file as this class and pass every call on to the next definition (the C
// library's, or a sanitizer's). They see the calls of code linked into the test
// executable, which is where the host's code lives.

#if defined(__linux__)

#include <cstddef>

namespace testsupport {

class LockCounter {
public:
    LockCounter();
    LockCounter(const LockCounter&) = delete;
    LockCounter& operator=(const LockCounter&) = delete;

    // Locks taken on the constructing thread since construction. Call it on that thread.
    std::size_t count() const;

private:
    std::size_t start_;
};

} // namespace testsupport

#endif
