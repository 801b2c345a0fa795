#include "module/VSTModuleInternals.h"

#include "public.sdk/source/vst/utility/stringconvert.h"

#include <varnel/Logger.h>

#include <algorithm>
#include <cmath>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr const char* kNotFound = "Parameter not found: ";

constexpr const char* kInvalidValue = "Invalid parameter value";

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

void VSTModule::Internals::buildParameterTable(const std::vector<VSTParameter>& parameters) {
    // Where titles repeat, the later parameter replaces the earlier one.
    for (const VSTParameter& parameter : parameters) {
        settings.namedParameters[parameter.name] =
            VSTNamedParameter{parameter.id, {}, parameter.defaultValue, parameter.stepCount};
        if (parameter.readOnly)
            side.readOnlyIds.push_back(parameter.id);
    }
    std::sort(side.readOnlyIds.begin(), side.readOnlyIds.end());
}

bool VSTModule::Internals::isReadOnly(ParamID id) const {
    return std::binary_search(side.readOnlyIds.begin(), side.readOnlyIds.end(), id);
}

void VSTModule::Internals::refreshParameterTable() {
    std::unordered_map<std::string, VSTNamedParameter> previous = std::move(settings.namedParameters);
    settings.namedParameters.clear();
    side.readOnlyIds.clear();
    const std::vector<VSTParameter> parameters = listParameters();
    buildParameterTable(parameters);
    for (auto& [title, entry] : settings.namedParameters) {
        const auto old = previous.find(title);
        if (old != previous.end() && old->second.id == entry.id)
            entry.valueNames = std::move(old->second.valueNames);
    }
    // What the processor reports of a parameter added now reaches the controller
    // too; the table is swapped while no block runs.
    std::vector<ParamID> ids;
    for (const VSTParameter& parameter : parameters)
        ids.push_back(parameter.id);
    audio.parameterSlots.relist(ids, side.readOnlyIds);
    const bool running = audio.gate.isOpen();
    audio.gate.closeGate();
    audio.outputSlots.reserve(std::move(ids));
    if (running)
        audio.gate.openGate();
}

VSTNamedParameter* VSTModule::Internals::findNamedParameter(const std::string& name) {
    const auto entry = settings.namedParameters.find(name);
    if (entry == settings.namedParameters.end()) {
        refuse(kNotFound + name);
        return nullptr;
    }
    return &entry->second;
}

VSTNamedParameter* VSTModule::Internals::findWritableParameter(const std::string& name) {
    VSTNamedParameter* parameter = findNamedParameter(name);
    if (parameter && isReadOnly(parameter->id)) {
        refuse(kReadOnlyReason + name);
        return nullptr;
    }
    return parameter;
}

bool VSTModule::Internals::setParameterValue(ParamID id, double value) {
    // A read-only parameter is the plug-in's output (a meter, a latency display):
    // plug-ins assert on a host that sets one, and some reject every block that
    // carries it.
    if (isReadOnly(id))
        return refuse(kReadOnlyReason + std::to_string(id));
    if (plugin().hasController())
        plugin().setNormalizedValue(id, value);
    else
        refuse(kNoControllerReason);
    // Without an audio processor there is no audio side to hand the value to.
    if (loaded()) {
        if (audio.parameterSlots.publish(id, value)) {
            side.knownValues[id] = value;
            noteNewValue();
            noteValueForSnapshot(id, value);
        } else
            refuse("Could not set parameter");
    }
    return true;
}

void VSTModule::Internals::sendControllerValues(bool onlyChanged) {
    forEachParameterInfo([this, onlyChanged](const ParameterInfo& info) {
        if ((info.flags & ParameterInfo::kIsReadOnly) != 0)
            return;
        const ParamValue value = plugin().normalizedValue(info.id);
        const auto known = side.knownValues.find(info.id);
        const bool changed = known == side.knownValues.end() || known->second != value;
        if (onlyChanged && !changed)
            return;
        if (audio.parameterSlots.publish(info.id, value)) {
            side.knownValues[info.id] = value;
            // The controller's own new values are news to the processor; values
            // handed over again after a reactivation are not.
            if (onlyChanged)
                noteNewValue();
        }
        if (changed)
            side.pendingEvents.push_back(
                VSTPluginEvent{VSTPluginEvent::Kind::parameterChanged, info.id, value, false});
    });
}

