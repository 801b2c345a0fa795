#include "testsupport/LockCounter.h"

#include <atomic>

#include <dlfcn.h>
#include <pthread.h>

namespace {

thread_local std::size_t locksOnThisThread = 0;

} // namespace

#if defined(__SANITIZE_THREAD__)

namespace testsupport {
bool LockCounter::available() {
    return false;
}
} // namespace testsupport

#else

namespace testsupport {
bool LockCounter::available() {
    return true;
}
} // namespace testsupport

namespace {

// The C library's functions, found past these replacements on first use. Not a
// function-local static: its guard may take a lock itself.
template <typename Function>
Function next(std::atomic<Function>& cache, const char* name) {
    Function function = cache.load(std::memory_order_acquire);
    if (function == nullptr) {
        function = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
        cache.store(function, std::memory_order_release);
    }
    return function;
}

using MutexFunction = int (*)(pthread_mutex_t*);
using ReadWriteFunction = int (*)(pthread_rwlock_t*);
std::atomic<MutexFunction> nextLock{nullptr}, nextTryLock{nullptr};
std::atomic<ReadWriteFunction> nextReadLock{nullptr}, nextWriteLock{nullptr};

} // namespace

extern "C" {

int pthread_mutex_lock(pthread_mutex_t* mutex) {
    ++locksOnThisThread;
    return next(nextLock, "pthread_mutex_lock")(mutex);
}
int pthread_mutex_trylock(pthread_mutex_t* mutex) {
    ++locksOnThisThread;
    return next(nextTryLock, "pthread_mutex_trylock")(mutex);
}
int pthread_rwlock_rdlock(pthread_rwlock_t* lock) {
    ++locksOnThisThread;
    return next(nextReadLock, "pthread_rwlock_rdlock")(lock);
}
int pthread_rwlock_wrlock(pthread_rwlock_t* lock) {
    ++locksOnThisThread;
    return next(nextWriteLock, "pthread_rwlock_wrlock")(lock);
}
}

#endif

namespace testsupport {

LockCounter::LockCounter() : start_(locksOnThisThread) {}

std::size_t LockCounter::count() const {
    return locksOnThisThread - start_;
}

} // namespace testsupport
