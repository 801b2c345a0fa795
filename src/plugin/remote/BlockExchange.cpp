#include "plugin/remote/BlockExchange.h"

#if defined(__linux__)

#include <ctime>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace varnel::extensions::vst {

namespace {

/// How often the host looks for the answer before it sleeps. Two cores shared by
/// host, helper and everything else gain nothing from a long spin (the helper
/// needs the core the spinner holds); a few checks catch a plug-in that is fast.
constexpr int kSpinChecks = 32;

// The words live in memory shared between processes: the futex calls are the
// shared kind, not FUTEX_PRIVATE_FLAG.
void wake(std::atomic<std::uint32_t>& word) noexcept {
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAKE, 1, nullptr, nullptr, 0);
}

/// Sleeps while `word` holds `seen`, at most until `deadline` (CLOCK_MONOTONIC,
/// which steady_clock reads); no deadline when null.
void sleepWhile(std::atomic<std::uint32_t>& word, std::uint32_t seen, const timespec* deadline) noexcept {
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAIT_BITSET, seen, deadline, nullptr,
            FUTEX_BITSET_MATCH_ANY);
}

timespec toTimespec(BlockSender::Clock::time_point point) {
    const auto since = point.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    return timespec{
        static_cast<time_t>(seconds.count()),
        static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count())};
}

void pause() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

} // namespace

BlockSender::Result BlockSender::ready() const noexcept {
    const std::uint32_t answered = shared.answer.load(std::memory_order_acquire);
    if (answered == SharedBlock::kEnded)
        return Result::ended;
    return answered == lastSent ? Result::answered : Result::busy;
}

BlockSender::Result BlockSender::exchange(Clock::time_point deadline) noexcept {
    // Audio thread: one wake, then a spin and at most one sleep per block.
    std::uint32_t sequence = lastSent + 1;
    if (sequence == SharedBlock::kEnded || sequence == 0)
        sequence = 1;
    lastSent = sequence;
    shared.request.store(sequence, std::memory_order_release);
    wake(shared.request);

    for (int check = 0; check < kSpinChecks; ++check) {
        if (shared.answer.load(std::memory_order_acquire) == sequence)
            return Result::answered;
        pause();
    }
    const timespec until = toTimespec(deadline);
    // Raised before the answer is read again: the helper either sees it and wakes
    // this thread, or stored its answer before and this read sees it.
    shared.hostAsleep.store(1, std::memory_order_seq_cst);
    Result result = Result::late;
    while (true) {
        const std::uint32_t answered = shared.answer.load(std::memory_order_seq_cst);
        if (answered == sequence) {
            result = Result::answered;
            break;
        }
        if (answered == SharedBlock::kEnded) {
            result = Result::ended;
            break;
        }
        if (Clock::now() >= deadline)
            break;
        sleepWhile(shared.answer, answered, &until);
    }
    shared.hostAsleep.store(0, std::memory_order_relaxed);
    return result;
}

void BlockSender::markEnded(SharedBlock& shared) noexcept {
    shared.answer.store(SharedBlock::kEnded, std::memory_order_seq_cst);
    wake(shared.answer);
}

std::uint32_t BlockReceiver::next() noexcept {
    while (true) {
        const std::uint32_t requested = shared.request.load(std::memory_order_acquire);
        if (requested != last) {
            last = requested;
            return requested;
        }
        sleepWhile(shared.request, requested, nullptr);
    }
}

void BlockReceiver::answer(std::uint32_t sequence) noexcept {
    shared.answer.store(sequence, std::memory_order_seq_cst);
    if (shared.hostAsleep.load(std::memory_order_seq_cst) != 0)
        wake(shared.answer);
}

} // namespace varnel::extensions::vst

#endif
