#pragma once

#include "AudioFailureTally.h"
#include "AudioGate.h"
#include "ComponentHandler.h"
#include "HostContext.h"
#include "InternalVisibility.h"
#include "MusicalTransport.h"
#include "OutputParameterSlots.h"
#include "ParameterSlots.h"
#include "PluginEditor.h"
#include "PluginThread.h"
#include "VSTChannelLayout.h"
#include "VSTModule.h"
#include "VSTNamedParameter.h"
#include "VSTPluginEvent.h"
#include "VSTPluginInfo.h"

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/vst/hosting/module.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/hosting/plugprovider.h"
#include "public.sdk/source/vst/hosting/processdata.h"

#include <varnel/Logger.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace varnel::extensions::vst {

struct PluginStateChunks;

/// Reasons that several of the module's calls give, and the logged line of one.
constexpr const char* kNoControllerReason = "Edit controller interface is not available.";
constexpr const char* kNoProcessorReason = "No audio processor available.";
constexpr const char* kNoProcessorMessage = "[VSTModule] No audio processor available.";
constexpr const char* kReadOnlyReason = "Read-only parameter not set: ";

/// How far a VSTModule has brought its plug-in, in the VST 3 order. Each step up or
/// down is one plug-in call (or none).
enum class LifecycleState {
    created,     ///< component (if any) not initialised by the module
    initialized, ///< component initialised with the host context
    connected,   ///< component and controller exchange messages (when both can)
    setUp,       ///< a processing set-up is in force; inactive, so reconfigurable
    active,      ///< setActive(true)
    processing,  ///< setProcessing(true); blocks reach the plug-in
};

/// One instance of the plug-in's audio module class and everything its process
/// call needs. A module runs one, or two of the same class for a mono-only
/// plug-in on a stereo signal. Plug-in objects are held through the SDK's counted
/// pointers, one reference each.
struct PluginInstance {
    Steinberg::FUnknownPtr<Steinberg::Vst::IComponent> component;
    Steinberg::FUnknownPtr<Steinberg::Vst::IAudioProcessor> audioProcessor;
    /// How far the module has brought this instance; only moveTo changes it.
    LifecycleState state = LifecycleState::created;
    /// Largest block of the last set-up this instance accepted; 0 before one.
    Steinberg::int32 maxSamplesPerBlock = 0;
    /// Whether it ever accepted a set-up: it keeps that one when refusing the next.
    bool hasSetup = false;
    /// The processing switch it last refused, if any: asking for that state again
    /// asks the plug-in again.
    std::optional<bool> refusedSwitch;
    /// The connections made on the way up, undone on the way down: each holds the
    /// point that was connected (its peer is the other object), null when that
    /// direction was not connected. Only the first instance talks to the controller.
    Steinberg::FUnknownPtr<Steinberg::Vst::IConnectionPoint> componentConnection;
    Steinberg::FUnknownPtr<Steinberg::Vst::IConnectionPoint> controllerConnection;

    /// The process-data record, with one bus record per declared bus (each with
    /// the bus's own channel count) and the block's musical context; re-pointed at
    /// the caller's buffers per block. Only the audio thread touches it once
    /// processing is on.
    Steinberg::Vst::HostProcessData processData;
    /// What the plug-in reports per block (meters, its own changes); emptied before
    /// each block.
    Steinberg::Vst::ParameterChanges outputParameterChanges{0};

    /// Channel count of main bus 0 in each direction after negotiation; 0 without one.
    Steinberg::int32 mainInputChannels() const { return processData.channelCount(Steinberg::Vst::kInput, 0); }
    Steinberg::int32 mainOutputChannels() const {
        return processData.channelCount(Steinberg::Vst::kOutput, 0);
    }
};

/// Everything a VSTModule holds.
struct VARNELVST_INTERNAL VSTModule::Internals {
    std::shared_ptr<VST3::Hosting::Module> module;
    /// The first instance is the one the controller talks to; a second runs only
    /// for dual mono. Each is brought up and down in the VST 3 order by moveTo.
    std::array<PluginInstance, 2> instances;
    int instanceCount = 1;
    /// How the caller's stereo signal reaches the instances; chosen at load.
    VSTChannelLayout channelLayout = VSTChannelLayout::none;
    Steinberg::OPtr<Steinberg::Vst::PlugProvider> plugProvider;
    Steinberg::FUnknownPtr<Steinberg::Vst::IEditController> controller;
    Steinberg::OPtr<Steinberg::Vst::IHostApplication> hostApplication{new HostContext};
    /// Input parameter changes of a block: each value set is carried once, by the
    /// first block after it was set. Only the audio thread touches it.
    Steinberg::Vst::ParameterChanges parameterChanges{0};
    std::unordered_map<std::string, VSTNamedParameter> namedParameters;
    /// Ids the plug-in lists as read-only, sorted: a host never sets them.
    std::vector<Steinberg::Vst::ParamID> readOnlyIds;

