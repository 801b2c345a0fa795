#include "ParameterSettings.h"

#include "NameMatch.h"
#include "ParameterText.h"
#include "ToolError.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace varnelvst::tool {

using varnel::extensions::vst::VSTParameter;
using varnel::extensions::vst::VSTParameterRange;

namespace {

// One setting against the plug-in's parameters, with what it needs to say why not.
class SettingCheck {
public:
    SettingCheck(ParameterTarget& target, const std::vector<VSTParameter>& parameters,
                 const ParameterSetting& setting, const std::string& plugin)
        : target(target), parameters(parameters), setting(setting), plugin(plugin) {}

    // The parameter the setting names, matched as ParameterSettings.h says.
    VSTParameter find() const {
        if (setting.kind == ParameterSetting::Kind::byId) {
            const auto found =
                std::find_if(parameters.begin(), parameters.end(),
                             [&](const VSTParameter& parameter) { return parameter.id == setting.id; });
            if (found == parameters.end())
                throw usageError("unknown parameter id " + std::to_string(setting.id) + " in '" +
                                 setting.argument + "'" + listHint());
            return *found;
        }
        std::vector<std::string> titles;
        for (const VSTParameter& parameter : parameters)
            titles.push_back(parameter.name);
        const NameMatch match = matchName(titles, setting.title);
        if (!match.index)
            throw usageError("unknown parameter '" + setting.title + "' in '" + setting.argument + "'" +
                             didYouMean(match.others) + listHint());
        // Where titles repeat the library sets the last one: so does the tool.
        const std::string& title = titles[*match.index];
        const auto last =
            std::find_if(parameters.rbegin(), parameters.rend(),
                         [&](const VSTParameter& parameter) { return parameter.name == title; });
        return *last;
    }

    ToolError refused(const std::string& why) const {
        return usageError("'" + setting.argument + "': " + why);
    }

    // The library's reason: a read-only parameter, a value it would not take.
    ToolError refusedByLibrary() const { return refused(target.lastError()); }

    ToolError doesNotTake(const VSTParameter& parameter, const std::string& what) const {
        return refused(parameter.name + " takes " + what + ", not " + valueTyped());
    }

    // The value as typed: "'loud'", "@d", "-400".
    std::string valueTyped() const {
        switch (setting.kind) {
        case ParameterSetting::Kind::byText:
            return "'" + setting.text + "'";
        case ParameterSetting::Kind::byValueName:
            return "@" + setting.valueName;
        default:
            return setting.argument.substr(setting.argument.rfind('=') + 1);
        }
    }

private:
    std::string listHint() const { return "; varnel-vst params " + plugin + " lists them"; }

