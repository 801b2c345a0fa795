#pragma once

#include <cstdint>

namespace varnel::extensions::vst {

/// One point of a parameter's envelope (VSTModule::setParameterEnvelope): a frame
/// on the transport's timeline, which is the project time in samples the blocks
/// carry (VSTModule::setTransportPosition), and the normalised value (0 to 1)
/// the parameter has there.
struct VSTAutomationPoint {
    std::int64_t frame = 0; ///< Project time, in samples.
    double value = 0.0;     ///< Normalised value, 0 to 1.
};

} // namespace varnel::extensions::vst
