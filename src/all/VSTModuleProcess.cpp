#include "VSTModuleInternals.h"

#include <algorithm>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

void VSTModule::Internals::queueChangedParameters() noexcept {
    // Audio side: no allocation, lock or wait.
    // Values set since the last block join their queues at offset 0. Queues are never
    // emptied: every block repeats the last value of every id ever set.
    parameterSlots.collect([this](ParamID id, ParamValue value) {
        int32 queueIndex = 0;
        if (IParamValueQueue* queue = parameterChanges.addParameterData(id, queueIndex)) {
            int32 pointIndex = 0;
            queue->addPoint(0, value, pointIndex);
        }
    });
}

namespace {

// Points main bus 0's channels at the caller's; a null second channel, and any
// channel the caller does not carry, stays on the scratch it was given at load.
void pointMainBus(std::vector<std::vector<float*>>& buses, float* first, float* second) noexcept {
    if (buses.empty())
        return;
    std::vector<float*>& channels = buses[0];
    if (!channels.empty())
        channels[0] = first;
    if (channels.size() > 1 && second != nullptr)
        channels[1] = second;
}

} // namespace

void VSTModule::Internals::processInstance(PluginInstance& instance, float* in0, float* in1, float* out0,
                                           float* out1, int32 frames) {
    pointMainBus(instance.inputChannels, in0, in1);
    pointMainBus(instance.outputChannels, out0, out1);
    instance.processData.numSamples = frames;
    instance.outputParameterChanges.clearQueue();
    const tresult result = instance.audioProcessor->process(instance.processData);
    if (result == kResultOk)
        processErrors.succeed();
    else
        processErrors.fail(static_cast<std::int32_t>(result));
}

void VSTModule::Internals::processBlock(float* inL, float* inR, float* outL, float* outR, int32 frames) {
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

    // Raised before reading the switch, so that a control thread switching
    // processing off either stops this block here or waits for it to end.
    in.inProcess.store(true, std::memory_order_seq_cst);
    if (!in.processing.load(std::memory_order_seq_cst) || numFrames < 0) {
        in.inProcess.store(false, std::memory_order_release);
        return;
    }

    // Every instance reads the same queues.
    in.queueChangedParameters();

    // Plug-ins overrun their buffers on a block longer than the announced maximum,
    // so longer blocks reach them in pieces.
    const int32 maxBlock = in.maxSamplesPerBlock;
    if (maxBlock <= 0 && numFrames > 0) {
        in.inProcess.store(false, std::memory_order_release);
        return;
    }
    int32 done = 0;
    do {
        const int32 frames = std::min<int32>(numFrames - done, maxBlock);
        in.processBlock(inL + done, inR + done, outL + done, outR + done, frames);
        done += frames;
    } while (done < numFrames);

    in.inProcess.store(false, std::memory_order_release);
}

} // namespace varnel::extensions::vst
