// IAudioProcessor::process of the test plug-in object: the audio path.
//
// Everything in this file runs on the audio thread and must never allocate,
// lock, log or wait, so that hosts can count allocations around process. The
// call is recorded in the preallocated ProcessLog; order violations found here
// are formatted into its fixed slots.

#include "TestPluginObject.h"

#include "CallText.h"
#include "ParameterSet.h"
#include "PluginConfig.h"
#include "Recorder.h"

#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <thread>

namespace testplugin {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Uniform in [-1, 1), the same sequence for every instance.
float nextNoise(std::uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) * (2.0f / 16777216.0f) - 1.0f;
}

} // namespace

bool TestPluginObject::checkBuses(BusDirection direction, int32 numBuses, const AudioBusBuffers* buses,
                                  int32 numSamples) const {
    ProcessLog& log = Recorder::instance().processLog();
    const char* object = name_.c_str();
    const char* side = direction == kInput ? "input" : "output";
    const int32 pluginBuses = audioBusCount(direction);
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
    bool usable = true;
    for (int32 index = 0; index < std::min(numBuses, pluginBuses); ++index) {
        const AudioBusBuffers& bus = buses[index];
        const int32 expected = SpeakerArr::getChannelCount(busArrangement(direction, index));
        if (bus.numChannels != expected)
            log.violation("%s: IAudioProcessor::process declares %s bus %d as %s but the plug-in's bus is %s",
                          object, side, index, channelLayoutName(bus.numChannels),
                          channelLayoutName(expected));
        if (numSamples <= 0 || bus.numChannels <= 0)
            continue;
        const int32 channels = std::min(bus.numChannels, expected);
        if (bus.channelBuffers32 == nullptr ||
            std::any_of(bus.channelBuffers32, bus.channelBuffers32 + channels,
                        [](const Sample32* channel) { return channel == nullptr; })) {
            log.violation("%s: IAudioProcessor::process with null channel buffers on %s bus %d", object, side,
                          index);
            usable = false;
            continue;
        }
        // An auxiliary bus the host did not activate gets silence, and is said to.
        if (direction == kInput && index > 0 && !audioInputs[static_cast<std::size_t>(index)]->isActive()) {
            const std::uint64_t all = (std::uint64_t{1} << channels) - 1;
            const bool silent = std::all_of(
                bus.channelBuffers32, bus.channelBuffers32 + channels, [numSamples](const Sample32* channel) {
                    return std::all_of(channel, channel + numSamples, [](Sample32 x) { return x == 0.0f; });
                });
            if ((bus.silenceFlags & all) != all || !silent)
                log.violation("%s: IAudioProcessor::process hands inactive input bus %d without silence",
                              object, index);
        }
    }
    return usable;
}

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
    // A block without audio may hand over parameters while processing is off, as
    // VST 3 has it; one with audio may not.
    if (!processing_ && data.numSamples != 0)
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
    if (kPluginConfig.processesOnlyFullBlocks && setUp_ && data.numSamples != 0 &&
        data.numSamples != maxSamplesPerBlock_) {
        log.violation(
            "%s: IAudioProcessor::process with numSamples %d; this plug-in processes only blocks of "
            "its maxSamplesPerBlock %d",
            object, data.numSamples, maxSamplesPerBlock_.load());
        usable = false;
    }
    if (kPluginConfig.needsProcessContext) {
        constexpr uint32 needed = ProcessContext::kTempoValid | ProcessContext::kTimeSigValid |
                                  ProcessContext::kProjectTimeMusicValid;
        if (data.processContext == nullptr || (data.processContext->state & needed) != needed)
            log.violation("%s: IAudioProcessor::process without a valid tempo, time signature and musical "
                          "position in the process context",
                          object);
    }
    if (setUp_ && data.symbolicSampleSize != symbolicSampleSize_) {
        log.violation("%s: IAudioProcessor::process with symbolicSampleSize %d, set up with %d", object,
                      data.symbolicSampleSize, symbolicSampleSize_.load());
        usable = false;
    }
    // A block of 0 samples without buffers is the documented way to flush parameters.
    const bool parameterFlush = data.numSamples == 0 && data.numInputs == 0 && data.numOutputs == 0;
    if (!parameterFlush) {
        usable = checkBuses(kInput, data.numInputs, data.inputs, data.numSamples) && usable;
        usable = checkBuses(kOutput, data.numOutputs, data.outputs, data.numSamples) && usable;
    }
    if (!usable)
        return BlockUse::refuse;
    return parameterFlush ? BlockUse::parametersOnly : BlockUse::render;
}

