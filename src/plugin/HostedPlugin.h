#pragma once

// The one seam between VSTModule and its plug-in, wherever the plug-in runs.
//
// Which side owns what:
// - VSTModule (module/) owns the caller's settings (the set-up to ask for, the
//   processing switch, fixed blocks, names given to values), the policy (when to
//   set up, restart or restore, which values the processor must get, what the
//   listener hears, what is logged), and the audio thread's record (AudioSide:
//   the gate, the parameter slots both ways, the musical transport, the failure
//   tallies). Every call below comes from the module.
// - A HostedPlugin owns every plug-in object and every call into one: the
//   library, its factory, the component(s) and controller, their connections,
//   the lifecycle state of each instance, the component handler the controller
//   calls back, the process data of each block, the editor's view.
//
// Threads: everything is called on the plug-in thread, one call at a time,
// except `process`, which the audio thread calls between the link's startBlocks
// and stopBlocks (never after stopBlocks returned, until the next startBlocks).
//
// What an implementation whose plug-in lives in another process must provide:
// - the same results for the same calls, and the same reasons, reported through
//   PluginLink::refused (the module logs them, once);
// - edits the controller makes published into the ParameterSlots it was given
//   (ParameterSlots::publishEdit, which refuses read-only and unlisted ids),
//   and what the processor reports after each block stored into the block's
//   OutputParameterSlots, both before `process` or the call that caused them
//   returns;
// - stopBlocks before any step that must not overlap a block, startBlocks once
//   every instance processes, as LocalPlugin does;
// - a `process` that never allocates, locks, logs or waits beyond the plug-in's
//   own block (a hand-off to another process is the one wait it may add), and
//   that reports a plug-in that died or overran as `failed` instead of waiting;
// - state as the same component and controller bytes, so that states move
//   freely between implementations;
// - its process's end (a crash, an exit, a hang it was ended for) through
//   `ending`, after which every call answers at once with a neutral result and
//   every block goes out dry; unload and load start it afresh.
#include "VSTChannelLayout.h"
#include "VSTEditorSize.h"
#include "VSTPluginEvent.h"
#include "VSTPluginInfo.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "public.sdk/source/vst/hosting/module.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace varnel::extensions::vst {

class OutputParameterSlots;
class ParameterSlots;
struct PluginStateChunks;

/// How far the plug-in is brought up, in the VST 3 order. Each step up or down is
/// one plug-in call (or none).
enum class LifecycleState {
    created,     ///< component (if any) not initialised
    initialized, ///< component initialised with the host context
    connected,   ///< component and controller exchange messages (when both can)
    setUp,       ///< a processing set-up is in force; inactive, so reconfigurable
    active,      ///< setActive(true)
    processing,  ///< setProcessing(true); blocks reach the plug-in
};

/// What the plug-in side tells the module; the module implements it.
class PluginLink {
public:
    /// A plug-in call was refused, or threw: one line, logged by the module.
    virtual void refused(const std::string& reason) = 0;
    /// The open editor took a new size.
    virtual void editorResized(VSTEditorSize size) = 0;
    /// No block may reach the plug-in once this returns (it waits for one in flight).
    virtual void stopBlocks() noexcept = 0;
    /// Blocks may reach the plug-in again, at most `maxFrames` long, at `sampleRate`.
    virtual void startBlocks(Steinberg::int32 maxFrames, double sampleRate) = 0;
    /// The plug-in call named `what` (e.g. "setActive") is about to be made, for a
    /// link that tells what a plug-in was doing when its process ended.
    virtual void calling(const char* what) noexcept { (void)what; }

protected:
    ~PluginLink() = default;
};

/// What a loaded plug-in was found to be.
struct PluginFacts {
    VSTPluginClassInfo classInfo;
    /// Every class the bundle declares, for naming a class by its id.
    std::vector<VSTPluginClassInfo> bundleClasses;
    VST3::UID classId;
    std::vector<VSTBusInfo> buses;
    VSTChannelLayout channelLayout = VSTChannelLayout::none;
};

/// One block for the plug-in, on the audio thread: the caller's stereo signal
/// (planar, `frames` long, at most the maximum of the set-up in force), the
/// block's musical context and input changes, where the processor's reports go,
/// and the side-chain signal.
struct PluginBlock {
    float* inL;
    float* inR;
    float* outL;
    float* outR;
    Steinberg::int32 frames;
    const Steinberg::Vst::ProcessContext* context;
    Steinberg::Vst::IParameterChanges* inputChanges;
    OutputParameterSlots* reports;
    /// The side-chain, `frames` long: null for none (an active side-chain bus then
    /// reads silence), `sideR` null for a mono signal. Mapped onto the bus's
    /// channels as the main signal is onto the main bus: a mono bus gets the mean
    /// of a stereo signal, a stereo bus a mono signal on both channels.
    const float* sideL = nullptr;
    const float* sideR = nullptr;
};

/// How a block went: `ok`, `failed` with the plug-in's result in `code`, `threw`,
/// or `dry`: a plug-in in another process did not hand it back in time (or its
/// process ended), so the output holds the input.
struct BlockOutcome {
    enum class Kind { ok, failed, threw, dry } kind = Kind::ok;
    Steinberg::tresult code = Steinberg::kResultOk;
};

/// How the process of a plug-in isolated in one of its own ended, and the reason
/// as the module reports it, e.g. "The plug-in process ended with SIGSEGV during
/// process".
struct PluginEnding {
    VSTPluginEvent::Ending kind = VSTPluginEvent::Ending::signal;
    int code = 0; ///< the signal's number or the exit status; 0 for a hang
    std::string reason;
};

/// The plug-in as the module drives it; see the top of this file.
class HostedPlugin {
public:
    virtual ~HostedPlugin() = default;

