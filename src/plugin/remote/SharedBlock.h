#pragma once

#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <atomic>
#include <cstdint>

namespace varnel::extensions::vst {

/// One value of a parameter: a change point going to the plug-in, or a value
/// coming back from it (a report of its processor, an edit of its controller).
struct SharedValue {
    std::uint32_t id;
    std::int32_t sampleOffset;
    double value;
};

/// The memory a host shares with its plug-in's helper process, and only with it
/// (an anonymous memory file the helper inherits): one block's audio for every
/// channel, its parameter changes both ways, its musical context, and the two
/// sequence words the hand-off waits on (see BlockExchange). Laid out the same in
/// both processes, which are the same build.
struct SharedBlock {
    /// Longest block it carries; the host announces no larger one.
    static constexpr std::int32_t kMaxFrames = 32768;
    static constexpr std::uint32_t kMaxValues = 4096;
    /// The answer word's value once the helper is gone: no answer comes any more.
    static constexpr std::uint32_t kEnded = 0xFFFFFFFFu;

    // The hand-off. Each word on a cache line of its own.
    /// Sequence number of the block the host handed over last; the helper waits on it.
    alignas(64) std::atomic<std::uint32_t> request{0};
    /// Sequence number of the block the helper handed back last; the host waits on it.
    alignas(64) std::atomic<std::uint32_t> answer{0};
    /// Whether the host sleeps on `answer`, so that the helper wakes it only then.
    std::atomic<std::uint32_t> hostAsleep{0};

    // What the helper is doing, for the reason the host gives when it ends.
    /// Raised while the helper's audio thread is inside the plug-in's process.
    alignas(64) std::atomic<std::uint32_t> inProcess{0};
    /// The plug-in call the helper's plug-in thread makes, `callLength` characters.
    std::atomic<std::uint32_t> callLength{0};
    char call[60];

    // The block, written by the host while the helper waits.
    alignas(64) std::int32_t frames;
    Steinberg::Vst::ProcessContext context;
    std::uint32_t changeCount;
    SharedValue changes[kMaxValues];

    // The answer, written by the helper before it hands the block back.
    std::int32_t outcomeKind; ///< BlockOutcome::Kind
    std::int32_t outcomeCode;
    std::uint32_t reportCount;
    SharedValue reports[kMaxValues];
    std::uint32_t editCount;
    SharedValue edits[kMaxValues];

    /// Input left and right, output left and right; pages are made as they are used.
    alignas(64) float audio[4][kMaxFrames];
};

} // namespace varnel::extensions::vst
