#pragma once

#include <cstdint>
#include <string>

namespace varnel::extensions::vst {

/// One parameter of a hosted plug-in, as its edit controller describes it.
/// A plain value; VSTModule::getParameters fills it afresh on every call.
struct VSTParameter {
    std::string name;           ///< title, UTF-8
    std::uint32_t id = 0;       ///< VST 3 parameter id
    double defaultValue = 0.0;  ///< default as a normalised value (0 to 1)
    std::int32_t stepCount = 0; ///< 0: continuous; n discrete values have n - 1 steps
    std::string units;          ///< unit label, UTF-8
    bool readOnly = false;      ///< the plug-in reports this value; setting it has no effect
};

} // namespace varnel::extensions::vst
