// Parameters in the plug-in's own units and texts: the edit controller converts
// between them and normalised values, so a caller can say "-24" for a threshold in
// dB instead of working out where -24 dB lies in 0 to 1.
#include "module/VSTModuleInternals.h"

#include "public.sdk/source/vst/utility/stringconvert.h"

#include <varnel/Logger.h>

#include <algorithm>
#include <cmath>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// A stepped parameter with more values than this is a continuous one in disguise
// (e.g. a frequency in 1 Hz steps): its values get no list of names.
constexpr int32 kMostNamedValues = 1024;

bool isNormalized(double value) {
    return std::isfinite(value) && value >= 0.0 && value <= 1.0;
}

} // namespace

bool VSTModule::Internals::setByPluginValueName(const std::string& name, const VSTNamedParameter& parameter,
                                                const std::string& valueName) {
    if (plugin().hasController() && parameter.stepCount > 0 && parameter.stepCount <= kMostNamedValues - 1) {
        for (int32 step = 0; step <= parameter.stepCount; ++step) {
            const double value = static_cast<double>(step) / parameter.stepCount;
            if (plugin().valueText(parameter.id, value) == valueName) {
                return setParameterValue(parameter.id, value);
            }
        }
    }
    return refuse(name + " has no value named " + valueName);
}

bool VSTModule::getParameterRange(unsigned int id, VSTParameterRange& range) {
    Internals& in = *internals;
    return in.enter("getParameterInfo", [&] { return in.describeRange(id, range); });
}

bool VSTModule::Internals::describeRange(ParamID id, VSTParameterRange& range) {
    Internals& in = *this;
    bool found = false;
    in.forEachParameterInfo([&](const ParameterInfo& info) {
        if (found || info.id != id)
            return;
        found = true;
        HostedPlugin& plugin = in.plugin();
        const double value = plugin.normalizedValue(id);
        range = VSTParameterRange{
            id,
            plugin.toPlain(id, 0.0),
            plugin.toPlain(id, 1.0),
            plugin.toPlain(id, info.defaultNormalizedValue),
            plugin.toPlain(id, value),
            plugin.valueText(id, value),
            VST3::StringConvert::convert(info.units),
            {},
        };
        if (info.stepCount > 0 && info.stepCount < kMostNamedValues) {
            for (int32 step = 0; step <= info.stepCount; ++step)
                range.valueNames.push_back(plugin.valueText(id, static_cast<double>(step) / info.stepCount));
        }
    });
    // Without a controller, forEachParameterInfo has said so.
    if (!found && in.plugin().hasController())
        refuse("Parameter not found: id " + std::to_string(id));
    return found;
}

double VSTModule::getParameterPlain(unsigned int id) {
    Internals& in = *internals;
    return in.enter("normalizedParamToPlain", [&] {
        if (!in.plugin().hasController()) {
            in.refuse(kNoControllerReason);
            return 0.0;
        }
        return in.plugin().toPlain(id, in.plugin().normalizedValue(id));
    });
}

bool VSTModule::setParameterPlain(std::string name, double plain) {
    Internals& in = *internals;
    return in.enter("plainParamToNormalized", [&] { return in.setPlain(name, plain); });
}

bool VSTModule::Internals::setPlain(const std::string& name, double plain) {
    Internals& in = *this;
    VSTNamedParameter* parameter = in.findWritableParameter(name);
    if (!parameter)
        return false;
    // Names exist only where a controller listed them. Plug-ins clamp a plain value
    // outside their range on their own; a caller asking for one is told instead.
    const auto [lowest, highest] =
        std::minmax({in.plugin().toPlain(parameter->id, 0.0), in.plugin().toPlain(parameter->id, 1.0)});
    const double slack = 1e-9 * (highest - lowest);
    const double value = std::isfinite(plain) && plain >= lowest - slack && plain <= highest + slack
                             ? in.plugin().toNormalized(parameter->id, plain)
                             : NAN;
    if (!isNormalized(value))
        return refuse("Value out of range for " + name + ": " + std::to_string(plain));
    return in.setParameterValue(parameter->id, value);
}

bool VSTModule::setParameterByText(std::string name, std::string text) {
    Internals& in = *internals;
    return in.enter("getParamValueByString", [&] { return in.setByText(name, text); });
}

bool VSTModule::Internals::setByText(const std::string& name, const std::string& text) {
    Internals& in = *this;
    VSTNamedParameter* parameter = in.findWritableParameter(name);
    if (!parameter)
        return false;
    double value = NAN;
    const bool parsed = in.plugin().valueFromText(parameter->id, text, value);
    if (!parsed || !isNormalized(value))
        return refuse("The plug-in did not take the text for " + name + ": " + text);
    return in.setParameterValue(parameter->id, value);
}

} // namespace varnel::extensions::vst
