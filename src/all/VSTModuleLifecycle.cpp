// The plug-in's lifecycle as this module drives it. VST 3 allows configuration only
// while a component is inactive, and no block after processing is switched off, so
// the plug-in moves one step at a time along
//   created <-> initialized <-> connected <-> setUp <-> active <-> processing
// and every transition goes through moveTo. The two instances of a dual-mono
// plug-in move together, each in that order.
#include "VSTModuleInternals.h"

#include <varnel/Logger.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

using State = LifecycleState;

namespace {

// The SDK's base classes answer kNotImplemented for a processing switch they do not
// care about; that is no refusal.
bool switchAccepted(tresult result) {
    return result == kResultOk || result == kNotImplemented;
}

} // namespace

bool VSTModule::Internals::stepUp(PluginInstance& instance) {
    switch (instance.state) {
    case State::created:
        // The load reports a refusal: it knows which class was refused.
        if (!instance.component || callPlugin("initialize", [&] {
                                       return instance.component->initialize(hostApplication);
                                   }) != kResultOk)
            return false;
        instance.state = State::initialized;
        return true;
    case State::initialized: {
        // Component and controller hear each other's messages. Failed connections
        // are no reason to stop: the plug-in merely hears less. A second instance
        // runs without a controller of its own: its parameter values arrive with
        // the blocks.
        FUnknownPtr<IConnectionPoint> componentPoint(instance.component);
        FUnknownPtr<IConnectionPoint> controllerPoint(controller);
        if (&instance == &lead() && componentPoint && controllerPoint) {
            if (callPlugin("connect", [&] { return componentPoint->connect(controllerPoint); }) == kResultOk)
                instance.componentConnection = componentPoint;
            if (callPlugin("connect", [&] { return controllerPoint->connect(componentPoint); }) == kResultOk)
                instance.controllerConnection = controllerPoint;
        }
        instance.state = State::connected;
        return true;
    }
    case State::connected:
        if (callPlugin("setupProcessing", [&] {
                return instance.audioProcessor->setupProcessing(requestedSetup);
            }) != kResultOk) {
            refuseCall("setupProcessing failed");
            // A plug-in keeps the set-up it had when it refuses a new one.
            if (instance.hasSetup)
                instance.state = State::setUp;
            return false;
        }
        if (&instance == &lead())
            setupInForce = requestedSetup;
        // Read by the audio thread only once `processing` is raised again.
        instance.maxSamplesPerBlock = requestedSetup.maxSamplesPerBlock;
        instance.processData.processMode = requestedSetup.processMode;
        instance.hasSetup = true;
        instance.state = State::setUp;
        if (&instance == &lead())
            readTiming();
        return true;
    case State::setUp:
        // An inactive plug-in must not be given blocks.
        if (callPlugin("setActive", [&] { return instance.component->setActive(true); }) != kResultOk)
            return refuseCall("setActive to true failed");
        instance.state = State::active;
        if (&instance == &lead())
            readTiming();
        return true;
    case State::active: {
        const bool accepted = switchAccepted(
            callPlugin("setProcessing", [&] { return instance.audioProcessor->setProcessing(true); }));
        if (!accepted)
            refuseCall("setProcessing to true failed");
        // Blocks run even when the plug-in refused: many process all the same. It
        // is asked again when the caller asks again.
        instance.refusedSwitch = accepted ? std::nullopt : std::optional<bool>(true);
        instance.state = State::processing;
        return accepted;
    }
    case State::processing:
        return true;
    }
    return false;
}

bool VSTModule::Internals::stepDown(PluginInstance& instance) {
    switch (instance.state) {
    case State::created:
        return true;
    case State::initialized:
        // The component, and the controller when it is the same object, was
        // initialised here; a separate controller goes first, as it came after.
        if (&instance == &lead() && controllerInitialized) {
            callPlugin("terminate", [&] { return controller->terminate(); });
            controllerInitialized = false;
        }
        callPlugin("terminate", [&] { return instance.component->terminate(); });
        instance.state = State::created;
        return true;
    case State::connected: {
        FUnknownPtr<IConnectionPoint> componentPoint(instance.component);
        FUnknownPtr<IConnectionPoint> controllerPoint(controller);
        if (instance.componentConnection)
            callPlugin("disconnect",
                       [&] { return instance.componentConnection->disconnect(controllerPoint); });
        if (instance.controllerConnection)
            callPlugin("disconnect",
                       [&] { return instance.controllerConnection->disconnect(componentPoint); });
        instance.componentConnection = nullptr;
        instance.controllerConnection = nullptr;
        instance.state = State::initialized;
        return true;
    }
    case State::setUp:
        // VST 3 has no call that undoes a set-up.
        instance.state = State::connected;
        return true;
    case State::active:
        callPlugin("setActive", [&] { return instance.component->setActive(false); });
        instance.state = State::setUp;
        return true;
    case State::processing: {
        stopAudio();
        instance.state = State::active;
        const bool accepted = switchAccepted(
            callPlugin("setProcessing", [&] { return instance.audioProcessor->setProcessing(false); }));
        instance.refusedSwitch = accepted ? std::nullopt : std::optional<bool>(false);
        return accepted || refuseCall("setProcessing to false failed");
    }
    }
    return true;
}

