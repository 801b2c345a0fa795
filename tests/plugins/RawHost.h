#pragma once

// A minimal VST 3 host written against the raw interfaces, for driving the test
// plug-ins by hand. Each step makes exactly the VST 3 calls it names, so a test
// can run them in the correct order (bringUp / tearDown) or break the order on
// purpose by calling steps out of turn. Plug-in objects are raw pointers whose
// references the steps release explicitly, so a test decides when a release
// happens.

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <array>
#include <string>
#include <vector>

namespace rawhost {

using Steinberg::int32;
using Steinberg::tresult;

// Stack-owned FUnknown objects: reference counting is a no-op because the test owns them.
#define RAWHOST_STACK_REFCOUNT                                                                               \
    Steinberg::uint32 PLUGIN_API addRef() override {                                                         \
        return 1;                                                                                            \
    }                                                                                                        \
    Steinberg::uint32 PLUGIN_API release() override {                                                        \
        return 1;                                                                                            \
    }

class HostContext final : public Steinberg::Vst::IHostApplication {
public:
    tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override;
    tresult PLUGIN_API createInstance(Steinberg::TUID cid, Steinberg::TUID iid, void** object) override;
    tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** object) override;
    RAWHOST_STACK_REFCOUNT
};

// Accepts every edit and restart request and does nothing with them.
class ComponentHandler final : public Steinberg::Vst::IComponentHandler {
public:
    tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID) override { return Steinberg::kResultOk; }
    tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID, Steinberg::Vst::ParamValue) override {
        return Steinberg::kResultOk;
    }
    tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID) override { return Steinberg::kResultOk; }
    tresult PLUGIN_API restartComponent(int32) override { return Steinberg::kResultOk; }
    tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** object) override;
    RAWHOST_STACK_REFCOUNT
};

class ParameterQueue final : public Steinberg::Vst::IParamValueQueue {
public:
    void reset(Steinberg::Vst::ParamID id);
    Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return id_; }
    int32 PLUGIN_API getPointCount() override { return count_; }
    tresult PLUGIN_API getPoint(int32 index, int32& sampleOffset, Steinberg::Vst::ParamValue& value) override;
    tresult PLUGIN_API addPoint(int32 sampleOffset, Steinberg::Vst::ParamValue value, int32& index) override;
    tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** object) override;
    RAWHOST_STACK_REFCOUNT

private:
    Steinberg::Vst::ParamID id_ = 0;
    int32 count_ = 0;
    std::array<std::pair<int32, Steinberg::Vst::ParamValue>, 16> points_{};
};

// Fixed capacity, so that using it inside process allocates nothing.
class ParameterChangeList final : public Steinberg::Vst::IParameterChanges {
public:
    void clear() { used_ = 0; }
    void add(Steinberg::Vst::ParamID id, int32 sampleOffset, Steinberg::Vst::ParamValue value);
    int32 PLUGIN_API getParameterCount() override { return used_; }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(int32 index) override;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID& id,
                                                                  int32& index) override;
    tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** object) override;
    RAWHOST_STACK_REFCOUNT

private:
    std::array<ParameterQueue, 8> queues_{};
    int32 used_ = 0;
};

// One plug-in library, its objects and the audio block handed to process.
class Session {
public:
    static constexpr int32 bufferFrames = 4096;

    // dlopens the bundle's library; channels is what the host declares per bus.
    explicit Session(const std::string& name, int32 channels = 2);
    // Releases whatever the test left, in the correct order, then dlcloses.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool loaded() const { return library_ != nullptr; }

    // Module
    bool moduleEntry();
    bool moduleExit();
    bool getPluginFactory(); // keeps the factory
    void releaseFactory();

    // Objects. createComponent takes the classIndex-th "Audio Module Class".
    tresult createComponent(int classIndex = 0);
    tresult initializeComponent();
    // Named by the component; created, initialised and given a component handler.
    tresult createController();
    tresult connect();       // both directions
    tresult transferState(); // component getState -> controller setComponentState
    tresult disconnect();    // both directions
    tresult terminateController();
    void releaseController();
    tresult terminateComponent();
    void releaseComponent();

    // Processing
    tresult setupProcessing(double sampleRate, int32 maxSamplesPerBlock,
                            int32 symbolicSampleSize = Steinberg::Vst::kSample32);
    tresult activateBuses(bool state);
    tresult setActive(bool state);
    tresult setProcessing(bool state);
    tresult process(int32 numSamples); // input: a ramp; output cleared first

    // The correct sequences: everything up to setProcessing(true), and back down to ModuleExit.
    bool bringUp(double sampleRate = 48000.0, int32 maxSamplesPerBlock = 512);
    void tearDown();

    Steinberg::IPluginFactory* factory() const { return factory_; }
    Steinberg::Vst::IComponent* component() const { return component_; }
    Steinberg::Vst::IAudioProcessor* processor() const { return processor_; }
    Steinberg::Vst::IEditController* controller() const { return controller_; }
    void* library() const { return library_; }

    HostContext host;
    bool givesComponentHandler = true; // false: a host that never calls setComponentHandler
    ParameterChangeList inputChanges;
    ParameterChangeList outputChanges;
    Steinberg::Vst::ProcessData data;
    std::array<std::vector<float>, 2> input;
    std::array<std::vector<float>, 2> output;

private:
    // Connects, or disconnects, the two connection points in both directions.
    tresult linkConnectionPoints(bool connect);

    void* library_ = nullptr;
    bool entered_ = false;
    int32 channels_;
    Steinberg::IPluginFactory* factory_ = nullptr;
    Steinberg::Vst::IComponent* component_ = nullptr;
    Steinberg::Vst::IAudioProcessor* processor_ = nullptr;
    Steinberg::Vst::IEditController* controller_ = nullptr;
    bool controllerIsComponent_ = false; // a combined class: the component's own IEditController
    bool componentInitialized_ = false;
    bool controllerInitialized_ = false;
    bool connected_ = false;
    bool active_ = false;
    bool processing_ = false;
    std::array<float*, 2> inputPointers_{};
    std::array<float*, 2> outputPointers_{};
    Steinberg::Vst::AudioBusBuffers inputBus_{};
    Steinberg::Vst::AudioBusBuffers outputBus_{};
};

// The class infos the factory declares, read through IPluginFactory only.
std::vector<Steinberg::PClassInfo> classInfos(Steinberg::IPluginFactory* factory);

} // namespace rawhost
