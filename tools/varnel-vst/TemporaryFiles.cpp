#include "TemporaryFiles.h"

#include <array>
#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>

#include <unistd.h>

namespace varnelvst::tool {

namespace {

constexpr std::size_t kSlots = 64;
constexpr std::size_t kLongestPath = 4096;

// The handler may read only what is armed; a slot is filled before it is armed
// and disarmed before it is reused.
enum SlotState : int { kFree, kFilling, kArmed };

struct Slot {
    std::atomic<int> state{kFree};
    char path[kLongestPath];
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the slot states");

std::array<Slot, kSlots> slots;

std::function<void(const std::string&)>& temporaryFileObserver() {
    static std::function<void(const std::string&)> observer;
    return observer;
}

extern "C" void removeTemporaryFilesAndDie(int signalNumber) {
    for (Slot& slot : slots) {
        if (slot.state.load() == kArmed)
            ::unlink(slot.path);
    }
    // SA_RESETHAND restored the default action: the signal, raised again, is
    // delivered when this handler returns and ends the process as it would have.
    ::raise(signalNumber);
}

void installHandlersOnce() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action {};
        action.sa_handler = removeTemporaryFilesAndDie;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        for (const int signalNumber :
             {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
            sigaction(signalNumber, &action, nullptr);
    });
}

} // namespace

void observeTemporaryFiles(std::function<void(const std::string& path)> observer) {
    temporaryFileObserver() = std::move(observer);
}

void RegisteredTemporaryFile::arm(const std::string& path) {
    release();
    if (const auto& observer = temporaryFileObserver())
        observer(path);
    if (path.size() >= kLongestPath)
        return;
    installHandlersOnce();
    for (std::size_t index = 0; index < kSlots; ++index) {
        int expected = kFree;
        if (slots[index].state.compare_exchange_strong(expected, kFilling)) {
            std::memcpy(slots[index].path, path.c_str(), path.size() + 1);
            slots[index].state.store(kArmed);
            slot = static_cast<int>(index);
            return;
        }
    }
}

RegisteredTemporaryFile::~RegisteredTemporaryFile() {
    release();
}

void RegisteredTemporaryFile::release() noexcept {
    if (slot >= 0)
        slots[static_cast<std::size_t>(slot)].state.store(kFree);
    slot = -1;
}

} // namespace varnelvst::tool
