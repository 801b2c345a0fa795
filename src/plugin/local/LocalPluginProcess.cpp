// The audio side of a plug-in in this process: one block through every instance,
// with the caller's stereo signal mapped onto the layout the plug-in took.
#include "plugin/local/LocalPlugin.h"

#include "realtime/OutputParameterSlots.h"

#include <algorithm>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Points main bus 0's channels at the caller's; a null second channel, and any
// channel the caller does not carry, stays on the scratch it was given at load.
// One look-up of the bus instead of one per channel.
void pointMainBus(HostProcessData& data, BusDirection direction, float* first, float* second) noexcept {
    AudioBusBuffers* const bus = data.bus(direction, 0);
    if (bus == nullptr || bus->numChannels < 1)
        return;
    bus->channelBuffers32[0] = first;
    if (second != nullptr && bus->numChannels > 1)
        bus->channelBuffers32[1] = second;
}

} // namespace

BlockOutcome LocalPlugin::process(const PluginBlock& block) noexcept {
    // Audio thread: no allocation, lock, wait or log.
    // One context for every instance, read where the module filled it: a dual-mono
    // pair plays the same bar. The SDK's record wants it writable; plug-ins only
    // read it, and the module writes every field it carries before each block.
    auto* const context = const_cast<ProcessContext*>(block.context);
    // A stereo side-chain for a mono bus is mixed once for every instance.
    if (sideChainActive && block.sideL != nullptr && block.sideR != nullptr && sideChainChannels == 1) {
        for (int32 frame = 0; frame < block.frames; ++frame)
            sideMix[frame] = 0.5f * (block.sideL[frame] + block.sideR[frame]);
    }
    forEachInstance([this, &block, context](PluginInstance& instance) {
        instance.processData.processContext = context;
        instance.processData.inputParameterChanges = block.inputChanges;
        if (sideChainBus >= 0)
            pointSideChain(instance, block);
    });
    BlockOutcome outcome;
    processLayout(block, outcome);
    return outcome;
}

void LocalPlugin::pointSideChain(PluginInstance& instance, const PluginBlock& block) noexcept {
    // Audio thread. Every block points the bus afresh: at this block's signal, or
    // at silence, never at a signal of an earlier block. The plug-in reads inputs
    // through non-const pointers but does not write them.
    HostProcessData& data = instance.processData;
    AudioBusBuffers* const bus = data.bus(kInput, sideChainBus);
    if (bus == nullptr)
        return;
    const bool fed = sideChainActive && block.sideL != nullptr;
    const bool mixed = fed && block.sideR != nullptr && bus->numChannels == 1;
    std::uint64_t silenceFlags = 0;
    for (int32 channel = 0; channel < bus->numChannels; ++channel) {
        const float* source = silence;
        if (fed && channel == 0)
            source = mixed ? sideMix : block.sideL;
        else if (fed && channel == 1)
            source = block.sideR != nullptr ? block.sideR : block.sideL;
        data.setChannelBuffer(kInput, sideChainBus, channel, const_cast<float*>(source));
        if (source == silence && channel < 64)
            silenceFlags |= std::uint64_t{1} << channel;
    }
    bus->silenceFlags = silenceFlags;
}

void LocalPlugin::processInstance(PluginInstance& instance, float* in0, float* in1, float* out0, float* out1,
                                  const PluginBlock& block, BlockOutcome& outcome) noexcept {
    pointMainBus(instance.processData, kInput, in0, in1);
    pointMainBus(instance.processData, kOutput, out0, out1);
    instance.processData.numSamples = block.frames;
    if (instance.outputParameterChanges.getParameterCount() != 0)
        instance.outputParameterChanges.clearQueue();
    tresult result = kResultOk;
    try {
        result = instance.audioProcessor->process(instance.processData);
    } catch (...) {
        // Nothing a plug-in throws may end the audio thread; what the block holds
        // is the plug-in's to answer for.
        outcome.kind = BlockOutcome::Kind::threw;
        return;
    }
    if (result != kResultOk && outcome.kind == BlockOutcome::Kind::ok)
        outcome = BlockOutcome{BlockOutcome::Kind::failed, result};
    // The controller follows what the processor reports, on the plug-in thread;
    // a block that reported nothing has nothing to look up.
    if (&instance == &lead() && block.reports != nullptr &&
        instance.outputParameterChanges.getParameterCount() != 0)
        block.reports->store(instance.outputParameterChanges);
}

void LocalPlugin::processLayout(const PluginBlock& block, BlockOutcome& outcome) noexcept {
    float* const inL = block.inL;
    float* const inR = block.inR;
    float* const outL = block.outL;
    float* const outR = block.outR;
    const int32 frames = block.frames;
    switch (channelLayout) {
    case VSTChannelLayout::dualMono:
        processInstance(instances[0], inL, nullptr, outL, nullptr, block, outcome);
        processInstance(instances[1], inR, nullptr, outR, nullptr, block, outcome);
        return;
    case VSTChannelLayout::monoInStereoOut:
        for (int32 frame = 0; frame < frames; ++frame)
            monoMix[frame] = 0.5f * (inL[frame] + inR[frame]);
        processInstance(lead(), monoMix, nullptr, outL, outR, block, outcome);
        return;
    case VSTChannelLayout::stereoInMonoOut:
    case VSTChannelLayout::noInputMonoOut:
        processInstance(lead(), inL, inR, outL, nullptr, block, outcome);
        if (outR != outL)
            std::copy_n(outL, frames, outR);
        return;
    default:
        processInstance(lead(), inL, inR, outL, outR, block, outcome);
        return;
    }
}

bool LocalPlugin::processParametersOnly(IParameterChanges& changes) {
    bool accepted = true;
    forEachInstance([&](PluginInstance& instance) {
        ProcessData flush;
        flush.processMode = instance.processData.processMode;
        flush.symbolicSampleSize = kSample32;
        flush.inputParameterChanges = &changes;
        flush.outputParameterChanges = &instance.outputParameterChanges;
        instance.outputParameterChanges.clearQueue();
        if (callPlugin("process", [&] { return instance.audioProcessor->process(flush); }) != kResultOk)
            accepted = false;
    });
    return accepted;
}

} // namespace varnel::extensions::vst
