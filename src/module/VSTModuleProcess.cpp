// The module's audio path: the gate, fixed blocks, pieces no longer than the
// set-up allows, the parameter changes (values set, automation) and musical
// context of each, and the failure counts. The plug-in side runs each piece.
#include "module/VSTModuleInternals.h"

#include <algorithm>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

void VSTModule::Internals::queueChangedParameters(bool withAudio) noexcept {
    // Audio side: no allocation, lock or wait.
    // Values set since the last block join their queues at offset 0, once: a value
    // the host repeated in every block would undo every change the plug-in makes
    // to its own parameters. Ids beyond the queues made at load wait a block. A
    // block without audio carries them and leaves them for the next one with audio.
    const auto queue = [this](ParamID id, ParamValue value) {
        int32 queueIndex = 0;
        IParamValueQueue* target = audio.parameterChanges.addParameterData(id, queueIndex);
        if (target == nullptr)
            return false;
        int32 pointIndex = 0;
        target->addPoint(0, value, pointIndex);
        return true;
    };
    if (withAudio)
        audio.parameterSlots.collect(queue);
    else
        audio.parameterSlots.peek(queue);
}

void VSTModule::Internals::processPiece(float* inL, float* inR, float* outL, float* outR, const float* sideL,
                                        const float* sideR, int32 frames) noexcept {
    // One context for every instance: a dual-mono pair plays the same bar.
    audio.transport.fill(audio.context, audio.sampleRate);
    audio.automation.queuePiece(audio.parameterChanges, audio.context, frames, audio.playedValues);
    const BlockOutcome outcome =
        side.plugin->process(PluginBlock{inL, inR, outL, outR, frames, &audio.context,
                                         &audio.parameterChanges, &audio.outputSlots, sideL, sideR});
    audio.transport.advance(frames);
    switch (outcome.kind) {
    case BlockOutcome::Kind::ok:
        audio.processErrors.succeed();
        return;
    case BlockOutcome::Kind::failed:
        audio.processErrors.fail(static_cast<std::int32_t>(outcome.code));
        return;
    case BlockOutcome::Kind::threw:
        audio.processExceptions.fail(0);
        return;
    case BlockOutcome::Kind::dry:
        audio.dryBlocks.fail(0);
        return;
    }
}

void VSTModule::Internals::processPieces(float* inL, float* inR, float* outL, float* outR, const float* sideL,
                                         const float* sideR, int32 numFrames) noexcept {
    // The plug-in thread either stops this block here or waits for it to end.
    const AudioGate::Block block(audio.gate);
    if (!block) {
        if (audio.processingWanted.load(std::memory_order_relaxed))
            audio.blocksMissed.fetch_add(1, std::memory_order_relaxed);
        audio.automation.skip(numFrames);
        return;
    }
    // Plug-ins overrun their buffers on a block longer than the announced maximum,
    // so longer blocks reach them in pieces.
    const int32 maxBlock = audio.maxSamplesPerBlock;
    if (maxBlock <= 0 && numFrames > 0) {
        audio.automation.skip(numFrames);
        return;
    }
    // A replaced envelope changes at a block boundary.
    audio.automation.adoptPublished();
    // Every instance reads the same queues; values set, in the first piece only.
    queueChangedParameters(numFrames > 0);
    int32 done = 0;
    do {
        const int32 frames = std::min<int32>(numFrames - done, maxBlock);
        processPiece(inL + done, inR + done, outL + done, outR + done,
                     sideL != nullptr ? sideL + done : nullptr, sideR != nullptr ? sideR + done : nullptr,
                     frames);
        if (audio.parameterChanges.getParameterCount() != 0)
            audio.parameterChanges.clearQueue();
        done += frames;
    } while (done < numFrames);
}

void VSTModule::process(float* inL, float* inR, float* outL, float* outR, int numFrames) {
    process(inL, inR, outL, outR, nullptr, nullptr, numFrames);
}

void VSTModule::process(float* inL, float* inR, float* outL, float* outR, const float* sideL,
                        const float* sideR, int numFrames) {
    // Audio thread: no allocation, lock, wait or log, on any path. Failures are
    // only counted here; control calls log them.
    Internals& in = *internals;
    // An isolated plug-in whose process ended: the signal passes through, as for a
    // disabled node, and each block is counted.
    if (in.side.plugin->hasEnded()) {
        if (numFrames > 0 && inL != outL)
            std::copy_n(inL, numFrames, outL);
        if (numFrames > 0 && inR != outR)
            std::copy_n(inR, numFrames, outR);
        in.audio.dryBlocks.fail(0);
        return;
    }
    if (!in.side.plugin->hasProcessor()) {
        in.audio.blocksWithoutProcessor.fail(0);
        return;
    }
    if (numFrames < 0)
        return;
    // Timed changes count from this block's first frame, which reaches the plug-in
    // after what fixed blocks still gather.
    in.audio.automation.takeTimedChanges(in.audio.fixedBlocks.bufferedFrames());
    if (sideL == nullptr)
        sideR = nullptr;
    // A block without frames hands parameters over at once, fixed blocks or not:
    // it is how a host brings settings to the processor before audio flows.
    if (in.audio.fixedBlocks.blockFrames() == 0 || numFrames == 0) {
        in.processPieces(inL, inR, outL, outR, sideL, sideR, numFrames);
        return;
    }
    in.audio.fixedBlocks.run(inL, inR, outL, outR, sideL, sideR, numFrames,
                             [&in](float* blockInL, float* blockInR, float* blockOutL, float* blockOutR,
                                   const float* blockSideL, const float* blockSideR, int blockFrames) {
                                 // What the plug-in leaves unwritten passes through, as unbuffered.
                                 std::copy_n(blockInL, blockFrames, blockOutL);
                                 std::copy_n(blockInR, blockFrames, blockOutR);
                                 in.processPieces(blockInL, blockInR, blockOutL, blockOutR, blockSideL,
                                                  blockSideR, blockFrames);
                             });
}

} // namespace varnel::extensions::vst
