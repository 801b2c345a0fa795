#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace varnelvst::tool {

// A one-line progress bar on standard error, drawn only when standard error is
// a terminal (so logs and pipes stay clean), with the time elapsed and an
// estimate of the time left; redrawn only when what it shows changes.
class ProgressBar {
public:
    // `counted` names what is counted for a bar that shows "3/20 files"; empty
    // for a percentage (of frames).
    explicit ProgressBar(std::int64_t total, std::string counted = {});
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(std::int64_t done);
    // Erases the bar; also done by the destructor, e.g. when a failure ends the
    // run. The next update draws it again.
    void finish();

private:
    std::int64_t total;
    std::string counted;
    bool visible;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::string shown; // the line drawn last; empty while none is
};

} // namespace varnelvst::tool
