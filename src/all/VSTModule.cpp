// Loading a plug-in: one named step per stage, in the order VST 3 requires. Each
// step that can fail logs its one line and keeps the reason for getLoadError.
#include "VSTModule.h"

#include "VSTModuleInternals.h"

#include "public.sdk/source/vst/utility/stringconvert.h"

#include <varnel/Logger.h>

#include <optional>
#include <vector>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Points per output queue: plug-ins report meters once or a few times per block.
constexpr int32 kOutputPointsPerQueue = 16;
// Queues beyond one per listed id, for ids set that the plug-in did not list.
constexpr std::size_t kExtraQueues = 16;

VSTPluginClassInfo describeClass(const VST3::Hosting::ClassInfo& info, const std::string& factoryVendor) {
    return VSTPluginClassInfo{
        info.name(),          info.vendor().empty() ? factoryVendor : info.vendor(),
        info.version(),       info.category(),
        info.subCategories(), info.ID().toString(),
    };
}

} // namespace

std::mutex& VSTModule::Internals::libraryMutex() {
    static std::mutex mutex;
    return mutex;
}

bool VSTModule::Internals::fail(const std::string& reason) {
    loadError = reason;
    return refuse(reason);
}

bool VSTModule::Internals::openModule(const std::string& path) {
    std::string error;
    module = VST3::Hosting::Module::create(path, error);
    if (!module)
        return fail("Error loading plugin: " + error);
    if (module->getFactory().classCount() == 0)
        return fail("No plugin class found.");
    return true;
}

bool VSTModule::Internals::chooseClass(const std::string& wanted) {
    VST3::Hosting::PluginFactory factory = module->getFactory();
    // The factory is shared by every module of the library and outlives this one;
    // plug-ins keep the context they are given there, so it gets the process-wide one.
    factory.setHostContext(HostContext::processWide());
    const std::string factoryVendor = factory.info().vendor();

    std::vector<VST3::Hosting::ClassInfo> effects;
    for (const VST3::Hosting::ClassInfo& info : factory.classInfos()) {
        if (info.category() == kVstAudioEffectClass)
            effects.push_back(info);
    }
    if (effects.empty())
        return fail("No audio module class found.");
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
            return fail("No audio module class is named or has the id " + wanted + "; the plug-in declares " +
                        declared + ".");
        }
    }

    // A component that is never initialised processes nothing, so it is
    // initialised as soon as it exists.
    moveTo(LifecycleState::created);
    lead().component = factory.createInstance<IComponent>(chosen->ID()).get();
    if (!lead().component)
        return fail("Could not create the plug-in component.");
    if (!moveTo(LifecycleState::initialized)) {
        lead().component = nullptr;
        return fail("Could not initialize the plug-in component.");
    }
    plugProvider = new PlugProvider(factory, *chosen, true); // adopted: OPtr takes no reference
    classInfo = describeClass(*chosen, factoryVendor);
    audioModuleClass = chosen->ID();
    return true;
}

