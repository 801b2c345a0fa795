#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

namespace varnel::extensions::vst {

/// One entry of a module's by-name parameter table, keyed by the parameter's title.
/// `valueNames` maps names that the application gave to the steps of a stepped
/// parameter to the normalised value each stands for.
struct VSTNamedParameter {
    std::uint32_t id = 0;                              ///< VST 3 parameter id
    std::unordered_map<std::string, float> valueNames; ///< name given by the application -> normalised value
    double defaultValue = 0.0;                         ///< default as a normalised value (0 to 1)
    std::int32_t stepCount = 0;                        ///< 0: continuous; n discrete values have n - 1 steps
};

} // namespace varnel::extensions::vst
