#pragma once

#include "ParameterTarget.h"

#include <optional>
#include <string>
#include <vector>

namespace varnelvst::tool {

// A parameter's values in words, as the plug-in writes them.

// A number at the start of `text` ("-6.0 dB" gives -6): digits with an optional
// sign, point and exponent; nothing for text that starts otherwise ("loud", "inf").
std::optional<double> leadingNumber(const std::string& text);

// "-80.000000" as "-80", "12.400001" as "12.4" (six significant digits); other
// text as it is.
std::string tidyNumber(const std::string& text);

// "a, b, c", each after `prefix`; of a long list only its ends.
std::string listedValues(const std::vector<std::string>& names, const std::string& prefix = {});

// The parameter's current value as the plug-in shows it, with its units:
// "-24 dB", "PoppySnare".
std::string shownValue(ParameterTarget& target, const varnel::extensions::vst::VSTParameter& parameter);

// What the parameter takes, as the plug-in writes its values: "one of Zero,
// PoppySnare, VocalLeveller" for named steps, else "a value from -80 to 0 dB".
std::string acceptedValues(ParameterTarget& target, const varnel::extensions::vst::VSTParameter& parameter);

// "from 0 to 1 dB": a plain range in the parameter's units.
std::string plainRangeText(double low, double high, const std::string& units);

} // namespace varnelvst::tool
