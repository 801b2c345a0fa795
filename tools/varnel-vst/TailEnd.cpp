#include "TailEnd.h"

#include <algorithm>

namespace varnelvst::tool {

namespace {

constexpr std::size_t kWindowsPerSecond = 10;
constexpr std::size_t kWindowsPerSpan = kWindowsPerSecond * TailEnd::kSpanSeconds;

} // namespace

TailEnd::TailEnd(int sampleRate, bool decay)
    : spanFrames(static_cast<std::uint64_t>(sampleRate) * kSpanSeconds),
      windowFrames(std::max<std::uint64_t>(1, static_cast<std::uint64_t>(sampleRate) / kWindowsPerSecond)),
      followDecay(decay) {}

void TailEnd::add(float level, float renderPeak) {
    if (decided)
        return;
    ++frames;
    const float quiet = std::max(kSilence, renderPeak * kBelowPeak);
    if (level >= quiet)
        audibleEnd = frames;
    if (frames - audibleEnd.value_or(0) >= spanFrames) {
        decided = audibleEnd.value_or(0);
        return;
    }
    windowPeak = std::max(windowPeak, level);
    if (frames % windowFrames == 0)
        closeWindow();
}

void TailEnd::closeWindow() {
    windowPeaks.push_back(windowPeak);
    windowPeak = 0.0f;
    ++windowsClosed;
    if (windowPeaks.size() > 2 * kWindowsPerSpan)
        windowPeaks.pop_front();
    if (!followDecay || windowPeaks.size() < 2 * kWindowsPerSpan)
        return;
    const auto middle = windowPeaks.begin() + kWindowsPerSpan;
    const float before = *std::max_element(windowPeaks.begin(), middle);
    const float last = *std::max_element(middle, windowPeaks.end());
    // Where the two spans compared begin: what lies before stays in any case.
    const std::uint64_t start = (windowsClosed - 2 * kWindowsPerSpan) * windowFrames;
    if (last > before * kDecayPerSpan)
        decided = std::min(start, audibleEnd.value_or(0));
    else
        decaySafe = start + windowFrames;
}

std::uint64_t TailEnd::certain() const {
    if (decided)
        return *decided;
    const std::uint64_t beforeQuiet = audibleEnd.value_or(0);
    return followDecay ? std::min(decaySafe, beforeQuiet) : beforeQuiet;
}

} // namespace varnelvst::tool