    /// Failures on the audio thread, counted there and logged by control calls.
    AudioFailureTally processErrors;
    AudioFailureTally processExceptions;
    AudioFailureTally blocksWithoutProcessor;
    /// Values on their way from control threads to the audio thread.
    ParameterSlots parameterSlots;
    /// What the first instance's processor reported, on its way to the controller.
    OutputParameterSlots outputSlots;
    /// The last value of each id the processor is known to have (set by the host,
    /// edited or reported by the plug-in): a restart for changed values sends only
    /// what differs.
    std::unordered_map<Steinberg::Vst::ParamID, double> knownValues;
    /// The controller's way back: its own edits go into parameterSlots, its restart
    /// requests wait there for actOnRestartRequests.
    Steinberg::OPtr<ComponentHandler> componentHandler{new ComponentHandler(parameterSlots)};
    /// Whether the controller accepted componentHandler, and so must be told to
    /// drop it before it is terminated.
    bool componentHandlerGiven = false;
    /// What the plug-in said after the last set-up, activation or latency change;
    /// atomics so that a reader needs no lock.
    std::atomic<std::uint32_t> latencySamples{0};
    std::atomic<std::uint32_t> tailSamples{0};

    /// What the plug-in did on its own since the listener last heard of it, and the
    /// listener; both on the plug-in thread only.
    std::vector<VSTPluginEvent> pendingEvents;
    std::function<void(const VSTPluginEvent&)> eventListener;
    /// Why the last refused control call was refused, without the log prefix.
    std::string lastError;
    /// The periodic catch-up on the plug-in thread while a plug-in is loaded.
    PluginThread::TimerId serviceTimer = 0;
    /// The plug-in's editor while the application has it open; closed first on
    /// the way down, before the objects it belongs to.
    PluginEditor editor{[this](VSTEditorSize size) {
        pendingEvents.push_back(
            VSTPluginEvent{VSTPluginEvent::Kind::editorResized, 0, 0.0, false, 0, 0, size});
    }};

    /// Where the plug-in returns after a new set-up: processing, or active while the
    /// caller has switched processing off.
    LifecycleState runningState = LifecycleState::processing;
    /// The set-up the next step up to setUp asks for (before the load: the one the
    /// load will ask for, 48000 Hz until the graph says otherwise), and the last one
    /// accepted.
    Steinberg::Vst::ProcessSetup requestedSetup{Steinberg::Vst::kRealtime, Steinberg::Vst::kSample32, 1024,
                                                48000.0};
    std::optional<Steinberg::Vst::ProcessSetup> setupInForce;
    /// A separate controller this module created and initialised (and terminates).
    bool controllerInitialized = false;

    /// Largest block every instance accepted. Written only while `processing` is
    /// false; the audio thread reads it only after seeing true.
    Steinberg::int32 maxSamplesPerBlock = 0;
    /// The rate of the set-up in force, for the blocks' context; written like
    /// maxSamplesPerBlock.
    double blockSampleRate = 0.0;
    /// Tempo, time signature and transport position of the blocks.
    MusicalTransport transport;
    /// Buffers for what the caller's signal lacks, made on the control side for
    /// `scratchFrames` frames, never on the audio thread: silence for inactive and
    /// auxiliary inputs, the mean of left and right for a mono input, and one
    /// channel per extra output, which is dropped.
    std::vector<float> scratch;
    Steinberg::int32 scratchFrames = 0;
    float* silence = nullptr;
    float* monoMix = nullptr;
    /// Whether `process` may call the plug-in: opened after setProcessing(true)
    /// reached the plug-in, closed (waiting for a block in flight) before
    /// setProcessing(false) does.
    AudioGate audioGate;
    /// When the audio thread last ran a block (steady clock ticks), so that the
    /// plug-in thread can tell whether one is running.
    std::atomic<std::int64_t> lastBlockTime{0};

