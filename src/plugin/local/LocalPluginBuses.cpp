// Buses: what the plug-in declares, what it takes when asked for stereo, and the
// bus records every process call carries. A plug-in is handed a record for each
// bus it declared, with the bus's own channel count: a host that hands fewer, or
// other counts, makes plug-ins read past their buffers.
#include "plugin/local/LocalPlugin.h"

#include "pluginterfaces/vst/vstspeaker.h"
#include "public.sdk/source/vst/utility/stringconvert.h"

#include <algorithm>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// The caller's signal has two channels.
constexpr int32 kCallerChannels = 2;

SpeakerArrangement arrangementFor(int32 channels) {
    if (channels == 1)
        return SpeakerArr::kMono;
    if (channels == 2)
        return SpeakerArr::kStereo;
    if (channels <= 0)
        return SpeakerArr::kEmpty;
    return channels >= 64 ? ~SpeakerArrangement{0} : (SpeakerArrangement{1} << channels) - 1;
}

// What the bus carries now: the arrangement the plug-in reports, else the channel
// count of its bus description.
SpeakerArrangement currentArrangement(PluginInstance& instance, BusDirection direction, int32 index) {
    SpeakerArrangement arrangement = SpeakerArr::kEmpty;
    if (instance.audioProcessor->getBusArrangement(direction, index, arrangement) == kResultOk)
        return arrangement;
    BusInfo info{};
    if (instance.component->getBusInfo(kAudio, direction, index, info) == kResultOk)
        return arrangementFor(info.channelCount);
    return SpeakerArr::kEmpty;
}

int32 busCount(PluginInstance& instance, BusDirection direction) {
    // An uninitialised component answers an error code here; never a negative count.
    return std::max(int32{0}, instance.component->getBusCount(kAudio, direction));
}

// Every declared bus's arrangement now; with `stereoMain`, stereo in place of the
// main bus's, as the host asks for it.
std::vector<SpeakerArrangement> arrangementsOf(PluginInstance& instance, BusDirection direction,
                                               bool stereoMain) {
    std::vector<SpeakerArrangement> arrangements(static_cast<std::size_t>(busCount(instance, direction)));
    for (std::size_t index = 0; index < arrangements.size(); ++index)
        arrangements[index] = index == 0 && stereoMain
                                  ? SpeakerArr::kStereo
                                  : currentArrangement(instance, direction, static_cast<int32>(index));
    return arrangements;
}

VSTChannelLayout chooseLayout(int32 inputChannels, int32 outputChannels) {
    if (outputChannels == 0)
        return VSTChannelLayout::noOutput;
    const bool monoOut = outputChannels == 1;
    if (inputChannels == 0)
        return monoOut ? VSTChannelLayout::noInputMonoOut : VSTChannelLayout::noInputStereoOut;
    if (inputChannels == 1)
        return monoOut ? VSTChannelLayout::dualMono : VSTChannelLayout::monoInStereoOut;
    return monoOut ? VSTChannelLayout::stereoInMonoOut : VSTChannelLayout::stereo;
}

} // namespace

void LocalPlugin::configureInstance(PluginInstance& instance, bool reportActivation) {
    // Stereo asked for the main buses; every other bus keeps what it has. The
    // plug-in may take it, adapt, or keep its own: what it has afterwards counts.
    std::vector<SpeakerArrangement> inputs = arrangementsOf(instance, kInput, true);
    std::vector<SpeakerArrangement> outputs = arrangementsOf(instance, kOutput, true);
    if (!inputs.empty() || !outputs.empty())
        instance.audioProcessor->setBusArrangements(inputs.data(), static_cast<int32>(inputs.size()),
                                                    outputs.data(), static_cast<int32>(outputs.size()));

    // The main buses carry the signal; auxiliary ones stay as the plug-in has them.
    const bool inputRefused =
        !inputs.empty() && instance.component->activateBus(kAudio, kInput, 0, true) != kResultOk;
    const bool outputRefused =
        !outputs.empty() && instance.component->activateBus(kAudio, kOutput, 0, true) != kResultOk;
    if (reportActivation && inputRefused)
        link.refused("input bus activation error");
    if (reportActivation && outputRefused)
        link.refused("output bus activation error");

    // The records follow what the plug-in has now; their channels point at the
    // caller's signal or at scratch (prepareScratch).
    HostProcessData& data = instance.processData;
    data.prepare(*instance.component, 0, kSample32);
    data.outputParameterChanges = &instance.outputParameterChanges;
}

void LocalPlugin::describeBuses(PluginInstance& instance, std::vector<VSTBusInfo>& buses) {
    buses.clear();
    for (const BusDirection direction : {kInput, kOutput}) {
        const int32 count = busCount(instance, direction);
        for (int32 index = 0; index < count; ++index) {
            BusInfo info{};
            if (instance.component->getBusInfo(kAudio, direction, index, info) != kResultOk)
                continue;
            const int32 channels = instance.processData.bus(direction, index) != nullptr
                                       ? instance.processData.channelCount(direction, index)
                                       : info.channelCount;
            buses.push_back(VSTBusInfo{VST3::StringConvert::convert(info.name), direction == kInput, index,
                                       channels, info.busType == kAux,
                                       (info.flags & BusInfo::kDefaultActive) != 0});
        }
    }
}

