#include "SignalStats.h"

#include <cmath>
#include <limits>

namespace varnelvst::tool {

namespace {

double toDbfs(double amplitude) {
    return amplitude > 0.0 ? 20.0 * std::log10(amplitude) : -std::numeric_limits<double>::infinity();
}

} // namespace

void SignalStats::add(const float* interleaved, std::size_t samples) {
    for (std::size_t i = 0; i < samples; ++i) {
        const double sample = interleaved[i];
        if (!std::isfinite(sample)) {
            ++nonFinite;
            continue;
        }
        peak = std::max(peak, std::fabs(sample));
        sumOfSquares += sample * sample;
    }
    count += samples;
}

double SignalStats::peakDbfs() const {
    return toDbfs(peak);
}

double SignalStats::rmsDbfs() const {
    const std::uint64_t finite = count - nonFinite;
    return finite == 0 ? toDbfs(0.0) : toDbfs(std::sqrt(sumOfSquares / static_cast<double>(finite)));
}

} // namespace varnelvst::tool