int32 TestPluginObject::readParameterChanges(IParameterChanges* changes, ProcessRecord& record, bool apply) {
    if (changes == nullptr)
        return -1;
    const bool twoWay = kPluginConfig.parameters == ParameterLayout::twoWay;
    int32 program = -1;
    record.parameterCount = changes->getParameterCount();
    for (int32 index = 0; index < record.parameterCount; ++index) {
        IParamValueQueue* queue = changes->getParameterData(index);
        if (queue == nullptr)
            continue;
        const ParamID id = queue->getParameterId();
        const int32 points = queue->getPointCount();
        int32 firstOffset = 0;
        int32 lastOffset = 0;
        ParamValue firstValue = 0.0;
        ParamValue lastValue = 0.0;
        if (points > 0) {
            queue->getPoint(0, firstOffset, firstValue);
            queue->getPoint(points - 1, lastOffset, lastValue);
        }
        for (int32 point = 0; point < points; ++point) {
            int32 offset = 0;
            ParamValue value = 0.0;
            if (queue->getPoint(point, offset, value) == kResultOk)
                Recorder::instance().processLog().addPoint(
                    QueuePoint{instance_, id, framesRendered_, record.numSamples, offset, value});
        }
        if (hasStandardParameters() && (id == kMeterId || (twoWay && id == kLatencyId)))
            Recorder::instance().processLog().violation(
                "%s: IAudioProcessor::process with input changes for read-only parameter %u", name_.c_str(),
                static_cast<unsigned>(id));
        if (static_cast<std::size_t>(index) < ProcessRecord::maxQueues)
            record.queues[static_cast<std::size_t>(index)] = {id, points, firstOffset, firstValue, lastValue};
        if (!apply || points == 0 || !hasStandardParameters())
            continue;
        // The block runs with the last value the host sent, or ramps through them all.
        if (id == kGainId)
            gain_ = lastValue;
        if (id == kGainId && kPluginConfig.rampsGain) {
            gainRampPoints_ = std::min(points, static_cast<int32>(gainRamp_.size()));
            for (int32 point = 0; point < gainRampPoints_; ++point)
                queue->getPoint(point, gainRamp_[static_cast<std::size_t>(point)].offset,
                                gainRamp_[static_cast<std::size_t>(point)].value);
        }
        if (id == kGainId && program >= 0 && kPluginConfig.appliesChangesInQueueOrder)
            gainAfterProgram_ = lastValue;
        else if (twoWay && id == kChoiceId)
            choiceFactor_ =
                kChoiceFactors[static_cast<std::size_t>(stepOf(lastValue, kListStepCount, StepRule::round))];
        else if (twoWay && id == kProgramId)
            program = stepOf(lastValue, kListStepCount, StepRule::truncate);
        if (id == kModeId && kPluginConfig.latencyFollowsMode)
            followMode(lastValue);
    }
    return program;
}

void TestPluginObject::applyProgram(int32 step, IParameterChanges* outputChanges) {
    // After every other change of the block, so a program wins over a "Gain" sent with it.
    gain_ = kProgramGains[static_cast<std::size_t>(step)];
    reportOutputValue(outputChanges, kGainId, gain_);
}

void TestPluginObject::reportNewLatency(IParameterChanges* outputChanges) const {
    if (outputChanges == nullptr)
        return; // kept for a block that can report it
    const std::int64_t samples = Recorder::instance().takeLatencyReport();
    if (samples >= 0)
        reportOutputValue(outputChanges, kLatencyId, static_cast<double>(samples) / kMaxLatency);
}