void VSTModule::Internals::stopAudio() {
    audioGate.closeGate();
}

void VSTModule::Internals::startAudio() {
    // Blocks may be running already; what they read is not touched then.
    if (audioGate.isOpen())
        return;
    Steinberg::int32 smallestMaximum = lead().maxSamplesPerBlock;
    for (int index = 0; index < instanceCount; ++index) {
        const PluginInstance& instance = instances[static_cast<std::size_t>(index)];
        if (instance.state != State::processing)
            return;
        smallestMaximum = std::min(smallestMaximum, instance.maxSamplesPerBlock);
    }
    // Blocks are cut to what every instance accepted, and the scratch buffers grow
    // with the maximum here, on the control side, while no block runs.
    maxSamplesPerBlock = smallestMaximum;
    blockSampleRate = baseSetup().sampleRate;
    if (maxSamplesPerBlock > scratchFrames)
        prepareScratch(maxSamplesPerBlock);
    audioGate.openGate();
}

LifecycleState VSTModule::Internals::lowestState() const {
    State level = State::processing;
    for (int index = 0; index < instanceCount; ++index)
        level = std::min(level, instances[static_cast<std::size_t>(index)].state);
    return level;
}

LifecycleState VSTModule::Internals::highestState() const {
    State level = State::created;
    for (int index = 0; index < instanceCount; ++index)
        level = std::max(level, instances[static_cast<std::size_t>(index)].state);
    return level;
}

bool VSTModule::Internals::moveTo(LifecycleState target) {
    // All instances move in step: each level is reached by every instance (the
    // last one first on the way down) before the next one is asked for.
    bool accepted = true;
    while (highestState() > target) {
        const State level = highestState();
        for (int index = instanceCount - 1; index >= 0; --index) {
            PluginInstance& instance = instances[static_cast<std::size_t>(index)];
            if (instance.state == level)
                accepted = stepDown(instance) && accepted;
        }
    }
    // Going up stops at the first refusal, so that a refused set-up is asked once;
    // a refused processing switch is no stop, since blocks run all the same.
    bool stopped = false;
    while (!stopped && lowestState() < target) {
        const State level = lowestState();
        for (int index = 0; index < instanceCount && !stopped; ++index) {
            PluginInstance& instance = instances[static_cast<std::size_t>(index)];
            if (instance.state != level)
                continue;
            const bool stepAccepted = stepUp(instance);
            accepted = stepAccepted && accepted;
            stopped = !stepAccepted && level != State::active;
        }
    }
    if (target == State::processing)
        startAudio();
    return accepted;
}

bool VSTModule::Internals::applySetup(const ProcessSetup& setup) {
    moveTo(State::connected);
    requestedSetup = setup;
    const bool accepted = moveTo(State::setUp);
    // The set-up in force stays after a refusal: an instance that was not asked,
    // having stepped back, gets it again, so that all of them share one set-up.
    if (!accepted && setupInForce) {
        requestedSetup = *setupInForce;
        moveTo(State::setUp);
    }
    if (lowestState() == State::setUp)
        moveTo(runningState);
    return accepted;
}

void VSTModule::Internals::readTiming() {
    // Both instances of a dual-mono plug-in are one class in one set-up: the
    // first speaks for the pair.
    latencySamples.store(lead().audioProcessor->getLatencySamples());
    tailSamples.store(lead().audioProcessor->getTailSamples());
}

