// IEditController of the test plug-in object: the parameter list and values,
// and the component state handed over by the host.

#include "TestPluginObject.h"

#include "CallText.h"
#include "ParameterSet.h"
#include "PluginConfig.h"
#include "Recorder.h"
#include "SteppedTextParameter.h"
#include "TestView.h"

#include "pluginterfaces/base/ibstream.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace testplugin {

using namespace Steinberg;
using namespace Steinberg::Vst;

void TestPluginObject::addParameters() {
    parameters_.init();
    if (kPluginConfig.parameters == ParameterLayout::duplicateTitles) {
        parameters_.addParameter(STR16("A"), nullptr, 0, 0.0, ParameterInfo::kCanAutomate, 10);
        parameters_.addParameter(STR16("B"), nullptr, 0, 0.0, ParameterInfo::kCanAutomate, 11);
        parameters_.addParameter(STR16("A"), nullptr, 0, 0.0, ParameterInfo::kCanAutomate, 12);
        return;
    }
    parameters_.addParameter(STR16("Gain"), STR16("x"), 0, 1.0, ParameterInfo::kCanAutomate, kGainId);
    parameters_.addParameter(STR16("Mode"), nullptr, 2, 0.0,
                             ParameterInfo::kCanAutomate | ParameterInfo::kIsList, kModeId);
    parameters_.addParameter(STR16("Meter"), nullptr, 0, 0.0, ParameterInfo::kIsReadOnly, kMeterId);
    parameters_.addParameter(STR16("Hidden"), nullptr, 0, 0.5, ParameterInfo::kIsHidden, kHiddenId);
    if (kPluginConfig.parameters != ParameterLayout::twoWay)
        return;
    parameters_.addParameter(new SteppedTextParameter(
        STR16("Program"), kProgramId,
        ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsProgramChange,
        StepRule::truncate, {STR16("Full"), STR16("Half"), STR16("Quarter")}));
    parameters_.addParameter(new SteppedTextParameter(
        STR16("Choice"), kChoiceId, ParameterInfo::kCanAutomate | ParameterInfo::kIsList, StepRule::round,
        {STR16("Low"), STR16("Mid"), STR16("High")}));
    parameters_.addParameter(new RangeParameter(STR16("Latency"), kLatencyId, STR16("samples"), 0.0,
                                                kMaxLatency, kPluginConfig.latencySamples, 0,
                                                ParameterInfo::kIsReadOnly));
}

bool TestPluginObject::loadProgram(const std::vector<std::pair<std::uint32_t, double>>& values) {
    std::lock_guard lock(parameterMutex_);
    for (const auto& [id, value] : values) {
        if (parameters_.getParameter(id) == nullptr)
            return false;
    }
    for (const auto& [id, value] : values)
        parameters_.getParameter(id)->setNormalized(value);
    return true;
}

bool TestPluginObject::renameParameter(std::uint32_t id, const std::string& title) {
    std::lock_guard lock(parameterMutex_);
    Parameter* parameter = parameters_.getParameter(id);
    if (parameter == nullptr)
        return false;
    String128& text = parameter->getInfo().title;
    const std::size_t length = std::min(title.size(), std::size(text) - 1);
    for (std::size_t index = 0; index < length; ++index)
        text[index] = static_cast<TChar>(title[index]);
    text[length] = 0;
    return true;
}

