#include "testsupport/LockCounter.h"

#if defined(__linux__)

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>

namespace {

thread_local std::size_t locksOnThisThread = 0;

// The definition this file stands in front of, looked up on first use. Not a
// function-local static: its initialisation guard may itself take a lock.
template <typename Function>
Function next(std::atomic<Function>& found, const char* name) {
    Function function = found.load(std::memory_order_acquire);
    if (function == nullptr) {
        function = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
        found.store(function, std::memory_order_release);
    }
    return function;
}

using MutexCall = int (*)(pthread_mutex_t*);
using RwlockCall = int (*)(pthread_rwlock_t*);
std::atomic<MutexCall> mutexLock{nullptr}, mutexTrylock{nullptr};
std::atomic<RwlockCall> rwlockRdlock{nullptr}, rwlockWrlock{nullptr};

} // namespace

namespace testsupport {

LockCounter::LockCounter() : start_(locksOnThisThread) {}

std::size_t LockCounter::count() const {
    return locksOnThisThread - start_;
}

} // namespace testsupport

extern "C" {

int pthread_mutex_lock(pthread_mutex_t* mutex) {
    ++locksOnThisThread;
    return next(mutexLock, "pthread_mutex_lock")(mutex);
}

int pthread_mutex_trylock(pthread_mutex_t* mutex) {
    ++locksOnThisThread;
    return next(mutexTrylock, "pthread_mutex_trylock")(mutex);
}

int pthread_rwlock_rdlock(pthread_rwlock_t* lock) {
    ++locksOnThisThread;
    return next(rwlockRdlock, "pthread_rwlock_rdlock")(lock);
}

int pthread_rwlock_wrlock(pthread_rwlock_t* lock) {
    ++locksOnThisThread;
    return next(rwlockWrlock, "pthread_rwlock_wrlock")(lock);
}

} // extern "C"

#endif
