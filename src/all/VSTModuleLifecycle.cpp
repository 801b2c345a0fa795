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
#include <thread>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

using State = LifecycleState;

bool VSTModule::Internals::stepUp(PluginInstance& instance) {
    switch (instance.state) {
    case State::created:
        // The load reports a refusal: it knows which class was refused.
        if (!instance.component || instance.component->initialize(hostApplication) != kResultOk)
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
            if (componentPoint->connect(controllerPoint) == kResultOk)
                instance.componentConnection = componentPoint;
            if (controllerPoint->connect(componentPoint) == kResultOk)
                instance.controllerConnection = controllerPoint;
        }
        instance.state = State::connected;
        return true;
    }
    case State::connected:
        if (instance.audioProcessor->setupProcessing(requestedSetup) != kResultOk) {
            Logger::error("[VSTModule] setupProcessing failed");
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
        if (instance.component->setActive(true) != kResultOk) {
            Logger::error("[VSTModule] setActive to true failed");
            return false;
        }
        instance.state = State::active;
        if (&instance == &lead())
            readTiming();
        return true;
    case State::active: {
        const bool accepted = instance.audioProcessor->setProcessing(true) == kResultOk;
        if (!accepted)
            Logger::error("[VSTModule] setProcessing to true failed");
        // Blocks run even when the plug-in refused: many answer kNotImplemented and
        // process all the same.
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
            controller->terminate();
            controllerInitialized = false;
        }
        instance.component->terminate();
        instance.state = State::created;
        return true;
    case State::connected: {
        FUnknownPtr<IConnectionPoint> componentPoint(instance.component);
        FUnknownPtr<IConnectionPoint> controllerPoint(controller);
        if (instance.componentConnection)
            instance.componentConnection->disconnect(controllerPoint);
        if (instance.controllerConnection)
            instance.controllerConnection->disconnect(componentPoint);
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
        instance.component->setActive(false);
        instance.state = State::setUp;
        return true;
    case State::processing:
        stopAudio();
        instance.state = State::active;
        if (instance.audioProcessor->setProcessing(false) != kResultOk) {
            Logger::error("[VSTModule] setProcessing to false failed");
            return false;
        }
        return true;
    }
    return true;
}

void VSTModule::Internals::stopAudio() {
    // Pairs with the audio thread's raise of `inProcess` before it reads
    // `processing`: either that block sees the switch off, or this waits for it.
    processing.store(false, std::memory_order_seq_cst);
    while (inProcess.load(std::memory_order_seq_cst))
        std::this_thread::yield();
}

void VSTModule::Internals::startAudio() {
    // Blocks may be running already; what they read is not touched then.
    if (processing.load(std::memory_order_seq_cst))
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
    if (maxSamplesPerBlock > scratchFrames)
        prepareScratch(maxSamplesPerBlock);
    processing.store(true, std::memory_order_seq_cst);
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

void VSTModule::Internals::actOnRestartRequests() {
    const int32 flags = componentHandler->takeRestartRequests();
    if (flags == 0 || !lead().audioProcessor)
        return;
    // Values are never cached here: every query asks the controller afresh.
    if ((flags & (kIoChanged | kReloadComponent)) != 0 && setupInForce) {
        applySetup(*setupInForce);
    } else if ((flags & kLatencyChanged) != 0) {
        // The new latency holds from the next activation on.
        if (highestState() >= State::active) {
            moveTo(State::setUp);
            moveTo(runningState); // reads it again on the way up
        } else {
            readTiming();
        }
    }
    if ((flags & kParamTitlesChanged) != 0)
        refreshParameterTable();
}

void VSTModule::Internals::tearDown() {
    // The controller must not call back into a module that is going away.
    if (componentHandlerGiven)
        controller->setComponentHandler(nullptr);
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

bool VSTModule::setProcessing(bool state) {
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    if (!in.lead().audioProcessor) {
        Logger::error(kNoProcessorMessage);
        return false;
    }
    in.runningState = state ? State::processing : State::active;
    if (in.lowestState() < State::active) {
        if (!state)
            return true; // never switched on: there is nothing to tell the plug-in
        // No set-up was accepted yet: processing starts once one is.
        Logger::error("[VSTModule] setProcessing to true failed");
        return false;
    }
    return in.moveTo(in.runningState);
}

std::uint32_t VSTModule::getLatencySamples() const {
    std::lock_guard lock(internals->controlMutex);
    internals->actOnRestartRequests();
    return internals->latencySamples.load();
}

std::uint32_t VSTModule::getTailSamples() const {
    std::lock_guard lock(internals->controlMutex);
    internals->actOnRestartRequests();
    return internals->tailSamples.load();
}

void VSTModule::handleRestartRequests() {
    std::lock_guard lock(internals->controlMutex);
    internals->actOnRestartRequests();
}

bool VSTModule::isReadyToProcess() const {
    std::lock_guard lock(internals->controlMutex);
    return internals->lowestState() >= State::active;
}

ProcessSetup VSTModule::Internals::baseSetup() const {
    return setupInForce.value_or(requestedSetup);
}

bool VSTModule::Internals::changeSetup(const ProcessSetup& setup, bool evenWhenInForce) {
    // Checked here because plug-ins trust these values: a maximum of 0 or a rate of
    // 0 divides by zero in their DSP, a negative maximum sizes their buffers wrongly.
    bool valid = true;
    if (setup.processMode < kRealtime || setup.processMode > kOffline) {
        Logger::error("[VSTModule] Invalid process mode: " + std::to_string(setup.processMode));
        valid = false;
    }
    if (setup.maxSamplesPerBlock <= 0) {
        Logger::error("[VSTModule] Invalid maximum block size: " + std::to_string(setup.maxSamplesPerBlock));
        valid = false;
    }
    if (!std::isfinite(setup.sampleRate) || setup.sampleRate <= 0.0) {
        std::ostringstream rate;
        rate << setup.sampleRate;
        Logger::error("[VSTModule] Invalid sample rate: " + rate.str());
        valid = false;
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
    std::lock_guard lock(in.controlMutex);
    if (!in.lead().audioProcessor) {
        Logger::error(kNoProcessorMessage);
        return false;
    }
    return in.changeSetup(
        ProcessSetup{static_cast<int32>(processingMode), kSample32, maxSamplesPerBlock, sampleRate}, true);
}

bool VSTModule::setSampleRate(unsigned int sampleRate) {
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    if (!in.lead().audioProcessor) {
        Logger::error(kNoProcessorMessage);
        return false;
    }
    ProcessSetup setup = in.baseSetup();
    setup.sampleRate = static_cast<double>(sampleRate);
    return in.changeSetup(setup, false);
}

bool VSTModule::setMaxSamplesPerBlock(int maxSamplesPerBlock) {
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    ProcessSetup setup = in.baseSetup();
    setup.maxSamplesPerBlock = maxSamplesPerBlock;
    return in.changeSetup(setup, false);
}

bool VSTModule::setProcessMode(VSTProcessingMode processingMode) {
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    ProcessSetup setup = in.baseSetup();
    setup.processMode = static_cast<int32>(processingMode);
    return in.changeSetup(setup, false);
}

} // namespace varnel::extensions::vst
