#pragma once

// One class plays every plug-in object of the family: the processing component
// (IComponent + IAudioProcessor), the edit controller (IEditController), or both
// at once, as its ClassEntry's role says. queryInterface answers only the
// interfaces of the role, so a host sees a plain component or controller, while
// the lifecycle checks and the recording exist once.
//
// Lifecycle, as a host must drive it (anything else is recorded as a violation,
// never refused in a way that crashes):
//   created -> initialize -> [connect] -> setupProcessing -> setActive(true)
//   -> setProcessing(true) -> process... -> setProcessing(false) -> setActive(false)
//   -> [disconnect] -> terminate -> last release.
// The flags below are atomics because process reads them on the audio thread
// while control threads change them.

#include "ClassCatalog.h"
#include "PluginConfig.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/vst/vstcomponent.h"
#include "public.sdk/source/vst/vstparameters.h"

#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace testplugin {

class RecordedCall;
struct ProcessRecord;

class TestPluginObject final : public Steinberg::Vst::Component,
                               public Steinberg::Vst::IAudioProcessor,
                               public Steinberg::Vst::IEditController {
public:
    using tresult = Steinberg::tresult;
    using int32 = Steinberg::int32;
    using uint32 = Steinberg::uint32;
    using TBool = Steinberg::TBool;
    using IBStream = Steinberg::IBStream;
    using ParamID = Steinberg::Vst::ParamID;
    using ParamValue = Steinberg::Vst::ParamValue;
    using MediaType = Steinberg::Vst::MediaType;
    using BusDirection = Steinberg::Vst::BusDirection;
    using SpeakerArrangement = Steinberg::Vst::SpeakerArrangement;

    explicit TestPluginObject(const ClassEntry& entry); // one reference, for the factory
    ~TestPluginObject() override;

    const std::string& name() const { return name_; } // "TestSeparate#2"

    // A program loaded on the controller side (TestPluginProbe::loadProgramOnController):
    // sets the controller's own values, not recorded as a host call; false, changing
    // nothing, when an id is unknown. Any thread.
    bool loadProgram(const std::vector<std::pair<std::uint32_t, double>>& values);
    // A new title for `id` (TestPluginProbe::renameParameter), not recorded as a host
    // call; false for an unknown id. Any thread.
    bool renameParameter(std::uint32_t id, const std::string& title);

    // FUnknown
    tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** object) override;
    REFCOUNT_METHODS(Steinberg::Vst::Component)

    // IPluginBase (TestPluginObject.cpp)
    tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
    tresult PLUGIN_API terminate() override;

    // IConnectionPoint (TestPluginObject.cpp); the base refuses a second connect with kResultFalse
    tresult PLUGIN_API connect(Steinberg::Vst::IConnectionPoint* other) override;
    tresult PLUGIN_API disconnect(Steinberg::Vst::IConnectionPoint* other) override;
    tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) override;

    // IComponent (TestComponent.cpp); getState/setState also serve IEditController
    tresult PLUGIN_API getControllerClassId(Steinberg::TUID classId) override;
    tresult PLUGIN_API setIoMode(Steinberg::Vst::IoMode mode) override;
    int32 PLUGIN_API getBusCount(MediaType type, BusDirection direction) override;
    tresult PLUGIN_API getBusInfo(MediaType type, BusDirection direction, int32 index,
                                  Steinberg::Vst::BusInfo& info) override;
    tresult PLUGIN_API getRoutingInfo(Steinberg::Vst::RoutingInfo& inInfo,
                                      Steinberg::Vst::RoutingInfo& outInfo) override;
    tresult PLUGIN_API activateBus(MediaType type, BusDirection direction, int32 index, TBool state) override;
    tresult PLUGIN_API setActive(TBool state) override;
    tresult PLUGIN_API setState(IBStream* state) override;
    tresult PLUGIN_API getState(IBStream* state) override;

    // IAudioProcessor (TestProcessor.cpp; process in TestProcess.cpp)
    tresult PLUGIN_API setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                          SpeakerArrangement* outputs, int32 numOuts) override;
    tresult PLUGIN_API getBusArrangement(BusDirection direction, int32 index,
                                         SpeakerArrangement& arrangement) override;
    tresult PLUGIN_API canProcessSampleSize(int32 symbolicSampleSize) override;
    uint32 PLUGIN_API getLatencySamples() override;
    tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
    tresult PLUGIN_API setProcessing(TBool state) override;
    tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;
    uint32 PLUGIN_API getTailSamples() override;

    // IEditController (TestController.cpp)
    tresult PLUGIN_API setComponentState(IBStream* state) override;
    int32 PLUGIN_API getParameterCount() override;
    tresult PLUGIN_API getParameterInfo(int32 paramIndex, Steinberg::Vst::ParameterInfo& info) override;
    tresult PLUGIN_API getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                             Steinberg::Vst::String128 string) override;
    tresult PLUGIN_API getParamValueByString(ParamID id, Steinberg::Vst::TChar* string,
                                             ParamValue& valueNormalized) override;
    ParamValue PLUGIN_API normalizedParamToPlain(ParamID id, ParamValue valueNormalized) override;
    ParamValue PLUGIN_API plainParamToNormalized(ParamID id, ParamValue plainValue) override;
    ParamValue PLUGIN_API getParamNormalized(ParamID id) override;
    tresult PLUGIN_API setParamNormalized(ParamID id, ParamValue value) override;
    tresult PLUGIN_API setComponentHandler(Steinberg::Vst::IComponentHandler* handler) override;
    Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;

