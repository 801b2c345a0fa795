// IAudioProcessor::process of the test plug-in object: the audio path.
//
// Everything in this file runs on the audio thread and must never allocate,
// lock, log or wait, so that hosts can count allocations around process. The
// call is recorded in the preallocated ProcessLog; order violations found here
// are formatted into its fixed slots.

#include "TestPluginObject.h"

#include "CallText.h"
#include "PluginConfig.h"
#include "Recorder.h"

#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace testplugin {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr ParamID gainId = 1;
constexpr ParamID meterId = 3;

// Checks one side's buses against the plug-in's; false when the buffers the
// plug-in needs cannot be used.
bool checkBus(ProcessLog& log, const char* object, const char* side, int32 numBuses,
              const AudioBusBuffers* buses, int32 numSamples, int32 pluginBuses) {
    const int32 declared = buses != nullptr && numBuses > 0 ? buses[0].numChannels : 0;
    if (numBuses != pluginBuses)
        log.violation("%s: IAudioProcessor::process declares %d %s bus(es), the plug-in has %d", object,
                      numBuses, side, pluginBuses);
    if (pluginBuses == 0)
        return true; // nothing to read on this side
    if (numBuses < 1)
        return false;
    if (buses == nullptr) {
        log.violation("%s: IAudioProcessor::process with null %s bus buffers", object, side);
        return false;
    }
    if (declared != kPluginConfig.channels)
        log.violation("%s: IAudioProcessor::process declares %s bus 0 as %s but the plug-in's bus is %s",
                      object, side, channelLayoutName(declared), channelLayoutName(kPluginConfig.channels));
    if (numSamples > 0 && declared > 0) {
        const bool missingBuffer =
            buses[0].channelBuffers32 == nullptr ||
            std::any_of(buses[0].channelBuffers32, buses[0].channelBuffers32 + declared,
                        [](const Sample32* channel) { return channel == nullptr; });
        if (missingBuffer) {
            log.violation("%s: IAudioProcessor::process with null channel buffers on %s bus 0", object, side);
            return false;
        }
    }
    return true;
}

} // namespace

TestPluginObject::BlockUse TestPluginObject::checkProcessCall(const ProcessData& data) const {
    ProcessLog& log = Recorder::instance().processLog();
    const char* object = name_.c_str();
    bool usable = true;
    if (terminated_ || !initialized_) {
        log.violation("%s: IAudioProcessor::process %s", object,
                      terminated_ ? "after IPluginBase::terminate" : "before IPluginBase::initialize");
        return BlockUse::refuse;
    }
    // Without a set-up the real plug-ins crash; this one refuses the block.
    if (!setUp_) {
        log.violation("%s: IAudioProcessor::process before IAudioProcessor::setupProcessing", object);
        usable = false;
    }
    if (!active_)
        log.violation("%s: IAudioProcessor::process while the component is inactive", object);
    if (!processing_)
        log.violation("%s: IAudioProcessor::process while processing is off (setProcessing(true) missing)",
                      object);
    if (restoringState_)
        log.violation("%s: IAudioProcessor::process while IComponent::setState runs", object);
    if (data.numSamples < 0) {
        log.violation("%s: IAudioProcessor::process with negative numSamples %d", object, data.numSamples);
        usable = false;
    }
    // Blocks above the announced maximum overrun real plug-ins' buffers.
    if (setUp_ && data.numSamples > maxSamplesPerBlock_) {
        log.violation("%s: IAudioProcessor::process with numSamples %d above maxSamplesPerBlock %d", object,
                      data.numSamples, maxSamplesPerBlock_.load());
        usable = false;
    }
    if (setUp_ && data.symbolicSampleSize != symbolicSampleSize_) {
        log.violation("%s: IAudioProcessor::process with symbolicSampleSize %d, set up with %d", object,
                      data.symbolicSampleSize, symbolicSampleSize_.load());
        usable = false;
    }
    // A block of 0 samples without buffers is the documented way to flush parameters.
    const bool parameterFlush = data.numSamples == 0 && data.numInputs == 0 && data.numOutputs == 0;
    if (!parameterFlush) {
        usable = checkBus(log, object, "input", data.numInputs, data.inputs, data.numSamples,
                          kPluginConfig.inputBuses) &&
                 usable;
        usable = checkBus(log, object, "output", data.numOutputs, data.outputs, data.numSamples, 1) && usable;
    }
    if (!usable)
        return BlockUse::refuse;
    return parameterFlush ? BlockUse::parametersOnly : BlockUse::render;
}

