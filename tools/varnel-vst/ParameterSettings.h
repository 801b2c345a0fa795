#pragma once

#include "CommandLine.h"
#include "ParameterTarget.h"

#include <vector>

namespace varnelvst::tool {

// Applies the command line's parameter settings to the plug-in, in order. Titles
// and value names are matched as typed, else without regard to case when that
// is unambiguous. Every setting is checked: a title or id the plug-in does not
// have, a read-only parameter, value names that do not fit the steps, a plain
// value outside the range and text the plug-in does not read as a value in its
// range (it would take "loud" as 0 dB, or -400 dB as -80) all throw a usage
// ToolError that names the parameter and what it takes, with suggestions for
// names mistyped. `plugin` names the plug-in in the hint to list its parameters.
// Returns the parameters set, each once, in the order first set.
std::vector<varnel::extensions::vst::VSTParameter>
applyParameterSettings(ParameterTarget& target, const std::vector<ParameterSetting>& settings,
                       const std::string& plugin);

} // namespace varnelvst::tool
