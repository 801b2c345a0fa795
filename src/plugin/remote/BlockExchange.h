#pragma once

#include "plugin/remote/SharedBlock.h"

#include <chrono>
#include <cstdint>

namespace varnel::extensions::vst {

/// The host's side of handing one block at a time to the plug-in's helper process
/// through a SharedBlock, and back.
///
/// Per block the audio thread writes the block, raises `request` to a new sequence
/// number and wakes the helper (one futex wake), then waits for `answer` to reach
/// that number: a short spin, then at most one futex wait to the deadline (more
/// only when woken early for nothing). No other system call, no allocation, lock
/// or log. A block not answered by its deadline is given up (late); the helper may
/// still be working on it, so the memory stays the helper's: later blocks are not
/// handed over (busy) until its answer has come, and that answer is never read.
/// So neither side ever writes what the other may be reading, and a late answer
/// never reaches a later block.
class BlockSender {
public:
    using Clock = std::chrono::steady_clock;
    enum class Result {
        answered, ///< the answer is in the shared block
        late,     ///< the deadline passed first
        busy,     ///< the last block is still unanswered: nothing was handed over
        ended,    ///< the helper is gone
    };

    explicit BlockSender(SharedBlock& shared) : shared(shared) {}

    /// Audio thread. Whether the helper is free for a new block: `answered` when it
    /// answered the last one, else `busy` or `ended`. Only after `answered` may the
    /// block be written into the shared memory.
    Result ready() const noexcept;
    /// Audio thread, after `ready` answered and the block was written. Hands it
    /// over and waits for its answer until `deadline`.
    Result exchange(Clock::time_point deadline) noexcept;

    /// Audio thread. The sequence number of the last block handed over.
    std::uint32_t lastSequence() const noexcept { return lastSent; }

    /// Any thread, once the helper process is gone (reaped): no answer comes any
    /// more, and an audio thread waiting for one stops waiting.
    static void markEnded(SharedBlock& shared) noexcept;

private:
    SharedBlock& shared;
    /// Audio thread only: the sequence number of the last block handed over.
    std::uint32_t lastSent = 0;
};

/// The helper's side: its audio thread waits for each block and answers it.
class BlockReceiver {
public:
    explicit BlockReceiver(SharedBlock& shared) : shared(shared) {}

    /// Waits, without a deadline, for a block newer than the last one, and gives
    /// its sequence number. The block is the helper's to read and answer until
    /// `answer` is called.
    std::uint32_t next() noexcept;
    /// Hands block `sequence` back; wakes the host only when it sleeps.
    void answer(std::uint32_t sequence) noexcept;

private:
    SharedBlock& shared;
    std::uint32_t last = 0;
};

} // namespace varnel::extensions::vst