    /// What the loaded plug-in was found to be, for the info queries.
    VSTPluginClassInfo classInfo;
    /// The audio module class loaded, of which a second instance may be made.
    VST3::UID audioModuleClass;
    std::vector<VSTBusInfo> buses;
    /// Why the load failed, without the log prefix; empty after a successful load.
    std::string loadError;

    /// Loads and unloads on several threads take turns: a library's factory is
    /// shared by every module of that library, the installed plug-ins' factories
    /// are not thread-safe, and the context PlugProvider hands out is process-wide.
    static std::mutex& libraryMutex();

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
    /// A plug-in call that throws counts as refused (kInternalError), with one
    /// line, so that the lifecycle stays in a state it knows.
    template <typename Call>
    Steinberg::tresult callPlugin(const char* what, Call&& call) {
        lastCallThrew = false;
        try {
            return call();
        } catch (const std::exception& error) {
            reportThrow(what, error.what());
        } catch (...) {
            reportThrow(what, "an unknown exception");
        }
        lastCallThrew = true;
        return Steinberg::kInternalError;
    }
    /// Refuses after a plug-in call refused, unless it threw: that has its line.
    bool refuseCall(const std::string& reason) { return lastCallThrew ? false : refuse(reason); }
    bool lastCallThrew = false;
    /// Logs `reason` and keeps it for getLastError; false.
    bool refuse(const std::string& reason);
    /// Plug-in thread: logs what the audio thread counted (not from the service
    /// timer), passes what the processor reported on to the controller, takes note
    /// of the controller's own edits, and acts on restart requests. The service
    /// timer runs it too (`fromService`).
    void catchUp(bool fromService);
    void takeOutputChanges();
    void takeEdits();
    /// Records a value the plug-in set itself, for knownValues and the listener.
    void noteOwnChange(Steinberg::Vst::ParamID id, double value);
    void deliverEvents();
    void startService();
    void stopService();

    // Lifecycle (VSTModuleLifecycle.cpp); plug-in thread.
    /// Moves the plug-in one step at a time to `target`, up or down. Going up stops
    /// at the first step the plug-in refuses; going down always arrives. False when
    /// a step was refused (logged there, except initialize, which the load reports).
    /// Every instance goes one step at a time, step by step together, in the VST 3
    /// order each; the audio side runs only while all of them are processing.
    bool moveTo(LifecycleState target);
    bool stepUp(PluginInstance& instance);
    bool stepDown(PluginInstance& instance);
    /// Lets blocks run once every instance processes; stops them, waiting for the
    /// one in flight, before any instance stops.
    void startAudio();
    void stopAudio();
    /// The state of the instance furthest behind, and of the one furthest ahead.
    LifecycleState lowestState() const;
    LifecycleState highestState() const;
    /// Stops processing and deactivates, asks for `setup`, then returns to
    /// `runningState`; a refused set-up leaves the one in force.
    bool applySetup(const Steinberg::Vst::ProcessSetup& setup);
    /// What a change of one set-up value starts from: the set-up in force, else the
    /// one last asked for.
    Steinberg::Vst::ProcessSetup baseSetup() const;
    /// Applies `setup` to a loaded plug-in after checking its values, unless it is
    /// the one in force and not `evenWhenInForce`; without an audio processor only
    /// keeps it for the load.
    bool changeSetup(const Steinberg::Vst::ProcessSetup& setup, bool evenWhenInForce);
    void tearDown();
    /// Reads the plug-in's latency and tail; right after a set-up and an activation,
    /// when VST 3 says they are valid.
    void readTiming();
    /// Acts on what the plug-in asked for through componentHandler since the last
    /// call: a new latency needs deactivation and reactivation, a changed bus
    /// layout or a reload request a new set-up, changed values a catch-up of the
    /// processor, changed titles a new title table. From the service timer of an
    /// offline plug-in, requests that deactivate it wait for the next control call,
    /// so that no block of a render is skipped.
    void actOnRestartRequests(bool fromService);
    /// Switches processing as asked, asking an instance again that refused it.
    bool switchProcessing(bool processing);

    // Load steps (VSTModule.cpp); plug-in thread, under libraryMutex.
    bool load(const std::string& path, const std::string& pluginClass, std::string& error);
    static std::vector<VSTPluginClassInfo> listClasses(const std::string& path, std::string& error);
    /// Each logs its failure and stores the reason in `loadError`.
    bool fail(const std::string& reason);
    bool openModule(const std::string& path);
    /// Creates and initialises the audio module class `wanted` names (see
    /// loadPlugin), or the last one when it is empty.
    bool chooseClass(const std::string& wanted);
    void setUpController();
    bool findAudioProcessor(PluginInstance& instance);
    void prepareParameters();
    /// Gives the controller componentHandler; a refusal only costs the plug-in its
    /// own edits and restart requests.
    void giveComponentHandler();

