// Loading a plug-in into this process: one named step per stage, in the order
// VST 3 requires, and the way back down.
#include "plugin/local/LocalPlugin.h"

#include "plugin/HostContext.h"
#include "state/PluginStateStream.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Points per output queue: plug-ins report meters once or a few times per block.
constexpr int32 kOutputPointsPerQueue = 16;
// Queues beyond one per listed id, for ids the plug-in reports without listing them.
constexpr int32 kExtraQueues = 16;

// VST 3 declares an instrument as an audio module class whose sub-categories
// ("Instrument|Synth", split at '|') name it; some factories put it in the category.
bool describesInstrument(const VST3::Hosting::ClassInfo& info) {
    constexpr const char* kInstrument = "Instrument";
    const auto& subCategories = info.subCategories();
    return info.category().find(kInstrument) != std::string::npos ||
           std::find(subCategories.begin(), subCategories.end(), kInstrument) != subCategories.end();
}

VSTPluginClassInfo describeClass(const VST3::Hosting::ClassInfo& info, const std::string& factoryVendor) {
    return VSTPluginClassInfo{
        info.name(),
        info.vendor().empty() ? factoryVendor : info.vendor(),
        info.version(),
        info.category(),
        info.subCategories(),
        info.ID().toString(),
        describesInstrument(info),
    };
}

} // namespace

LocalPlugin::LocalPlugin(PluginLink& link, ParameterSlots& edits)
    : link(link), hostApplication(new HostContext), componentHandler(new ComponentHandler(edits)),
      editor([&link](VSTEditorSize size) { link.editorResized(size); }) {}

LocalPlugin::~LocalPlugin() {
    unload();
}

std::mutex& LocalPlugin::libraryMutex() {
    static std::mutex mutex;
    return mutex;
}

bool LocalPlugin::load(const std::string& path, const std::string& pluginClass, PluginFacts& facts,
                       std::string& error) {
    std::lock_guard libraryLock(libraryMutex());
    if (!openModule(path, error) || !chooseClass(pluginClass, facts, error))
        return false;
    setUpController();
    // Before anything can make the controller edit or ask for a restart.
    giveComponentHandler();
    moveTo(LifecycleState::connected);
    synchroniseController();
    if (!findAudioProcessor(lead(), error) || !configureBuses(facts, error))
        return false;
    reserveOutputChanges();
    loaded = true;
    return true;
}

bool LocalPlugin::openModule(const std::string& path, std::string& error) {
    std::string reason;
    module = VST3::Hosting::Module::create(path, reason);
    if (!module) {
        error = "Error loading plugin: " + reason;
        return false;
    }
    if (module->getFactory().classCount() == 0) {
        error = "No plugin class found.";
        return false;
    }
    return true;
}

bool LocalPlugin::chooseClass(const std::string& wanted, PluginFacts& facts, std::string& error) {
    VST3::Hosting::PluginFactory factory = module->getFactory();
    // The factory is shared by every user of the library and outlives this one;
    // plug-ins keep the context they are given there, so it gets the process-wide one.
    factory.setHostContext(HostContext::processWide());
    const std::string factoryVendor = factory.info().vendor();

    std::vector<VST3::Hosting::ClassInfo> effects;
    for (const VST3::Hosting::ClassInfo& info : factory.classInfos()) {
        facts.bundleClasses.push_back(describeClass(info, factoryVendor));
        if (info.category() == kVstAudioEffectClass)
            effects.push_back(info);
    }
    if (effects.empty()) {
        error = "No audio module class found.";
        return false;
    }
    // Without a choice the last class wins, as it always has for bundles that
    // declare several; only that one is created (a bundle may declare dozens).
    const VST3::Hosting::ClassInfo* chosen = &effects.back();
    if (!wanted.empty()) {
        const std::optional<VST3::UID> wantedId = VST3::UID::fromString(wanted);
        chosen = nullptr;
        for (const VST3::Hosting::ClassInfo& info : effects) {
            if (info.name() == wanted || (wantedId && info.ID() == *wantedId))
                chosen = &info;
        }
        if (chosen == nullptr) {
            std::string declared;
            for (const VST3::Hosting::ClassInfo& info : effects)
                declared += (declared.empty() ? "" : ", ") + info.name() + " (" + info.ID().toString() + ")";
            error = "No audio module class is named or has the id " + wanted + "; the plug-in declares " +
                    declared + ".";
            return false;
        }
    }

    // A component that is never initialised processes nothing, so it is
    // initialised as soon as it exists.
    lead().component = factory.createInstance<IComponent>(chosen->ID()).get();
    if (!lead().component) {
        error = "Could not create the plug-in component.";
        return false;
    }
    if (!moveTo(LifecycleState::initialized)) {
        lead().component = nullptr;
        error = "Could not initialize the plug-in component.";
        return false;
    }
    facts.classInfo = describeClass(*chosen, factoryVendor);
    facts.classId = chosen->ID();
    audioModuleClass = chosen->ID();
    return true;
}

