#pragma once

#include <cstdint>

namespace varnelvst::tool {

// What a sound server calls once per period on its audio thread. An
// implementation never allocates, locks, logs or waits there.
class AudioCallback {
public:
    virtual ~AudioCallback() = default;

    // Audio thread. `inputs` and `outputs` are two planar channels of `frames`
    // frames each; every output sample must be written.
    virtual void process(const float* const* inputs, float* const* outputs,
                         std::uint32_t frames) noexcept = 0;
};

} // namespace varnelvst::tool
