// `varnel-vst play <plugin> <file>`: a sound file, or the sound input, through a
// plug-in or a chain of them to a JACK server in real time, with a status line.
#include "Commands.h"
#include "FilePlan.h"
#include "RenderChain.h"
#include "StandardOutput.h"
#include "StopSignals.h"
#include "Summary.h"
#include "ToolError.h"
#include "live/JackSession.h"
#include "live/LivePlayback.h"
#include "live/LiveStatus.h"

#include <VSTModule.h>

#include <algorithm>
#include <chrono>
#include <ostream>
#include <thread>

namespace varnelvst::tool {

using varnel::extensions::vst::VSTModule;
using varnel::extensions::vst::VSTProcessingMode;
using varnel::extensions::vst::VSTProcessorNode;

namespace {

// A tail longer than this (an endless one included) is cut off after the file.
constexpr double kLiveTailCapSeconds = 5.0;
constexpr auto kStatusInterval = std::chrono::milliseconds(200);

std::unique_ptr<JackSession> openSession() {
    std::unique_ptr<JackSession> session = JackSession::open("varnel-vst");
    if (!session)
        throw failure(JackSession::notRunning());
    return session;
}

int listDevices() {
    if (!JackSession::listDevices(toolOutput()))
        throw failure(JackSession::notRunning());
    return kExitOk;
}

// One play as a short list of steps: load and set up the chain for the
// server, play until the end, Ctrl+C or the server's word, save the presets,
// sum up.
class PlayRun {
public:
    explicit PlayRun(const PlayCommand& command) : command(command), chainOptions(command.chain) {}

    int run() {
        checkPlayFiles(command);
        const std::vector<PluginLocation> plugins = locateChain(chainOptions);
        session = openSession();
        if (command.bufferFrames != 0)
            session->requestBufferFrames(command.bufferFrames);
        playback =
            std::make_unique<LivePlayback>(*session, LivePlayback::Source{command.input, command.loop});
        prepare(plugins);
        toolOutput() << "Playing " << (command.live ? std::string("the sound input") : command.input)
                     << " through " << chainName() << " to "
                     << (command.device.empty() ? std::string("the sound card") : command.device)
                     << " on the JACK server '" << JackSession::serverName() << "' (" << session->sampleRate()
                     << " Hz, periods of " << session->bufferFrames() << " frames); Ctrl+C ends" << std::endl;
        playback->start(nodes(), framesAfterEnd(), command.device);
        const bool ended = playUntilTheEnd();
        if (ended)
            playback->drain();
        playback->stop();
        savePresets();
        printPlaySummary();
        if (session->shutDown())
            throw failure("the JACK server '" + JackSession::serverName() +
                          "' shut the client down: " + session->shutDownReason());
        return kExitOk;
    }

private:
    void prepare(const std::vector<PluginLocation>& plugins) {
        // The plug-ins get the server's periods; a larger one later comes in pieces of this.
        chainOptions.blockFrames = session->bufferFrames();
        chain = createChain(chainOptions, plugins);
        prepareChain(chain, chainOptions, session->sampleRate(), VSTProcessingMode::Realtime);
        for (const ChainNode& stage : chain) {
            failuresBefore.push_back(stage.node->getAudioThreadFailureCount());
            // A bypassed plug-in delays nothing and leaves no tail.
            if (command.chain.bypass)
                continue;
            chainLatency += stage.node->getPluginLatencySamples();
            chainTail = addTail(chainTail, stage.node->getPluginTailSamples());
        }
    }

    std::vector<VSTProcessorNode*> nodes() const {
        std::vector<VSTProcessorNode*> all;
        for (const ChainNode& stage : chain)
            all.push_back(stage.node.get());
        return all;
    }

