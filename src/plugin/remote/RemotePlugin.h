#pragma once

// The plug-in loaded into a helper process of its own: a HostedPlugin whose every
// call goes over a control channel with a deadline, and whose blocks go through
// memory shared with the helper only.
#include "InternalVisibility.h"
#include "VSTIsolation.h"
#include "plugin/HostedPlugin.h"
#include "plugin/remote/BlockExchange.h"
#include "plugin/remote/ControlChannel.h"
#include "plugin/remote/HelperProcess.h"
#include "plugin/remote/Messages.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace varnel::extensions::vst {

class ParameterSlots;

/// Runs the plug-in in a helper process (varnel-vst-plugin-host, a PluginServer
/// around a LocalPlugin) and answers for it as LocalPlugin would, call for call.
///
/// What it adds is the helper's end. A watcher thread notices at once when the
/// helper's process ends (a crash, an exit, a kill from outside) and ends it when
/// the plug-in stays behind its blocks for `hangMilliseconds`; a control call
/// that is not answered within `callTimeoutMilliseconds` ends it too. From then
/// on `ending` tells how and why, every call answers at once with a neutral
/// result, and every block goes out dry. unload and load start a new helper.
///
/// Threads as for any HostedPlugin; the watcher only records the end (under a
/// lock the plug-in thread shares) and tells a waiting audio thread to stop.
class VARNELVST_INTERNAL RemotePlugin final : public HostedPlugin {
public:
    /// `edits` receives the controller's own edits, for the processor.
    RemotePlugin(PluginLink& link, ParameterSlots& edits, const VSTIsolation& limits);
    ~RemotePlugin() override;

    bool load(const std::string& path, const std::string& pluginClass, PluginFacts& facts,
              std::string& error) override;
    void unload() noexcept override;
    bool hasProcessor() const noexcept override { return loaded.load(std::memory_order_acquire); }
    const PluginEnding* ending() const override;
    bool hasEnded() const noexcept override { return ended.load(std::memory_order_acquire); }

    bool moveTo(LifecycleState target) override;
    LifecycleState lowestState() const override;
    LifecycleState highestState() const override;
    bool applySetup(const Steinberg::Vst::ProcessSetup& setup, LifecycleState running) override;
    std::optional<Steinberg::Vst::ProcessSetup> setupInForce() const override;
    bool repeatRefusedSwitch(bool processing) override;
    std::uint32_t latencySamples() const override { return status.latency; }
    std::uint32_t tailSamples() const override { return status.tail; }
    std::uint32_t currentLatency() override;
    void readTiming() override;
    std::uint64_t activations() const override { return status.activations; }

    bool hasController() const override { return controller; }
    std::vector<Steinberg::Vst::ParameterInfo> parameterInfos() override;
    double normalizedValue(Steinberg::Vst::ParamID id) override;
    void setNormalizedValue(Steinberg::Vst::ParamID id, double value) override;
    std::string valueText(Steinberg::Vst::ParamID id, double value) override;
    double toPlain(Steinberg::Vst::ParamID id, double normalized) override;
    double toNormalized(Steinberg::Vst::ParamID id, double plain) override;
    bool valueFromText(Steinberg::Vst::ParamID id, const std::string& text, double& value) override;

    Steinberg::int32 takeRestartRequests() override;
    void putBackRestartRequests(Steinberg::int32 flags) override;
    std::vector<std::pair<Steinberg::Vst::ParamID, double>> takeEdits() override;
    std::uint64_t takeIgnoredEdits(Steinberg::Vst::ParamID& lastId) override;

    bool captureState(PluginStateChunks& chunks, std::string& refusal) override;
    bool applyState(const PluginStateChunks& chunks, std::string& refusal) override;
    bool processParametersOnly(Steinberg::Vst::IParameterChanges& changes) override;

    bool editorAvailable(const std::string& platformType, std::string& reason) override;
    bool openEditor(void* parent, const std::string& platformType, std::string& reason) override;
    void closeEditor() noexcept override;
    bool isEditorOpen() const override;
    VSTEditorSize editorSize() const override { return status.editorSize; }
    bool resizeEditor(VSTEditorSize& size, std::string& reason) override;
    bool setEditorContentScale(float factor, std::string& reason) override;

