#include "ParameterText.h"

#include "TextTable.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace varnelvst::tool {

using varnel::extensions::vst::VSTParameter;
using varnel::extensions::vst::VSTParameterRange;

namespace {

// A list of more values than this is shown by its ends.
constexpr std::size_t kNamesShown = 12;

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The length of the number at the start of `text`, 0 for none.
std::size_t numberLength(const std::string& text) {
    std::size_t at = 0;
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        ++at;
    std::size_t digits = 0;
    for (; at < text.size() && isDigit(text[at]); ++at)
        ++digits;
    if (at < text.size() && text[at] == '.')
        for (++at; at < text.size() && isDigit(text[at]); ++at)
            ++digits;
    if (digits == 0)
        return 0;
    if (at + 1 < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        std::size_t exponent = at + 1;
        if (text[exponent] == '-' || text[exponent] == '+')
            ++exponent;
        if (exponent < text.size() && isDigit(text[exponent])) {
            for (at = exponent; at < text.size() && isDigit(text[at]);)
                ++at;
        }
    }
    return at;
}

// The text with the units after it, unless the plug-in wrote them already.
std::string withUnits(const std::string& text, const std::string& unitsGiven) {
    // Some plug-ins give a blank for none.
    const std::size_t first = unitsGiven.find_first_not_of(' ');
    const std::string units = first == std::string::npos
                                  ? std::string()
                                  : unitsGiven.substr(first, unitsGiven.find_last_not_of(' ') + 1 - first);
    if (units.empty() ||
        (text.size() >= units.size() && text.compare(text.size() - units.size(), units.size(), units) == 0))
        return text;
    return text + " " + units;
}

std::string plainText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// "from -80 to 0 dB": units once, unless the plug-in writes them itself.
std::string rangeText(const std::string& low, const std::string& high, const std::string& units) {
    const std::string shownHigh = withUnits(high, units);
    return "from " + (shownHigh == high ? withUnits(low, units) : low) + " to " + shownHigh;
}

} // namespace

std::optional<double> leadingNumber(const std::string& text) {
    const std::size_t length = numberLength(text);
    if (length == 0)
        return std::nullopt;
    return std::strtod(text.substr(0, length).c_str(), nullptr);
}

std::string tidyNumber(const std::string& text) {
    const std::size_t length = numberLength(text);
    const std::size_t point = text.find('.');
    if (length == 0 || point == std::string::npos || point >= length || text.find_first_of("eE") < length)
        return text;
    std::size_t end = length;
    while (text[end - 1] == '0')
        --end;
    if (text[end - 1] == '.')
        --end;
    std::string number = text.substr(0, end);
    // Six significant digits, as a float holds them: "12.400001" is 12.4.
    char rounded[32];
    std::snprintf(rounded, sizeof rounded, "%.6g", std::strtod(number.c_str(), nullptr));
    if (std::string(rounded).find_first_of("eE") == std::string::npos)
        number = rounded;
    if (number == "-0" || number == "+0")
        number = "0";
    return number + text.substr(length);
}

std::string listedValues(const std::vector<std::string>& names, const std::string& prefix) {
    std::vector<std::string> shown;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names.size() > kNamesShown && i == kNamesShown / 2) {
            shown.push_back("...");
            i = names.size() - kNamesShown / 2;
        }
        shown.push_back(prefix + names[i]);
    }
    return joined(shown, ", ");
}

std::string shownValue(ParameterTarget& target, const VSTParameter& parameter) {
    const std::string text = target.valueText(parameter.id, target.value(parameter.id));
    if (text.empty())
        return plainText(target.value(parameter.id)) + " (normalised)";
    return withUnits(tidyNumber(text), parameter.units);
}

std::string acceptedValues(ParameterTarget& target, const VSTParameter& parameter) {
    VSTParameterRange range;
    target.range(parameter.id, range);
    if (!range.valueNames.empty()) {
        std::vector<std::string> names;
        for (const std::string& name : range.valueNames)
            names.push_back(tidyNumber(name));
        return "one of " + listedValues(names);
    }
    std::string low = tidyNumber(target.valueText(parameter.id, 0.0));
    std::string high = tidyNumber(target.valueText(parameter.id, 1.0));
    if (low.empty() || high.empty()) {
        low = plainText(range.minPlain);
        high = plainText(range.maxPlain);
    }
    return "a value " + rangeText(low, high, parameter.units);
}

std::string plainRangeText(double low, double high, const std::string& units) {
    return rangeText(plainText(low), plainText(high), units);
}

} // namespace varnelvst::tool
