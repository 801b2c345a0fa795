#pragma once

#include <cstdint>

namespace varnelvst::tool {

// A one-line progress bar on standard error, drawn only when standard error is
// a terminal (so logs and pipes stay clean) and redrawn only when the shown
// percentage changes.
class ProgressBar {
public:
    explicit ProgressBar(std::int64_t totalFrames);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(std::int64_t framesDone);
    // Erases the bar; also done by the destructor, e.g. when a failure ends the run.
    void finish();

private:
    std::int64_t total;
    bool visible;
    int shownPercent = -1;
};

} // namespace varnelvst::tool
