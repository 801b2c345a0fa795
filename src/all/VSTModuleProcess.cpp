#include "VSTModuleInternals.h"

#include <algorithm>
#include <chrono>

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
        IParamValueQueue* target = parameterChanges.addParameterData(id, queueIndex);
        if (target == nullptr)
            return false;
        int32 pointIndex = 0;
        target->addPoint(0, value, pointIndex);
        return true;
    };
    if (withAudio)
        parameterSlots.collect(queue);
    else
        parameterSlots.peek(queue);
}

namespace {

// Points main bus 0's channels at the caller's; a null second channel, and any
// channel the caller does not carry, stays on the scratch it was given at load.
void pointMainBus(HostProcessData& data, BusDirection direction, float* first, float* second) noexcept {
    data.setChannelBuffer(direction, 0, 0, first);
    if (second != nullptr)
        data.setChannelBuffer(direction, 0, 1, second);
}

} // namespace

void VSTModule::Internals::processInstance(PluginInstance& instance, float* in0, float* in1, float* out0,
                                           float* out1, int32 frames) noexcept {
    pointMainBus(instance.processData, kInput, in0, in1);
    pointMainBus(instance.processData, kOutput, out0, out1);
    instance.processData.numSamples = frames;
    instance.outputParameterChanges.clearQueue();
    tresult result = kResultOk;
    try {
        result = instance.audioProcessor->process(instance.processData);
    } catch (...) {
        // Nothing a plug-in throws may end the audio thread; what the block holds
        // is the plug-in's to answer for.
        processExceptions.fail(0);
        return;
    }
    if (result == kResultOk)
        processErrors.succeed();
    else
        processErrors.fail(static_cast<std::int32_t>(result));
    // The controller follows what the processor reports, on the plug-in thread.
    if (&instance == &lead())
        outputSlots.store(instance.outputParameterChanges);
}

void VSTModule::Internals::processBlock(float* inL, float* inR, float* outL, float* outR,
                                        int32 frames) noexcept {
    // One context for every instance: a dual-mono pair plays the same bar.
    transport.fill(lead().processData.context, blockSampleRate);
    if (instanceCount > 1)
        instances[1].processData.context = lead().processData.context;
    processLayout(inL, inR, outL, outR, frames);
    transport.advance(frames);
}

void VSTModule::Internals::processLayout(float* inL, float* inR, float* outL, float* outR,
                                         int32 frames) noexcept {
    switch (channelLayout) {
    case VSTChannelLayout::dualMono:
        processInstance(instances[0], inL, nullptr, outL, nullptr, frames);
        processInstance(instances[1], inR, nullptr, outR, nullptr, frames);
        return;
    case VSTChannelLayout::monoInStereoOut:
        for (int32 frame = 0; frame < frames; ++frame)
            monoMix[frame] = 0.5f * (inL[frame] + inR[frame]);
        processInstance(lead(), monoMix, nullptr, outL, outR, frames);
        return;
    case VSTChannelLayout::stereoInMonoOut:
    case VSTChannelLayout::noInputMonoOut:
        processInstance(lead(), inL, inR, outL, nullptr, frames);
        if (outR != outL)
            std::copy_n(outL, frames, outR);
        return;
    default:
        processInstance(lead(), inL, inR, outL, outR, frames);
        return;
    }
}

void VSTModule::process(float* inL, float* inR, float* outL, float* outR, int numFrames) {
    // Audio thread: no allocation, lock, wait or log, on any path. Failures are
    // only counted here; control calls log them.
    Internals& in = *internals;
    if (!in.lead().audioProcessor) {
        in.blocksWithoutProcessor.fail(0);
        return;
    }

    // The plug-in thread either stops this block here or waits for it to end.
    const AudioGate::Block block(in.audioGate);
    if (!block || numFrames < 0)
        return;
    // Plug-ins overrun their buffers on a block longer than the announced maximum,
    // so longer blocks reach them in pieces.
    const int32 maxBlock = in.maxSamplesPerBlock;
    if (maxBlock <= 0 && numFrames > 0)
        return;

    // Every instance reads the same queues, in the first piece only.
    in.queueChangedParameters(numFrames > 0);
    int32 done = 0;
    do {
        const int32 frames = std::min<int32>(numFrames - done, maxBlock);
        in.processBlock(inL + done, inR + done, outL + done, outR + done, frames);
        in.parameterChanges.clearQueue();
        done += frames;
    } while (done < numFrames);
    in.lastBlockTime.store(std::chrono::steady_clock::now().time_since_epoch().count(),
                           std::memory_order_relaxed);
}

} // namespace varnel::extensions::vst
