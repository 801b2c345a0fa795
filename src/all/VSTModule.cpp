#include "VSTModule.h"

#include "VSTModuleInternals.h"

#include "pluginterfaces/vst/ivstmessage.h"

#include <varnel/Logger.h>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// The block size and rate a plug-in is set up for at load, before the graph
// announces its own: the installed plug-ins crash on a block that arrives before
// any set-up.
constexpr int32 kLoadMaxSamplesPerBlock = 1024;
constexpr double kLoadSampleRate = 48000.0;

// Room for ids that the plug-in did not list but a caller sets anyway.
constexpr std::size_t kSpareParameterSlots = 64;
// Points per output queue: plug-ins report meters once or a few times per block.
constexpr int32 kOutputPointsPerQueue = 16;

} // namespace

std::mutex& VSTModule::Internals::libraryMutex() {
    static std::mutex mutex;
    return mutex;
}

int32 VSTModule::Internals::busChannels(BusDirection direction) {
    BusInfo info{};
    const bool known = component->getBusInfo(kAudio, direction, 0, info) == kResultOk;
    return known && info.channelCount == 1 ? 1 : 2;
}

VSTModule::VSTModule() : internals(std::make_unique<Internals>()) {}

VSTModule::~VSTModule() {
    std::lock_guard lock(internals->controlMutex);
    internals->tearDown();
}

