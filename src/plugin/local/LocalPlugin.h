#pragma once

// The plug-in loaded into this process: the one HostedPlugin there is today.
#include "InternalVisibility.h"
#include "editor/PluginEditor.h"
#include "plugin/ComponentHandler.h"
#include "plugin/HostedPlugin.h"
#include "thread/PluginThread.h"

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/vst/hosting/connectionproxy.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/hosting/processdata.h"

#include <array>
#include <exception>
#include <memory>
#include <mutex>

namespace varnel::extensions::vst {

/// One instance of the plug-in's audio module class and everything its process
/// call needs. A plug-in runs one, or two of the same class for a mono-only
/// plug-in on a stereo signal. Plug-in objects are held through the SDK's counted
/// pointers, one reference each.
struct PluginInstance {
    Steinberg::FUnknownPtr<Steinberg::Vst::IComponent> component;
    Steinberg::FUnknownPtr<Steinberg::Vst::IAudioProcessor> audioProcessor;
    /// How far this instance is brought up; only the lifecycle steps change it.
    LifecycleState state = LifecycleState::created;
    /// Largest block of the last set-up this instance accepted; 0 before one.
    Steinberg::int32 maxSamplesPerBlock = 0;
    /// Whether it ever accepted a set-up: it keeps that one when refusing the next.
    bool hasSetup = false;
    /// The processing switch it last refused, if any: asking for that state again
    /// asks the plug-in again.
    std::optional<bool> refusedSwitch;
    /// The connections made on the way up, undone on the way down: the proxy that
    /// carries the component's messages to the controller, and the one the other
    /// way, each null when that direction was not connected. Only the first
    /// instance talks to the controller.
    Steinberg::IPtr<Steinberg::Vst::ConnectionProxy> componentConnection;
    Steinberg::IPtr<Steinberg::Vst::ConnectionProxy> controllerConnection;
    /// The plug-in thread's timer that hands the proxies' waiting messages over
    /// while connected; 0 without one.
    PluginThread::TimerId messageDelivery = 0;

    /// The process-data record, with one bus record per declared bus (each with
    /// the bus's own channel count) and the block's musical context; re-pointed at
    /// the caller's buffers per block. Only the audio thread touches it while
    /// blocks run.
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

class VARNELVST_INTERNAL LocalPlugin final : public HostedPlugin {
public:
    /// `edits` receives the controller's own edits, for the processor.
    LocalPlugin(PluginLink& link, ParameterSlots& edits);
    ~LocalPlugin() override;

    bool load(const std::string& path, const std::string& pluginClass, PluginFacts& facts,
              std::string& error) override;
    void unload() noexcept override;
    bool hasProcessor() const noexcept override { return loaded; }

    bool moveTo(LifecycleState target) override;
    LifecycleState lowestState() const override;
    LifecycleState highestState() const override;
    bool applySetup(const Steinberg::Vst::ProcessSetup& setup, LifecycleState running) override;
    std::optional<Steinberg::Vst::ProcessSetup> setupInForce() const override { return acceptedSetup; }
    bool repeatRefusedSwitch(bool processing) override;
    std::uint32_t latencySamples() const override { return latency; }
    std::uint32_t tailSamples() const override { return tail; }
    std::uint32_t currentLatency() override;
    void readTiming() override;
    std::uint64_t activations() const override { return activationCount; }

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
    bool activateSideChain(bool active, std::string& reason) override;

    bool editorAvailable(const std::string& platformType, std::string& reason) override;
    bool openEditor(void* parent, const std::string& platformType, std::string& reason) override;
    void closeEditor() noexcept override;
    bool isEditorOpen() const override { return editor.isOpen(); }
    VSTEditorSize editorSize() const override { return editor.size(); }
    bool resizeEditor(VSTEditorSize& size, std::string& reason) override;
    bool setEditorContentScale(float factor, std::string& reason) override;

    BlockOutcome process(const PluginBlock& block) noexcept override;

    /// Loads and unloads on several threads take turns: a library's factory is
    /// shared by every user of that library, the installed plug-ins' factories are
    /// not thread-safe, and the host context the factory gets is process-wide.
    static std::mutex& libraryMutex();
    /// Every class the library at `path` declares, in the factory's order; empty
    /// with the reason in `error` when it does not load. Creates no plug-in object.
    static std::vector<VSTPluginClassInfo> listClasses(const std::string& path, std::string& error);

private:
    // Load steps (LocalPluginLoad.cpp).
    bool openModule(const std::string& path, std::string& error);
    bool chooseClass(const std::string& wanted, PluginFacts& facts, std::string& error);
    void setUpController();
    void giveComponentHandler();
    bool findAudioProcessor(PluginInstance& instance, std::string& error);
    /// Hands a separate controller the component's state, as VST 3 asks once the
    /// two are connected.
    void synchroniseController();
    bool controllerIsComponent();
    void reserveOutputChanges();