void VSTModule::Internals::setUpController() {
    // A component that is its own controller needs no second object. Otherwise the
    // controller is the class the component names, created here for this very
    // component: a provider's set-up would make a second component to feed it, which
    // the controller would then be connected to and take its state from.
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

void VSTModule::Internals::giveComponentHandler() {
    if (controller && controller->setComponentHandler(componentHandler) == kResultOk)
        componentHandlerGiven = true;
}

bool VSTModule::Internals::findAudioProcessor(PluginInstance& instance) {
    instance.audioProcessor = instance.component.get();
    if (!instance.audioProcessor)
        return fail("Failed to get audio processor interface.");
    return true;
}

void VSTModule::Internals::prepareParameters() {
    const std::vector<VSTParameter> parameters = listParameters();
    buildParameterTable(parameters);

    // Capacity for every parameter change is made here, before audio can run, so
    // that the audio thread never allocates for one.
    std::vector<ParamID> listedIds;
    listedIds.reserve(parameters.size());
    for (const VSTParameter& parameter : parameters)
        listedIds.push_back(parameter.id);
    parameterSlots.reserve(listedIds);
    // A queue per listed id, so that a block can carry a change of every one; ids
    // added later share what is left and wait a block when there is none.
    const auto queues = static_cast<int32>(listedIds.size() + kExtraQueues);
    parameterChanges.reserve(queues, 1);
    componentHandler->setReadOnlyIds(readOnlyIds);
    forEachInstance([queues](PluginInstance& instance) {
        instance.outputParameterChanges.reserve(queues, kOutputPointsPerQueue);
    });
    outputSlots.reserve(listedIds);
    knownValues.clear();
    if (controller) {
        for (const VSTParameter& parameter : parameters)
            knownValues[parameter.id] = controller->getParamNormalized(parameter.id);
    }
}

VSTModule::VSTModule() : internals(std::make_unique<Internals>()) {}

VSTModule::~VSTModule() {
    // Torn down on the plug-in thread like everything else; what the plug-in throws
    // there is logged and the rest of the tear-down still happens.
    Internals& in = *internals;
    in.inspect([&in] {
        try {
            in.catchUp(false);
        } catch (...) {
            in.reportThrow("the last catch-up", "an exception");
        }
        in.tearDown();
    });
}

bool VSTModule::loadPlugin(const std::string& path) {
    std::string error;
    return loadPlugin(path, error);
}

bool VSTModule::loadPlugin(const std::string& path, std::string& error) {
    return loadPlugin(path, {}, error);
}

bool VSTModule::loadPlugin(const std::string& path, const std::string& pluginClass, std::string& error) {
    Internals& in = *internals;
    return in.enter("loadPlugin", [&] { return in.load(path, pluginClass, error); });
}

bool VSTModule::Internals::load(const std::string& path, const std::string& pluginClass, std::string& error) {
    Internals& in = *this;
    if (in.module) {
        // The loaded plug-in stays, and so does the reason of its load.
        error = "A plug-in is already loaded.";
        return refuse(error);
    }
    std::lock_guard libraryLock(Internals::libraryMutex());
    const bool loaded = [&in, &path, &pluginClass] {
        if (!in.openModule(path) || !in.chooseClass(pluginClass))
            return false;
        in.setUpController();
        // Before anything can make the controller edit or ask for a restart.
        in.giveComponentHandler();
        in.moveTo(LifecycleState::connected);
        in.synchroniseController();
        if (!in.findAudioProcessor(in.lead()) || !in.configureBuses())
            return false;
        in.prepareParameters();
        // Set up before the graph announces its rate: the installed plug-ins crash
        // on a block that arrives before any set-up. A refusal is logged there and
        // leaves the plug-in not ready; a later set-up may still be accepted.
        in.applySetup(in.requestedSetup);
        return true;
    }();
    if (!loaded) {
        in.classInfo = {};
        in.channelLayout = VSTChannelLayout::none;
    } else {
        in.startService();
    }
    error = in.loadError;
    return loaded;
}

std::string VSTModule::getLoadError() const {
    return internals->inspect([this] { return internals->loadError; });
}

std::vector<VSTPluginClassInfo> VSTModule::listPluginClasses(const std::string& path, std::string& error) {
    // Factories are called on the plug-in thread too.
    return PluginThread::instance().call([&] { return Internals::listClasses(path, error); });
}

std::vector<VSTPluginClassInfo> VSTModule::Internals::listClasses(const std::string& path,
                                                                  std::string& error) {
    std::vector<VSTPluginClassInfo> classes;
    std::lock_guard libraryLock(Internals::libraryMutex());
    error.clear();
    const VST3::Hosting::Module::Ptr module = VST3::Hosting::Module::create(path, error);
    if (!module) {
        error = "Error loading plugin: " + error;
        return classes;
    }
    const VST3::Hosting::PluginFactory& factory = module->getFactory();
    factory.setHostContext(HostContext::processWide());
    const std::string factoryVendor = factory.info().vendor();
    for (const VST3::Hosting::ClassInfo& info : factory.classInfos())
        classes.push_back(describeClass(info, factoryVendor));
    return classes;
}

VSTPluginClassInfo VSTModule::getPluginClassInfo() const {
    return internals->inspect([this] { return internals->classInfo; });
}

std::vector<VSTBusInfo> VSTModule::getBuses() const {
    return internals->inspect([this] { return internals->buses; });
}

} // namespace varnel::extensions::vst
