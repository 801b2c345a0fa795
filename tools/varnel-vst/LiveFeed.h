#pragma once

#include <VSTProcessorNode.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace varnelvst::tool {

// Keeps a node processing in real time on an audio thread of its own while an
// editor is open: silence, or a sound file played in a loop, in blocks paced by
// the clock (the output goes nowhere). The node must be set up for
// `sampleRate()` and blocks of kBlockFrames before start.
class LiveFeed {
public:
    static constexpr std::uint32_t kBlockFrames = 256;

    // Opens `input` (empty for silence) to learn its rate; throws a ToolError
    // for a file that cannot be read or has more than two channels.
    explicit LiveFeed(std::string input);
    ~LiveFeed();
    LiveFeed(const LiveFeed&) = delete;
    LiveFeed& operator=(const LiveFeed&) = delete;

    int sampleRate() const { return rate; }
    void start(varnel::extensions::vst::VSTProcessorNode& node);
    // Waits for the block in flight; the node may go after this.
    void stop();

private:
    void run(varnel::extensions::vst::VSTProcessorNode& node);

    std::string input;
    int rate = 48000;
    int channels = 2;
    std::atomic<bool> running{false};
    std::thread thread;
};

} // namespace varnelvst::tool
