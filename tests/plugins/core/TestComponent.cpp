// IComponent of the test plug-in object: buses, activation and the state blob.

#include "TestPluginObject.h"

#include "CallText.h"
#include "PluginConfig.h"
#include "Recorder.h"

#include "pluginterfaces/base/ibstream.h"

#include <cstring>

namespace testplugin {

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API TestPluginObject::getControllerClassId(TUID classId) {
    RecordedCall call("IComponent", "getControllerClassId", "", name_);
    if (terminated_) {
        call.violation("after IPluginBase::terminate");
        return call.done(kResultFalse);
    }
    // A combined object is its own controller and names none.
    if (!entry_.namesController || classId == nullptr)
        return call.done(kResultFalse);
    std::memcpy(classId, entry_.controllerId.data(), sizeof(TUID));
    return call.done(kResultOk);
}

tresult PLUGIN_API TestPluginObject::setIoMode(IoMode mode) {
    RecordedCall call("IComponent", "setIoMode", "mode=" + std::to_string(mode), name_);
    if (terminated_) {
        call.violation("after IPluginBase::terminate");
        return call.done(kResultFalse);
    }
    return call.done(kResultOk);
}

int32 PLUGIN_API TestPluginObject::getBusCount(MediaType type, BusDirection direction) {
    RecordedCall call("IComponent", "getBusCount", busName(type, direction), name_);
    // Like the installed plug-ins, an uninitialised component answers the error
    // code kNotInitialized where a count is expected.
    if (!admit(call))
        return call.done(kNotInitialized);
    return call.done(Component::getBusCount(type, direction));
}

tresult PLUGIN_API TestPluginObject::getBusInfo(MediaType type, BusDirection direction, int32 index,
                                                BusInfo& info) {
    RecordedCall call("IComponent", "getBusInfo",
                      busName(type, direction) + " index=" + std::to_string(index), name_);
    if (!admit(call))
        return call.done(kNotInitialized);
    return call.done(Component::getBusInfo(type, direction, index, info));
}

tresult PLUGIN_API TestPluginObject::getRoutingInfo(RoutingInfo&, RoutingInfo&) {
    RecordedCall call("IComponent", "getRoutingInfo", "", name_);
    if (!admit(call))
        return call.done(kNotInitialized);
    return call.done(kNotImplemented);
}

tresult PLUGIN_API TestPluginObject::activateBus(MediaType type, BusDirection direction, int32 index,
                                                 TBool state) {
    RecordedCall call(
        "IComponent", "activateBus",
        busName(type, direction) + " index=" + std::to_string(index) + " state=" + boolText(state), name_);
    if (!admit(call))
        return call.done(kNotInitialized);
    if (active_)
        call.violation("while the component is active");
    if (kPluginConfig.refusesBusActivation)
        return call.done(kResultFalse);
    return call.done(Component::activateBus(type, direction, index, state));
}

tresult PLUGIN_API TestPluginObject::setActive(TBool state) {
    RecordedCall call("IComponent", "setActive", boolText(state), name_);
    if (!admit(call))
        return call.done(kNotInitialized);
    if (state && !setUp_)
        call.violation("before IAudioProcessor::setupProcessing");
    if (!state && processing_)
        call.violation("while processing (setProcessing(false) missing)");
    checkNoBlockInFlight(call);
    if (state && kPluginConfig.refusesActivation)
        return call.done(kResultFalse);
    active_ = state != 0;
    return call.done(kResultOk);
}

tresult PLUGIN_API TestPluginObject::setState(IBStream* state) {
    RecordedCall call(stateInterface(), "setState", "", name_);
    if (!admit(call))
        return call.done(kNotInitialized);
    if (state == nullptr)
        return call.done(kInvalidArgument);
    if (entry_.role == Role::controller)
        return call.done(kResultOk); // the controller keeps no state of its own
    double gain = 0.0;
    int32 bytesRead = 0;
    state->read(&gain, sizeof gain, &bytesRead);
    call.setArguments("bytes=" + std::to_string(bytesRead) + " gain=" + formatDouble(gain));
    if (bytesRead != sizeof gain)
        return call.done(kResultFalse);
    gain_ = gain;
    return call.done(kResultOk);
}

tresult PLUGIN_API TestPluginObject::getState(IBStream* state) {
    RecordedCall call(stateInterface(), "getState", "", name_);
    if (!admit(call))
        return call.done(kNotInitialized);
    if (state == nullptr)
        return call.done(kInvalidArgument);
    if (entry_.role == Role::controller)
        return call.done(kResultOk);
    // The component's state is its gain as one native double: small and known,
    // so a test can check that it reached the controller's setComponentState.
    double gain = gain_;
    int32 bytesWritten = 0;
    const tresult result = state->write(&gain, sizeof gain, &bytesWritten);
    call.setArguments("bytes=" + std::to_string(bytesWritten) + " gain=" + formatDouble(gain));
    return call.done(result);
}

} // namespace testplugin