void TestPluginObject::followMode(ParamValue value) noexcept {
    const auto step = static_cast<std::size_t>(std::min(2.0, std::floor(value * 3.0)));
    const uint32 latency = std::min(kPluginConfig.latencyByMode[step], kMaxLatency);
    if (kPluginConfig.tellsLatencyAfterActivation) {
        // Held until the host reactivates, which the request asks for.
        if (latency != Recorder::instance().latency())
            Recorder::instance().changeLatencyInProcess(latency);
        return;
    }
    moveLatency(latency);
}

void TestPluginObject::moveLatency(uint32 latency) noexcept {
    if (latency == activeLatency_.load())
        return;
    // The delay changes at once; the host hears of it through the restart request.
    activeLatency_ = latency;
    for (auto& channel : delayLine_)
        channel.fill(0.0f);
    delayPosition_ = 0;
    Recorder::instance().changeLatencyInProcess(latency);
}

double TestPluginObject::rampedGain(int32 frame) const noexcept {
    // VST 3: a straight line from each point to the next, the first from the value
    // before the block at offset -1; the last point's value after it.
    int32 fromOffset = -1;
    double fromValue = gainRampStart_;
    for (int32 index = 0; index < gainRampPoints_; ++index) {
        const GainPoint& point = gainRamp_[static_cast<std::size_t>(index)];
        if (frame <= point.offset)
            return fromValue + (point.value - fromValue) * (frame - fromOffset) / (point.offset - fromOffset);
        fromOffset = point.offset;
        fromValue = point.value;
    }
    return fromValue;
}

