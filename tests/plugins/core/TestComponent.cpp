// IComponent of the test plug-in object: buses, activation and the state blob.

#include "TestPluginObject.h"

#include "CallText.h"
#include "ParameterSet.h"
#include "PluginConfig.h"
#include "Recorder.h"

#include "pluginterfaces/base/ibstream.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace testplugin {

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API TestPluginObject::getControllerClassId(TUID classId) {
    RecordedCall call("IComponent", "getControllerClassId", "", name_);
    if (call.onForeignThread())
        return call.done(kResultFalse);
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
    if (call.onForeignThread())
        return call.done(kResultFalse);
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
        return call.done(call.onForeignThread() ? 0 : kNotInitialized);
    return call.done(Component::getBusCount(type, direction));
}

tresult PLUGIN_API TestPluginObject::getBusInfo(MediaType type, BusDirection direction, int32 index,
                                                BusInfo& info) {
    RecordedCall call("IComponent", "getBusInfo",
                      busName(type, direction) + " index=" + std::to_string(index), name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    return call.done(Component::getBusInfo(type, direction, index, info));
}

tresult PLUGIN_API TestPluginObject::getRoutingInfo(RoutingInfo&, RoutingInfo&) {
    RecordedCall call("IComponent", "getRoutingInfo", "", name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    return call.done(kNotImplemented);
}

tresult PLUGIN_API TestPluginObject::activateBus(MediaType type, BusDirection direction, int32 index,
                                                 TBool state) {
    RecordedCall call(
        "IComponent", "activateBus",
        busName(type, direction) + " index=" + std::to_string(index) + " state=" + boolText(state), name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    if (active_)
        call.violation("while the component is active");
    if (kPluginConfig.refusesBusActivation)
        return call.done(kResultFalse);
    return call.done(Component::activateBus(type, direction, index, state));
}

tresult PLUGIN_API TestPluginObject::setActive(TBool state) {
    RecordedCall call("IComponent", "setActive", boolText(state), name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    if (state && !setUp_)
        call.violation("before IAudioProcessor::setupProcessing");
    if (!state && processing_)
        call.violation("while processing (setProcessing(false) missing)");
    checkNoBlockInFlight(call);
    if (state && kPluginConfig.refusesActivation)
        return call.done(kResultFalse);
    if (state)
        commitFault(kPluginConfig.activationFault);
    if (state) {
        Recorder::instance().activated();
        // A new latency holds from here on, as VST 3 has it; the delay starts empty.
        activeLatency_ = std::min(Recorder::instance().latency(), kMaxLatency);
        for (auto& channel : delayLine_)
            channel.fill(0.0f);
        delayPosition_ = 0;
        if (kPluginConfig.resetsOnActivation) {
            gain_ = 1.0; // the default of "Gain"
            choiceFactor_ = kChoiceFactors[0];
        }
    }
    if (kPluginConfig.sendsMessageFromProcess) {
        processMessage_ = state ? owned(allocateMessage()) : nullptr;
        if (processMessage_)
            processMessage_->setMessageID("FromProcess");
        messageDue_ = processMessage_ != nullptr;
    }
    active_ = state != 0;
    return call.done(kResultOk);
}

tresult PLUGIN_API TestPluginObject::setState(IBStream* state) {
    RecordedCall call(stateInterface(), "setState", "", name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    if (state == nullptr)
        return call.done(kInvalidArgument);
    if (entry_.role != Role::controller)
        commitFault(kPluginConfig.setStateFault);
    const bool stateful = kPluginConfig.keepsStateOutsideParameters;
    int32 bytesRead = 0;
    if (entry_.role == Role::controller) {
        if (!stateful)
            return call.done(kResultOk); // the controller keeps no state of its own
        double scale = 0.0;
        state->read(&scale, sizeof scale, &bytesRead);
        call.setArguments("bytes=" + std::to_string(bytesRead) + " scale=" + formatDouble(scale));
        if (bytesRead != sizeof scale)
            return call.done(kResultFalse);
        viewScale_ = scale;
        return call.done(kResultOk);
    }
    double values[2] = {0.0, 0.0}; // gain, then offset when stateful
    const auto expected = static_cast<int32>(stateful ? sizeof values : sizeof values[0]);
    state->read(values, expected, &bytesRead);
    call.setArguments("bytes=" + std::to_string(bytesRead) + " gain=" + formatDouble(values[0]) +
                      (stateful ? " offset=" + formatDouble(values[1]) : std::string()));
    if (bytesRead != expected)
        return call.done(kResultFalse);
    checkNoBlockInFlight(call);
    // A block that ran now would see the new gain with the old offset.
    restoringState_ = true;
    gain_ = values[0];
    if (stateful) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        offset_ = values[1];
    }
    restoringState_ = false;
    return call.done(kResultOk);
}

tresult PLUGIN_API TestPluginObject::getState(IBStream* state) {
    RecordedCall call(stateInterface(), "getState", "", name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    if (state == nullptr)
        return call.done(kInvalidArgument);
    const bool stateful = kPluginConfig.keepsStateOutsideParameters;
    int32 bytesWritten = 0;
    if (entry_.role == Role::controller) {
        if (!stateful)
            return call.done(kResultOk);
        double scale = viewScale_;
        const tresult result = state->write(&scale, sizeof scale, &bytesWritten);
        call.setArguments("bytes=" + std::to_string(bytesWritten) + " scale=" + formatDouble(scale));
        return call.done(result);
    }
    // The component's state is its gain as one native double (and the offset after
    // it when stateful): small and known, so a test can check that it reached the
    // controller's setComponentState.
    double values[2] = {gain_, offset_};
    const tresult result =
        state->write(values, static_cast<int32>(stateful ? sizeof values : sizeof values[0]), &bytesWritten);
    call.setArguments("bytes=" + std::to_string(bytesWritten) + " gain=" + formatDouble(values[0]) +
                      (stateful ? " offset=" + formatDouble(values[1]) : std::string()));
    return call.done(result);
}

} // namespace testplugin
