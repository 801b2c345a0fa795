#pragma once

// VSTModule's private record: three records, one per owner, and the module's
// policy over the plug-in behind HostedPlugin.
#include "InternalVisibility.h"
#include "VSTModule.h"
#include "module/CallerSettings.h"
#include "module/PluginThreadSide.h"
#include "realtime/AudioSide.h"
#include "thread/PluginThread.h"

#include <exception>
#include <string>
#include <type_traits>

namespace varnel::extensions::vst {

/// Reasons that several of the module's calls give, and the logged line of one.
constexpr const char* kNoControllerReason = "Edit controller interface is not available.";
constexpr const char* kNoProcessorReason = "No audio processor available.";
constexpr const char* kNoProcessorMessage = "[VSTModule] No audio processor available.";
constexpr const char* kReadOnlyReason = "Read-only parameter not set: ";

struct VARNELVST_INTERNAL VSTModule::Internals final : PluginLink {
    Internals();
    ~Internals();

    /// What the caller set; plug-in thread.
    CallerSettings settings;
    /// What the plug-in thread keeps of the plug-in, the plug-in itself included.
    PluginThreadSide side;
    /// What the audio thread owns, and the hand-offs to it.
    AudioSide audio;

    HostedPlugin& plugin() { return *side.plugin; }
    bool loaded() const { return side.plugin->hasProcessor(); }

    // PluginLink: the plug-in side's reports.
    void refused(const std::string& reason) override { refuse(reason); }
    void editorResized(VSTEditorSize size) override;
    void stopBlocks() noexcept override { audio.gate.closeGate(); }
    void startBlocks(Steinberg::int32 maxFrames, double sampleRate) override;

    // Entry (VSTModuleEntry.cpp): every control call runs on the plug-in thread.
    /// Runs a control call there: first catches up with what the plug-in and the
    /// audio thread did since the last call, then runs `operation`, then tells the
    /// listener what happened. What the plug-in throws ends the call with one line
    /// and the neutral result (false, 0, empty).
    template <typename Operation>
    auto enter(const char* what, Operation&& operation) -> std::invoke_result_t<Operation&> {
        using Result = std::invoke_result_t<Operation&>;
        return PluginThread::instance().call([&]() -> Result {
            try {
                catchUp(false);
                // An isolated plug-in whose process ended answers nothing any more:
                // the call fails at once, with the reason.
                if (const PluginEnding* ending = plugin().ending()) {
                    side.lastError = ending->reason;
                    deliverEvents();
                    if constexpr (std::is_void_v<Result>)
                        return;
                    else
                        return Result{};
                }
                if constexpr (std::is_void_v<Result>) {
                    operation();
                    deliverEvents();
                    return;
                } else {
                    Result result = operation();
                    deliverEvents();
                    return result;
                }
            } catch (const std::exception& error) {
                reportThrow(what, error.what());
            } catch (...) {
                reportThrow(what, "an unknown exception");
            }
            if constexpr (!std::is_void_v<Result>)
                return Result{};
        });
    }
    /// Runs a query of the module's own records on the plug-in thread, where they
    /// are written; no catch-up, no plug-in call.
    template <typename Operation>
    auto inspect(Operation&& operation) const -> std::invoke_result_t<Operation&> {
        return PluginThread::instance().call(operation);
    }
    void reportThrow(const char* what, const std::string& reason);
    /// Logs `reason` and keeps it for getLastError; false.
    bool refuse(const std::string& reason);
    /// Plug-in thread: logs what the audio thread counted (not from the service
    /// timer), passes what the processor reported on to the controller, takes note
    /// of the controller's own edits, and acts on restart requests. The service
    /// timer runs it too (`fromService`).
    void catchUp(bool fromService);
    /// Frees automation the audio thread is done with, and passes the values it
    /// played on to the controller.
    void takePlayedValues();
    void takeOutputChanges();
    /// Reports the end of an isolated plug-in's process, once (a line, the reason
    /// for getLastError, the event); true when it ended.
    bool noticeEnding();
    /// A value reached (or is on its way to) the processor: the snapshot a reload
    /// restores lacks it until refreshed.
    void noteValueForSnapshot(Steinberg::Vst::ParamID id, double value);
    /// Takes the snapshot again when values joined it since, once they reached the
    /// processor; from the service timer only.
    void refreshSnapshot();
    /// The state a reload restores is `chunks`, with nothing after it.
    void keepSnapshot(const PluginStateChunks& chunks);
    void takeEdits();
    /// Records a value the plug-in set itself, for knownValues and the listener.
    void noteOwnChange(Steinberg::Vst::ParamID id, double value);
    void deliverEvents();
    void startService();
    void stopService();

    // Loading (VSTModule.cpp); plug-in thread.
    bool load(const std::string& path, const std::string& pluginClass, std::string& error);
    /// Logs `reason` and keeps it for getLoadError; false.
    bool fail(const std::string& reason);
    /// Starts an isolated plug-in again (see VSTModule::reloadPlugin).
    bool reload();
    /// The parameter tables, the slots' capacity and what the processor is known
    /// to have, made before audio can run.
    void prepareParameters();
    void tearDown();