tresult PLUGIN_API TestPluginObject::setComponentState(IBStream* state) {
    RecordedCall call("IEditController", "setComponentState", "", name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    if (state == nullptr)
        return call.done(kInvalidArgument);
    double gain = 0.0;
    int32 bytesRead = 0;
    state->read(&gain, sizeof gain, &bytesRead);
    // The arguments are the proof that the component's blob arrived here.
    call.setArguments("bytes=" + std::to_string(bytesRead) + " gain=" + formatDouble(gain));
    if (bytesRead != sizeof gain)
        return call.done(kResultFalse);
    std::lock_guard lock(parameterMutex_);
    if (Parameter* parameter = parameters_.getParameter(kGainId))
        parameter->setNormalized(gain);
    return call.done(kResultOk);
}

int32 PLUGIN_API TestPluginObject::getParameterCount() {
    RecordedCall call("IEditController", "getParameterCount", "", name_);
    if (!admit(call))
        return call.done(0);
    return call.done(parameters_.getParameterCount());
}

tresult PLUGIN_API TestPluginObject::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
    RecordedCall call("IEditController", "getParameterInfo", "index=" + std::to_string(paramIndex), name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    if (paramIndex == kPluginConfig.failingParameterInfoIndex)
        return call.done(kResultFalse);
    if (paramIndex < 0 || paramIndex >= parameters_.getParameterCount())
        return call.done(kInvalidArgument);
    info = parameters_.getParameterByIndex(paramIndex)->getInfo();
    return call.done(kResultOk);
}

tresult PLUGIN_API TestPluginObject::getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                                           String128 string) {
    RecordedCall call("IEditController", "getParamStringByValue",
                      "id=" + std::to_string(id) + " value=" + formatDouble(valueNormalized), name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    commitFault(kPluginConfig.valueTextFault);
    Parameter* parameter = parameters_.getParameter(id);
    if (parameter == nullptr || string == nullptr)
        return call.done(kInvalidArgument);
    parameter->toString(valueNormalized, string);
    return call.done(kResultOk);
}

tresult PLUGIN_API TestPluginObject::getParamValueByString(ParamID id, TChar* string,
                                                           ParamValue& valueNormalized) {
    RecordedCall call("IEditController", "getParamValueByString", "id=" + std::to_string(id), name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    Parameter* parameter = parameters_.getParameter(id);
    if (parameter == nullptr || string == nullptr)
        return call.done(kInvalidArgument);
    return call.done(parameter->fromString(string, valueNormalized) ? kResultOk : kResultFalse);
}

ParamValue PLUGIN_API TestPluginObject::normalizedParamToPlain(ParamID id, ParamValue valueNormalized) {
    RecordedCall call("IEditController", "normalizedParamToPlain",
                      "id=" + std::to_string(id) + " value=" + formatDouble(valueNormalized), name_);
    Parameter* parameter = admit(call) ? parameters_.getParameter(id) : nullptr;
    call.done(parameter != nullptr ? kResultOk : kInvalidArgument);
    return parameter != nullptr ? parameter->toPlain(valueNormalized) : valueNormalized;
}

ParamValue PLUGIN_API TestPluginObject::plainParamToNormalized(ParamID id, ParamValue plainValue) {
    RecordedCall call("IEditController", "plainParamToNormalized",
                      "id=" + std::to_string(id) + " value=" + formatDouble(plainValue), name_);
    Parameter* parameter = admit(call) ? parameters_.getParameter(id) : nullptr;
    call.done(parameter != nullptr ? kResultOk : kInvalidArgument);
    return parameter != nullptr ? parameter->toNormalized(plainValue) : plainValue;
}

ParamValue PLUGIN_API TestPluginObject::getParamNormalized(ParamID id) {
    RecordedCall call("IEditController", "getParamNormalized", "id=" + std::to_string(id), name_);
    Parameter* parameter = admit(call) ? parameters_.getParameter(id) : nullptr;
    // Unknown ids answer 0, as the SDK's controller base does.
    ParamValue value = 0.0;
    if (parameter != nullptr) {
        std::lock_guard lock(parameterMutex_);
        value = parameter->getNormalized();
    }
    call.setArguments("id=" + std::to_string(id) + " -> " + formatDouble(value));
    call.done(parameter != nullptr ? kResultOk : kInvalidArgument);
    return value;
}

tresult PLUGIN_API TestPluginObject::setParamNormalized(ParamID id, ParamValue value) {
    RecordedCall call("IEditController", "setParamNormalized",
                      "id=" + std::to_string(id) + " value=" + formatDouble(value), name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    if (Recorder::instance().throws(ThrowingCall::setParamNormalized)) {
        call.done(kInternalError);
        throw std::runtime_error(name_ + ": setParamNormalized throws, as the test asked");
    }
    Parameter* parameter = parameters_.getParameter(id);
    if (parameter == nullptr)
        return call.done(kInvalidArgument);
    // The plug-in owns its read-only parameters (meters, its latency): a host only
    // passes on what the processor reported, never a value of its own.
    if ((parameter->getInfo().flags & ParameterInfo::kIsReadOnly) != 0 &&
        !Recorder::instance().reportedValues().contains(id, value))
        call.violation("sets a read-only parameter to a value the processor never reported");
    bool latencyChanged = false;
    {
        std::lock_guard lock(parameterMutex_);
        latencyChanged = id == kLatencyId && parameter->getNormalized() != value;
        parameter->setNormalized(value);
    }
    // Outside the lock: the host may read the values back from inside restartComponent.
    if (latencyChanged)
        Recorder::instance().requestRestart(kLatencyChanged);
    return call.done(kResultOk);
}

tresult PLUGIN_API TestPluginObject::setComponentHandler(IComponentHandler* handler) {
    RecordedCall call("IEditController", "setComponentHandler",
                      handler != nullptr ? "handler=non-null" : "handler=null", name_);
    if (!admit(call))
        return call.refuse(kNotInitialized);
    if (handler != nullptr)
        handlerGiven_ = true;
    Recorder::instance().setComponentHandler(handler, this);
    return call.done(kResultOk);
}

IPlugView* PLUGIN_API TestPluginObject::createView(FIDString name) {
    RecordedCall call("IEditController", "createView",
                      std::string("name=") + (name != nullptr ? name : "null"), name_);
    if (!admit(call) || !kPluginConfig.hasEditor || name == nullptr ||
        std::string(name) != ViewType::kEditor) {
        call.done(kResultFalse);
        return nullptr; // no editor
    }
    call.done(kResultOk);
    return createTestView(this, name_);
}

} // namespace testplugin
