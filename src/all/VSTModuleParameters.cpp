#include "VSTModuleInternals.h"

#include "public.sdk/source/vst/utility/stringconvert.h"

#include <varnel/Logger.h>

#include <algorithm>
#include <cmath>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr const char* kNotFound = "[VSTModule] Parameter not found: ";
constexpr const char* kReadOnly = "[VSTModule] Read-only parameter not set: ";

// NaN or infinity would poison the plug-in's DSP state; finite values pass as they
// are, unclamped.
bool acceptValue(float value) {
    if (std::isfinite(value))
        return true;
    Logger::error("[VSTModule] Invalid parameter value");
    return false;
}

VSTParameter describeParameter(const ParameterInfo& info) {
    return VSTParameter{
        VST3::StringConvert::convert(info.title),
        info.id,
        info.defaultNormalizedValue,
        info.stepCount,
        VST3::StringConvert::convert(info.units),
        (info.flags & ParameterInfo::kIsReadOnly) != 0,
    };
}

} // namespace

std::vector<VSTParameter> VSTModule::Internals::listParameters() {
    std::vector<VSTParameter> parameters;
    forEachParameterInfo(
        [&parameters](const ParameterInfo& info) { parameters.push_back(describeParameter(info)); });
    return parameters;
}

std::string VSTModule::Internals::valueText(ParamID id, ParamValue value) {
    String128 text{};
    if (controller->getParamStringByValue(id, value, text) != kResultOk)
        return {};
    text[127] = 0; // a plug-in that fills all 128 characters leaves no terminator
    return VST3::StringConvert::convert(text);
}

void VSTModule::Internals::buildParameterTable(const std::vector<VSTParameter>& parameters) {
    // Where titles repeat, the later parameter replaces the earlier one.
    for (const VSTParameter& parameter : parameters) {
        namedParameters[parameter.name] =
            VSTNamedParameter{parameter.id, {}, parameter.defaultValue, parameter.stepCount};
        if (parameter.readOnly)
            readOnlyIds.push_back(parameter.id);
    }
    std::sort(readOnlyIds.begin(), readOnlyIds.end());
}

bool VSTModule::Internals::isReadOnly(ParamID id) const {
    return std::binary_search(readOnlyIds.begin(), readOnlyIds.end(), id);
}

void VSTModule::Internals::refreshParameterTable() {
    std::unordered_map<std::string, VSTNamedParameter> previous = std::move(namedParameters);
    namedParameters.clear();
    readOnlyIds.clear();
    buildParameterTable(listParameters());
    for (auto& [title, entry] : namedParameters) {
        const auto old = previous.find(title);
        if (old != previous.end() && old->second.id == entry.id)
            entry.valueNames = std::move(old->second.valueNames);
    }
    componentHandler->setReadOnlyIds(readOnlyIds);
}

void VSTModule::Internals::reportAudioFailures() {
    blocksWithoutProcessor.report(kNoProcessorMessage, false);
    processErrors.report("[VSTModule] process error: ", true);
    // Control calls also catch up with the plug-in's restart requests, which may
    // have come from the audio thread.
    actOnRestartRequests();
}

VSTNamedParameter* VSTModule::Internals::findNamedParameter(const std::string& name) {
    const auto entry = namedParameters.find(name);
    if (entry == namedParameters.end()) {
        Logger::error(kNotFound + name);
        return nullptr;
    }
    return &entry->second;
}

bool VSTModule::Internals::setParameterValue(ParamID id, double value) {
    // A read-only parameter is the plug-in's output (a meter, a latency display):
    // plug-ins assert on a host that sets one, and some reject every block that
    // carries it.
    if (isReadOnly(id)) {
        Logger::error(kReadOnly + std::to_string(id));
        return false;
    }
    if (controller)
        controller->setParamNormalized(id, value);
    else
        Logger::error(kNoControllerMessage);
    // Without an audio processor there is no audio side to hand the value to.
    if (lead().audioProcessor && !parameterSlots.publish(id, value))
        Logger::error("[VSTModule] Could not set parameter");
    return true;
}

