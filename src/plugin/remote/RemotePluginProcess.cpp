// The audio side of an isolated plug-in: each block handed to the helper through
// the shared block memory and back, or passed through dry.
#include "plugin/remote/RemotePlugin.h"

#if defined(__linux__)

#include "realtime/OutputParameterSlots.h"
#include "realtime/ParameterSlots.h"

#include <algorithm>
#include <cstring>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

std::int64_t nanosecondsOf(std::chrono::steady_clock::time_point point) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(point.time_since_epoch()).count();
}

void copyFrames(const float* from, float* to, int32 frames) noexcept {
    if (from != to && frames > 0)
        std::memmove(to, from, static_cast<std::size_t>(frames) * sizeof(float));
}

} // namespace

BlockOutcome RemotePlugin::passDry(const PluginBlock& block) noexcept {
    copyFrames(block.inL, block.outL, block.frames);
    copyFrames(block.inR, block.outR, block.frames);
    return BlockOutcome{BlockOutcome::Kind::dry, kResultFalse};
}

RemotePlugin::Clock::duration RemotePlugin::budgetFor(int32 frames) const noexcept {
    if (limits.blockBudgetMicroseconds > 0)
        return std::chrono::microseconds(limits.blockBudgetMicroseconds);
    // Offline, a dry block would spoil the render: the plug-in may take its time,
    // up to what counts as hung.
    if (processMode == kOffline)
        return std::chrono::milliseconds(limits.hangMilliseconds);
    const auto blockDuration = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(frames) / std::max(sampleRate, 1.0)));
    return std::max<Clock::duration>(blockDuration, std::chrono::milliseconds(1));
}

void RemotePlugin::noteBehind(Clock::time_point now) noexcept {
    const std::int64_t since = behindSince.load(std::memory_order_relaxed);
    if (since == 0) {
        behindSince.store(nanosecondsOf(now), std::memory_order_relaxed);
        return;
    }
    if (nanosecondsOf(now) - since >= std::int64_t{limits.hangMilliseconds} * 1'000'000)
        behindTooLong.store(true, std::memory_order_release);
}

BlockOutcome RemotePlugin::process(const PluginBlock& block) noexcept {
    // Audio thread: no allocation, lock or log; one futex wake and one wait.
    switch (sender->ready()) {
    case BlockSender::Result::answered:
        break;
    case BlockSender::Result::busy:
        // The helper still works on a block given up on: its memory is not ours.
        noteBehind(Clock::now());
        return passDry(block);
    default:
        return passDry(block);
    }
    awaitingSince.store(0, std::memory_order_relaxed);
    if (block.frames > SharedBlock::kMaxFrames)
        return passDry(block);

    SharedBlock& memory = *shared;
    memory.frames = block.frames;
    memory.context = *block.context;
    std::uint32_t count = 0;
    IParameterChanges* const changes = block.inputChanges;
    for (int32 index = 0; changes != nullptr && index < changes->getParameterCount(); ++index) {
        IParamValueQueue* queue = changes->getParameterData(index);
        for (int32 point = 0; queue != nullptr && point < queue->getPointCount(); ++point) {
            if (count == SharedBlock::kMaxValues)
                break;
            SharedValue& value = memory.changes[count];
            value.id = queue->getParameterId();
            if (queue->getPoint(point, value.sampleOffset, value.value) == kResultOk)
                ++count;
        }
    }
    memory.changeCount = count;
    // The outputs as the caller left them, for what the plug-in leaves unwritten.
    copyFrames(block.inL, memory.audio[0], block.frames);
    copyFrames(block.inR, memory.audio[1], block.frames);
    copyFrames(block.outL, memory.audio[2], block.frames);
    copyFrames(block.outR, memory.audio[3], block.frames);

    const Clock::time_point start = Clock::now();
    const BlockSender::Result result = sender->exchange(start + budgetFor(block.frames));
    if (result != BlockSender::Result::answered) {
        if (result == BlockSender::Result::late) {
            awaitedSequence.store(sender->lastSequence(), std::memory_order_relaxed);
            awaitingSince.store(nanosecondsOf(start), std::memory_order_release);
            noteBehind(start);
        }
        return passDry(block);
    }
    behindSince.store(0, std::memory_order_relaxed);

    copyFrames(memory.audio[2], block.outL, block.frames);
    copyFrames(memory.audio[3], block.outR, block.frames);
    // The controller follows what the processor reported, on the plug-in thread;
    // its edits reach the processor with the next block, as in this process.
    for (std::uint32_t index = 0; index < std::min(memory.reportCount, SharedBlock::kMaxValues); ++index) {
        if (block.reports != nullptr)
            block.reports->storeValue(memory.reports[index].id, memory.reports[index].value);
    }
    for (std::uint32_t index = 0; index < std::min(memory.editCount, SharedBlock::kMaxValues); ++index)
        edits.publishEdit(memory.edits[index].id, memory.edits[index].value);
    return BlockOutcome{static_cast<BlockOutcome::Kind>(memory.outcomeKind), memory.outcomeCode};
}

} // namespace varnel::extensions::vst

#endif