void LocalPlugin::setUpController() {
    // A component that is its own controller needs no second object. Otherwise the
    // controller is the class the component names, created here for this very
    // component.
    controller = lead().component.get();
    if (controller)
        return;
    TUID controllerClassId{};
    if (lead().component->getControllerClassId(controllerClassId) != kResultOk)
        return;
    controller =
        module->getFactory().createInstance<IEditController>(VST3::UID::fromTUID(controllerClassId)).get();
    if (controller && controller->initialize(hostApplication) != kResultOk)
        controller = nullptr;
    controllerInitialized = controller != nullptr;
}

void LocalPlugin::giveComponentHandler() {
    // A refusal only costs the plug-in its own edits and restart requests.
    if (controller && controller->setComponentHandler(componentHandler) == kResultOk)
        componentHandlerGiven = true;
}

bool LocalPlugin::findAudioProcessor(PluginInstance& instance, std::string& error) {
    instance.audioProcessor = instance.component.get();
    if (!instance.audioProcessor) {
        error = "Failed to get audio processor interface.";
        return false;
    }
    return true;
}

bool LocalPlugin::controllerIsComponent() {
    FUnknownPtr<FUnknown> componentIdentity(lead().component);
    FUnknownPtr<FUnknown> controllerIdentity(controller);
    return componentIdentity && componentIdentity.get() == controllerIdentity.get();
}

void LocalPlugin::synchroniseController() {
    if (!controller || controllerIsComponent())
        return;
    IPtr<PluginStateStream> componentState = owned(new PluginStateStream);
    if (lead().component->getState(componentState) != kResultOk)
        return;
    // Some controllers cannot read what their own component wrote (the installed
    // ZamAutoSat): they work from their defaults, which is no reason to fail a load.
    controller->setComponentState(owned(new PluginStateStream(componentState->data())));
}

void LocalPlugin::reserveOutputChanges() {
    // Room for a report of every listed parameter per block, made before audio runs.
    const int32 queues = (controller ? controller->getParameterCount() : 0) + kExtraQueues;
    forEachInstance([queues](PluginInstance& instance) {
        instance.outputParameterChanges.reserve(queues, kOutputPointsPerQueue);
    });
}

void LocalPlugin::unload() noexcept {
    editor.close();
    // The controller must not call back into a module that is going away.
    if (componentHandlerGiven)
        callPlugin("setComponentHandler", [&] { return controller->setComponentHandler(nullptr); });
    componentHandlerGiven = false;
    componentHandler->detach();
    moveTo(LifecycleState::created);
    loaded = false;
    std::lock_guard libraryLock(libraryMutex());
    controller = nullptr;
    for (PluginInstance& instance : instances) {
        instance.audioProcessor = nullptr;
        instance.component = nullptr;
    }
    // Unloads the library once every plug-in object is gone.
    module.reset();
}

std::vector<VSTPluginClassInfo> LocalPlugin::listClasses(const std::string& path, std::string& error) {
    std::vector<VSTPluginClassInfo> classes;
    std::lock_guard libraryLock(libraryMutex());
    error.clear();
    const VST3::Hosting::Module::Ptr library = VST3::Hosting::Module::create(path, error);
    if (!library) {
        error = "Error loading plugin: " + error;
        return classes;
    }
    const VST3::Hosting::PluginFactory& factory = library->getFactory();
    factory.setHostContext(HostContext::processWide());
    const std::string factoryVendor = factory.info().vendor();
    for (const VST3::Hosting::ClassInfo& info : factory.classInfos())
        classes.push_back(describeClass(info, factoryVendor));
    return classes;
}

void LocalPlugin::reportThrow(const char* what, const std::string& reason) {
    link.refused(std::string("The plug-in threw during ") + what + ": " + reason);
}

bool LocalPlugin::refuseCall(const std::string& reason) {
    if (!lastCallThrew)
        link.refused(reason);
    return false;
}

} // namespace varnel::extensions::vst