    // After the file's end: what the chain still holds, its latency and its tail.
    std::uint64_t framesAfterEnd() const {
        const auto cap = static_cast<std::uint64_t>(kLiveTailCapSeconds * session->sampleRate());
        const std::uint64_t tail =
            chainTail == VSTModule::kInfiniteTail ? cap : std::min<std::uint64_t>(chainTail, cap);
        return std::uint64_t{chainLatency} + tail;
    }

    // Whether the sound came to its end (not Ctrl+C, nor the server).
    bool playUntilTheEnd() {
        StatusLine line;
        while (!signals.requested() && !session->shutDown()) {
            if (playback->player().ended())
                return true;
            std::this_thread::sleep_for(kStatusInterval);
            line.show(describeStatus(status(playback->player().meters().take())));
        }
        return false;
    }

    LiveStatus status(const LiveMeters::Window& meters) const {
        LiveStatus now;
        now.seconds = static_cast<double>(playback->player().meters().framesPlayed()) / session->sampleRate();
        now.meters = meters;
        now.xruns = session->xruns();
        now.latencyFrames = playback->heardLatencyFrames(chainLatency);
        now.sampleRate = session->sampleRate();
        return now;
    }

    void savePresets() {
        for (ChainNode& stage : chain) {
            const std::string& preset = stage.options->savePreset;
            if (preset.empty())
                continue;
            if (!stage.node->savePluginPreset(preset))
                throw failure("could not save the state of " + stage.plugin.argument + " to " + preset);
            toolOutput() << "Saved the state of " << stage.plugin.argument << " to " << preset << std::endl;
        }
    }

    std::string chainName() const {
        std::string name;
        for (const ChainNode& stage : chain)
            name += (name.empty() ? "" : " then ") + stage.plugin.argument;
        return name + (command.chain.bypass ? " (bypassed)" : "");
    }

    void printPlaySummary() const {
        const LivePlayer& player = playback->player();
        const LiveStatus whole = status(player.meters().total());
        const std::uint32_t device = whole.latencyFrames - chainLatency;
        std::ostream& out = toolOutput();
        for (std::size_t i = 0; i < chain.size(); ++i)
            out << (i == 0 ? "plug-in   " : "then      ") << chain[i].plugin.argument << " ("
                << chain[i].plugin.path << ")\n";
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", whole.seconds);
        out << "played    " << seconds << " s at " << whole.sampleRate << " Hz in periods of "
            << session->bufferFrames() << " frames\n"
            << "load      " << percent(whole.meters.load) << " of each period on average, "
            << percent(whole.meters.peakLoad) << " at most\n"
            << "xruns     " << whole.xruns << '\n'
            << "input     " << describeLevels(player.inputLevels()) << '\n'
            << "output    " << describeLevels(player.outputLevels()) << '\n'
            << "latency   " << describeLatency(whole.latencyFrames, whole.sampleRate) << " heard: " << device
            << " frames of the device, " << chainLatency << " of the plug-ins\n";
        if (player.meters().lateFrames() > 0)
            out << "late      " << player.meters().lateFrames()
                << " frames of the file came too late from the disk and were played as silence\n";
        out.flush();
        for (std::size_t i = 0; i < failuresBefore.size(); ++i) {
            const std::uint64_t failed = chain[i].node->getAudioThreadFailureCount() - failuresBefore[i];
            if (failed > 0)
                printWarning(chain[i].plugin.argument + " reported a processing failure in " +
                             std::to_string(failed) + " blocks");
        }
    }

    const PlayCommand& command;
    ProcessCommand chainOptions; // with the server's period as the block size
    const StopSignals signals;
    std::unique_ptr<JackSession> session;
    // Declared before the playback, so that the server stops calling before the nodes go.
    NodeChain chain;
    std::unique_ptr<LivePlayback> playback;
    std::uint32_t chainLatency = 0;
    std::uint32_t chainTail = 0;
    std::vector<std::uint64_t> failuresBefore;
};

} // namespace

int runPlay(const PlayCommand& command) {
    if (command.listDevices)
        return listDevices();
    return PlayRun(command).run();
}

} // namespace varnelvst::tool
