// The plug-in's lifecycle as this module drives it. VST 3 allows configuration only
// while a component is inactive, and no block after processing is switched off, so
// every transition goes through these steps in the VST 3 order:
//   set up -> activate -> start processing ... stop processing -> deactivate.
#include "VSTModuleInternals.h"

#include "pluginterfaces/vst/ivstmessage.h"

#include <varnel/Logger.h>

#include <thread>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

bool VSTModule::Internals::startProcessing() {
    const bool accepted = audioProcessor->setProcessing(true) == kResultOk;
    if (!accepted)
        Logger::error("[VSTModule] setProcessing to true failed");
    // Blocks run even when the plug-in refused: many answer kNotImplemented and
    // process all the same.
    processing.store(true, std::memory_order_seq_cst);
    return accepted;
}

bool VSTModule::Internals::stopProcessing() {
    // Pairs with the audio thread's raise of `inProcess` before it reads `processing`:
    // either that block sees the switch off, or this waits for it to end.
    processing.store(false, std::memory_order_seq_cst);
    while (inProcess.load(std::memory_order_seq_cst))
        std::this_thread::yield();
    if (!isActive)
        return true; // never switched on: there is nothing to tell the plug-in
    const bool accepted = audioProcessor->setProcessing(false) == kResultOk;
    if (!accepted)
        Logger::error("[VSTModule] setProcessing to false failed");
    return accepted;
}

void VSTModule::Internals::activate() {
    if (isActive || !isSetUp)
        return;
    component->setActive(true);
    isActive = true;
    if (processingRequested)
        startProcessing();
}

void VSTModule::Internals::deactivate() {
    if (processing.load(std::memory_order_relaxed))
        stopProcessing();
    if (isActive) {
        component->setActive(false);
        isActive = false;
    }
}

bool VSTModule::Internals::applySetup(ProcessSetup& setup) {
    deactivate();
    const bool accepted = audioProcessor->setupProcessing(setup) == kResultOk;
    if (accepted) {
        isSetUp = true;
        maxSamplesPerBlock = setup.maxSamplesPerBlock;
    } else {
        Logger::error("[VSTModule] setupProcessing failed");
    }
    // A refused set-up leaves the previous one in force: resume it.
    activate();
    return accepted;
}

void VSTModule::Internals::tearDown() {
    if (audioProcessor)
        deactivate();
    if (componentConnected || controllerConnected) {
        FUnknownPtr<IConnectionPoint> componentConnectionPoint(component);
        FUnknownPtr<IConnectionPoint> controllerConnectionPoint(controller);
        if (componentConnected && componentConnectionPoint)
            componentConnectionPoint->disconnect(controllerConnectionPoint);
        if (controllerConnected && controllerConnectionPoint)
            controllerConnectionPoint->disconnect(componentConnectionPoint);
        componentConnected = controllerConnected = false;
    }
    // The component, and the controller when it is the same object, was initialised
    // here; a separate controller belongs to the provider, which winds it down.
    if (component && componentInitialized)
        component->terminate();
    componentInitialized = false;

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
    in.processingRequested = state;
    if (!state)
        return in.stopProcessing();
    if (!in.isActive) {
        // No set-up was accepted yet: processing starts once one is.
        Logger::error("[VSTModule] setProcessing to true failed");
        return false;
    }
    return in.startProcessing();
}

bool VSTModule::setupProcessing(VSTProcessingMode processingMode, int maxSamplesPerBlock, double sampleRate) {
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    if (!in.audioProcessor) {
        Logger::error("[VSTModule] No audio processor available.");
        return false;
    }
    ProcessSetup setup{static_cast<int32>(processingMode), kSample32, maxSamplesPerBlock, sampleRate};
    return in.applySetup(setup);
}

bool VSTModule::setSampleRate(unsigned int sampleRate) {
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    if (!in.audioProcessor) {
        Logger::error("[VSTModule] No audio processor available.");
        return false;
    }
    if (sampleRate == in.sampleRate)
        return true;
    ProcessSetup setup{kRealtime, kSample32, 1024, static_cast<double>(sampleRate)};
    // Kept only once accepted, so that a retry asks the plug-in again.
    if (!in.applySetup(setup))
        return false;
    in.sampleRate = sampleRate;
    return true;
}

} // namespace varnel::extensions::vst
