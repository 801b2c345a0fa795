#include "live/LivePlayback.h"

#include "ToolError.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace varnelvst::tool {

namespace {

// The file is read this far ahead (or eight periods, when more): a reading
// thread that stalls this long still leaves no gap.
constexpr double kReadAheadSeconds = 0.25;

} // namespace

LivePlayback::LivePlayback(JackSession& server, Source source) : session(server) {
    if (source.file.empty())
        return;
    feeder = std::make_unique<FileFeeder>(source.file, source.loop);
    if (feeder->sampleRate() != session.sampleRate())
        throw failure(source.file + " is at " + std::to_string(feeder->sampleRate()) +
                      " Hz and the JACK server '" + JackSession::serverName() + "' runs at " +
                      std::to_string(session.sampleRate()) +
                      " Hz; varnel-vst plays files at the server's rate");
    ring = std::make_unique<SampleRing>(
        std::max<std::size_t>(static_cast<std::size_t>(kReadAheadSeconds * session.sampleRate()),
                              8 * std::size_t{session.bufferFrames()}));
}

LivePlayback::~LivePlayback() {
    stop();
}

void LivePlayback::start(std::vector<varnel::extensions::vst::VSTProcessorNode*> nodes,
                         std::uint64_t framesAfterEnd, const std::string& device) {
    playing = std::make_unique<LivePlayer>(std::move(nodes), session.bufferFrames(), session.sampleRate(),
                                           ring.get(), feeder.get(), framesAfterEnd);
    if (feeder)
        feeder->start(*ring);
    session.start(*playing, device, !feeder);
    // Connected: the sound starts with the next period, none of it lost.
    playing->begin();
}

void LivePlayback::drain() const {
    std::this_thread::sleep_for(std::chrono::duration<double>(
        static_cast<double>(session.outputLatencyFrames() + session.bufferFrames()) / session.sampleRate()));
}

void LivePlayback::stop() {
    session.stop();
    if (feeder)
        feeder->stop();
}

std::uint32_t LivePlayback::heardLatencyFrames(std::uint32_t chainLatency) const {
    return session.outputLatencyFrames() + (feeder ? 0 : session.inputLatencyFrames()) + chainLatency;
}

} // namespace varnelvst::tool
