#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnel::extensions::vst {

/// A parameter in the plug-in's own units, as its edit controller converts them
/// (normalizedParamToPlain, getParamStringByValue). A plain value; filled afresh
/// by VSTModule::getParameterRange.
struct VSTParameterRange {
    std::uint32_t id = 0;      ///< VST 3 parameter id
    double minPlain = 0.0;     ///< the plain value of normalised 0
    double maxPlain = 0.0;     ///< the plain value of normalised 1
    double defaultPlain = 0.0; ///< the plain value of the default
    double plain = 0.0;        ///< the plain value of the controller's current value
    std::string text;          ///< the plug-in's text for the current value, UTF-8, without units
    std::string units;         ///< unit label, UTF-8
    /// For a stepped parameter of at most 1024 values, the plug-in's text for each in
    /// ascending order (step i of n steps is normalised i / n); empty otherwise.
    std::vector<std::string> valueNames;
};

} // namespace varnel::extensions::vst
