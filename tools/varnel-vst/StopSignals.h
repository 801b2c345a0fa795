#pragma once

#include <csignal>

namespace varnelvst::tool {

// While one lives, SIGINT (Ctrl+C) and SIGTERM ask the command to end cleanly
// (with its state saved) instead of killing the tool; a second one kills it at
// once, should a plug-in hang. One at a time.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Whether a signal asked to end.
    bool requested() const;

private:
    struct sigaction previousInterrupt {};
    struct sigaction previousTerminate {};
};

} // namespace varnelvst::tool