void TestPluginObject::addSideChain(ProcessData& data) const noexcept {
    if (data.numInputs < 2 || !audioInputs[1]->isActive())
        return;
    const AudioBusBuffers& side = data.inputs[1];
    AudioBusBuffers& output = data.outputs[0];
    for (int32 channel = 0; channel < output.numChannels && side.numChannels > 0; ++channel) {
        const Sample32* key = side.channelBuffers32[std::min(channel, side.numChannels - 1)];
        for (int32 frame = 0; frame < data.numSamples; ++frame)
            output.channelBuffers32[channel][frame] += key[frame];
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
    const int32 inputChannels =
        std::min(input.numChannels, SpeakerArr::getChannelCount(busArrangement(kInput, 0)));
    const int32 outputChannels =
        std::min(output.numChannels, SpeakerArr::getChannelCount(busArrangement(kOutput, 0)));
    const auto gain = static_cast<float>(gain_.load() * choiceFactor_.load());
    const float hum = kPluginConfig.tailSamples == kInfiniteTail ? kHum * gain : 0.0f;
    const uint32 latency = activeLatency_.load();
    const auto offset = static_cast<float>(offset_.load());
    float peak = 0.0f;
    uint32 position = delayPosition_;
    // A mono input feeds every output channel.
    for (int32 channel = 0; channel < outputChannels && inputChannels > 0; ++channel) {
        const Sample32* in = input.channelBuffers32[std::min(channel, inputChannels - 1)];
        Sample32* out = output.channelBuffers32[channel];
        std::array<float, kMaxLatency>& delay = delayLine_[static_cast<std::size_t>(std::min(channel, 1))];
        position = delayPosition_;
        for (int32 frame = 0; frame < data.numSamples; ++frame) {
            float sample = in[frame];
            if (kPluginConfig.nonFiniteInputFault != Fault::none && !std::isfinite(sample))
                commitFault(kPluginConfig.nonFiniteInputFault);
            if (latency > 0) {
                // A ring of `latency` samples: what leaves is what entered that long ago.
                std::swap(sample, delay[position]);
                position = position + 1 == latency ? 0 : position + 1;
            }
            const float frameGain =
                gainRampPoints_ > 0 ? static_cast<float>(rampedGain(frame) * choiceFactor_.load()) : gain;
            out[frame] = sample * frameGain + offset + hum;
            if (kPluginConfig.keepsSignalAcrossActivation) {
                float& carried = carry_[static_cast<std::size_t>(std::min(channel, 1))];
                carried = 0.9999f * carried + 0.0001f * std::fabs(in[frame]);
                out[frame] += carried;
            }
            if (kPluginConfig.noiseFloor > 0.0f)
                out[frame] += kPluginConfig.noiseFloor * nextNoise(noiseState_);
            peak = std::max(peak, std::fabs(out[frame]));
        }
    }
    delayPosition_ = position;
    output.silenceFlags = 0;
    // The auxiliary output gets a signal of its own, which a host must not mix
    // into the main one.
    for (int32 bus = 1; bus < data.numOutputs; ++bus) {
        for (int32 channel = 0; channel < data.outputs[bus].numChannels; ++channel)
            std::fill_n(data.outputs[bus].channelBuffers32[channel], data.numSamples, 0.25f);
    }
    return peak;
}

void TestPluginObject::reportOutputValue(IParameterChanges* outputChanges, ParamID id, double value) const {
    if (outputChanges == nullptr)
        return;
    int32 queueIndex = 0;
    if (IParamValueQueue* queue = outputChanges->addParameterData(id, queueIndex)) {
        int32 pointIndex = 0;
        queue->addPoint(0, value, pointIndex);
    }
    if (id == kMeterId || id == kLatencyId)
        Recorder::instance().reportedValues().add(id, value);
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
    if (const ProcessContext* context = data.processContext) {
        record.hasProcessContext = true;
        record.contextState = context->state;
        record.tempo = context->tempo;
        record.projectTimeSamples = context->projectTimeSamples;
        record.projectTimeMusic = context->projectTimeMusic;
        record.barPositionMusic = context->barPositionMusic;
        record.timeSigNumerator = context->timeSigNumerator;
        record.timeSigDenominator = context->timeSigDenominator;
    }

    blocksInFlight_.fetch_add(1);
    if (kPluginConfig.holdsBlocks)
        Recorder::instance().waitWhileHeld();
    if (kPluginConfig.processSleepMicroseconds != 0 && data.numSamples > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(kPluginConfig.processSleepMicroseconds));
    const BlockUse use = checkProcessCall(data);
    gainAfterProgram_ = -1.0;
    gainRampStart_ = gain_;
    gainRampPoints_ = 0;
    const int32 program = readParameterChanges(data.inputParameterChanges, record, use != BlockUse::refuse);
    if (use != BlockUse::refuse) {
        if (program >= 0)
            applyProgram(program, data.outputParameterChanges);
        if (gainAfterProgram_ >= 0.0)
            gain_ = gainAfterProgram_.load();
        if (kPluginConfig.editsFromProcess && use == BlockUse::render)
            Recorder::instance().editFromProcess(kGainId, gain_.load());
        reportNewLatency(data.outputParameterChanges);
    }
    if (use == BlockUse::render && data.numSamples > 0 && kPluginConfig.latencyOnceAudioFlows != 0 &&
        !audioFlowed_) {
        audioFlowed_ = true;
        moveLatency(std::min(kPluginConfig.latencyOnceAudioFlows, kMaxLatency));
    }
    if (use == BlockUse::render) {
        const float peak = render(data);
        if (kPluginConfig.addsSideChain)
            addSideChain(data);
        reportOutputValue(data.outputParameterChanges, kMeterId, std::min(1.0, static_cast<double>(peak)));
        framesRendered_ += data.numSamples;
    }

    // A plug-in whose code throws; only then does this path allocate, as every throw does.
    const bool throwing = Recorder::instance().throws(ThrowingCall::process);
    record.gain = gain_;
    record.result = throwing                                                       ? kInternalError
                    : use == BlockUse::refuse || kPluginConfig.processReturnsFalse ? kResultFalse
                                                                                   : kResultOk;
    Recorder::instance().processLog().add(record);
    if (messageDue_.exchange(false))
        sendMessage(processMessage_);
    blocksInFlight_.fetch_sub(1);
    if (throwing)
        throw std::runtime_error(name_ + ": process throws, as the test asked");
    return record.result;
}

} // namespace testplugin
