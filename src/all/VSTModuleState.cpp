// The plug-in's whole state: the component's and the edit controller's, kept as
// the bytes of a VST 3 preset file, both in memory and on disk.
#include "VSTModuleInternals.h"

#include "FileReplacement.h"
#include "PluginStateStream.h"
#include "PresetFileReader.h"
#include "VSTPresetFile.h"

#include <varnel/Logger.h>

#include <algorithm>
#include <chrono>
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

// Long enough for a block of any usual size at any usual rate to come.
constexpr std::chrono::milliseconds kLongestWaitForBlock{100};
// No block for this long: no audio thread is running.
constexpr std::chrono::milliseconds kAudioIdleAfter{50};

} // namespace

bool VSTModule::Internals::controllerIsComponent() {
    FUnknownPtr<FUnknown> componentIdentity(lead().component);
    FUnknownPtr<FUnknown> controllerIdentity(controller);
    return componentIdentity && componentIdentity.get() == controllerIdentity.get();
}

void VSTModule::Internals::awaitChangedParameters() {
    if (!parameterSlots.hasChanges() || !audioGate.isOpen())
        return;
    // While blocks flow, the next one carries the values: only the audio thread
    // calls process then.
    using Clock = std::chrono::steady_clock;
    const auto sinceLastBlock = Clock::now().time_since_epoch() - Clock::duration(lastBlockTime.load());
    if (sinceLastBlock < kAudioIdleAfter) {
        const auto deadline = Clock::now() + kLongestWaitForBlock;
        while (parameterSlots.hasChanges() && audioGate.isOpen() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (!parameterSlots.hasChanges())
            return;
    }
    // No audio thread is running (an offline host between renders, a graph that has
    // stopped): with blocks kept out, this thread stands in for it for one block
    // without audio, the VST 3 way to hand over parameters alone.
    stopAudio();
    queueChangedParameters(false);
    forEachInstance([this](PluginInstance& instance) {
        ProcessData flush;
        flush.processMode = instance.processData.processMode;
        flush.symbolicSampleSize = kSample32;
        flush.inputParameterChanges = &parameterChanges;
        flush.outputParameterChanges = &instance.outputParameterChanges;
        instance.outputParameterChanges.clearQueue();
        if (callPlugin("process", [&] { return instance.audioProcessor->process(flush); }) != kResultOk)
            Logger::error(
                "[VSTModule] The plug-in refused a block without audio that carried parameter values.");
    });
    parameterChanges.clearQueue();
    startAudio();
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
            refuse("The plug-in did not give its state (IComponent::getState).");
        return false;
    }
    chunks.component = componentStream->data();
    chunks.controller.reset();
    // A component that is its own controller gave everything above.
    if (controller && !controllerIsComponent()) {
        IPtr<PluginStateStream> controllerStream = owned(new PluginStateStream);
        if (!controllerStateCallSucceeded(controller->getState(controllerStream))) {
            if (report)
                refuse("The plug-in did not give its state (IEditController::getState).");
            return false;
        }
        chunks.controller = controllerStream->data();
    }
    return true;
}

bool VSTModule::Internals::applyState(const PluginStateChunks& chunks, bool report) {
    const auto refuseState = [this, report](const char* call) {
        if (report)
            refuse(std::string("The plug-in refused the state (") + call + ").");
        return false;
    };
    // Both instances of a dual-mono pair run from the same state.
    bool componentsTookIt = true;
    forEachInstance([&](PluginInstance& instance) {
        componentsTookIt =
            componentsTookIt && instance.component->setState(streamOf(chunks.component)) == kResultOk;
    });
    if (!componentsTookIt)
        return refuseState("IComponent::setState");
    if (!controller || controllerIsComponent())
        return true;
    // The controller follows the component's state, then takes its own on top.
    if (!controllerStateCallSucceeded(controller->setComponentState(streamOf(chunks.component))))
        return refuseState("IEditController::setComponentState");
    if (chunks.controller &&
        !controllerStateCallSucceeded(controller->setState(streamOf(*chunks.controller))))
        return refuseState("IEditController::setState");
    return true;
}

bool VSTModule::Internals::restoreEncodedState(const std::vector<std::uint8_t>& bytes,
                                               const std::string& what) {
    std::string error;
    const std::optional<PluginStateChunks> chunks = decodePresetFile(bytes, error);
    if (!chunks)
        return refuse("Refused " + what + ": " + error);
    const VST3::UID ownClass = plugProvider->getClassInfo().ID();
    if (chunks->classId != ownClass) {
        return refuse("Refused " + what + ": it belongs to plug-in class " +
                      presetClassIdText(chunks->classId) + ", not to this plug-in's class " +
                      presetClassIdText(ownClass));
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
    // Plug-ins that reset their settings on activation (the SDK's own delay does)
    // lose the restored values on the way back up: every value the controller now
    // holds reaches the processor with the first block after it. Handed over while
    // no block runs, so that no block sees the restored state with a value from
    // before it.
    if (controller)
        sendControllerValues(false);
    moveTo(before);
    return restored;
}

bool VSTModule::getState(std::vector<std::uint8_t>& state) {
    Internals& in = *internals;
    return in.enter("getState", [&] {
        if (!in.lead().audioProcessor || !in.plugProvider)
            return in.refuse(kNoProcessorReason);
        // Values set since the last block are in the controller's state but not yet
        // in the component's.
        in.awaitChangedParameters();
        PluginStateChunks chunks;
        if (!in.captureState(chunks, true))
            return false;
        std::vector<std::uint8_t> encoded = encodePresetFile(chunks);
        if (encoded.empty())
            return in.refuse("Could not encode the plug-in's state.");
        state = std::move(encoded);
        return true;
    });
}

bool VSTModule::setState(const std::vector<std::uint8_t>& state) {
    Internals& in = *internals;
    return in.enter("setState", [&] {
        if (!in.lead().audioProcessor || !in.plugProvider)
            return in.refuse(kNoProcessorReason);
        return in.restoreEncodedState(state, "plug-in state");
    });
}

bool VSTModule::loadPreset(const std::string& path) {
    Internals& in = *internals;
    return in.enter("setState", [&] { return in.loadPresetFile(path); });
}

bool VSTModule::Internals::loadPresetFile(const std::string& path) {
    Internals& in = *this;
    if (!in.lead().audioProcessor || !in.plugProvider)
        return in.refuse(kNoProcessorReason);
    std::vector<std::uint8_t> bytes;
    if (std::string reason; !readPresetFile(path, bytes, reason))
        return in.refuse("Could not read preset file: " + path + " (" + reason + ")");
    return in.restoreEncodedState(bytes, "preset " + path);
}

bool VSTModule::savePreset(const std::string& path) {
    std::vector<std::uint8_t> state;
    if (!getState(state))
        return false;
    std::string reason;
    if (!replaceFileContent(path, state, reason)) {
        Internals& in = *internals;
        return in.inspect(
            [&] { return in.refuse("Could not write preset file: " + path + " (" + reason + ")"); });
    }
    return true;
}

} // namespace varnel::extensions::vst
