#include "testsupport/AllocationCounter.h"

#include <cstdlib>
#include <new>

#if defined(_WIN32)
#include <malloc.h>
#endif

namespace {

// Per thread, so that allocations of other threads (a test runner, a plug-in's
// worker) never show up in a count taken around an audio-path call.
thread_local std::size_t allocationsOnThisThread = 0;

void* allocate(std::size_t size) {
    ++allocationsOnThisThread;
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

void* allocateAligned(std::size_t size, std::align_val_t alignment) {
    ++allocationsOnThisThread;
    const auto align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = ((size == 0 ? 1 : size) + align - 1) / align * align;
#if defined(_WIN32)
    // Windows' C library has no aligned_alloc; its aligned blocks need _aligned_free.
    if (void* memory = _aligned_malloc(rounded, align))
        return memory;
#else
    if (void* memory = std::aligned_alloc(align, rounded))
        return memory;
#endif
    throw std::bad_alloc();
}

void freeAligned(void* memory) noexcept {
#if defined(_WIN32)
    _aligned_free(memory);
#else
    std::free(memory);
#endif
}

} // namespace

namespace testsupport {

AllocationCounter::AllocationCounter() : start_(allocationsOnThisThread) {}

AllocationCounter::~AllocationCounter() = default;

std::size_t AllocationCounter::count() const {
    return allocationsOnThisThread - start_;
}

} // namespace testsupport

// Replacements for every global allocation and deallocation form: all of them go
// to malloc/free (the aligned ones to their aligned forms), so memory never crosses between two allocators
// (sanitizers check that news and deletes match).
void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++allocationsOnThisThread;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    ++allocationsOnThisThread;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return allocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocateAligned(size, alignment);
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::align_val_t) noexcept {
    freeAligned(memory);
}
void operator delete[](void* memory, std::align_val_t) noexcept {
    freeAligned(memory);
}
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept {
    freeAligned(memory);
}
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept {
    freeAligned(memory);
}