std::uint64_t VSTModule::getAudioThreadFailureCount() const {
    return internals->processErrors.count() + internals->blocksWithoutProcessor.count();
}

void VSTModule::reportAudioThreadFailures() {
    std::lock_guard lock(internals->controlMutex);
    internals->reportAudioFailures();
}

std::vector<VSTParameter> VSTModule::getParameters() {
    std::lock_guard lock(internals->controlMutex);
    internals->reportAudioFailures();
    return internals->listParameters();
}

float VSTModule::getParameterValue(unsigned int id) {
    std::lock_guard lock(internals->controlMutex);
    internals->reportAudioFailures();
    if (!internals->controller) {
        Logger::error(kNoControllerMessage);
        return 0.0f;
    }
    return static_cast<float>(internals->controller->getParamNormalized(id));
}

void VSTModule::setParameter(unsigned int id, float value) {
    if (!acceptValue(value))
        return;
    std::lock_guard lock(internals->controlMutex);
    internals->reportAudioFailures();
    internals->setParameterValue(id, value);
}

std::vector<VSTParameterDetails> VSTModule::getParameterDetails() {
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    std::vector<VSTParameterDetails> details;
    in.forEachParameterInfo([&in, &details](const ParameterInfo& info) {
        const ParamValue value = in.controller->getParamNormalized(info.id);
        details.push_back(VSTParameterDetails{
            describeParameter(info),
            VST3::StringConvert::convert(info.shortTitle),
            (info.flags & ParameterInfo::kIsHidden) != 0,
            (info.flags & ParameterInfo::kCanAutomate) != 0,
            (info.flags & ParameterInfo::kIsBypass) != 0,
            (info.flags & ParameterInfo::kIsList) != 0,
            value,
            in.valueText(info.id, value),
        });
    });
    return details;
}

std::string VSTModule::getParameterValueText(unsigned int id, double normalizedValue) {
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    if (!in.controller) {
        Logger::error(kNoControllerMessage);
        return {};
    }
    return in.valueText(id, normalizedValue);
}

bool VSTModule::setParameter(std::string name, float value) {
    if (!acceptValue(value))
        return false;
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    in.reportAudioFailures();
    VSTNamedParameter* parameter = in.findNamedParameter(name);
    if (!parameter)
        return false;
    if (in.isReadOnly(parameter->id)) {
        Logger::error(kReadOnly + name);
        return false;
    }
    return in.setParameterValue(parameter->id, value);
}

bool VSTModule::setValueNamesForPluginParameter(std::string name, std::vector<std::string> valueNames) {
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    in.reportAudioFailures();
    VSTNamedParameter* parameter = in.findNamedParameter(name);
    if (!parameter)
        return false;
    // stepCount + 1 wraps in 32 bits, as a plug-in's count would.
    const auto expected = static_cast<int32_t>(static_cast<uint32_t>(parameter->stepCount) + 1u);
    const auto given = static_cast<std::int64_t>(valueNames.size());
    if (given != static_cast<std::int64_t>(expected))
        Logger::error("[VSTModule] valueNames size should be equal to stepCount + 1");

    // Name i of n stands for i / n: the lower edge of band i of n equal bands.
    const double step = 1.0 / static_cast<double>(valueNames.size());
    for (std::size_t i = 0; i < valueNames.size(); ++i)
        parameter->valueNames[valueNames[i]] = static_cast<float>(step * static_cast<double>(i));
    return true;
}

bool VSTModule::setParameterByValueName(std::string name, std::string valueName) {
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    in.reportAudioFailures();
    VSTNamedParameter* parameter = in.findNamedParameter(name);
    if (!parameter)
        return false;
    // Refused before a new value name is remembered: the call changes nothing.
    if (in.isReadOnly(parameter->id)) {
        Logger::error(kReadOnly + name);
        return false;
    }
    if (parameter->valueNames.empty() && parameter->stepCount > 0)
        return in.setByPluginValueName(name, *parameter, valueName);
    // A name never given is remembered with 0 and sets 0.
    const float value = parameter->valueNames[valueName];
    return in.setParameterValue(parameter->id, value);
}

} // namespace varnel::extensions::vst
