// The plug-in's lifecycle as this module drives it. VST 3 allows configuration only
// while a component is inactive, and no block after processing is switched off, so
// the plug-in moves one step at a time along
//   created <-> initialized <-> connected <-> setUp <-> active <-> processing
// and every transition goes through moveTo.
#include "VSTModuleInternals.h"

#include <varnel/Logger.h>

#include <cmath>
#include <sstream>
#include <string>
#include <thread>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

using State = LifecycleState;

bool VSTModule::Internals::stepUp() {
    switch (state) {
    case State::created:
        // The load reports a refusal: it knows which class was refused.
        if (!component || component->initialize(hostApplication) != kResultOk)
            return false;
        state = State::initialized;
        return true;
    case State::initialized: {
        // Component and controller hear each other's messages. Failed connections
        // are no reason to stop: the plug-in merely hears less.
        FUnknownPtr<IConnectionPoint> componentPoint(component);
        FUnknownPtr<IConnectionPoint> controllerPoint(controller);
        if (componentPoint && controllerPoint) {
            if (componentPoint->connect(controllerPoint) == kResultOk)
                componentConnection = componentPoint;
            if (controllerPoint->connect(componentPoint) == kResultOk)
                controllerConnection = controllerPoint;
        }
        state = State::connected;
        return true;
    }
    case State::connected:
        if (audioProcessor->setupProcessing(requestedSetup) != kResultOk) {
            Logger::error("[VSTModule] setupProcessing failed");
            // A plug-in keeps the set-up it had when it refuses a new one.
            if (setupInForce)
                state = State::setUp;
            return false;
        }
        setupInForce = requestedSetup;
        // Read by the audio thread only once `processing` is raised again.
        maxSamplesPerBlock = requestedSetup.maxSamplesPerBlock;
        processData.processMode = requestedSetup.processMode;
        state = State::setUp;
        return true;
    case State::setUp:
        // An inactive plug-in must not be given blocks.
        if (component->setActive(true) != kResultOk) {
            Logger::error("[VSTModule] setActive to true failed");
            return false;
        }
        state = State::active;
        return true;
    case State::active: {
        const bool accepted = audioProcessor->setProcessing(true) == kResultOk;
        if (!accepted)
            Logger::error("[VSTModule] setProcessing to true failed");
        // Blocks run even when the plug-in refused: many answer kNotImplemented and
        // process all the same.
        processing.store(true, std::memory_order_seq_cst);
        state = State::processing;
        return accepted;
    }
    case State::processing:
        return true;
    }
    return false;
}

bool VSTModule::Internals::stepDown() {
    switch (state) {
    case State::created:
        return true;
    case State::initialized:
        // The component, and the controller when it is the same object, was
        // initialised here; a separate controller goes first, as it came after.
        if (controllerInitialized)
            controller->terminate();
        controllerInitialized = false;
        component->terminate();
        state = State::created;
        return true;
    case State::connected: {
        FUnknownPtr<IConnectionPoint> componentPoint(component);
        FUnknownPtr<IConnectionPoint> controllerPoint(controller);
        if (componentConnection)
            componentConnection->disconnect(controllerPoint);
        if (controllerConnection)
            controllerConnection->disconnect(componentPoint);
        componentConnection = nullptr;
        controllerConnection = nullptr;
        state = State::initialized;
        return true;
    }
    case State::setUp:
        // VST 3 has no call that undoes a set-up.
        state = State::connected;
        return true;
    case State::active:
        component->setActive(false);
        state = State::setUp;
        return true;
    case State::processing:
        // Pairs with the audio thread's raise of `inProcess` before it reads
        // `processing`: either that block sees the switch off, or this waits for it.
        processing.store(false, std::memory_order_seq_cst);
        while (inProcess.load(std::memory_order_seq_cst))
            std::this_thread::yield();
        state = State::active;
        if (audioProcessor->setProcessing(false) != kResultOk) {
            Logger::error("[VSTModule] setProcessing to false failed");
            return false;
        }
        return true;
    }
    return true;
}

bool VSTModule::Internals::moveTo(LifecycleState target) {
    bool accepted = true;
    while (state > target)
        accepted = stepDown() && accepted;
    while (state < target && accepted)
        accepted = stepUp();
    return accepted;
}

bool VSTModule::Internals::applySetup(const ProcessSetup& setup) {
    moveTo(State::connected);
    requestedSetup = setup;
    const bool accepted = moveTo(State::setUp);
    // Also after a refusal, when the set-up in force stays.
    if (state == State::setUp)
        moveTo(runningState);
    return accepted;
}

void VSTModule::Internals::tearDown() {
    moveTo(State::created);
    std::lock_guard libraryLock(libraryMutex());
    controller = nullptr;
    audioProcessor = nullptr;
    component = nullptr;
    plugProvider = nullptr;
    // Unloads the library once every plug-in object is gone.
    module.reset();
    hostApplication = nullptr;
}

bool VSTModule::setProcessing(bool state) {
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    if (!in.audioProcessor) {
        Logger::error("[VSTModule] No audio processor available.");
        return false;
    }
    in.runningState = state ? State::processing : State::active;
    if (in.state < State::active) {
        if (!state)
            return true; // never switched on: there is nothing to tell the plug-in
        // No set-up was accepted yet: processing starts once one is.
        Logger::error("[VSTModule] setProcessing to true failed");
        return false;
    }
    return in.moveTo(in.runningState);
}

bool VSTModule::isReadyToProcess() const {
    std::lock_guard lock(internals->controlMutex);
    return internals->state >= State::active;
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
    if (!audioProcessor) {
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
    if (!in.audioProcessor) {
        Logger::error("[VSTModule] No audio processor available.");
        return false;
    }
    return in.changeSetup(
        ProcessSetup{static_cast<int32>(processingMode), kSample32, maxSamplesPerBlock, sampleRate}, true);
}

bool VSTModule::setSampleRate(unsigned int sampleRate) {
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    if (!in.audioProcessor) {
        Logger::error("[VSTModule] No audio processor available.");
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
