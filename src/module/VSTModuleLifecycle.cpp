// The module's set-up policy: which set-up the plug-in gets, when it is set up
// again, what a restart request it made leads to, and the processing switch. The
// plug-in side carries out each step in the VST 3 order (HostedPlugin::moveTo).
#include "module/VSTModuleInternals.h"

#include <cmath>
#include <sstream>
#include <string>
#include <utility>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

using State = LifecycleState;

ProcessSetup VSTModule::Internals::pluginSetup(const ProcessSetup& setup) const {
    ProcessSetup forPlugin = setup;
    if (audio.fixedBlocks.blockFrames() > 0)
        forPlugin.maxSamplesPerBlock = audio.fixedBlocks.blockFrames();
    return forPlugin;
}

bool VSTModule::Internals::applySetup(const ProcessSetup& setup) {
    // Stopped at setUp, inactive: plug-ins that reset their settings on activation
    // get every value the controller holds with the first
    // block after it, handed over while no block runs.
    const bool accepted = plugin().applySetup(setup, State::setUp);
    if (plugin().lowestState() == State::setUp) {
        if (plugin().hasController())
            sendControllerValues(false);
        plugin().moveTo(settings.runningState);
    }
    return accepted;
}

void VSTModule::Internals::reactivate() {
    plugin().moveTo(State::setUp);
    if (plugin().hasController())
        sendControllerValues(false);
    plugin().moveTo(settings.runningState); // reads the latency again on the way up
}

void VSTModule::Internals::noteLatency() {
    side.pendingEvents.push_back(
        VSTPluginEvent{VSTPluginEvent::Kind::latencyChanged, 0, 0.0, false, plugin().latencySamples()});
}

bool VSTModule::Internals::latencyMayHaveChanged(std::uint32_t answered) {
    // A plug-in that already answers another latency (JUCE's do at once) has one.
    if (answered != plugin().latencySamples())
        return true;
    // The same answer: either a plug-in that tells its new latency only after it is
    // reactivated, as VST 3 describes (the SDK's host checker), or one asking
    // again for the latency its last activation gave (JUCE's ask so from their own
    // thread, some 20 ms after every activation). Only a value that reached the
    // processor since that activation can have changed it: then it is reactivated.
    return side.activationAtLastValue == plugin().activations();
}

void VSTModule::Internals::actOnRestartRequests(bool fromService) {
    if (!loaded())
        return;
    int32 flags = plugin().takeRestartRequests();
    // A latency the plug-in answers before it asks (JUCE's ask some 20 ms later,
    // from their own thread) is carried out when the caller asks for the latency,
    // so that the caller gets the one the audio will have.
    const bool active = plugin().highestState() >= State::active;
    const bool polled = std::exchange(latencyAsked, false) && !fromService;
    const bool asked = (flags & kLatencyChanged) != 0;
    const std::uint32_t answered = active && (asked || polled) ? plugin().currentLatency() : 0;
    if (polled && active && answered != plugin().latencySamples())
        flags |= kLatencyChanged;
    constexpr int32 kDeactivating = kIoChanged | kReloadComponent | kLatencyChanged;
    const std::optional<ProcessSetup> inForce = plugin().setupInForce();
    // An offline render must not lose blocks to a restart it did not ask for: the
    // next control call, made between blocks, carries those out.
    if (fromService && inForce && inForce->processMode == kOffline && (flags & kDeactivating) != 0) {
        plugin().putBackRestartRequests(flags & kDeactivating);
        flags &= ~kDeactivating;
    }
    if (flags == 0)
        return;
    int32 carriedOut = 0;
    if ((flags & (kIoChanged | kReloadComponent)) != 0 && inForce) {
        const std::uint32_t latencyBefore = plugin().latencySamples();
        applySetup(*inForce);
        carriedOut |= flags & (kIoChanged | kReloadComponent | kLatencyChanged);
        if (plugin().latencySamples() != latencyBefore)
            noteLatency();
    } else if ((flags & kLatencyChanged) != 0) {
        const std::uint32_t latencyBefore = plugin().latencySamples();
        if (latencyMayHaveChanged(answered)) {
            // VST 3: the new latency holds from the next activation on, and is read then.
            if (plugin().highestState() >= State::active)
                reactivate();
            else
                plugin().readTiming();
            carriedOut |= kLatencyChanged;
            if (plugin().latencySamples() != latencyBefore)
                noteLatency();
        }
    }
    if ((flags & kParamValuesChanged) != 0) {
        sendControllerValues(true);
        carriedOut |= kParamValuesChanged;
    }
    if ((flags & kParamTitlesChanged) != 0) {
        refreshParameterTable();
        carriedOut |= kParamTitlesChanged;
    }
    if (carriedOut != 0)
        side.pendingEvents.push_back(
            VSTPluginEvent{VSTPluginEvent::Kind::restarted, 0, 0.0, false, 0, carriedOut});
}

bool VSTModule::Internals::switchProcessing(bool state) {
    settings.runningState = state ? State::processing : State::active;
    audio.processingWanted.store(state, std::memory_order_relaxed);
    if (plugin().lowestState() < State::active) {
        if (!state)
            return true; // never switched on: there is nothing to tell the plug-in
        // No set-up was accepted yet: processing starts once one is.
        return refuse("setProcessing to true failed: the plug-in is not set up and active");
    }
    const bool moved =
        plugin().highestState() != settings.runningState || plugin().lowestState() != settings.runningState;
    const bool accepted = plugin().moveTo(settings.runningState);
    if (moved)
        return accepted;
    // Already there, after a refusal: a switch asked for again asks the plug-in again.
    return plugin().repeatRefusedSwitch(state);
}

