// The plug-in's whole state: the component's and the edit controller's, kept as
// the bytes of a VST 3 preset file, both in memory and on disk.
#include "VSTModuleInternals.h"

#include "FileReplacement.h"
#include "PluginStateStream.h"
#include "PresetFileReader.h"
#include "VSTPresetFile.h"

#include <varnel/Logger.h>

#include <algorithm>
#include <thread>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// A controller that keeps nothing of its own answers kNotImplemented.
bool controllerStateCallSucceeded(tresult result) {
    return result == kResultOk || result == kNotImplemented;
}

IPtr<PluginStateStream> streamOf(const std::vector<std::uint8_t>& bytes) {
    return owned(new PluginStateStream(bytes));
}

} // namespace

bool VSTModule::Internals::controllerIsComponent() {
    FUnknownPtr<FUnknown> componentIdentity(lead().component);
    FUnknownPtr<FUnknown> controllerIdentity(controller);
    return componentIdentity && componentIdentity.get() == controllerIdentity.get();
}

void VSTModule::Internals::deliverChangedParameters() {
    // A plug-in that is not processing takes no block; it gets the values with the
    // first block after it starts.
    if (!parameterSlots.hasChanges() || !processing.load(std::memory_order_relaxed))
        return;
    // The audio thread is kept out as for a set-up change, and this thread plays its
    // part for one block without audio: the VST 3 way to hand over parameters alone.
    processing.store(false, std::memory_order_seq_cst);
    while (inProcess.load(std::memory_order_seq_cst))
        std::this_thread::yield();
    queueChangedParameters();
    forEachInstance([this](PluginInstance& instance) {
        ProcessData flush;
        flush.processMode = instance.processData.processMode;
        flush.symbolicSampleSize = kSample32;
        flush.inputParameterChanges = &parameterChanges;
        flush.outputParameterChanges = &instance.outputParameterChanges;
        instance.outputParameterChanges.clearQueue();
        if (instance.audioProcessor->process(flush) != kResultOk)
            Logger::error(
                "[VSTModule] The plug-in refused a block without audio that carried parameter values.");
    });
    processing.store(true, std::memory_order_seq_cst);
}

void VSTModule::Internals::synchroniseController() {
    if (!controller || controllerIsComponent())
        return;
    IPtr<PluginStateStream> componentState = owned(new PluginStateStream);
    if (lead().component->getState(componentState) != kResultOk)
        return;
    // Some controllers cannot read what their own component wrote (the installed
    // ZamAutoSat): they work from their defaults, which is no reason to fail a load.
    controller->setComponentState(streamOf(componentState->data()));
}

bool VSTModule::Internals::captureState(PluginStateChunks& chunks, bool report) {
    chunks.classId = plugProvider->getClassInfo().ID();
    IPtr<PluginStateStream> componentStream = owned(new PluginStateStream);
    if (lead().component->getState(componentStream) != kResultOk) {
        if (report)
            Logger::error("[VSTModule] The plug-in did not give its state (IComponent::getState).");
        return false;
    }
    chunks.component = componentStream->data();
    chunks.controller.reset();
    // A component that is its own controller gave everything above.
    if (controller && !controllerIsComponent()) {
        IPtr<PluginStateStream> controllerStream = owned(new PluginStateStream);
        if (!controllerStateCallSucceeded(controller->getState(controllerStream))) {
            if (report)
                Logger::error("[VSTModule] The plug-in did not give its state (IEditController::getState).");
            return false;
        }
        chunks.controller = controllerStream->data();
    }
    return true;
}

