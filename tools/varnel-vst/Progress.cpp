#include "Progress.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include <unistd.h>

namespace varnelvst::tool {

namespace {

constexpr int kBarWidth = 40;

} // namespace

ProgressBar::ProgressBar(std::int64_t totalFrames)
    : total(totalFrames), visible(totalFrames > 0 && ::isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::update(std::int64_t framesDone) {
    if (!visible)
        return;
    const int percent = static_cast<int>(std::clamp<std::int64_t>(framesDone * 100 / total, 0, 100));
    if (percent == shownPercent)
        return;
    shownPercent = percent;
    const int filled = percent * kBarWidth / 100;
    const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), '-');
    std::fprintf(stderr, "\rprocessing [%s] %3d%%", bar.c_str(), percent);
    std::fflush(stderr);
}

void ProgressBar::finish() {
    if (!visible || shownPercent < 0)
        return;
    // Clears the line, so that what follows starts on a clean one.
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shownPercent = -1;
}

} // namespace varnelvst::tool