    ParameterTarget& target;
    const std::vector<VSTParameter>& parameters;
    const ParameterSetting& setting;
    const std::string& plugin;
};

void checkValueNamesFit(const VSTParameter& parameter, const ParameterSetting& setting) {
    // A continuous parameter may be given any number of names (name i of n
    // stands for i / n); a stepped one needs exactly one per value.
    if (parameter.stepCount <= 0)
        return;
    const auto values = static_cast<std::size_t>(parameter.stepCount) + 1;
    if (setting.valueNames.size() != values)
        throw usageError("'" + setting.argument + "': " + parameter.name + " has " + std::to_string(values) +
                         " values but " + std::to_string(setting.valueNames.size()) + " names were given");
}

// The plain range, low end first; empty when the controller gave none.
std::optional<std::pair<double, double>> plainRange(ParameterTarget& target, const VSTParameter& parameter) {
    VSTParameterRange range;
    if (!target.range(parameter.id, range) || range.minPlain == range.maxPlain)
        return std::nullopt;
    return std::pair{std::min(range.minPlain, range.maxPlain), std::max(range.minPlain, range.maxPlain)};
}

// "a plain value from -80 to 0 dB", and what --set-text takes where its texts
// say something else (plug-ins that give every parameter a plain range of 0 to 1).
std::string plainValuesTaken(ParameterTarget& target, const VSTParameter& parameter,
                             const std::pair<double, double>& range) {
    const std::string plain = "a value " + plainRangeText(range.first, range.second, parameter.units);
    const std::string text = acceptedValues(target, parameter);
    return "a plain" + plain.substr(1) + (text == plain ? "" : " (--set-text takes " + text + ")");
}

// Whether the number lies within the plug-in's texts for its two ends, where they
// are numbers: beyond them the plug-in would quietly clamp it.
bool withinShownEnds(ParameterTarget& target, const VSTParameter& parameter, double number) {
    const std::optional<double> low = leadingNumber(target.valueText(parameter.id, 0.0));
    const std::optional<double> high = leadingNumber(target.valueText(parameter.id, 1.0));
    if (!low || !high)
        return true;
    const double slack = 1e-9 * std::max({1.0, std::fabs(*low), std::fabs(*high)});
    return number >= std::min(*low, *high) - slack && number <= std::max(*low, *high) + slack;
}

// Whether the value the plug-in made of a text that is no number reads as that
// text: a plug-in may read "loud" as 0 and say so only by showing "0".
bool readsAsTyped(const std::string& typed, const std::string& shown) {
    const std::string lowerTyped = lowerCase(typed), lowerShown = lowerCase(shown);
    return !lowerShown.empty() &&
           (lowerShown.rfind(lowerTyped, 0) == 0 || lowerTyped.rfind(lowerShown, 0) == 0);
}

void applyText(ParameterTarget& target, const SettingCheck& check, const VSTParameter& parameter,
               const std::string& text) {
    // A step's own name, as typed or but for case.
    VSTParameterRange range;
    target.range(parameter.id, range);
    if (const NameMatch step = matchName(range.valueNames, text); step.index) {
        if (!target.setText(parameter.name, range.valueNames[*step.index]))
            throw check.refusedByLibrary();
        return;
    }
    const std::optional<double> number = leadingNumber(text);
    const auto notTaken = [&] {
        return check.doesNotTake(parameter,
                                 acceptedValues(target, parameter) +
                                     (number ? "" : didYouMean(similarNames(range.valueNames, text))));
    };
    if (parameter.readOnly) {
        target.setText(parameter.name, text);
        throw check.refusedByLibrary();
    }
    if (number && !withinShownEnds(target, parameter, *number))
        throw notTaken();
    if (!target.setText(parameter.name, text))
        throw notTaken();
    if (!number && !readsAsTyped(text, target.valueText(parameter.id, target.value(parameter.id))))
        throw notTaken();
}

void applyPlain(ParameterTarget& target, const SettingCheck& check, const VSTParameter& parameter,
                double plain) {
    const std::optional<std::pair<double, double>> range = plainRange(target, parameter);
    if (range && !parameter.readOnly && (plain < range->first || plain > range->second))
        throw check.doesNotTake(parameter, plainValuesTaken(target, parameter, *range));
    if (!target.setPlain(parameter.name, plain))
        throw check.refusedByLibrary();
}

// The caller's names for a parameter's values and the plug-in's own, matched as
// typed, else but for case.
void applyValueName(ParameterTarget& target, const SettingCheck& check, const VSTParameter& parameter,
                    const std::vector<std::string>& givenNames, const std::string& valueName) {
    VSTParameterRange range;
    target.range(parameter.id, range);
    std::vector<std::string> names = givenNames;
    names.insert(names.end(), range.valueNames.begin(), range.valueNames.end());
    NameMatch match = matchName(names, valueName);
    if (!match.index) {
        // The plug-in's numbers as params shows them: "0.5" for "0.500000".
        std::vector<std::string> tidy;
        for (const std::string& name : names)
            tidy.push_back(tidyNumber(name));
        match = matchName(tidy, valueName);
    }
    if (!match.index) {
        std::vector<std::string> shown = givenNames;
        for (const std::string& name : range.valueNames)
            shown.push_back(tidyNumber(name));
        throw check.refused(parameter.name + " has no value named " + valueName +
                            (shown.empty() ? "" : "; it takes " + listedValues(shown, "@")));
    }
    if (!target.setByValueName(parameter.name, names[*match.index]))
        throw check.refusedByLibrary();
}

} // namespace

std::vector<VSTParameter> applyParameterSettings(ParameterTarget& target,
                                                 const std::vector<ParameterSetting>& settings,
                                                 const std::string& plugin) {
    std::vector<VSTParameter> set;
    if (settings.empty())
        return set;
    const std::vector<VSTParameter> parameters = target.parameters();
    std::map<std::uint32_t, std::vector<std::string>> givenNames; // by --value-names, per parameter
    for (const ParameterSetting& setting : settings) {
        using Kind = ParameterSetting::Kind;
        const SettingCheck check(target, parameters, setting, plugin);
        const VSTParameter parameter = check.find();
        switch (setting.kind) {
        case Kind::byTitle:
            if (!target.set(parameter.name, setting.value))
                throw check.refusedByLibrary();
            break;
        case Kind::byId:
            target.set(parameter.id, setting.value);
            if (parameter.readOnly)
                throw check.refusedByLibrary();
            break;
        case Kind::valueNames:
            checkValueNamesFit(parameter, setting);
            if (!target.setValueNames(parameter.name, setting.valueNames))
                throw check.refusedByLibrary();
            givenNames[parameter.id] = setting.valueNames;
            continue; // names only: nothing is set
        case Kind::byValueName:
            applyValueName(target, check, parameter, givenNames[parameter.id], setting.valueName);
            break;
        case Kind::byPlain:
            applyPlain(target, check, parameter, setting.plain);
            break;
        case Kind::byText:
            applyText(target, check, parameter, setting.text);
            break;
        }
        if (std::none_of(set.begin(), set.end(),
                         [&](const VSTParameter& one) { return one.id == parameter.id; }))
            set.push_back(parameter);
    }
    return set;
}

} // namespace varnelvst::tool
