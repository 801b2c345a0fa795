#include "realtime/ParameterAutomation.h"

#include <algorithm>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

bool before(const VSTAutomationPoint& point, std::int64_t frame) noexcept {
    return point.frame < frame;
}

bool after(std::int64_t frame, const VSTAutomationPoint& point) noexcept {
    return frame < point.frame;
}

} // namespace

double AutomationLane::valueAt(std::int64_t frame) const noexcept {
    // The first point later than `frame`; the segment before it holds the value.
    const auto next = std::upper_bound(points.begin(), points.end(), frame, after);
    if (next == points.begin())
        return points.front().value;
    const auto previous = std::prev(next);
    if (next == points.end() || stepped)
        return previous->value;
    const double position =
        static_cast<double>(frame - previous->frame) / static_cast<double>(next->frame - previous->frame);
    return previous->value + (next->value - previous->value) * position;
}

ParameterAutomation::ParameterAutomation() = default;

ParameterAutomation::~ParameterAutomation() {
    delete current;
    delete offered.load();
    delete retired.load();
}

void ParameterAutomation::publish(std::unique_ptr<AutomationSet> set) {
    releaseRetired();
    // A set no block took is dropped here: the audio thread gets sets only by
    // exchanging this pointer, so the one exchanged out here it never saw.
    delete offered.exchange(set.release(), std::memory_order_acq_rel);
}

void ParameterAutomation::releaseRetired() {
    delete retired.exchange(nullptr, std::memory_order_acq_rel);
}

bool ParameterAutomation::schedule(ParamID id, double value, std::int32_t frameOffset) noexcept {
    const std::size_t written = ringWritten.load(std::memory_order_relaxed);
    if (written - ringRead.load(std::memory_order_acquire) >= kMaxTimedChanges)
        return false;
    ring[written % kMaxTimedChanges] = TimedChange{id, value, frameOffset};
    ringWritten.store(written + 1, std::memory_order_release);
    return true;
}

void ParameterAutomation::takeTimedChanges(std::int64_t bufferedFrames) noexcept {
    // Audio thread: no allocation, lock or wait.
    const std::size_t written = ringWritten.load(std::memory_order_acquire);
    std::size_t read = ringRead.load(std::memory_order_relaxed);
    if (read == written)
        return;
    // The caller's block starts this many frames into the plug-in's stream:
    // frames that fixed blocks still gather reach the plug-in first.
    const std::int64_t blockStart = streamFrames + bufferedFrames;
    for (; read != written && pendingCount < pending.size(); ++read) {
        TimedChange change = ring[read % kMaxTimedChanges];
        change.frame += blockStart;
        pending[pendingCount++] = change;
    }
    ringRead.store(read, std::memory_order_release);
}

void ParameterAutomation::adoptPublished() noexcept {
    // Audio thread: no allocation, lock or wait; the set replaced goes back to the
    // control side, which frees it.
    if (offered.load(std::memory_order_relaxed) == nullptr ||
        retired.load(std::memory_order_acquire) != nullptr)
        return;
    AutomationSet* next = offered.exchange(nullptr, std::memory_order_acq_rel);
    if (next == nullptr)
        return;
    retired.store(current, std::memory_order_release);
    current = next;
}

bool ParameterAutomation::automates(ParamID id) const noexcept {
    if (current == nullptr || current->lanes.empty())
        return false;
    const std::vector<AutomationLane>& lanes = current->lanes;
    const auto found =
        std::lower_bound(lanes.begin(), lanes.end(), id,
                         [](const AutomationLane& lane, ParamID wanted) { return lane.id < wanted; });
    return found != lanes.end() && found->id == id;
}

void ParameterAutomation::queueTimedChanges(ParameterChanges& changes, std::int32_t frames,
                                            OutputParameterSlots& played) noexcept {
    const std::int64_t end = streamFrames + frames;
    std::size_t kept = 0;
    for (std::size_t index = 0; index < pendingCount; ++index) {
        const TimedChange& change = pending[index];
        if (change.frame >= end) {
            pending[kept++] = change;
            continue;
        }
        // A lane owns its parameter: a timed change of it gives way.
        if (automates(change.id))
            continue;
        int32 queueIndex = 0;
        IParamValueQueue* queue = changes.addParameterData(change.id, queueIndex);
        // A change whose frame passed in a block the plug-in did not get comes first.
        const auto offset = static_cast<int32>(std::max<std::int64_t>(change.frame - streamFrames, 0));
        int32 pointIndex = 0;
        if (queue == nullptr || queue->addPoint(offset, change.value, pointIndex) != kResultOk)
            continue;
        int32 lastOffset = 0;
        ParamValue last = 0.0;
        if (queue->getPoint(queue->getPointCount() - 1, lastOffset, last) == kResultOk)
            played.storeValue(change.id, last);
    }
    pendingCount = kept;
}

void ParameterAutomation::queueLane(const AutomationLane& lane, ParameterChanges& changes, std::int64_t start,
                                    std::int64_t last, OutputParameterSlots& played) noexcept {
    int32 queueIndex = 0;
    IParamValueQueue* queue = changes.addParameterData(lane.id, queueIndex);
    if (queue == nullptr)
        return;
    int32 pointIndex = 0;
    queue->addPoint(0, lane.valueAt(start), pointIndex);
    if (last > start) {
        // The envelope's own points inside the piece: after its first frame, and
        // before its last (a ramp) or up to it (a step, which needs that frame).
        const std::vector<VSTAutomationPoint>& points = lane.points;
        const auto first = std::upper_bound(points.begin(), points.end(), start, after);
        const auto end = lane.stepped ? std::upper_bound(first, points.end(), last, after)
                                      : std::lower_bound(first, points.end(), last, before);
        const auto inside = static_cast<std::size_t>(end - first);
        // Room beside the two ends: one point per ramp point, two per step.
        const std::size_t room = lane.stepped ? (kMaxPointsPerBlock - 2) / 2 : kMaxPointsPerBlock - 2;
        const std::size_t taken = std::min(inside, room);
        for (std::size_t chosen = 0; chosen < taken; ++chosen) {
            const std::size_t index = inside <= room ? chosen : chosen * inside / room;
            const auto point = first + static_cast<std::ptrdiff_t>(index);
            const auto offset = static_cast<int32>(point->frame - start);
            if (lane.stepped) {
                // A queue ramps between its points: a step needs the old value on
                // the frame before.
                const double previous = point == points.begin() ? point->value : std::prev(point)->value;
                queue->addPoint(offset - 1, previous, pointIndex);
            }
            queue->addPoint(offset, point->value, pointIndex);
        }
        queue->addPoint(static_cast<int32>(last - start), lane.valueAt(last), pointIndex);
    }
    played.storeValue(lane.id, lane.valueAt(last));
}

void ParameterAutomation::queuePiece(ParameterChanges& changes, const ProcessContext& context,
                                     std::int32_t frames, OutputParameterSlots& played) noexcept {
    // Audio thread: no allocation, lock or wait.
    if (pendingCount != 0)
        queueTimedChanges(changes, frames, played);
    streamFrames += frames;
    if (current == nullptr || current->lanes.empty())
        return;
    // The timeline stands while the transport does: the whole piece at one frame.
    const std::int64_t start = context.projectTimeSamples;
    const bool moving = (context.state & ProcessContext::kPlaying) != 0 && frames > 1;
    const std::int64_t last = moving ? start + frames - 1 : start;
    for (const AutomationLane& lane : current->lanes)
        queueLane(lane, changes, start, last, played);
}

} // namespace varnel::extensions::vst
