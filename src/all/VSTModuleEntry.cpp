// How control calls reach the plug-in: on the plug-in thread, each after a catch-up
// with what the plug-in and the audio thread did on their own since the last one.
// The same catch-up runs on a timer while a plug-in is loaded, so that the
// application hears of the plug-in's own changes without asking.
#include "VSTModuleInternals.h"

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
    lastError = reason;
    Logger::error(kLogPrefix + reason);
    return false;
}

void VSTModule::Internals::noteOwnChange(ParamID id, double value) {
    knownValues[id] = value;
    pendingEvents.push_back(
        VSTPluginEvent{VSTPluginEvent::Kind::parameterChanged, id, value, isReadOnly(id)});
}

void VSTModule::Internals::takeOutputChanges() {
    // The processor changed these itself (a program, a linked parameter) or reports
    // them (a meter): the controller follows, as it would in any host.
    outputSlots.collect([this](ParamID id, double value) {
        if (controller)
            controller->setParamNormalized(id, value);
        const auto known = knownValues.find(id);
        if (known == knownValues.end() || known->second != value)
            noteOwnChange(id, value);
    });
}

void VSTModule::Internals::takeEdits() {
    // Already in the controller (it made them) and on their way to the processor.
    for (const auto& [id, value] : componentHandler->takeEdits())
        noteOwnChange(id, value);
}

void VSTModule::Internals::catchUp(bool fromService) {
    // Failures are counted until a control call asks: a failing plug-in reported
    // every 10 ms would flood the log.
    if (!fromService) {
        blocksWithoutProcessor.report(kNoProcessorMessage, false);
        processErrors.report("[VSTModule] process error: ", true);
        processExceptions.report("[VSTModule] The plug-in threw during process", false);
    }
    if (!lead().audioProcessor)
        return;
    takeOutputChanges();
    takeEdits();
    actOnRestartRequests(fromService);
}

void VSTModule::Internals::deliverEvents() {
    if (pendingEvents.empty())
        return;
    std::vector<VSTPluginEvent> events = std::move(pendingEvents);
    pendingEvents.clear();
    if (!eventListener)
        return;
    // A copy: the listener may replace itself, or call back into the module.
    const auto listener = eventListener;
    for (const VSTPluginEvent& event : events)
        listener(event);
}

void VSTModule::Internals::startService() {
    if (serviceTimer != 0)
        return;
    serviceTimer = PluginThread::instance().addTimer(kServiceInterval, [this] {
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
    if (serviceTimer != 0)
        PluginThread::instance().removeTimer(serviceTimer);
    serviceTimer = 0;
}

void VSTModule::setEventListener(std::function<void(const VSTPluginEvent&)> listener) {
    internals->inspect([&] { internals->eventListener = std::move(listener); });
}

std::string VSTModule::getLastError() const {
    return internals->inspect([this] { return internals->lastError; });
}

void VSTModule::handleRestartRequests() {
    internals->enter("handleRestartRequests", [] {});
}

void VSTModule::reportAudioThreadFailures() {
    internals->enter("reportAudioThreadFailures", [] {});
}

std::uint64_t VSTModule::getAudioThreadFailureCount() const {
    return internals->processErrors.count() + internals->processExceptions.count() +
           internals->blocksWithoutProcessor.count();
}

} // namespace varnel::extensions::vst
