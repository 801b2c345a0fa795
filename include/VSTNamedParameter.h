#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

namespace varnel::extensions::vst {

/// One entry of a module's by-name parameter table, keyed by the parameter's title.
/// `valueNames` maps names that the application gave to the steps of a stepped
/// parameter to the normalised value each stands for.
struct VSTNamedParameter {
    std::uint32_t id = 0;
    std::unordered_map<std::string, float> valueNames;
    double defaultValue = 0.0;
    std::int32_t stepCount = 0;
};

} // namespace varnel::extensions::vst