    // Lifecycle steps (LocalPluginLifecycle.cpp).
    bool stepUp(PluginInstance& instance);
    bool stepDown(PluginInstance& instance);
    /// Lets blocks run once every instance processes.
    void startAudio();

    // Buses (LocalPluginBuses.cpp), while every instance is inactive.
    /// Asks for stereo main buses, reads back what the plug-in took, chooses the
    /// layout and, for dual mono, brings up the second instance the same way.
    bool configureBuses(PluginFacts& facts, std::string& error);
    void configureInstance(PluginInstance& instance, bool reportActivation);
    void describeBuses(PluginInstance& instance, std::vector<VSTBusInfo>& buses);
    /// Notes the first auxiliary audio input bus, the side-chain, if there is one.
    void findSideChain();
    /// (Re-)makes the scratch buffers for blocks of `frames` and points every bus
    /// record that does not carry the caller's signal at them.
    void prepareScratch(Steinberg::int32 frames);

    // Audio side (LocalPluginProcess.cpp).
    void processLayout(const PluginBlock& block, BlockOutcome& outcome) noexcept;
    void processInstance(PluginInstance& instance, float* in0, float* in1, float* out0, float* out1,
                         const PluginBlock& block, BlockOutcome& outcome) noexcept;
    /// Points the side-chain bus at the block's side-chain, or at silence.
    void pointSideChain(PluginInstance& instance, const PluginBlock& block) noexcept;

    /// A plug-in call that throws counts as refused (kInternalError), with one
    /// line, so that the lifecycle stays in a state it knows.
    template <typename Call>
    Steinberg::tresult callPlugin(const char* what, Call&& call) {
        lastCallThrew = false;
        link.calling(what);
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
    void reportThrow(const char* what, const std::string& reason);
    /// Reports `reason` unless the call that failed threw (that has its line); false.
    bool refuseCall(const std::string& reason);

    /// Calls `visit(instance)` for every running instance, the controller's first.
    template <typename Visit>
    void forEachInstance(Visit&& visit) {
        for (int index = 0; index < instanceCount; ++index)
            visit(instances[static_cast<std::size_t>(index)]);
    }
    PluginInstance& lead() { return instances[0]; }
    const PluginInstance& lead() const { return instances[0]; }

    PluginLink& link;
    std::shared_ptr<VST3::Hosting::Module> module;
    /// The first instance is the one the controller talks to; a second runs only
    /// for dual mono.
    std::array<PluginInstance, 2> instances;
    int instanceCount = 1;
    VSTChannelLayout channelLayout = VSTChannelLayout::none;
    VST3::UID audioModuleClass;
    Steinberg::FUnknownPtr<Steinberg::Vst::IEditController> controller;
    Steinberg::OPtr<Steinberg::Vst::IHostApplication> hostApplication;
    /// The controller's way back: its own edits go into the module's parameter
    /// slots, its restart requests wait there.
    Steinberg::OPtr<ComponentHandler> componentHandler;
    /// Whether the controller accepted componentHandler, and so must be told to
    /// drop it before it is terminated.
    bool componentHandlerGiven = false;
    /// A separate controller this plug-in side created and initialised (and terminates).
    bool controllerInitialized = false;
    /// The plug-in's editor while open; closed first on the way down.
    PluginEditor editor;
    /// Written before blocks can run; read by the audio thread.
    bool loaded = false;
    bool lastCallThrew = false;
    /// Whether startBlocks was given since the last stopBlocks of a step down.
    bool blocksRunning = false;

    /// The set-up the next step up to setUp asks for, and the last one accepted.
    Steinberg::Vst::ProcessSetup requestedSetup{Steinberg::Vst::kRealtime, Steinberg::Vst::kSample32, 1024,
                                                48000.0};
    std::optional<Steinberg::Vst::ProcessSetup> acceptedSetup;
    std::uint32_t latency = 0;
    std::uint32_t tail = 0;
    std::uint64_t activationCount = 0;

    /// Buffers for what the caller's signal lacks, made on the plug-in thread for
    /// `scratchFrames` frames, never on the audio thread: silence for inactive and
    /// auxiliary inputs, the mean of left and right for a mono input and for a mono
    /// side-chain, and one channel per extra output, which is dropped.
    std::vector<float> scratch;
    Steinberg::int32 scratchFrames = 0;
    float* silence = nullptr;
    float* monoMix = nullptr;
    /// The mean of a stereo side-chain, for a mono side-chain bus.
    float* sideMix = nullptr;
    /// The first auxiliary audio input bus (-1 without one), its channels, and
    /// whether it is active; written while no block runs.
    Steinberg::int32 sideChainBus = -1;
    Steinberg::int32 sideChainChannels = 0;
    bool sideChainActive = false;
};

} // namespace varnel::extensions::vst
