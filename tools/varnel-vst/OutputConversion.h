#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct soxr;

namespace varnelvst::tool {

// What the rendered stereo signal becomes on its way into the file: the output's
// channels (two to one by their mean, which keeps two equal channels exactly),
// its sample rate (resampled by libsoxr, at its very high quality) and, for
// integer samples, the nearest step of their depth (libsndfile would cut the
// fraction off, which adds half a step of offset), after TPDF dither of one
// step when asked. Dither leaves samples that lie on a step as they are, so
// digital silence and a sound that passed through untouched stay exact; its
// noise is drawn from a fixed seed, so the same render gives the same bytes.
class OutputConversion {
public:
    using Sink = std::function<void(const float* interleaved, std::size_t frames)>;

    // `integerBits` 0 for floating-point (or lossy) samples, which are left as they are.
    OutputConversion(int outputChannels, int renderRate, int outputRate, int integerBits, bool dither,
                     Sink sink);
    ~OutputConversion();
    OutputConversion(const OutputConversion&) = delete;
    OutputConversion& operator=(const OutputConversion&) = delete;

    // Rendered interleaved stereo frames in; converted ones to the sink.
    void add(const float* interleavedStereo, std::size_t frames);
    // After the last frame: what the resampler still holds.
    void finish();

private:
    void deliver(float* interleaved, std::size_t frames);

    const int channels;
    const double steps; // per unit of full scale at the output's depth; 0 for no rounding
    const bool dither;
    Sink sink;
    soxr* resampler = nullptr;
    double rateRatio = 1.0;
    std::vector<float> mixed, resampled;
    std::uint64_t noiseState = 0x9E3779B97F4A7C15u;
};

} // namespace varnelvst::tool