    // Set-up policy (VSTModuleLifecycle.cpp); plug-in thread.
    /// The set-up the plug-in is given for the caller's `setup`: with fixed blocks
    /// on, their size is its largest block.
    Steinberg::Vst::ProcessSetup pluginSetup(const Steinberg::Vst::ProcessSetup& setup) const;
    /// Applies the caller's `setup` to a loaded plug-in after checking its values,
    /// unless it is the one in force and not `evenWhenInForce`; without an audio
    /// processor only keeps it for the load.
    bool changeSetup(const Steinberg::Vst::ProcessSetup& setup, bool evenWhenInForce);
    /// Sets the plug-in up for `setup` and brings it back to where the caller
    /// wants it; after the reactivation the processor gets the controller's values.
    bool applySetup(const Steinberg::Vst::ProcessSetup& setup);
    /// Deactivates and reactivates the plug-in (a new latency holds only from an
    /// activation on), and hands the processor the controller's values again.
    void reactivate();
    /// Acts on what the plug-in asked for through its component handler since the
    /// last call. From the service timer of an offline plug-in, requests that
    /// deactivate it wait for the next control call, so that no block of a render
    /// is skipped.
    void actOnRestartRequests(bool fromService);
    void noteLatency();
    /// Whether a latency request may change the latency in force (see the rule there).
    bool latencyMayHaveChanged(std::uint32_t answered);
    /// Set by getLatencySamples for its own catch-up: the plug-in's answer is
    /// compared with the latency in force even without a request.
    bool latencyAsked = false;
    /// A new value went to the processor: a later latency request may be real.
    void noteNewValue() { side.activationAtLastValue = plugin().activations(); }
    bool switchProcessing(bool processing);

    // Audio side (VSTModuleProcess.cpp); never allocates, locks or waits on success.
    /// One block of any length, in pieces of at most the set-up's maximum; the
    /// side-chain null for none, `sideR` null for a mono one.
    void processPieces(float* inL, float* inR, float* outL, float* outR, const float* sideL,
                       const float* sideR, Steinberg::int32 frames) noexcept;
    /// One piece through the plug-in, with its musical context and automation;
    /// counts a failure.
    void processPiece(float* inL, float* inR, float* outL, float* outR, const float* sideL,
                      const float* sideR, Steinberg::int32 frames) noexcept;
    /// Moves values changed since the last block into `audio.parameterChanges`, as
    /// far as it has room; the rest wait for the next block. For a block without
    /// audio they stay changed as well.
    void queueChangedParameters(bool withAudio) noexcept;

    // Parameter steps (VSTModuleParameters.cpp); plug-in thread.
    /// Calls `visit(info)` for each parameter the controller describes, in its
    /// order; logs once when there is no controller.
    template <typename Visit>
    void forEachParameterInfo(Visit&& visit) {
        if (!plugin().hasController()) {
            refuse(kNoControllerReason);
            return;
        }
        for (const Steinberg::Vst::ParameterInfo& info : plugin().parameterInfos())
            visit(info);
    }
    std::vector<VSTParameter> listParameters();
    void buildParameterTable(const std::vector<VSTParameter>& parameters);
    /// Lists the parameters again after the plug-in changed titles or flags; value
    /// names given to a title that still names the same id stay.
    void refreshParameterTable();
    /// Gives the value to the controller and hands it to the processor; false,
    /// after logging, for a read-only id.
    bool setParameterValue(Steinberg::Vst::ParamID id, double value);
    /// Hands the controller's current value of every writable parameter to the
    /// processor (after a restore or reactivation), or only those that differ from
    /// knownValues (after the controller changed values itself).
    void sendControllerValues(bool onlyChanged);
    bool isReadOnly(Steinberg::Vst::ParamID id) const;
    /// The writable parameter titled `name`, or null after logging why not.
    VSTNamedParameter* findWritableParameter(const std::string& name);
    /// The by-name entry for `name`, or null after logging that it was not found.
    VSTNamedParameter* findNamedParameter(const std::string& name);

    // Side-chain (VSTModuleSideChain.cpp); plug-in thread.
    bool activateSideChain(bool active);

    // Automation (VSTModuleAutomation.cpp); plug-in thread.
    /// Why `id` may not be automated (unknown, read-only), or empty.
    std::string automationRefusal(Steinberg::Vst::ParamID id) const;
    /// Hands the envelopes the caller set to the audio side as one new set.
    void publishEnvelopes();

    // Plain values (VSTModulePlainValues.cpp); plug-in thread.
    /// Sets the named parameter from a plug-in's own step name, logging a name it
    /// does not have.
    bool setByPluginValueName(const std::string& name, const VSTNamedParameter& parameter,
                              const std::string& valueName);
    bool describeRange(Steinberg::Vst::ParamID id, VSTParameterRange& range);
    bool setPlain(const std::string& name, double plain);
    bool setByText(const std::string& name, const std::string& text);

    // State steps (VSTModuleState.cpp); plug-in thread.
    bool captureState(PluginStateChunks& chunks, bool report);
    /// Makes the values set since the last block reach the processor, so that its
    /// state holds them: while an audio thread drives the plug-in, its next block
    /// carries them; otherwise this thread runs one block without audio in its place.
    void awaitChangedParameters();
    /// Decodes `bytes` (a preset file's content) and restores it; `what` names the
    /// source in failure lines, e.g. "plug-in state".
    bool restoreEncodedState(const std::vector<std::uint8_t>& bytes, const std::string& what);
    bool loadPresetFile(const std::string& path);
    /// "Name (id)" of a class the bundle declares, else the id as a preset has it.
    std::string className(const VST3::UID& id) const;
    bool applyState(const PluginStateChunks& chunks, bool report);
};

} // namespace varnel::extensions::vst