void VSTModule::Internals::actOnRestartRequests(bool fromService) {
    if (!lead().audioProcessor)
        return;
    int32 flags = componentHandler->takeRestartRequests();
    constexpr int32 kDeactivating = kIoChanged | kReloadComponent | kLatencyChanged;
    // An offline render must not lose blocks to a restart it did not ask for: the
    // next control call, made between blocks, carries those out.
    if (fromService && setupInForce && setupInForce->processMode == kOffline &&
        (flags & kDeactivating) != 0) {
        componentHandler->restartComponent(flags & kDeactivating);
        flags &= ~kDeactivating;
    }
    if (flags == 0)
        return;
    int32 carriedOut = 0;
    if ((flags & (kIoChanged | kReloadComponent)) != 0 && setupInForce) {
        const std::uint32_t latencyBefore = latencySamples.load();
        applySetup(*setupInForce);
        carriedOut |= flags & (kIoChanged | kReloadComponent | kLatencyChanged);
        if (latencySamples.load() != latencyBefore)
            pendingEvents.push_back(
                VSTPluginEvent{VSTPluginEvent::Kind::latencyChanged, 0, 0.0, false, latencySamples.load()});
    } else if ((flags & kLatencyChanged) != 0) {
        // Plug-ins ask again for a latency they already reported (JUCE does, from
        // its own thread): reactivating for nothing would cut a gap into the audio.
        const std::uint32_t reported = lead().audioProcessor->getLatencySamples();
        if (reported != latencySamples.load()) {
            // The new latency holds from the next activation on.
            if (highestState() >= State::active) {
                moveTo(State::setUp);
                moveTo(runningState); // reads it again on the way up
            } else {
                readTiming();
            }
            carriedOut |= kLatencyChanged;
            pendingEvents.push_back(
                VSTPluginEvent{VSTPluginEvent::Kind::latencyChanged, 0, 0.0, false, latencySamples.load()});
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
        pendingEvents.push_back(
            VSTPluginEvent{VSTPluginEvent::Kind::restarted, 0, 0.0, false, 0, carriedOut});
}

void VSTModule::Internals::tearDown() {
    editor.close();
    stopService();
    // The controller must not call back into a module that is going away.
    if (componentHandlerGiven)
        callPlugin("setComponentHandler", [&] { return controller->setComponentHandler(nullptr); });
    componentHandlerGiven = false;
    componentHandler->detach();
    moveTo(State::created);
    std::lock_guard libraryLock(libraryMutex());
    controller = nullptr;
    for (PluginInstance& instance : instances) {
        instance.audioProcessor = nullptr;
        instance.component = nullptr;
    }
    plugProvider = nullptr;
    // Unloads the library once every plug-in object is gone.
    module.reset();
    hostApplication = nullptr;
}

bool VSTModule::Internals::switchProcessing(bool state) {
    runningState = state ? State::processing : State::active;
    if (lowestState() < State::active) {
        if (!state)
            return true; // never switched on: there is nothing to tell the plug-in
        // No set-up was accepted yet: processing starts once one is.
        return refuse("setProcessing to true failed: the plug-in is not set up and active");
    }
    const bool moved = highestState() != runningState || lowestState() != runningState;
    bool accepted = moveTo(runningState);
    if (moved)
        return accepted;
    // Already there, after a refusal: a switch asked for again asks the plug-in again.
    forEachInstance([&](PluginInstance& instance) {
        if (instance.refusedSwitch != state)
            return;
        const bool taken = switchAccepted(
            callPlugin("setProcessing", [&] { return instance.audioProcessor->setProcessing(state); }));
        instance.refusedSwitch = taken ? std::nullopt : std::optional<bool>(state);
        if (!taken)
            accepted = refuse(state ? "setProcessing to true failed" : "setProcessing to false failed");
    });
    return accepted;
}

bool VSTModule::setProcessing(bool state) {
    Internals& in = *internals;
    return in.enter("setProcessing", [&] {
        if (!in.lead().audioProcessor)
            return in.refuse(kNoProcessorReason);
        return in.switchProcessing(state);
    });
}

std::uint32_t VSTModule::getLatencySamples() const {
    return internals->enter("getLatencySamples", [this] { return internals->latencySamples.load(); });
}

std::uint32_t VSTModule::getTailSamples() const {
    return internals->enter("getTailSamples", [this] { return internals->tailSamples.load(); });
}

bool VSTModule::isReadyToProcess() const {
    return internals->inspect([this] { return internals->lowestState() >= State::active; });
}

ProcessSetup VSTModule::Internals::baseSetup() const {
    return setupInForce.value_or(requestedSetup);
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
    if (!lead().audioProcessor) {
        requestedSetup = setup; // for the load
        return true;
    }
    // Every set-up resets the plug-in's DSP state, so one that changes nothing is
    // not made unless asked for outright.
    const bool inForce = setupInForce && setupInForce->processMode == setup.processMode &&
                         setupInForce->maxSamplesPerBlock == setup.maxSamplesPerBlock &&
                         setupInForce->sampleRate == setup.sampleRate;
    if (inForce && !evenWhenInForce)
        return true;
    return applySetup(setup);
}

bool VSTModule::setupProcessing(VSTProcessingMode processingMode, int maxSamplesPerBlock, double sampleRate) {
    Internals& in = *internals;
    return in.enter("setupProcessing", [&] {
        if (!in.lead().audioProcessor)
            return in.refuse(kNoProcessorReason);
        return in.changeSetup(
            ProcessSetup{static_cast<int32>(processingMode), kSample32, maxSamplesPerBlock, sampleRate},
            true);
    });
}

bool VSTModule::setSampleRate(unsigned int sampleRate) {
    Internals& in = *internals;
    return in.enter("setupProcessing", [&] {
        if (!in.lead().audioProcessor)
            return in.refuse(kNoProcessorReason);
        ProcessSetup setup = in.baseSetup();
        setup.sampleRate = static_cast<double>(sampleRate);
        return in.changeSetup(setup, false);
    });
}

bool VSTModule::setMaxSamplesPerBlock(int maxSamplesPerBlock) {
    Internals& in = *internals;
    return in.enter("setupProcessing", [&] {
        ProcessSetup setup = in.baseSetup();
        setup.maxSamplesPerBlock = maxSamplesPerBlock;
        return in.changeSetup(setup, false);
    });
}

bool VSTModule::setProcessMode(VSTProcessingMode processingMode) {
    Internals& in = *internals;
    return in.enter("setupProcessing", [&] {
        ProcessSetup setup = in.baseSetup();
        setup.processMode = static_cast<int32>(processingMode);
        return in.changeSetup(setup, false);
    });
}

} // namespace varnel::extensions::vst
