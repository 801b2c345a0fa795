#pragma once

#include "live/FileFeeder.h"
#include "live/JackSession.h"
#include "live/LivePlayer.h"
#include "live/SampleRing.h"

#include <VSTProcessorNode.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varnelvst::tool {

// Sound from a file or from the sound input, through a chain of nodes, to a
// JACK server in real time: the server's callback runs the nodes (LivePlayer)
// while a thread of its own reads the file ahead into a lock-free ring
// (FileFeeder). Control calls come from one thread.
class LivePlayback {
public:
    // A file to play (looped or not), or with an empty file the sound input.
    struct Source {
        std::string file;
        bool loop = false;
    };

    // Opens the file; throws a ToolError for one that cannot be played at the
    // server's rate. Nothing plays yet.
    LivePlayback(JackSession& session, Source source);
    ~LivePlayback();
    LivePlayback(const LivePlayback&) = delete;
    LivePlayback& operator=(const LivePlayback&) = delete;

    // Plays through `nodes` (set up in real time for the server's rate and
    // blocks of its period) to `device` (JackSession::start); after a file's end
    // it plays on for `framesAfterEnd`.
    void start(std::vector<varnel::extensions::vst::VSTProcessorNode*> nodes, std::uint64_t framesAfterEnd,
               const std::string& device);
    // Waits as long as the device still holds sound, so that the end is heard.
    void drain() const;
    // Stops the sound and the file's reading; the nodes may go after this.
    void stop();

    bool playsInput() const { return !feeder; }
    // Once started.
    LivePlayer& player() { return *playing; }
    const LivePlayer& player() const { return *playing; }
    // What is heard late, in frames: the device's buffers and `chainLatency`.
    std::uint32_t heardLatencyFrames(std::uint32_t chainLatency) const;

private:
    JackSession& session;
    std::unique_ptr<FileFeeder> feeder;
    std::unique_ptr<SampleRing> ring;
    std::unique_ptr<LivePlayer> playing;
};

} // namespace varnelvst::tool
