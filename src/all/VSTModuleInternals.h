#pragma once

#include "AudioFailureTally.h"
#include "HostContext.h"
#include "ParameterSlots.h"
#include "VSTModule.h"
#include "VSTNamedParameter.h"
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

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace varnel::extensions::vst {

struct PluginStateChunks;
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

/// Everything a VSTModule holds. Plug-in objects are held through the SDK's counted
/// pointers, one reference each.
struct VSTModule::Internals {
    std::shared_ptr<VST3::Hosting::Module> module;
    Steinberg::FUnknownPtr<Steinberg::Vst::IComponent> component;
    Steinberg::FUnknownPtr<Steinberg::Vst::IAudioProcessor> audioProcessor;
    Steinberg::OPtr<Steinberg::Vst::PlugProvider> plugProvider;
    Steinberg::FUnknownPtr<Steinberg::Vst::IEditController> controller;
    Steinberg::OPtr<Steinberg::Vst::IHostApplication> hostApplication{new HostContext};
    /// Input parameter changes of every block; only the audio thread touches it.
    Steinberg::Vst::ParameterChanges parameterChanges{0};
    /// The one process-data record, re-pointed at the caller's buffers per block;
    /// only the audio thread touches it once loaded.
    Steinberg::Vst::ProcessData processData;
    Steinberg::Vst::AudioBusBuffers inputBusBuffers[1];
    Steinberg::Vst::AudioBusBuffers outputBusBuffers[1];
    float* inputChannels[2] = {nullptr, nullptr};
    float* outputChannels[2] = {nullptr, nullptr};
    Steinberg::int32 inputBusCount = 0;
    Steinberg::int32 outputBusCount = 0;
    std::unordered_map<std::string, VSTNamedParameter> namedParameters;
    /// Ids the plug-in lists as read-only, sorted: a host never sets them.
    std::vector<Steinberg::Vst::ParamID> readOnlyIds;

    /// Failures on the audio thread, counted there and logged by control calls.
    AudioFailureTally processErrors;
    AudioFailureTally blocksWithoutProcessor;

    /// What the plug-in reports per block (meters); emptied before each block.
    Steinberg::Vst::ParameterChanges outputParameterChanges{0};
    /// Values on their way from control threads to the audio thread.
    ParameterSlots parameterSlots;

    /// Serialises control threads: plug-ins' controllers and lifecycle calls are not
    /// thread-safe. The audio thread never takes it.
    std::mutex controlMutex;

    /// How far this module has brought the plug-in; `moveTo` is the only place that
    /// changes it. Control side, under controlMutex.
    LifecycleState state = LifecycleState::created;
    /// Where the plug-in returns after a new set-up: processing, or active while the
    /// caller has switched processing off.
    LifecycleState runningState = LifecycleState::processing;
    /// The set-up the next step up to setUp asks for (before the load: the one the
    /// load will ask for, 48000 Hz until the graph says otherwise), and the last one
    /// accepted.
    Steinberg::Vst::ProcessSetup requestedSetup{Steinberg::Vst::kRealtime, Steinberg::Vst::kSample32, 1024,
                                                48000.0};
    std::optional<Steinberg::Vst::ProcessSetup> setupInForce;
    /// The connections made on the way up, undone on the way down: each holds the
    /// point that was connected (its peer is the other object), null when that
    /// direction was not connected.
    Steinberg::FUnknownPtr<Steinberg::Vst::IConnectionPoint> componentConnection;
    Steinberg::FUnknownPtr<Steinberg::Vst::IConnectionPoint> controllerConnection;
    /// A separate controller this module created and initialised (and terminates).
    bool controllerInitialized = false;

    /// Largest block announced in the accepted set-up. Written only while
    /// `processing` is false; the audio thread reads it only after seeing true.
    Steinberg::int32 maxSamplesPerBlock = 0;
    /// Whether `process` may call the plug-in: set after setProcessing(true) reached
    /// the plug-in, cleared before setProcessing(false) does.
    std::atomic<bool> processing{false};
    /// Raised by the audio thread around a block, so that the control side can wait
    /// for the block in flight before it switches processing off.
    std::atomic<bool> inProcess{false};

    /// What the loaded plug-in was found to be, for the info queries.
    VSTPluginClassInfo classInfo;
    std::vector<VSTBusInfo> buses;
    /// Why the load failed, without the log prefix; empty after a successful load.
    std::string loadError;

    /// Loads and unloads on several threads take turns: a library's factory is
    /// shared by every module of that library, the installed plug-ins' factories
    /// are not thread-safe, and the context PlugProvider hands out is process-wide.
    /// Taken after controlMutex, never before it.
    static std::mutex& libraryMutex();

    // Lifecycle (VSTModuleLifecycle.cpp); control side, under controlMutex.
    /// Moves the plug-in one step at a time to `target`, up or down. Going up stops
    /// at the first step the plug-in refuses; going down always arrives. False when
    /// a step was refused (logged there, except initialize, which the load reports).
    bool moveTo(LifecycleState target);
    bool stepUp();
    bool stepDown();
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

    // Load steps (VSTModule.cpp); control side, under controlMutex and libraryMutex.
    /// Each logs its failure and stores the reason in `loadError`.
    bool fail(const std::string& reason);
    bool openModule(const std::string& path);
    bool chooseClasses();
    void setUpController();
    bool findAudioProcessor();
    void configureBuses();
    void prepareParameters();

    /// Channels to declare for audio bus 0 of `direction`: 2, or 1 for a mono bus.
    Steinberg::int32 busChannels(Steinberg::Vst::BusDirection direction);

    // Parameter steps (VSTModuleParameters.cpp); control side, under controlMutex.
    /// Calls `visit(info)` for each parameter the controller describes, in its
    /// order; logs once when there is no controller.
    template <typename Visit>
    void forEachParameterInfo(Visit&& visit);
    std::vector<VSTParameter> listParameters();
    /// The controller's text for `value` of `id`; empty when it has none.
    std::string valueText(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);
    void buildParameterTable(const std::vector<VSTParameter>& parameters);
    /// False, after logging, for a read-only id.
    bool setParameterValue(Steinberg::Vst::ParamID id, double value);
    bool isReadOnly(Steinberg::Vst::ParamID id) const;
    /// Logs what the audio thread counted since the last report.
    void reportAudioFailures();
    /// The by-name entry for `name`, or null after logging that it was not found.
    VSTNamedParameter* findNamedParameter(const std::string& name);

    /// Audio side (the audio thread, or a control thread while no block can run):
    /// moves values changed since the last block into `parameterChanges`.
    void queueChangedParameters() noexcept;

    // Plain values (VSTModulePlainValues.cpp); control side, under controlMutex.
    /// Sets the named parameter from a plug-in's own step name, logging a name it
    /// does not have.
    bool setByPluginValueName(const std::string& name, const VSTNamedParameter& parameter,
                              const std::string& valueName);

    // State steps (VSTModuleState.cpp); control side, under controlMutex.
    bool captureState(PluginStateChunks& chunks, bool report);
    /// Hands values set since the last block to the processing component in a block
    /// of no samples, so that its state holds them.
    void deliverChangedParameters();
    /// Decodes `bytes` (a preset file's content) and restores it; `what` names the
    /// source in failure lines, e.g. "plug-in state".
    bool restoreEncodedState(const std::vector<std::uint8_t>& bytes, const std::string& what);
    bool applyState(const PluginStateChunks& chunks, bool report);
    /// Hands a separate controller the component's state, as VST 3 asks once the two
    /// are connected; part of the load.
    void synchroniseController();
    bool controllerIsComponent();
};

} // namespace varnel::extensions::vst