    /// Loads the library at `path`, creates and initialises the audio module class
    /// `pluginClass` names (empty: the last one), its controller, connects them,
    /// negotiates stereo buses; brought to `connected`. False with the reason in
    /// `error` (not yet reported).
    virtual bool load(const std::string& path, const std::string& pluginClass, PluginFacts& facts,
                      std::string& error) = 0;
    /// Closes the editor and takes everything down in the VST 3 order; the library
    /// is unloaded once no object of it is left.
    virtual void unload() noexcept = 0;
    /// Audio or plug-in thread; never blocks. Whether a loaded audio processor is there.
    virtual bool hasProcessor() const noexcept = 0;
    /// Plug-in thread; never blocks. How the process the plug-in runs in ended;
    /// null while it runs, and always for a plug-in in this process.
    virtual const PluginEnding* ending() const { return nullptr; }
    /// Audio or plug-in thread; never blocks. Whether `ending` has anything to tell.
    virtual bool hasEnded() const noexcept { return false; }

    // Lifecycle
    /// Moves every instance one step at a time to `target`: going up stops at the
    /// first refusal (a refused processing switch excepted), going down always
    /// arrives. False when a step was refused.
    virtual bool moveTo(LifecycleState target) = 0;
    virtual LifecycleState lowestState() const = 0;
    virtual LifecycleState highestState() const = 0;
    /// Goes down to `connected`, asks for `setup`, and back up to `running`; a
    /// refused set-up leaves the one in force.
    virtual bool applySetup(const Steinberg::Vst::ProcessSetup& setup, LifecycleState running) = 0;
    virtual std::optional<Steinberg::Vst::ProcessSetup> setupInForce() const = 0;
    /// Asks each instance that last refused switching to `processing` again.
    virtual bool repeatRefusedSwitch(bool processing) = 0;
    /// Latency and tail as the plug-in said after its last set-up or activation.
    virtual std::uint32_t latencySamples() const = 0;
    virtual std::uint32_t tailSamples() const = 0;
    /// The latency the plug-in answers now, read without reactivating.
    virtual std::uint32_t currentLatency() = 0;
    /// Reads latency and tail again.
    virtual void readTiming() = 0;
    /// How often the plug-in was activated (setActive(true) accepted) so far.
    virtual std::uint64_t activations() const = 0;

    // The edit controller
    virtual bool hasController() const = 0;
    /// Every parameter the controller describes, in its order.
    virtual std::vector<Steinberg::Vst::ParameterInfo> parameterInfos() = 0;
    virtual double normalizedValue(Steinberg::Vst::ParamID id) = 0;
    virtual void setNormalizedValue(Steinberg::Vst::ParamID id, double value) = 0;
    /// The controller's text for `value`; empty when it has none.
    virtual std::string valueText(Steinberg::Vst::ParamID id, double value) = 0;
    virtual double toPlain(Steinberg::Vst::ParamID id, double normalized) = 0;
    virtual double toNormalized(Steinberg::Vst::ParamID id, double plain) = 0;
    /// The value the controller reads from `text`; false when it reads none.
    virtual bool valueFromText(Steinberg::Vst::ParamID id, const std::string& text, double& value) = 0;

    // What the plug-in did on its own
    /// The RestartFlags asked for since the last call; `putBack` keeps some for later.
    virtual Steinberg::int32 takeRestartRequests() = 0;
    virtual void putBackRestartRequests(Steinberg::int32 flags) = 0;
    /// The controller's own edits since the last call, in order; already on their
    /// way to the processor through the parameter slots.
    virtual std::vector<std::pair<Steinberg::Vst::ParamID, double>> takeEdits() = 0;
    /// Edits of ids the plug-in does not list, ignored since the last call, and the
    /// last such id.
    virtual std::uint64_t takeIgnoredEdits(Steinberg::Vst::ParamID& lastId) = 0;

    // State
    /// The component's and controller's state; false with the refusing call named
    /// in `refusal` (not reported).
    virtual bool captureState(PluginStateChunks& chunks, std::string& refusal) = 0;
    /// Every instance takes the component's state, the controller both; false with
    /// the refusing call named in `refusal` (not reported).
    virtual bool applyState(const PluginStateChunks& chunks, std::string& refusal) = 0;
    /// One block without audio that carries `changes`, while no block can run (the
    /// VST 3 way to hand over parameters alone); false when the plug-in refused it.
    virtual bool processParametersOnly(Steinberg::Vst::IParameterChanges& changes) = 0;

    // Side-chain
    /// While every instance is inactive: activates (or deactivates) the first
    /// auxiliary audio input bus of every instance, so that PluginBlock's
    /// side-chain reaches the plug-in. False with the reason (not reported) when
    /// there is no such bus or the plug-in refused; the default has none.
    virtual bool activateSideChain(bool /*active*/, std::string& reason) {
        reason = "The plug-in side cannot feed a side-chain.";
        return false;
    }

    // Editor
    virtual bool editorAvailable(const std::string& platformType, std::string& reason) = 0;
    virtual bool openEditor(void* parent, const std::string& platformType, std::string& reason) = 0;
    virtual void closeEditor() noexcept = 0;
    virtual bool isEditorOpen() const = 0;
    virtual VSTEditorSize editorSize() const = 0;
    virtual bool resizeEditor(VSTEditorSize& size, std::string& reason) = 0;
    virtual bool setEditorContentScale(float factor, std::string& reason) = 0;

    /// Audio thread, between startBlocks and stopBlocks; never allocates, locks or
    /// waits on its own. Runs one block through every instance.
    virtual BlockOutcome process(const PluginBlock& block) noexcept = 0;
};

} // namespace varnel::extensions::vst