private:
    bool isComponent() const { return entry_.role != Role::controller; }
    bool isController() const { return entry_.role != Role::component; }
    // The arrangement of each declared bus, in declaration order.
    SpeakerArrangement busArrangement(BusDirection direction, int32 index) const;
    int32 audioBusCount(BusDirection direction) const;
    const char* stateInterface() const; // "IComponent" or "IEditController" for getState/setState

    // False (after recording why) when a call comes before initialize or after
    // terminate; the caller then answers kNotInitialized.
    bool admit(RecordedCall& call) const;
    void addBuses();
    void addParameters();

    // Audio thread helpers (TestProcess.cpp): no allocation, locks or waiting.
    enum class BlockUse { refuse, parametersOnly, render };
    // Records the order violations of a process call and says what the block may be used for.
    BlockUse checkProcessCall(const Steinberg::Vst::ProcessData& data) const;
    // Records violations on one side's bus records; false when the main bus cannot be used.
    bool checkBuses(BusDirection direction, int32 numBuses, const Steinberg::Vst::AudioBusBuffers* buses,
                    int32 numSamples) const;
    // Snapshots the queues into record; apply takes "Gain" and "Choice" into the DSP.
    // Answers the step of a "Program" change in the block, -1 without one.
    int32 readParameterChanges(Steinberg::Vst::IParameterChanges* changes, ProcessRecord& record, bool apply);
    // The processor's own program change: its gain, reported back as "Gain".
    void applyProgram(int32 step, Steinberg::Vst::IParameterChanges* outputChanges);
    // A latency change the probe asked the processor for, reported as "Latency".
    void reportNewLatency(Steinberg::Vst::IParameterChanges* outputChanges) const;
    float render(Steinberg::Vst::ProcessData& data) const;
    // One point at offset 0; read-only values are also kept in the ReportedValues.
    void reportOutputValue(Steinberg::Vst::IParameterChanges* outputChanges, ParamID id, double value) const;
    bool hasStandardParameters() const {
        return kPluginConfig.parameters != ParameterLayout::duplicateTitles;
    }

    const ClassEntry& entry_;
    const int instance_;
    const std::string name_;

    std::atomic<bool> initialized_{false};
    std::atomic<bool> terminated_{false};
    std::atomic<bool> setUp_{false}; // a setupProcessing was accepted
    std::atomic<bool> active_{false};
    std::atomic<bool> processing_{false};
    std::atomic<int32> maxSamplesPerBlock_{0};
    std::atomic<int32> symbolicSampleSize_{Steinberg::Vst::kSample32};
    std::atomic<double> gain_{1.0};              // last "Gain" the DSP received (or a program set)
    std::atomic<double> gainAfterProgram_{-1.0}; // a Gain queued after the Program, this block
    std::atomic<double> choiceFactor_{1.0};      // the output factor of the last "Choice" step
    std::atomic<double> offset_{0.0};            // added to every output sample; only in the state
    std::atomic<bool> restoringState_{false};    // inside the component's setState
    double viewScale_ = 1.0;                     // the controller's own state
    std::atomic<int> blocksInFlight_{0};         // process calls running now
    std::atomic<bool> handlerGiven_{false};      // a host gave the controller a component handler
    std::atomic<uint32> activeLatency_{0};       // taken on at activation
    // The message of sendsMessageFromProcess, made at activation, and whether the
    // next block sends it.
    Steinberg::IPtr<Steinberg::Vst::IMessage> processMessage_;
    std::atomic<bool> messageDue_{false};
    // The audio delayed by activeLatency_; written only inside process, cleared at activation.
    mutable std::array<std::array<float, kMaxLatency>, 2> delayLine_{};
    mutable uint32 delayPosition_ = 0;
    // Kept through setActive (keepsSignalAcrossActivation) and the noise generator's state.
    mutable std::array<float, 2> carry_{};
    mutable uint32 noiseState_ = 1;
    // Audio thread: a Mode value under latencyFollowsMode.
    void followMode(ParamValue value) noexcept;
    // Audio thread: a new delay at once, reported with a restart request.
    void moveLatency(uint32 latency) noexcept;
    bool audioFlowed_ = false; // audio thread: a block with frames was rendered (latencyOnceAudioFlows)
    std::int64_t framesRendered_ = 0; // audio thread: frames of the blocks rendered so far
    // Audio thread (rampsGain): the block's Gain points and the gain before them.
    struct GainPoint {
        int32 offset;
        double value;
    };
    std::array<GainPoint, 32> gainRamp_{};
    int32 gainRampPoints_ = 0;
    double gainRampStart_ = 1.0;
    double rampedGain(int32 frame) const noexcept;
    // Audio thread (addsSideChain): adds the active side-chain to the output.
    void addSideChain(Steinberg::Vst::ProcessData& data) const noexcept;
    // Records a lifecycle call made while a process call runs.
    void checkNoBlockInFlight(RecordedCall& call) const;

    // The controller's. Values change on the host's thread and on a probe's (a program
    // loaded on the controller side), hence the lock around every value access.
    Steinberg::Vst::ParameterContainer parameters_;
    mutable std::mutex parameterMutex_;
};

} // namespace testplugin