bool VSTModule::setProcessing(bool state) {
    Internals& in = *internals;
    return in.enter("setProcessing", [&] {
        if (!in.loaded())
            return in.refuse(kNoProcessorReason);
        return in.switchProcessing(state);
    });
}

std::uint32_t VSTModule::getLatencySamples() const {
    Internals& in = *internals;
    in.inspect([&in] { in.latencyAsked = true; });
    return in.enter("getLatencySamples", [&in]() -> std::uint32_t {
        if (!in.loaded())
            return 0;
        // Gathering fixed blocks delays the output by one of them.
        return in.plugin().latencySamples() + static_cast<std::uint32_t>(in.audio.fixedBlocks.blockFrames());
    });
}

std::uint32_t VSTModule::getTailSamples() const {
    Internals& in = *internals;
    return in.enter("getTailSamples", [&in] { return in.plugin().tailSamples(); });
}

bool VSTModule::isReadyToProcess() const {
    return internals->inspect([this] { return internals->plugin().lowestState() >= State::active; });
}

bool VSTModule::Internals::changeSetup(const ProcessSetup& setup, bool evenWhenInForce) {
    // Checked here because plug-ins trust these values: a maximum of 0 or a rate of
    // 0 divides by zero in their DSP, a negative maximum sizes their buffers wrongly.
    bool valid = true;
    if (setup.processMode < kRealtime || setup.processMode > kOffline)
        valid = refuse("Invalid process mode: " + std::to_string(setup.processMode));
    if (setup.maxSamplesPerBlock <= 0)
        valid = refuse("Invalid maximum block size: " + std::to_string(setup.maxSamplesPerBlock));
    if (!std::isfinite(setup.sampleRate) || setup.sampleRate <= 0.0) {
        std::ostringstream rate;
        rate << setup.sampleRate;
        valid = refuse("Invalid sample rate: " + rate.str());
    }
    if (!valid)
        return false;
    if (!loaded()) {
        settings.setup = setup; // for the load
        return true;
    }
    // Every set-up resets the plug-in's DSP state, so one that changes nothing is
    // not made unless asked for outright.
    const ProcessSetup wanted = pluginSetup(setup);
    const std::optional<ProcessSetup> inForce = plugin().setupInForce();
    const bool same = inForce && inForce->processMode == wanted.processMode &&
                      inForce->maxSamplesPerBlock == wanted.maxSamplesPerBlock &&
                      inForce->sampleRate == wanted.sampleRate;
    if (same && !evenWhenInForce) {
        settings.setup = setup;
        return true;
    }
    const bool accepted = applySetup(wanted);
    // A refused set-up leaves the one in force, and the caller's with it.
    if (accepted || !inForce)
        settings.setup = setup;
    return accepted;
}

bool VSTModule::setupProcessing(VSTProcessingMode processingMode, int maxSamplesPerBlock, double sampleRate) {
    Internals& in = *internals;
    return in.enter("setupProcessing", [&] {
        if (!in.loaded())
            return in.refuse(kNoProcessorReason);
        return in.changeSetup(
            ProcessSetup{static_cast<int32>(processingMode), kSample32, maxSamplesPerBlock, sampleRate},
            true);
    });
}

bool VSTModule::setSampleRate(unsigned int sampleRate) {
    Internals& in = *internals;
    return in.enter("setupProcessing", [&] {
        if (!in.loaded())
            return in.refuse(kNoProcessorReason);
        ProcessSetup setup = in.settings.setup;
        setup.sampleRate = static_cast<double>(sampleRate);
        return in.changeSetup(setup, false);
    });
}

bool VSTModule::setMaxSamplesPerBlock(int maxSamplesPerBlock) {
    Internals& in = *internals;
    return in.enter("setupProcessing", [&] {
        ProcessSetup setup = in.settings.setup;
        setup.maxSamplesPerBlock = maxSamplesPerBlock;
        return in.changeSetup(setup, false);
    });
}

bool VSTModule::setProcessMode(VSTProcessingMode processingMode) {
    Internals& in = *internals;
    return in.enter("setupProcessing", [&] {
        ProcessSetup setup = in.settings.setup;
        setup.processMode = static_cast<int32>(processingMode);
        return in.changeSetup(setup, false);
    });
}

bool VSTModule::setFixedBlockSize(int frames) {
    Internals& in = *internals;
    return in.enter("setFixedBlockSize", [&] {
        if (frames < 0)
            return in.refuse("Invalid fixed block size: " + std::to_string(frames));
        // The buffers change only while no block runs.
        const bool running = in.audio.gate.isOpen();
        in.audio.gate.closeGate();
        in.audio.fixedBlocks.prepare(frames);
        if (running)
            in.audio.gate.openGate();
        return in.changeSetup(in.settings.setup, false);
    });
}

int VSTModule::getFixedBlockSize() const {
    return internals->inspect([this] { return internals->audio.fixedBlocks.blockFrames(); });
}

} // namespace varnel::extensions::vst
