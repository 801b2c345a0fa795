// IAudioProcessor of the test plug-in object, except process itself: bus
// arrangements and the processing set-up, with their order rules.

#include "TestPluginObject.h"

#include "CallText.h"
#include "PluginConfig.h"
#include "Recorder.h"

#include "pluginterfaces/vst/vstspeaker.h"

#include <algorithm>
#include <new>

namespace testplugin {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

std::string arrangementList(const SpeakerArrangement* arrangements, int32 count) {
    std::string text = "[";
    for (int32 i = 0; arrangements != nullptr && i < count; ++i)
        text += (i > 0 ? " " : "") + arrangementName(arrangements[i]);
    return text + "]";
}

} // namespace

int32 TestPluginObject::audioBusCount(BusDirection direction) const {
    if (direction == kInput)
        return kPluginConfig.inputBuses > 0 ? 1 + (kPluginConfig.sideChain ? 1 : 0) : 0;
    return 1 + (kPluginConfig.auxOutput ? 1 : 0);
}

SpeakerArrangement TestPluginObject::busArrangement(BusDirection direction, int32 index) const {
    if (index > 0) // the auxiliary buses: a side-chain in, a stereo output
        return direction == kInput && kPluginConfig.sideChainChannels == 1 ? SpeakerArr::kMono
                                                                           : SpeakerArr::kStereo;
    const int channels = direction == kInput && kPluginConfig.inputChannels > 0 ? kPluginConfig.inputChannels
                                                                                : kPluginConfig.channels;
    return channels == 1 ? SpeakerArr::kMono : SpeakerArr::kStereo;
}

void TestPluginObject::addBuses() {
    if (kPluginConfig.inputBuses > 0)
        audioInputs.push_back(
            owned(new AudioBus(STR16("Input"), kMain, BusInfo::kDefaultActive, busArrangement(kInput, 0))));
    if (kPluginConfig.inputBuses > 0 && kPluginConfig.sideChain)
        audioInputs.push_back(owned(new AudioBus(STR16("Sidechain"), kAux, 0, busArrangement(kInput, 1))));
    audioOutputs.push_back(
        owned(new AudioBus(STR16("Output"), kMain, BusInfo::kDefaultActive, busArrangement(kOutput, 0))));
    if (kPluginConfig.auxOutput)
        audioOutputs.push_back(owned(new AudioBus(STR16("Aux Output"), kAux, 0, busArrangement(kOutput, 1))));
}

tresult PLUGIN_API TestPluginObject::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                        SpeakerArrangement* outputs, int32 numOuts) {
    RecordedCall call(
        "IAudioProcessor", "setBusArrangements",
        "inputs=" + arrangementList(inputs, numIns) + " outputs=" + arrangementList(outputs, numOuts), name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    if (active_)
        call.violation("while the component is active");
    // Only the arrangements the plug-in has, for every bus: a mono plug-in refuses
    // stereo, as the installed mono effects do.
    const auto matches = [this](BusDirection direction, const SpeakerArrangement* given, int32 count) {
        if (count != audioBusCount(direction) || (count > 0 && given == nullptr))
            return false;
        for (int32 index = 0; index < count; ++index) {
            if (given[index] != busArrangement(direction, index))
                return false;
        }
        return true;
    };
    const bool accepted = matches(kInput, inputs, numIns) && matches(kOutput, outputs, numOuts);
    return call.done(accepted ? kResultTrue : kResultFalse);
}

tresult PLUGIN_API TestPluginObject::getBusArrangement(BusDirection direction, int32 index,
                                                       SpeakerArrangement& arrangement) {
    RecordedCall call(
        "IAudioProcessor", "getBusArrangement",
        std::string(direction == kInput ? "input" : "output") + " index=" + std::to_string(index), name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    if (index < 0 || index >= audioBusCount(direction))
        return call.done(kInvalidArgument);
    arrangement = busArrangement(direction, index);
    return call.done(kResultOk);
}

tresult PLUGIN_API TestPluginObject::canProcessSampleSize(int32 symbolicSampleSize) {
    RecordedCall call("IAudioProcessor", "canProcessSampleSize",
                      "sampleSize=" + std::to_string(symbolicSampleSize), name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    return call.done(symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse);
}

uint32 PLUGIN_API TestPluginObject::getLatencySamples() {
    RecordedCall call("IAudioProcessor", "getLatencySamples", "", name_);
    admit(call);
    // A new latency is reported as soon as it is decided, as real plug-ins do; the
    // audio follows from the next activation on, which the host's restart brings.
    const uint32 told =
        kPluginConfig.tellsLatencyAfterActivation ? activeLatency_.load() : Recorder::instance().latency();
    const uint32 latency = call.onForeignThread() ? 0 : std::min(told, kMaxLatency);
    call.done(static_cast<int32>(latency));
    return latency;
}

uint32 PLUGIN_API TestPluginObject::getTailSamples() {
    RecordedCall call("IAudioProcessor", "getTailSamples", "", name_);
    admit(call);
    const uint32 tail = call.onForeignThread() ? 0 : kPluginConfig.tailSamples;
    call.done(static_cast<int32>(tail));
    return tail;
}

tresult PLUGIN_API TestPluginObject::setupProcessing(ProcessSetup& setup) {
    RecordedCall call("IAudioProcessor", "setupProcessing",
                      "mode=" + std::to_string(setup.processMode) +
                          " sampleSize=" + std::to_string(setup.symbolicSampleSize) +
                          " maxSamples=" + std::to_string(setup.maxSamplesPerBlock) +
                          " rate=" + formatDouble(setup.sampleRate),
                      name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    if (active_)
        call.violation("while the component is active");
    checkNoBlockInFlight(call);
    if (Recorder::instance().throws(ThrowingCall::setupProcessing)) {
        call.done(kInternalError);
        throw std::bad_alloc();
    }
    if (setup.symbolicSampleSize != kSample32)
        return call.done(kResultFalse);
    if (kPluginConfig.refusedSampleRate != 0.0 && setup.sampleRate == kPluginConfig.refusedSampleRate)
        return call.done(kResultFalse);
    maxSamplesPerBlock_ = setup.maxSamplesPerBlock;
    symbolicSampleSize_ = setup.symbolicSampleSize;
    setUp_ = true;
    return call.done(kResultOk);
}

tresult PLUGIN_API TestPluginObject::setProcessing(TBool state) {
    RecordedCall call("IAudioProcessor", "setProcessing", boolText(state), name_, RecordedCall::Thread::any);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    if (state && !active_)
        call.violation("while the component is inactive");
    checkNoBlockInFlight(call);
    // A refusing plug-in still takes the host's request as made, so a host that
    // goes on processing after the refusal is not blamed for it.
    processing_ = state != 0;
    return call.done(kPluginConfig.refusesSetProcessing ? kResultFalse : kResultOk);
}

void TestPluginObject::checkNoBlockInFlight(RecordedCall& call) const {
    if (blocksInFlight_.load() > 0)
        call.violation("while a process call is running");
}

} // namespace testplugin
