// IEditController of the test plug-in object: the parameter list and values,
// and the component state handed over by the host.

#include "TestPluginObject.h"

#include "CallText.h"
#include "PluginConfig.h"
#include "Recorder.h"
#include "TestView.h"

#include "pluginterfaces/base/ibstream.h"

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
    parameters_.addParameter(STR16("Gain"), STR16("x"), 0, 1.0, ParameterInfo::kCanAutomate, 1);
    parameters_.addParameter(STR16("Mode"), nullptr, 2, 0.0,
                             ParameterInfo::kCanAutomate | ParameterInfo::kIsList, 2);
    parameters_.addParameter(STR16("Meter"), nullptr, 0, 0.0, ParameterInfo::kIsReadOnly, 3);
    parameters_.addParameter(STR16("Hidden"), nullptr, 0, 0.5, ParameterInfo::kIsHidden, 4);
}

tresult PLUGIN_API TestPluginObject::setComponentState(IBStream* state) {
    RecordedCall call("IEditController", "setComponentState", "", name_);
    if (!admit(call))
        return call.done(kNotInitialized);
    if (state == nullptr)
        return call.done(kInvalidArgument);
    double gain = 0.0;
    int32 bytesRead = 0;
    state->read(&gain, sizeof gain, &bytesRead);
    // The arguments are the proof that the component's blob arrived here.
    call.setArguments("bytes=" + std::to_string(bytesRead) + " gain=" + formatDouble(gain));
    if (bytesRead != sizeof gain)
        return call.done(kResultFalse);
    if (Parameter* parameter = parameters_.getParameter(1))
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
        return call.done(kNotInitialized);
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
        return call.done(kNotInitialized);
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
        return call.done(kNotInitialized);
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
    const ParamValue value = parameter != nullptr ? parameter->getNormalized() : 0.0;
    call.setArguments("id=" + std::to_string(id) + " -> " + formatDouble(value));
    call.done(parameter != nullptr ? kResultOk : kInvalidArgument);
    return value;
}

tresult PLUGIN_API TestPluginObject::setParamNormalized(ParamID id, ParamValue value) {
    RecordedCall call("IEditController", "setParamNormalized",
                      "id=" + std::to_string(id) + " value=" + formatDouble(value), name_);
    if (!admit(call))
        return call.done(kNotInitialized);
    Parameter* parameter = parameters_.getParameter(id);
    if (parameter == nullptr)
        return call.done(kInvalidArgument);
    // Read-only parameters (meters) are the processor's output: a host passes what
    // the processor reported on to the controller here. Setting one as an input,
    // in a block's parameter changes, is what process checks.
    parameter->setNormalized(value);
    return call.done(kResultOk);
}

tresult PLUGIN_API TestPluginObject::setComponentHandler(IComponentHandler* handler) {
    RecordedCall call("IEditController", "setComponentHandler",
                      handler != nullptr ? "handler=non-null" : "handler=null", name_);
    if (!admit(call))
        return call.done(kNotInitialized);
    if (handler != nullptr)
        handlerGiven_ = true;
    Recorder::instance().setComponentHandler(handler);
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