void TestPluginObject::readParameterChanges(IParameterChanges* changes, ProcessRecord& record, bool apply) {
    if (changes == nullptr)
        return;
    record.parameterCount = changes->getParameterCount();
    for (int32 index = 0; index < record.parameterCount; ++index) {
        IParamValueQueue* queue = changes->getParameterData(index);
        if (queue == nullptr)
            continue;
        const int32 points = queue->getPointCount();
        int32 firstOffset = 0;
        int32 lastOffset = 0;
        ParamValue firstValue = 0.0;
        ParamValue lastValue = 0.0;
        if (points > 0) {
            queue->getPoint(0, firstOffset, firstValue);
            queue->getPoint(points - 1, lastOffset, lastValue);
        }
        if (queue->getParameterId() == meterId && kPluginConfig.parameters == ParameterLayout::standard)
            Recorder::instance().processLog().violation(
                "%s: IAudioProcessor::process with input changes for read-only parameter %u", name_.c_str(),
                static_cast<unsigned>(meterId));
        if (static_cast<std::size_t>(index) < ProcessRecord::maxQueues)
            record.queues[static_cast<std::size_t>(index)] = {queue->getParameterId(), points, firstOffset,
                                                              firstValue, lastValue};
        // The block runs with the last value the host sent for "Gain".
        if (apply && queue->getParameterId() == gainId && points > 0 &&
            kPluginConfig.parameters == ParameterLayout::standard)
            gain_ = lastValue;
    }
}

float TestPluginObject::render(ProcessData& data) const {
    AudioBusBuffers& output = data.outputs[0];
    if (kPluginConfig.inputBuses == 0) {
        // A generator of silence.
        for (int32 channel = 0; channel < std::min(output.numChannels, int32{kPluginConfig.channels});
             ++channel)
            std::fill(output.channelBuffers32[channel], output.channelBuffers32[channel] + data.numSamples,
                      0.0f);
        output.silenceFlags = (std::uint64_t{1} << kPluginConfig.channels) - 1;
        return 0.0f;
    }
    const AudioBusBuffers& input = data.inputs[0];
    const int32 channels = std::min({input.numChannels, output.numChannels, int32{kPluginConfig.channels}});
    const auto gain = static_cast<float>(gain_.load());
    const auto offset = static_cast<float>(offset_.load());
    float peak = 0.0f;
    for (int32 channel = 0; channel < channels; ++channel) {
        const Sample32* in = input.channelBuffers32[channel];
        Sample32* out = output.channelBuffers32[channel];
        for (int32 frame = 0; frame < data.numSamples; ++frame) {
            out[frame] = in[frame] * gain + offset;
            peak = std::max(peak, std::fabs(out[frame]));
        }
    }
    output.silenceFlags = 0;
    return peak;
}

void TestPluginObject::reportMeter(IParameterChanges* changes, float peak) const {
    if (changes == nullptr)
        return;
    int32 queueIndex = 0;
    if (IParamValueQueue* queue = changes->addParameterData(meterId, queueIndex)) {
        int32 pointIndex = 0;
        queue->addPoint(0, std::min(1.0, static_cast<double>(peak)), pointIndex);
    }
}

tresult PLUGIN_API TestPluginObject::process(ProcessData& data) {
    // Audio thread: no allocation, lock, log or wait.
    ProcessRecord record;
    record.object = instance_;
    record.numSamples = data.numSamples;
    record.processMode = data.processMode;
    record.symbolicSampleSize = data.symbolicSampleSize;
    record.numInputs = data.numInputs;
    record.numOutputs = data.numOutputs;
    record.inputChannels = data.numInputs > 0 && data.inputs != nullptr ? data.inputs[0].numChannels : 0;
    record.outputChannels = data.numOutputs > 0 && data.outputs != nullptr ? data.outputs[0].numChannels : 0;
    record.hasOutputParameterChanges = data.outputParameterChanges != nullptr;
    record.outputParameterCount =
        data.outputParameterChanges != nullptr ? data.outputParameterChanges->getParameterCount() : 0;
    record.thread = currentThreadToken();

    blocksInFlight_.fetch_add(1);
    if (kPluginConfig.holdsBlocks)
        Recorder::instance().waitWhileHeld();
    const BlockUse use = checkProcessCall(data);
    readParameterChanges(data.inputParameterChanges, record, use != BlockUse::refuse);
    if (use == BlockUse::render)
        reportMeter(data.outputParameterChanges, render(data));

    record.gain = gain_;
    record.result = use == BlockUse::refuse || kPluginConfig.processReturnsFalse ? kResultFalse : kResultOk;
    Recorder::instance().processLog().add(record);
    blocksInFlight_.fetch_sub(1);
    return record.result;
}

} // namespace testplugin
