// The side-chain input: the plug-in's first auxiliary audio input bus, activated
// on the caller's word (a plug-in may key itself from an active side-chain), fed
// by `process` and silent without a signal.
#include "module/VSTModuleInternals.h"

namespace varnel::extensions::vst {

using State = LifecycleState;

bool VSTModule::Internals::activateSideChain(bool active) {
    if (active == side.sideChainActive)
        return true;
    // VST 3 configures buses only while the component is inactive.
    const bool wasActive = plugin().highestState() >= State::active;
    const std::uint32_t latencyBefore = plugin().latencySamples();
    if (wasActive)
        plugin().moveTo(State::setUp);
    std::string reason;
    const bool accepted = plugin().activateSideChain(active, reason);
    // A refusal leaves every instance's side-chain inactive.
    side.sideChainActive = accepted && active;
    if (wasActive) {
        // Back up as after any reactivation: the processor gets the controller's values.
        if (plugin().hasController())
            sendControllerValues(false);
        plugin().moveTo(settings.runningState);
        if (plugin().latencySamples() != latencyBefore)
            noteLatency();
    }
    return accepted || refuse(reason);
}

bool VSTModule::setSideChainActive(bool active) {
    Internals& in = *internals;
    return in.enter("setSideChainActive", [&] {
        if (!in.loaded())
            return in.refuse(kNoProcessorReason);
        return in.activateSideChain(active);
    });
}

bool VSTModule::isSideChainActive() const {
    return internals->inspect([this] { return internals->side.sideChainActive; });
}

} // namespace varnel::extensions::vst
