#pragma once

// A thread of the plug-in's own that asks the host for kLatencyChanged a set time
// after being armed, as JUCE's plug-in client does from its message thread some
// 20 ms after its processor's latency moved, and once after every activation.

#include <atomic>
#include <chrono>
#include <thread>

namespace testplugin {

class LaterRestarts {
public:
    ~LaterRestarts() { stop(); }

    // Control thread: starts the thread if it is not running.
    void start(std::chrono::milliseconds delay);
    // Control thread: ends it; no request is sent after this returns.
    void stop();
    // Any thread, the audio thread too: without locks or allocation.
    void arm() noexcept { armed_.store(true); }

private:
    void run(std::chrono::milliseconds delay);

    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> armed_{false};
};

} // namespace testplugin
