#pragma once

#include <cstddef>
#include <cstdint>

namespace varnelvst::tool {

// Peak and RMS level of a signal fed to it block by block, over all channels.
// NaN and infinite samples are counted apart and left out of the levels, which
// they would otherwise turn into nonsense.
class SignalStats {
public:
    void add(const float* interleaved, std::size_t samples);

    // Levels in dB relative to full scale (1.0); minus infinity for silence.
    double peakDbfs() const;
    double rmsDbfs() const;
    std::uint64_t nonFiniteSamples() const { return nonFinite; }

private:
    double peak = 0.0;
    double sumOfSquares = 0.0;
    std::uint64_t count = 0;
    std::uint64_t nonFinite = 0;
};

} // namespace varnelvst::tool
