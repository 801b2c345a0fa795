// The plug-in's whole state: the component's and the edit controller's, kept as
// the bytes of a VST 3 preset file, both in memory and on disk.
#include "module/VSTModuleInternals.h"

#include "state/FileReplacement.h"
#include "state/PresetFileReader.h"
#include "state/VSTPresetFile.h"

#include <varnel/Logger.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Long enough for a block of any usual size at any usual rate to come.
constexpr std::chrono::milliseconds kLongestWaitForBlock{100};
/// How often the state a reload restores is read again while values change: a
/// knob turned for a while costs a few reads of the state, not one per value.
constexpr std::chrono::milliseconds kSnapshotInterval{250};
/// Values kept for a reload beyond the snapshot before repeats of one id are merged.
constexpr std::size_t kValuesBeforeMerging = 1024;

} // namespace

void VSTModule::Internals::awaitChangedParameters() {
    if (!audio.parameterSlots.hasChanges() || !audio.gate.isOpen())
        return;
    // While an audio thread drives the plug-in (blocks have passed the gate since
    // processing last started), its next block carries the values: only the audio
    // thread calls process then.
    using Clock = std::chrono::steady_clock;
    if (audio.gate.blocksSinceOpened() > 0) {
        const auto deadline = Clock::now() + kLongestWaitForBlock;
        while (audio.parameterSlots.hasChanges() && audio.gate.isOpen() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (!audio.parameterSlots.hasChanges())
            return;
    }
    // No audio thread is running (an offline host between renders, a graph that has
    // stopped): this thread hands the values over in a block without audio, the
    // VST 3 way to hand over parameters alone, which VST 3 allows off the audio
    // thread only while processing is switched off.
    plugin().moveTo(LifecycleState::active);
    queueChangedParameters(false);
    if (!plugin().processParametersOnly(audio.parameterChanges))
        Logger::error("[VSTModule] The plug-in refused a block without audio that carried parameter values.");
    audio.parameterChanges.clearQueue();
    plugin().moveTo(settings.runningState);
}

void VSTModule::Internals::keepSnapshot(const PluginStateChunks& chunks) {
    if (settings.isolation.mode != VSTIsolationMode::process)
        return;
    side.snapshot = chunks;
    side.valuesSinceSnapshot.clear();
    side.lastSnapshot = std::chrono::steady_clock::now();
}

void VSTModule::Internals::noteValueForSnapshot(ParamID id, double value) {
    if (settings.isolation.mode != VSTIsolationMode::process)
        return;
    auto& values = side.valuesSinceSnapshot;
    values.emplace_back(id, value);
    side.snapshotStaleAtBlock = audio.gate.blocksSinceOpened();
    if (values.size() <= kValuesBeforeMerging)
        return;
    // Only the last value of an id matters, in the order of the last values.
    std::vector<std::pair<ParamID, double>> merged;
    for (auto entry = values.rbegin(); entry != values.rend(); ++entry) {
        if (std::none_of(merged.begin(), merged.end(),
                         [&](const auto& kept) { return kept.first == entry->first; }))
            merged.push_back(*entry);
    }
    values.assign(merged.rbegin(), merged.rend());
}

void VSTModule::Internals::refreshSnapshot() {
    if (settings.isolation.mode != VSTIsolationMode::process || side.valuesSinceSnapshot.empty())
        return;
    // The processor holds the values once a whole block ran after the one that
    // carried them (a reactivation starts the count again).
    const std::uint64_t blocks = audio.gate.blocksSinceOpened();
    if (blocks < side.snapshotStaleAtBlock)
        side.snapshotStaleAtBlock = 0;
    if (audio.parameterSlots.hasChanges() || !audio.gate.isOpen() || blocks < side.snapshotStaleAtBlock + 2 ||
        std::chrono::steady_clock::now() - side.lastSnapshot < kSnapshotInterval)
        return;
    PluginStateChunks chunks;
    if (captureState(chunks, false))
        keepSnapshot(chunks);
}

bool VSTModule::Internals::captureState(PluginStateChunks& chunks, bool report) {
    std::string refusal;
    if (plugin().captureState(chunks, refusal))
        return true;
    if (report)
        refuse("The plug-in did not give its state (" + refusal + ").");
    return false;
}

bool VSTModule::Internals::applyState(const PluginStateChunks& chunks, bool report) {
    std::string refusal;
    if (plugin().applyState(chunks, refusal))
        return true;
    if (report)
        refuse("The plug-in refused the state (" + refusal + ").");
    return false;
}

std::string VSTModule::Internals::className(const VST3::UID& id) const {
    // Named where the bundle declares it (another class of the same bundle is the
    // usual mistake), by its id alone otherwise.
    const std::string idText = presetClassIdText(id);
    for (const VSTPluginClassInfo& info : side.facts.bundleClasses) {
        if (VST3::UID::fromString(info.classId) == id)
            return info.name + " (" + idText + ")";
    }
    return idText;
}

bool VSTModule::Internals::restoreEncodedState(const std::vector<std::uint8_t>& bytes,
                                               const std::string& what) {
    std::string error;
    const std::optional<PluginStateChunks> chunks = decodePresetFile(bytes, error);
    if (!chunks)
        return refuse("Refused " + what + ": " + error);
    const VST3::UID ownClass = side.facts.classId;
    if (chunks->classId != ownClass) {
        return refuse("Refused " + what + ": it belongs to plug-in class " + className(chunks->classId) +
                      ", not to this plug-in's class " + className(ownClass));
    }

    // The component's state changes only while no block can run: deactivating stops
    // processing and waits for a block in flight, and the plug-in starts afresh from
    // the restored state, as after any preset change.
    const LifecycleState before = plugin().highestState();
    plugin().moveTo(std::min(before, LifecycleState::setUp));
    PluginStateChunks previous;
    const bool havePrevious = captureState(previous, false);
    const bool restored = applyState(*chunks, true);
    if (restored)
        keepSnapshot(*chunks);
    // A plug-in that refused part of the state goes back to what it had.
    if (!restored && havePrevious)
        applyState(previous, false);
    // Plug-ins that reset their settings on activation
    // lose the restored values on the way back up: every value the controller now
    // holds reaches the processor with the first block after it. Handed over while
    // no block runs, so that no block sees the restored state with a value from
    // before it.
    if (plugin().hasController())
        sendControllerValues(false);
    plugin().moveTo(before);
    return restored;
}

bool VSTModule::getState(std::vector<std::uint8_t>& state) {
    Internals& in = *internals;
    return in.enter("getState", [&] {
        if (!in.loaded())
            return in.refuse(kNoProcessorReason);
        // Values set since the last block are in the controller's state but not yet
        // in the component's.
        in.awaitChangedParameters();
        PluginStateChunks chunks;
        if (!in.captureState(chunks, true))
            return false;
        in.keepSnapshot(chunks);
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
        if (!in.loaded())
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
    if (!in.loaded())
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