    BlockOutcome process(const PluginBlock& block) noexcept override;

private:
    using Clock = std::chrono::steady_clock;
    /// Why the helper is taken for ended.
    enum class Cause {
        ended,          ///< its process ended (or its channel did)
        callUnanswered, ///< a control call passed its deadline
        blocksBehind,   ///< the plug-in stayed behind its blocks too long
        garbled,        ///< it answered what nobody can read
    };

    // The helper (RemotePluginHelper.cpp); plug-in thread unless said.
    bool startHelper(std::string& error);
    /// Closes the channel, lets the helper end (ending it when it does not), reaps
    /// it and lets go of everything shared with it. Blocks must be stopped.
    void stopHelper() noexcept;
    /// The watcher thread: waits for the helper's end and for its blocks to fall
    /// too far behind.
    void watch();
    /// Any thread but the audio thread. Records how and why the helper ended
    /// (ending it first unless `cause` is `ended`), once; a waiting block stops
    /// waiting.
    void conclude(Cause cause);
    /// What the helper was doing, as a reason names it ("during setState"), read
    /// after it ended.
    std::string activity() const;

    // Calls (RemotePluginCalls.cpp); plug-in thread.
    /// Sends `request` with what `write` adds, waits for the answer within the
    /// call timeout and hands its body to `read`. False at once once the helper
    /// ended, and when it ends or hangs during the call. A plug-in that threw is
    /// thrown again here, as a plug-in in this process would throw.
    template <typename Write, typename Read>
    bool ask(Request request, Write&& write, Read&& read);
    /// A request without arguments or answer.
    bool ask(Request request);
    /// The state and notes that end every answer: refusals go to the link, blocks
    /// stop and start as the helper's did.
    void takeStatus(MessageReader& in);
    /// Blocks stop before a step that stops the helper's blocks, as LocalPlugin
    /// stops them before its own.
    void stopBlocksBefore(LifecycleState target);

    // Audio side (RemotePluginProcess.cpp).
    BlockOutcome passDry(const PluginBlock& block) noexcept;
    void noteBehind(Clock::time_point now) noexcept;
    Clock::duration budgetFor(Steinberg::int32 frames) const noexcept;

    PluginLink& link;
    ParameterSlots& edits;
    const VSTIsolation limits;

    // The helper and what is shared with it; made by startHelper.
    HelperProcess helper;
    std::unique_ptr<ControlChannel> channel;
    SharedBlock* shared = nullptr;
    std::unique_ptr<BlockSender> sender;
    std::thread watcher;
    /// Written to stop the watcher.
    int watcherStop = -1;

    /// The end, written once under `endMutex` before `ended` is raised.
    std::mutex endMutex;
    PluginEnding endRecord;
    std::atomic<bool> ended{false};
    /// The request being waited for (a Request), or -1, for the reason.
    std::atomic<int> requestInFlight{-1};

    std::atomic<bool> loaded{false};
    bool controller = false;
    VST3::UID classId;
    /// What the helper said after its last answer.
    ReplyStatus status;
    bool blocksRunning = false;
    std::uint64_t ignoredEdits = 0;
    Steinberg::Vst::ParamID lastIgnoredId = 0;

    // Read by the audio thread; written while blocks are stopped.
    double sampleRate = 48000.0;
    Steinberg::int32 processMode = 0;
    // Written by the audio thread, read by the watcher: nanoseconds on the steady
    // clock, 0 for none.
    /// Since when blocks have been late or waiting, with no block in time since.
    std::atomic<std::int64_t> behindSince{0};
    /// Since when the block `awaitedSequence` has been unanswered.
    std::atomic<std::int64_t> awaitingSince{0};
    std::atomic<std::uint32_t> awaitedSequence{0};
    std::atomic<bool> behindTooLong{false};
};

} // namespace varnel::extensions::vst
