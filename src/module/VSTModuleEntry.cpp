// How control calls reach the plug-in: on the plug-in thread, each after a catch-up
// with what the plug-in and the audio thread did on their own since the last one.
// The same catch-up runs on a timer while a plug-in is loaded, so that the
// application hears of the plug-in's own changes without asking.
#include "module/VSTModuleInternals.h"

#include <varnel/Logger.h>

#include <algorithm>
#include <chrono>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr const char* kLogPrefix = "[VSTModule] ";
/// Often enough for a meter to move smoothly, rarely enough to cost nothing.
constexpr std::chrono::milliseconds kServiceInterval{10};

} // namespace

void VSTModule::Internals::reportThrow(const char* what, const std::string& reason) {
    refuse(std::string("The plug-in threw during ") + what + ": " + reason);
}

bool VSTModule::Internals::refuse(const std::string& reason) {
    // A call that failed because an isolated plug-in's process ended says that
    // instead, once.
    if (!side.endingReported && side.plugin && side.plugin->hasEnded()) {
        noticeEnding();
        return false;
    }
    side.lastError = reason;
    Logger::error(kLogPrefix + reason);
    return false;
}

void VSTModule::Internals::noteOwnChange(ParamID id, double value) {
    side.knownValues[id] = value;
    if (!isReadOnly(id))
        noteValueForSnapshot(id, value);
    side.pendingEvents.push_back(
        VSTPluginEvent{VSTPluginEvent::Kind::parameterChanged, id, value, isReadOnly(id)});
}

void VSTModule::Internals::takeOutputChanges() {
    // The processor changed these itself (a program, a linked parameter) or reports
    // them (a meter): the controller follows, as it would in any host.
    audio.outputSlots.collect([this](ParamID id, double value) {
        if (plugin().hasController())
            plugin().setNormalizedValue(id, value);
        const auto known = side.knownValues.find(id);
        if (known == side.knownValues.end() || known->second != value)
            noteOwnChange(id, value);
    });
}

void VSTModule::Internals::takePlayedValues() {
    audio.automation.releaseRetired();
    // What automation played is the processor's value now: the controller follows,
    // so that getParameterValue and a saved state agree with the sound.
    audio.playedValues.collect([this](ParamID id, double value) {
        if (plugin().hasController())
            plugin().setNormalizedValue(id, value);
        side.knownValues[id] = value;
        noteNewValue();
    });
}

void VSTModule::Internals::takeEdits() {
    // Already in the controller (it made them) and on their way to the processor.
    for (const auto& [id, value] : plugin().takeEdits()) {
        noteOwnChange(id, value);
        noteNewValue();
    }
    // Said once: a plug-in that does it tends to do it every block.
    ParamID lastId = 0;
    if (plugin().takeIgnoredEdits(lastId) > 0 && !side.ignoredEditsReported) {
        side.ignoredEditsReported = true;
        refuse("Ignored edits the plug-in made of a parameter it does not list (id " +
               std::to_string(lastId) + "), and will ignore any more.");
    }
}

void VSTModule::Internals::catchUp(bool fromService) {
    // Failures are counted until a control call asks: a failing plug-in reported
    // every 10 ms would flood the log.
    if (!fromService) {
        audio.blocksWithoutProcessor.report(kNoProcessorMessage, false);
        audio.processErrors.report("[VSTModule] process error: ", true);
        audio.processExceptions.report("[VSTModule] The plug-in threw during process", false);
        audio.dryBlocks.report("[VSTModule] Blocks passed through dry: the plug-in's process did not hand "
                               "them back in time",
                               false);
    }
    if (!loaded() || noticeEnding())
        return;
    takePlayedValues();
    takeOutputChanges();
    takeEdits();
    actOnRestartRequests(fromService);
    if (fromService)
        refreshSnapshot();
}

bool VSTModule::Internals::noticeEnding() {
    const PluginEnding* ending = plugin().ending();
    if (ending == nullptr)
        return false;
    if (!side.endingReported) {
        side.endingReported = true;
        refuse(ending->reason);
        VSTPluginEvent event{VSTPluginEvent::Kind::pluginCrashed};
        event.ending = ending->kind;
        event.endingCode = ending->code;
        side.pendingEvents.push_back(event);
    }
    return true;
}

void VSTModule::Internals::deliverEvents() {
    if (side.pendingEvents.empty())
        return;
    std::vector<VSTPluginEvent> events = std::move(side.pendingEvents);
    side.pendingEvents.clear();
    if (!settings.eventListener)
        return;
    // Copies: the listener may replace itself, call back into the module, or
    // destroy it (and so its node); then the events left are dropped and nothing
    // of the module is touched again.
    const auto listener = settings.eventListener;
    const std::shared_ptr<const bool> alive = side.alive;
    for (const VSTPluginEvent& event : events) {
        if (!*alive)
            return;
        listener(event);
    }
}

void VSTModule::Internals::startService() {
    if (side.serviceTimer != 0)
        return;
    side.serviceTimer = PluginThread::instance().addTimer(kServiceInterval, [this] {
        try {
            catchUp(true);
            deliverEvents();
        } catch (const std::exception& error) {
            reportThrow("a catch-up", error.what());
        } catch (...) {
            reportThrow("a catch-up", "an unknown exception");
        }
    });
}

void VSTModule::Internals::stopService() {
    if (side.serviceTimer != 0)
        PluginThread::instance().removeTimer(side.serviceTimer);
    side.serviceTimer = 0;
}

void VSTModule::Internals::editorResized(VSTEditorSize size) {
    side.pendingEvents.push_back(
        VSTPluginEvent{VSTPluginEvent::Kind::editorResized, 0, 0.0, false, 0, 0, size});
}

void VSTModule::Internals::startBlocks(int32 maxFrames, double sampleRate) {
    audio.maxSamplesPerBlock = maxFrames;
    audio.sampleRate = sampleRate;
    audio.gate.openGate();
}

void VSTModule::setEventListener(std::function<void(const VSTPluginEvent&)> listener) {
    internals->inspect([&] { internals->settings.eventListener = std::move(listener); });
}

std::string VSTModule::getLastError() const {
    return internals->inspect([this] { return internals->side.lastError; });
}

void VSTModule::handleRestartRequests() {
    internals->enter("handleRestartRequests", [] {});
}

void VSTModule::reportAudioThreadFailures() {
    internals->enter("reportAudioThreadFailures", [] {});
}

std::uint64_t VSTModule::getAudioThreadFailureCount() const {
    const AudioSide& audio = internals->audio;
    return audio.processErrors.count() + audio.processExceptions.count() +
           audio.blocksWithoutProcessor.count() + audio.dryBlocks.count() +
           audio.blocksMissed.load(std::memory_order_relaxed);
}

} // namespace varnel::extensions::vst