    // Buses (VSTModuleBuses.cpp); plug-in thread, while every instance is inactive.
    /// Asks for stereo main buses, reads back what the plug-in took, chooses the
    /// layout and, for dual mono, brings up the second instance the same way.
    bool configureBuses();
    /// Negotiates, activates main buses and makes one bus record per declared bus.
    void configureInstance(PluginInstance& instance, bool reportActivation);
    void describeBuses(PluginInstance& instance);
    /// (Re-)makes the scratch buffers for blocks of `frames` and points every bus
    /// record that does not carry the caller's signal at them.
    void prepareScratch(Steinberg::int32 frames);

    /// Calls `visit(instance)` for every running instance, the controller's first:
    /// whatever reaches the plug-in's audio side must reach each of them.
    template <typename Visit>
    void forEachInstance(Visit&& visit) {
        for (int index = 0; index < instanceCount; ++index)
            visit(instances[static_cast<std::size_t>(index)]);
    }
    PluginInstance& lead() { return instances[0]; }

    // Audio side (VSTModuleProcess.cpp); never allocates, locks or waits on success.
    /// One piece of at most `maxSamplesPerBlock` frames through every instance.
    void processBlock(float* inL, float* inR, float* outL, float* outR, Steinberg::int32 frames) noexcept;
    void processLayout(float* inL, float* inR, float* outL, float* outR, Steinberg::int32 frames) noexcept;
    /// Points main bus 0 of `instance` at the given channels (null: leave as is)
    /// and runs its process call with the context `processBlock` gave it; a
    /// throwing plug-in counts as a failed block.
    void processInstance(PluginInstance& instance, float* in0, float* in1, float* out0, float* out1,
                         Steinberg::int32 frames) noexcept;

    // Parameter steps (VSTModuleParameters.cpp); plug-in thread.
    /// Calls `visit(info)` for each parameter the controller describes, in its
    /// order; logs once when there is no controller.
    template <typename Visit>
    void forEachParameterInfo(Visit&& visit) {
        if (!controller) {
            refuse(kNoControllerReason);
            return;
        }
        const Steinberg::int32 count = controller->getParameterCount();
        for (Steinberg::int32 index = 0; index < count; ++index) {
            Steinberg::Vst::ParameterInfo info{};
            if (controller->getParameterInfo(index, info) == Steinberg::kResultOk)
                visit(info);
        }
    }
    std::vector<VSTParameter> listParameters();
    /// The controller's text for `value` of `id`; empty when it has none.
    std::string valueText(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);
    void buildParameterTable(const std::vector<VSTParameter>& parameters);
    /// Lists the parameters again after the plug-in changed titles or flags; value
    /// names given to a title that still names the same id stay.
    void refreshParameterTable();
    /// Gives the value to the controller and hands it to the processor; false,
    /// after logging, for a read-only id.
    bool setParameterValue(Steinberg::Vst::ParamID id, double value);
    /// Hands the controller's current value of every writable parameter to the
    /// processor (after a restore), or only those that differ from knownValues
    /// (after the controller changed values itself).
    void sendControllerValues(bool onlyChanged);
    bool isReadOnly(Steinberg::Vst::ParamID id) const;
    /// The by-name entry for `name`, or null after logging that it was not found.
    VSTNamedParameter* findNamedParameter(const std::string& name);

    /// Audio thread: moves values changed since the last block into
    /// `parameterChanges`, as far as it has room; the rest wait for the next block.
    /// For a block without audio they stay changed as well.
    void queueChangedParameters(bool withAudio) noexcept;

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
    /// state holds them: while blocks run, the next block carries them; when no
    /// audio thread runs, this thread runs one block without audio in its place.
    void awaitChangedParameters();
    /// Decodes `bytes` (a preset file's content) and restores it; `what` names the
    /// source in failure lines, e.g. "plug-in state".
    bool restoreEncodedState(const std::vector<std::uint8_t>& bytes, const std::string& what);
    bool loadPresetFile(const std::string& path);
    bool applyState(const PluginStateChunks& chunks, bool report);
    /// Hands a separate controller the component's state, as VST 3 asks once the two
    /// are connected; part of the load.
    void synchroniseController();
    bool controllerIsComponent();
};

} // namespace varnel::extensions::vst