bool VSTModule::loadPlugin(const std::string& path) {
    Internals& in = *internals;
    std::lock_guard lock(in.controlMutex);
    if (in.module) {
        Logger::error("[VSTModule] A plug-in is already loaded.");
        return false;
    }

    std::lock_guard libraryLock(Internals::libraryMutex());
    std::string error;
    in.module = VST3::Hosting::Module::create(path, error);
    if (!in.module) {
        Logger::error("[VSTModule] Error loading plugin: " + error);
        return false;
    }
    if (in.module->getFactory().classCount() == 0) {
        Logger::error("[VSTModule] No plugin class found.");
        return false;
    }

    VST3::Hosting::PluginFactory factory = in.module->getFactory();
    // The factory is shared by every module of the library and outlives this one;
    // plug-ins keep the context they are given there, so it gets the process-wide one.
    factory.setHostContext(HostContext::processWide());

    // The last class of each category wins. Each component is initialised as soon as
    // it exists (a component that is never initialised processes nothing), and one
    // that a later class replaces is terminated before it is released.
    bool audioModuleClassFound = false;
    bool componentInitializeFailed = false;
    for (const VST3::Hosting::ClassInfo& classInfo : factory.classInfos()) {
        if (classInfo.category() == kVstAudioEffectClass) {
            audioModuleClassFound = true;
            if (in.component && in.componentInitialized)
                in.component->terminate();
            in.componentInitialized = false;
            in.component = factory.createInstance<IComponent>(classInfo.ID()).get();
            componentInitializeFailed = false;
            if (in.component) {
                in.componentInitialized = in.component->initialize(in.hostApplication) == kResultOk;
                if (!in.componentInitialized) {
                    componentInitializeFailed = true;
                    in.component = nullptr;
                }
            }
            in.plugProvider = new PlugProvider(factory, classInfo, true); // adopted: OPtr takes no reference
        }
        if (classInfo.category() == kVstComponentControllerClass)
            in.controller = factory.createInstance<IEditController>(classInfo.ID()).get();
    }
    if (!audioModuleClassFound) {
        Logger::error("[VSTModule] No audio module class found.");
        return false;
    }
    if (!in.component) {
        Logger::error(componentInitializeFailed ? "[VSTModule] Could not initialize the plug-in component."
                                                : "[VSTModule] Could not create the plug-in component.");
        return false;
    }

    // A component that is its own controller needs no second object; otherwise the
    // provider sets up a controller of the class the component names.
    in.controller = in.component.get();
    const bool controllerFromProvider = !in.controller && in.plugProvider;
    if (controllerFromProvider) {
        PluginContextFactory::instance().setPluginContext(in.hostApplication);
        const bool providerReady = in.plugProvider->initialize();
        PluginContextFactory::instance().setPluginContext(nullptr);
        if (providerReady) {
            IEditController* providedController = in.plugProvider->getController();
            in.controller = providedController;
            if (providedController)
                providedController->release(); // the field took its own reference
        }
    }

    {
        // The component's messages reach the controller. A controller that the
        // provider set up is already connected to the provider's own component and
        // takes one peer only (a second connect is refused, and the installed
        // plug-ins print an assertion for it), so it is not asked again.
        FUnknownPtr<IConnectionPoint> componentConnectionPoint(in.component);
        FUnknownPtr<IConnectionPoint> controllerConnectionPoint(in.controller);
        if (componentConnectionPoint && controllerConnectionPoint) {
            in.componentConnected = componentConnectionPoint->connect(controllerConnectionPoint) == kResultOk;
            if (!controllerFromProvider)
                in.controllerConnected =
                    controllerConnectionPoint->connect(componentConnectionPoint) == kResultOk;
        }
    }

    in.audioProcessor = in.component.get();
    if (!in.audioProcessor) {
        Logger::error("[VSTModule] Failed to get audio processor interface.");
        return false;
    }

    // Buses are configured while the component is still inactive.
    in.inputBusCount = in.component->getBusCount(kAudio, kInput);
    in.outputBusCount = in.component->getBusCount(kAudio, kOutput);
    if (in.inputBusCount > 0 && in.component->activateBus(kAudio, kInput, 0, true) != kResultOk)
        Logger::error("[VSTModule] input bus activation error");
    if (in.outputBusCount > 0 && in.component->activateBus(kAudio, kOutput, 0, true) != kResultOk)
        Logger::error("[VSTModule] output bus activation error");

    // One bus each way, stereo unless the plug-in's own bus is mono: a mono plug-in
    // then processes the left channel and the right one passes as the caller left it.
    // A plug-in without a bus in one direction is given none there: it would index
    // its own empty bus list for a bus it was handed.
    in.processData.numInputs = in.inputBusCount > 0 ? 1 : 0;
    in.processData.numOutputs = in.outputBusCount > 0 ? 1 : 0;
    in.inputBusBuffers[0].numChannels = in.busChannels(kInput);
    in.outputBusBuffers[0].numChannels = in.busChannels(kOutput);
    in.inputBusBuffers[0].channelBuffers32 = in.inputChannels;
    in.outputBusBuffers[0].channelBuffers32 = in.outputChannels;
    in.processData.inputs = in.inputBusBuffers;
    in.processData.outputs = in.outputBusBuffers;
    in.processData.symbolicSampleSize = kSample32;
    in.processData.inputParameterChanges = &in.parameterChanges;
    in.processData.outputParameterChanges = &in.outputParameterChanges;

    const std::vector<VSTParameter> parameters = in.listParameters();
    in.buildParameterTable(parameters);

    // Capacity for every parameter change is made here, before audio can run, so
    // that the audio thread never allocates for one.
    std::vector<ParamID> listedIds;
    listedIds.reserve(parameters.size());
    for (const VSTParameter& parameter : parameters)
        listedIds.push_back(parameter.id);
    in.parameterSlots.reserve(listedIds, kSpareParameterSlots);
    in.parameterChanges.reserve(static_cast<int32>(in.parameterSlots.capacity()), 1);
    in.outputParameterChanges.reserve(static_cast<int32>(in.parameterSlots.capacity()),
                                      kOutputPointsPerQueue);

    // Set up, then activate, then switch processing on: the order plug-ins expect.
    ProcessSetup setup{kRealtime, kSample32, kLoadMaxSamplesPerBlock, kLoadSampleRate};
    in.processingRequested = true;
    in.applySetup(setup);
    return true;
}

} // namespace varnel::extensions::vst
