#pragma once

#include "InternalVisibility.h"
#include "plugin/HostedPlugin.h"
#include "plugin/remote/BlockExchange.h"
#include "plugin/remote/ControlChannel.h"
#include "plugin/remote/Messages.h"
#include "realtime/AudioGate.h"
#include "realtime/OutputParameterSlots.h"
#include "realtime/ParameterSlots.h"

#include "public.sdk/source/vst/hosting/parameterchanges.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace varnel::extensions::vst {

class LocalPlugin;

/// The helper process's side of an isolated plug-in: a LocalPlugin, driven by the
/// host's requests over the control channel and by its blocks through the shared
/// block memory.
///
/// Threads: the caller of `run` reads requests and writes answers; each request
/// runs on this process's plug-in thread (VST 3's UI thread, which also serves
/// the editor's run loop), one at a time. A thread of its own waits for blocks
/// and runs each through the plug-in: the helper's audio thread. Blocks reach the
/// plug-in only between the plug-in's startBlocks and stopBlocks, as in the host.
class VARNELVST_INTERNAL PluginServer final : public PluginLink {
public:
    /// Takes over the control socket `control`; `shared` stays mapped while this lives.
    PluginServer(int control, SharedBlock& shared);
    ~PluginServer();

    /// Serves requests until the host closes the channel (or goes away).
    void run();

    // PluginLink: what the plug-in side tells, kept for the next answer.
    void refused(const std::string& reason) override;
    void editorResized(VSTEditorSize size) override;
    void stopBlocks() noexcept override;
    void startBlocks(Steinberg::int32 maxFrames, double sampleRate) override;
    void calling(const char* what) noexcept override;

private:
    /// Plug-in thread. Carries out one request and writes its answer.
    void serve(Request request, MessageReader& in, MessageWriter& out);
    void serveLoad(MessageReader& in, MessageWriter& out);
    /// Plug-in thread. The state and notes every answer begins with; clears the notes.
    void writeStatus(MessageWriter& out);
    /// After a load, and when the plug-in renames its parameters: the ids its edits
    /// and reports are kept for.
    void listParameters(bool reserve);
    void noteCall(const char* what) noexcept;

    /// The helper's audio thread: waits for blocks and answers them, for good.
    void serveBlocks();
    void runBlock() noexcept;

    ControlChannel channel;
    SharedBlock& shared;
    std::unique_ptr<LocalPlugin> plugin;
    /// The controller's edits and the processor's reports, as the plug-in side
    /// leaves them; sent back with each block (and each catch-up for edits).
    ParameterSlots edits;
    OutputParameterSlots reports;
    /// A block's input changes as the host sent them; made with room for every
    /// listed id before blocks run.
    Steinberg::Vst::ParameterChanges inputChanges{0};
    Steinberg::Vst::ProcessContext context{};
    AudioGate gate;
    std::thread blockThread;

    // Notes for the next answer; plug-in thread.
    std::vector<std::string> refusals;
    std::vector<VSTEditorSize> resizes;
    bool blocksStopped = false;
    bool blocksStarted = false;
    Steinberg::int32 startedFrames = 0;
    double startedRate = 0.0;
};

} // namespace varnel::extensions::vst
