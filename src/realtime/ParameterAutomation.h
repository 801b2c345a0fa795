#pragma once

#include "VSTAutomation.h"
#include "realtime/OutputParameterSlots.h"

#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace varnel::extensions::vst {

/// One parameter's envelope as the audio thread plays it.
struct AutomationLane {
    Steinberg::Vst::ParamID id = 0;
    /// A stepped parameter holds each point's value until the next point;
    /// any other ramps linearly between points, as VST 3 reads a queue.
    bool stepped = false;
    /// At least one; frames strictly increasing.
    std::vector<VSTAutomationPoint> points;

    /// The envelope's value at `frame`: the first point's value before it, the
    /// last one's after it.
    double valueAt(std::int64_t frame) const noexcept;
};

/// Every lane, sorted by id. Made whole on the control side and never changed
/// once published, so the audio thread reads it without a lock.
struct AutomationSet {
    std::vector<AutomationLane> lanes;
};

/// Plays parameter automation into the blocks' input parameter changes: the
/// envelopes (on the transport's timeline) and single changes timed at a frame
/// of the next block.
///
/// Hand-off: the control side publishes a new set through one atomic pointer; the
/// audio thread adopts it at the start of a block and hands the set it replaced
/// back through a second one, for the control side to free. The audio thread never
/// allocates or frees. Timed changes travel through a ring of fixed size with one
/// writer (the plug-in thread, where every control call runs) and one reader.
///
/// Each piece of a block at project time P, N frames long, carries per lane: the
/// envelope's value at P at offset 0, each envelope point inside the piece at its
/// offset, and the value at P + N - 1 at offset N - 1; so a plug-in that ramps
/// between points follows the envelope exactly, and one that reads only the last
/// point ends each piece on it. A stepped lane marks each step with the old value
/// one frame before and the new one on the step's frame. A lane with more points
/// inside one piece than the queue holds keeps an evenly spread choice of them.
/// While the transport stands, a piece carries the value at P alone.
class ParameterAutomation {
public:
    /// Points a queue holds in one piece (the capacity reserved on the control
    /// side for every queue of the block's parameter changes).
    static constexpr int kMaxPointsPerBlock = 16;
    /// Timed changes waiting for their block, at most.
    static constexpr std::size_t kMaxTimedChanges = 256;

    ParameterAutomation();
    /// Frees every set; no block may run.
    ~ParameterAutomation();
    ParameterAutomation(const ParameterAutomation&) = delete;
    ParameterAutomation& operator=(const ParameterAutomation&) = delete;

    /// Plug-in thread; frees what the audio thread handed back. `set` (empty for
    /// none) replaces the lanes from the next block on; a set published earlier
    /// that no block adopted yet is dropped.
    void publish(std::unique_ptr<AutomationSet> set);
    /// Plug-in thread. Frees a set the audio thread handed back, so that it can
    /// adopt the next one.
    void releaseRetired();
    /// Plug-in thread; never waits. A change of `id` to `value` at `frameOffset`
    /// frames after the start of the next block; false when kMaxTimedChanges wait.
    bool schedule(Steinberg::Vst::ParamID id, double value, std::int32_t frameOffset) noexcept;

    /// Audio thread, at the start of the caller's block; never allocates, locks or
    /// waits. Takes the timed changes given since the last block; `bufferedFrames`
    /// frames of earlier blocks have not yet reached the plug-in (fixed blocks).
    void takeTimedChanges(std::int64_t bufferedFrames) noexcept;
    /// Audio thread, at the start of a block the plug-in gets. Adopts the set
    /// published last, once the one it replaced before was freed.
    void adoptPublished() noexcept;
    /// Audio thread. Whether a lane plays `id`: it alone decides that parameter's
    /// values then (its first point replaces a value set for the block's first
    /// frame; timed changes of it give way).
    bool automates(Steinberg::Vst::ParamID id) const noexcept;
    /// Audio thread. Adds the points of the next piece of `frames` to `changes`,
    /// at the project time and transport state `context` gives, and keeps the
    /// last value of each parameter it played in `played`.
    void queuePiece(Steinberg::Vst::ParameterChanges& changes, const Steinberg::Vst::ProcessContext& context,
                    std::int32_t frames, OutputParameterSlots& played) noexcept;
    /// Audio thread. `frames` passed without reaching the plug-in.
    void skip(std::int32_t frames) noexcept { streamFrames += frames; }

private:
    struct TimedChange {
        Steinberg::Vst::ParamID id = 0;
        double value = 0.0;
        /// In the ring: the offset in the next block; once taken: the frame of
        /// the stream the plug-in processes.
        std::int64_t frame = 0;
    };

    void queueTimedChanges(Steinberg::Vst::ParameterChanges& changes, std::int32_t frames,
                           OutputParameterSlots& played) noexcept;
    static void queueLane(const AutomationLane& lane, Steinberg::Vst::ParameterChanges& changes,
                          std::int64_t start, std::int64_t last, OutputParameterSlots& played) noexcept;

    /// The set published last and not yet adopted; null when none waits.
    std::atomic<AutomationSet*> offered{nullptr};
    /// The set the audio thread replaced, until the control side frees it; the
    /// audio thread adopts no other while one waits here.
    std::atomic<AutomationSet*> retired{nullptr};
    /// Audio thread only (and the plug-in thread while no block runs).
    AutomationSet* current = nullptr;

    std::array<TimedChange, kMaxTimedChanges> ring{};
    std::atomic<std::size_t> ringWritten{0};
    std::atomic<std::size_t> ringRead{0};
    /// Audio thread only: taken timed changes, `pendingCount` of them.
    std::array<TimedChange, kMaxTimedChanges> pending{};
    std::size_t pendingCount = 0;
    /// Audio thread only: frames handed to the plug-in (or skipped) so far.
    std::int64_t streamFrames = 0;
};

} // namespace varnel::extensions::vst