std::vector<VSTParameter> VSTModule::getParameters() {
    return internals->enter("getParameters", [this] { return internals->listParameters(); });
}

float VSTModule::getParameterValue(unsigned int id) {
    Internals& in = *internals;
    return in.enter("getParamNormalized", [&] {
        if (!in.plugin().hasController()) {
            in.refuse(kNoControllerReason);
            return 0.0f;
        }
        return static_cast<float>(in.plugin().normalizedValue(id));
    });
}

void VSTModule::setParameter(unsigned int id, float value) {
    Internals& in = *internals;
    in.enter("setParamNormalized", [&] {
        // NaN or infinity would poison the plug-in's DSP state; finite values pass
        // as they are, unclamped.
        if (!std::isfinite(value))
            in.refuse(kInvalidValue);
        else
            in.setParameterValue(id, value);
    });
}

std::vector<VSTParameterDetails> VSTModule::getParameterDetails() {
    Internals& in = *internals;
    return in.enter("getParameterInfo", [&] {
        std::vector<VSTParameterDetails> details;
        in.forEachParameterInfo([&in, &details](const ParameterInfo& info) {
            const ParamValue value = in.plugin().normalizedValue(info.id);
            details.push_back(VSTParameterDetails{
                describeParameter(info),
                VST3::StringConvert::convert(info.shortTitle),
                (info.flags & ParameterInfo::kIsHidden) != 0,
                (info.flags & ParameterInfo::kCanAutomate) != 0,
                (info.flags & ParameterInfo::kIsBypass) != 0,
                (info.flags & ParameterInfo::kIsList) != 0,
                value,
                in.plugin().valueText(info.id, value),
            });
        });
        return details;
    });
}

std::string VSTModule::getParameterValueText(unsigned int id, double normalizedValue) {
    Internals& in = *internals;
    return in.enter("getParamStringByValue", [&]() -> std::string {
        if (!in.plugin().hasController()) {
            in.refuse(kNoControllerReason);
            return {};
        }
        return in.plugin().valueText(id, normalizedValue);
    });
}

bool VSTModule::setParameter(std::string name, float value) {
    Internals& in = *internals;
    return in.enter("setParamNormalized", [&] {
        if (!std::isfinite(value))
            return in.refuse(kInvalidValue);
        VSTNamedParameter* parameter = in.findWritableParameter(name);
        return parameter != nullptr && in.setParameterValue(parameter->id, value);
    });
}

bool VSTModule::setValueNamesForPluginParameter(std::string name, std::vector<std::string> valueNames) {
    Internals& in = *internals;
    return in.enter("setValueNamesForPluginParameter", [&] {
        VSTNamedParameter* parameter = in.findNamedParameter(name);
        if (!parameter)
            return false;
        // stepCount + 1 wraps in 32 bits, as a plug-in's count would.
        const auto expected = static_cast<int32_t>(static_cast<uint32_t>(parameter->stepCount) + 1u);
        const auto given = static_cast<std::int64_t>(valueNames.size());
        const bool oneNamePerStep = given == static_cast<std::int64_t>(expected);
        if (!oneNamePerStep)
            Logger::error("[VSTModule] valueNames size should be equal to stepCount + 1");

        // With one name per step, name i stands for step i / stepCount: the value
        // that selects step i whether the plug-in truncates (the SDK's list
        // parameters) or rounds (JUCE's choices). Otherwise name i of n stands for
        // i / n, the lower edge of band i of n equal bands.
        const double step = oneNamePerStep && parameter->stepCount > 0
                                ? 1.0 / static_cast<double>(parameter->stepCount)
                                : 1.0 / static_cast<double>(valueNames.size());
        for (std::size_t i = 0; i < valueNames.size(); ++i)
            parameter->valueNames[valueNames[i]] = static_cast<float>(step * static_cast<double>(i));
        return true;
    });
}

bool VSTModule::setParameterByValueName(std::string name, std::string valueName) {
    Internals& in = *internals;
    return in.enter("setParameterByValueName", [&] {
        VSTNamedParameter* parameter = in.findWritableParameter(name);
        if (!parameter)
            return false;
        // The caller's names first, then the plug-in's own.
        if (const auto given = parameter->valueNames.find(valueName); given != parameter->valueNames.end())
            return in.setParameterValue(parameter->id, given->second);
        return in.setByPluginValueName(name, *parameter, valueName);
    });
}

} // namespace varnel::extensions::vst