bool VSTModule::Internals::applyState(const PluginStateChunks& chunks, bool report) {
    const auto refuse = [report](const char* call) {
        if (report)
            Logger::error(std::string("[VSTModule] The plug-in refused the state (") + call + ").");
        return false;
    };
    // Both instances of a dual-mono pair run from the same state.
    bool componentsTookIt = true;
    forEachInstance([&](PluginInstance& instance) {
        componentsTookIt =
            componentsTookIt && instance.component->setState(streamOf(chunks.component)) == kResultOk;
    });
    if (!componentsTookIt)
        return refuse("IComponent::setState");
    if (!controller || controllerIsComponent())
        return true;
    // The controller follows the component's state, then takes its own on top.
    if (!controllerStateCallSucceeded(controller->setComponentState(streamOf(chunks.component))))
        return refuse("IEditController::setComponentState");
    if (chunks.controller &&
        !controllerStateCallSucceeded(controller->setState(streamOf(*chunks.controller))))
        return refuse("IEditController::setState");
    return true;
}

bool VSTModule::Internals::restoreEncodedState(const std::vector<std::uint8_t>& bytes,
                                               const std::string& what) {
    std::string error;
    const std::optional<PluginStateChunks> chunks = decodePresetFile(bytes, error);
    if (!chunks) {
        Logger::error("[VSTModule] Refused " + what + ": " + error);
        return false;
    }
    const VST3::UID ownClass = plugProvider->getClassInfo().ID();
    if (chunks->classId != ownClass) {
        Logger::error("[VSTModule] Refused " + what + ": it belongs to plug-in class " +
                      presetClassIdText(chunks->classId) + ", not to this plug-in's class " +
                      presetClassIdText(ownClass));
        return false;
    }

    // The component's state changes only while no block can run: deactivating stops
    // processing and waits for a block in flight, and the plug-in starts afresh from
    // the restored state, as after any preset change.
    const LifecycleState before = lead().state;
    moveTo(std::min(before, LifecycleState::setUp));
    PluginStateChunks previous;
    const bool havePrevious = captureState(previous, false);
    const bool restored = applyState(*chunks, true);
    // A plug-in that refused part of the state goes back to what it had.
    if (!restored && havePrevious)
        applyState(previous, false);
    // Every block repeats the last value of each id ever set; those values now come
    // from the restored controller, or the repeats would undo the restore.
    if (controller) {
        for (ParamID id : parameterSlots.publishedIds())
            parameterSlots.publish(id, controller->getParamNormalized(id));
    }
    moveTo(before);
    return restored;
}

bool VSTModule::getState(std::vector<std::uint8_t>& state) {
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    if (!in.lead().audioProcessor || !in.plugProvider) {
        Logger::error(kNoProcessorMessage);
        return false;
    }
    // Values set since the last block are in the controller's state but not yet in
    // the component's.
    in.deliverChangedParameters();
    PluginStateChunks chunks;
    if (!in.captureState(chunks, true))
        return false;
    std::vector<std::uint8_t> encoded = encodePresetFile(chunks);
    if (encoded.empty()) {
        Logger::error("[VSTModule] Could not encode the plug-in's state.");
        return false;
    }
    state = std::move(encoded);
    return true;
}

bool VSTModule::setState(const std::vector<std::uint8_t>& state) {
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    if (!in.lead().audioProcessor || !in.plugProvider) {
        Logger::error(kNoProcessorMessage);
        return false;
    }
    return in.restoreEncodedState(state, "plug-in state");
}

bool VSTModule::loadPreset(const std::string& path) {
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    if (!in.lead().audioProcessor || !in.plugProvider) {
        Logger::error(kNoProcessorMessage);
        return false;
    }
    std::vector<std::uint8_t> bytes;
    if (std::string reason; !readPresetFile(path, bytes, reason)) {
        Logger::error("[VSTModule] Could not read preset file: " + path + " (" + reason + ")");
        return false;
    }
    return in.restoreEncodedState(bytes, "preset " + path);
}

bool VSTModule::savePreset(const std::string& path) {
    std::vector<std::uint8_t> state;
    if (!getState(state))
        return false;
    std::string reason;
    if (!replaceFileContent(path, state, reason)) {
        Logger::error("[VSTModule] Could not write preset file: " + path + " (" + reason + ")");
        return false;
    }
    return true;
}

} // namespace varnel::extensions::vst
