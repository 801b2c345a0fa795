#pragma once

// Counts operator new / new[] calls made on the constructing thread while the
// counter lives, so a test can assert that an audio-path call allocates
// nothing. Allocations on other threads are not counted.
//
// The replacement global operator new lives in the same object file as this
// class, so any test executable that uses AllocationCounter links it in; it
// also counts allocations made inside dlopened plug-ins, which resolve
// operator new to the executable's definition. On Windows each DLL keeps its
// own operator new, so there only the host side's allocations are counted.

#include <cstddef>

namespace testsupport {

class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    // Allocations on the constructing thread since construction. Call it on that thread.
    std::size_t count() const;

private:
    std::size_t start_;
};

} // namespace testsupport