bool LocalPlugin::configureBuses(PluginFacts& facts, std::string& error) {
    PluginInstance& first = lead();
    configureInstance(first, true);
    describeBuses(first, facts.buses);
    const VSTChannelLayout layout = chooseLayout(first.mainInputChannels(), first.mainOutputChannels());

    if (layout == VSTChannelLayout::dualMono) {
        // A mono-only effect on a stereo signal runs twice, one instance per
        // channel, as hosts do on a stereo track. The second instance is brought
        // up to where the first stands and configured the same way.
        PluginInstance& second = instances[1];
        second.component = module->getFactory().createInstance<IComponent>(audioModuleClass).get();
        instanceCount = 2;
        if (!second.component || !moveTo(LifecycleState::connected)) {
            error = "Could not bring up a second instance for dual mono.";
            return false;
        }
        if (!findAudioProcessor(second, error))
            return false;
        configureInstance(second, false);
        if (second.mainInputChannels() != 1 || second.mainOutputChannels() != 1) {
            error = "The second instance for dual mono did not take mono buses.";
            return false;
        }
    }
    channelLayout = layout;
    facts.channelLayout = layout;
    findSideChain();
    prepareScratch(scratchFrames);
    return true;
}

void LocalPlugin::findSideChain() {
    // The first auxiliary input is the side-chain, as compressors and gates declare it.
    PluginInstance& first = lead();
    for (int32 index = 1; index < busCount(first, kInput); ++index) {
        BusInfo info{};
        if (first.component->getBusInfo(kAudio, kInput, index, info) == kResultOk && info.busType == kAux) {
            sideChainBus = index;
            sideChainChannels = first.processData.channelCount(kInput, index);
            return;
        }
    }
}

bool LocalPlugin::activateSideChain(bool active, std::string& reason) {
    if (sideChainBus < 0) {
        reason = "The plug-in has no side-chain input.";
        return false;
    }
    bool accepted = true;
    forEachInstance([&](PluginInstance& instance) {
        accepted =
            callPlugin("activateBus",
                       [&] {
                           return instance.component->activateBus(kAudio, kInput, sideChainBus, active);
                       }) == kResultOk &&
            accepted;
    });
    if (!accepted) {
        // Every instance goes back to an inactive side-chain, so that they agree.
        forEachInstance([&](PluginInstance& instance) {
            callPlugin("activateBus",
                       [&] { return instance.component->activateBus(kAudio, kInput, sideChainBus, false); });
        });
        sideChainActive = false;
        reason =
            std::string("activateBus of the side-chain input to ") + (active ? "true" : "false") + " failed";
        return false;
    }
    sideChainActive = active;
    return true;
}

void LocalPlugin::prepareScratch(int32 frames) {
    // Which channels of the main buses carry the caller's signal; everything else
    // reads silence or writes into a channel of its own that is dropped.
    PluginInstance& first = lead();
    const int32 carriedInputs = std::min(first.mainInputChannels(), kCallerChannels);
    const int32 carriedOutputs = std::min(first.mainOutputChannels(), kCallerChannels);
    std::size_t extraOutputs = 0;
    for (int32 bus = 0; bus < first.processData.numOutputs; ++bus)
        extraOutputs += static_cast<std::size_t>(first.processData.channelCount(kOutput, bus));
    extraOutputs -= static_cast<std::size_t>(carriedOutputs);

    const auto length = static_cast<std::size_t>(std::max(frames, int32{0}));
    scratch.assign(length * (3 + extraOutputs), 0.0f);
    scratchFrames = frames;
    silence = scratch.data();
    monoMix = scratch.data() + length;
    sideMix = scratch.data() + 2 * length;

    // The instances run one after the other, so they share the dropped channels.
    forEachInstance([&](PluginInstance& instance) {
        HostProcessData& data = instance.processData;
        float* nextExtra = scratch.data() + 3 * length;
        for (int32 bus = 0; bus < data.numInputs; ++bus) {
            std::uint64_t silenceFlags = 0;
            for (int32 channel = 0; channel < data.channelCount(kInput, bus); ++channel) {
                if (bus == 0 && channel < carriedInputs)
                    continue;
                data.setChannelBuffer(kInput, bus, channel, silence);
                if (channel < 64)
                    silenceFlags |= std::uint64_t{1} << channel;
            }
            data.bus(kInput, bus)->silenceFlags = silenceFlags;
        }
        for (int32 bus = 0; bus < data.numOutputs; ++bus) {
            for (int32 channel = 0; channel < data.channelCount(kOutput, bus); ++channel) {
                if (bus == 0 && channel < carriedOutputs)
                    continue;
                data.setChannelBuffer(kOutput, bus, channel, nextExtra);
                nextExtra += length;
            }
        }
    });
}

} // namespace varnel::extensions::vst
