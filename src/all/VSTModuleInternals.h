#pragma once

#include "HostContext.h"
#include "ParameterSlots.h"
#include "VSTModule.h"
#include "VSTNamedParameter.h"

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "public.sdk/source/vst/hosting/module.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/hosting/plugprovider.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace varnel::extensions::vst {

struct PluginStateChunks;

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
    /// Rate of the last setSampleRate the plug-in accepted; 0 until then.
    std::uint32_t sampleRate = 0;
    std::unordered_map<std::string, VSTNamedParameter> namedParameters;

    /// What the plug-in reports per block (meters); emptied before each block.
    Steinberg::Vst::ParameterChanges outputParameterChanges{0};
    /// Values on their way from control threads to the audio thread.
    ParameterSlots parameterSlots;

    /// Serialises control threads: plug-ins' controllers and lifecycle calls are not
    /// thread-safe. The audio thread never takes it.
    std::mutex controlMutex;

    // Lifecycle, as far as this module drove it (control side, under controlMutex).
    bool componentInitialized = false;
    bool componentConnected = false;  ///< component -> controller connect succeeded
    bool controllerConnected = false; ///< controller -> component connect succeeded
    bool isSetUp = false;             ///< a setupProcessing was accepted
    bool isActive = false;
    bool processingRequested = false; ///< the switch as the caller last set it

    /// Largest block announced in the accepted set-up. Written only while
    /// `processing` is false; the audio thread reads it only after seeing true.
    Steinberg::int32 maxSamplesPerBlock = 0;
    /// Whether `process` may call the plug-in: set after setProcessing(true) reached
    /// the plug-in, cleared before setProcessing(false) does.
    std::atomic<bool> processing{false};
    /// Raised by the audio thread around a block, so that the control side can wait
    /// for the block in flight before it switches processing off.
    std::atomic<bool> inProcess{false};

    /// Loads and unloads on several threads take turns: a library's factory is
    /// shared by every module of that library, the installed plug-ins' factories
    /// are not thread-safe, and the context PlugProvider hands out is process-wide.
    /// Taken after controlMutex, never before it.
    static std::mutex& libraryMutex();

    // Lifecycle steps (VSTModuleLifecycle.cpp); control side, under controlMutex.
    bool applySetup(Steinberg::Vst::ProcessSetup& setup);
    void activate();
    void deactivate();
    bool startProcessing();
    bool stopProcessing();
    void tearDown();

    /// Channels to declare for audio bus 0 of `direction`: 2, or 1 for a mono bus.
    Steinberg::int32 busChannels(Steinberg::Vst::BusDirection direction);

    // Parameter steps (VSTModuleParameters.cpp); control side, under controlMutex.
    std::vector<VSTParameter> listParameters();
    void buildParameterTable(const std::vector<VSTParameter>& parameters);
    void setParameterValue(Steinberg::Vst::ParamID id, double value);
    /// The by-name entry for `name`, or null after logging that it was not found.
    VSTNamedParameter* findNamedParameter(const std::string& name);

    /// Audio side (the audio thread, or a control thread while no block can run):
    /// moves values changed since the last block into `parameterChanges`.
    void queueChangedParameters() noexcept;

    // Plain values (VSTModulePlainValues.cpp); control side, under controlMutex.
    /// The plug-in's text for normalised `value` of `id`; empty when it gives none.
    std::string parameterText(Steinberg::Vst::ParamID id, double value);
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
    bool controllerIsComponent();
};

} // namespace varnel::extensions::vst
