#include "ParameterSettings.h"

#include "ToolError.h"

#include <algorithm>
#include <optional>

namespace varnelvst::tool {

using varnel::extensions::vst::VSTParameter;
using varnel::extensions::vst::VSTProcessorNode;

namespace {

const std::string kListHint = " (varnel-vst params <plugin> lists them)";

// Where titles repeat, the library uses the last one; so does this lookup.
std::optional<VSTParameter> findByTitle(const std::vector<VSTParameter>& parameters,
                                        const std::string& title) {
    const auto found = std::find_if(parameters.rbegin(), parameters.rend(),
                                    [&](const VSTParameter& parameter) { return parameter.name == title; });
    return found == parameters.rend() ? std::nullopt : std::optional(*found);
}

std::optional<VSTParameter> findById(const std::vector<VSTParameter>& parameters, std::uint32_t id) {
    const auto found = std::find_if(parameters.begin(), parameters.end(),
                                    [&](const VSTParameter& parameter) { return parameter.id == id; });
    return found == parameters.end() ? std::nullopt : std::optional(*found);
}

ToolError unknownTitle(const ParameterSetting& setting) {
    return failure("unknown parameter '" + setting.title + "' in '" + setting.argument + "'" + kListHint);
}

// The library keeps why it refused a value: a read-only parameter, a value name
// neither the caller nor the plug-in has.
ToolError refusal(VSTProcessorNode& node, const ParameterSetting& setting) {
    return failure("'" + setting.argument + "': " + node.getPluginLastError());
}

void checkValueNamesFit(const VSTParameter& parameter, const ParameterSetting& setting) {
    // A continuous parameter may be given any number of names (name i of n
    // stands for i / n); a stepped one needs exactly one per value.
    if (parameter.stepCount <= 0)
        return;
    const auto values = static_cast<std::size_t>(parameter.stepCount) + 1;
    if (setting.valueNames.size() != values)
        throw failure("'" + setting.argument + "': " + parameter.name + " has " + std::to_string(values) +
                      " values but " + std::to_string(setting.valueNames.size()) + " names were given");
}

} // namespace

void applyParameterSettings(VSTProcessorNode& node, const std::vector<ParameterSetting>& settings) {
    if (settings.empty())
        return;
    const std::vector<VSTParameter> parameters = node.getPluginParameters();
    for (const ParameterSetting& setting : settings) {
        using Kind = ParameterSetting::Kind;
        const std::optional<VSTParameter> parameter = setting.kind == Kind::byId
                                                          ? findById(parameters, setting.id)
                                                          : findByTitle(parameters, setting.title);
        if (!parameter) {
            if (setting.kind == Kind::byId)
                throw failure("unknown parameter id " + std::to_string(setting.id) + " in '" +
                              setting.argument + "'" + kListHint);
            throw unknownTitle(setting);
        }
        // Every way of setting a parameter is refused alike, with the library's reason.
        switch (setting.kind) {
        case Kind::byTitle:
            if (!node.setPluginParameter(setting.title, setting.value))
                throw refusal(node, setting);
            break;
        case Kind::byId:
            node.setPluginParameter(static_cast<unsigned int>(setting.id), setting.value);
            if (parameter->readOnly)
                throw refusal(node, setting);
            break;
        case Kind::valueNames:
            checkValueNamesFit(*parameter, setting);
            if (!node.setValueNamesForPluginParameter(setting.title, setting.valueNames))
                throw refusal(node, setting);
            break;
        case Kind::byValueName:
            if (!node.setPluginParameterByValueName(setting.title, setting.valueName))
                throw refusal(node, setting);
            break;
        case Kind::byPlain:
        case Kind::byText:
            // The plug-in converts, and says when it would not.
            if (setting.kind == Kind::byPlain ? node.setPluginParameterPlain(setting.title, setting.plain)
                                              : node.setPluginParameterByText(setting.title, setting.text))
                break;
            if (parameter->readOnly)
                throw refusal(node, setting);
            throw failure("'" + setting.argument + "': " + parameter->name + " does not take that value (" +
                          node.getPluginLastError() + "; varnel-vst params <plugin> shows its range)");
        }
    }
}

} // namespace varnelvst::tool
