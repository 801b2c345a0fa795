#include "Progress.h"

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace varnelvst::tool {

namespace {

constexpr int kBarWidth = 30;

// "0:07", "12:34", "1:02:03".
std::string clockText(std::int64_t seconds) {
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                      static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
    return text;
}

} // namespace

ProgressBar::ProgressBar(std::int64_t totalDone, std::string what)
    : total(totalDone), counted(std::move(what)), visible(totalDone > 0 && ::isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::update(std::int64_t done) {
    if (!visible)
        return;
    done = std::clamp<std::int64_t>(done, 0, total);
    const int percent = static_cast<int>(done * 100 / total);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int filled = percent * kBarWidth / 100;
    std::string line = "processing [" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(kBarWidth - filled), '-') + "] ";
    line += counted.empty() ? std::to_string(percent) + "%"
                            : std::to_string(done) + "/" + std::to_string(total) + " " + counted;
    line += ", " + clockText(static_cast<std::int64_t>(elapsed)) + " elapsed";
    // The rest at the pace so far, once there is a pace.
    if (done > 0 && done < total)
        line += ", " +
                clockText(static_cast<std::int64_t>(elapsed * static_cast<double>(total - done) / done)) +
                " left";
    if (line == shown)
        return;
    shown = line;
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
}

void ProgressBar::finish() {
    if (!visible || shown.empty())
        return;
    // Clears the line, so that what follows starts on a clean one.
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown.clear();
}

} // namespace varnelvst::tool
