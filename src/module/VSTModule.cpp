// Loading a plug-in and taking it down: the plug-in side does the VST 3 steps;
// the module reports a failure once, makes its tables, and sets the plug-in up as
// the caller asked.
#include "VSTModule.h"

#include "module/VSTModuleInternals.h"
#include "plugin/local/LocalPlugin.h"
#include "plugin/remote/IsolatedPlugin.h"

#include <varnel/Logger.h>

#include <vector>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Queues beyond one per listed id, for ids set that the plug-in did not list.
constexpr std::size_t kExtraQueues = 16;

} // namespace

VSTModule::Internals::Internals() {
    side.plugin = std::make_unique<LocalPlugin>(*this, audio.parameterSlots);
}

VSTModule::Internals::~Internals() = default;

bool VSTModule::Internals::fail(const std::string& reason) {
    side.loadError = reason;
    return refuse(reason);
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
    audio.parameterSlots.reserve(listedIds, side.readOnlyIds);
    // A queue per listed id, so that a block can carry a change of every one; ids
    // added later share what is left and wait a block when there is none. Each
    // queue holds as many points as automation puts into one piece.
    audio.parameterChanges.reserve(static_cast<int32>(listedIds.size() + kExtraQueues),
                                   ParameterAutomation::kMaxPointsPerBlock);
    audio.outputSlots.reserve(listedIds);
    audio.playedValues.reserve(listedIds);
    side.knownValues.clear();
    if (plugin().hasController()) {
        for (const VSTParameter& parameter : parameters)
            side.knownValues[parameter.id] = plugin().normalizedValue(parameter.id);
    }
}

VSTModule::VSTModule() : internals(std::make_unique<Internals>()) {}

VSTModule::~VSTModule() {
    // Torn down on the plug-in thread like everything else; what the plug-in throws
    // there is logged and the rest of the tear-down still happens.
    Internals& in = *internals;
    in.inspect([&in] {
        *in.side.alive = false;
        try {
            in.catchUp(false);
        } catch (...) {
            in.reportThrow("the last catch-up", "an exception");
        }
        in.tearDown();
    });
}

void VSTModule::Internals::tearDown() {
    stopService();
    side.plugin->unload();
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
    if (side.loadStarted) {
        // The loaded plug-in stays, and so does the reason of its load.
        error = "A plug-in is already loaded.";
        return refuse(error);
    }
    side.loadStarted = true;
    side.loadPath = path;
    side.loadClass = pluginClass;
    std::string reason;
    if (!plugin().load(path, pluginClass, side.facts, reason)) {
        // The library stays until the module goes, as after a successful load.
        side.facts = {};
        fail(reason);
        error = side.loadError;
        return false;
    }
    prepareParameters();
    // Set up before the graph announces its rate: the installed plug-ins crash on a
    // block that arrives before any set-up. A refusal is logged there and leaves
    // the plug-in not ready; a later set-up may still be accepted.
    plugin().applySetup(pluginSetup(settings.setup), settings.runningState);
    startService();
    error.clear();
    return true;
}

bool VSTModule::setIsolation(const VSTIsolation& isolation) {
    Internals& in = *internals;
    return in.inspect([&] {
        if (in.side.loadStarted)
            return in.refuse("The isolation is chosen before the load.");
        if (isolation.blockBudgetMicroseconds < 0 || isolation.hangMilliseconds < 1 ||
            isolation.callTimeoutMilliseconds < 1)
            return in.refuse("Invalid isolation limits: block budget " +
                             std::to_string(isolation.blockBudgetMicroseconds) + " us, hang " +
                             std::to_string(isolation.hangMilliseconds) + " ms, call timeout " +
                             std::to_string(isolation.callTimeoutMilliseconds) + " ms");
        std::unique_ptr<HostedPlugin> plugin;
        if (isolation.mode == VSTIsolationMode::process) {
            std::string reason;
            plugin = makeIsolatedPlugin(in, in.audio.parameterSlots, isolation, reason);
            if (!plugin)
                return in.refuse(reason);
        } else {
            plugin = std::make_unique<LocalPlugin>(in, in.audio.parameterSlots);
        }
        in.side.plugin = std::move(plugin);
        in.settings.isolation = isolation;
        return true;
    });
}

VSTIsolation VSTModule::getIsolation() const {
    return internals->inspect([this] { return internals->settings.isolation; });
}

bool VSTModule::reloadPlugin() {
    Internals& in = *internals;
    return in.inspect([&in] {
        try {
            in.catchUp(false);
            const bool reloaded = in.reload();
            in.deliverEvents();
            return reloaded;
        } catch (const std::exception& error) {
            in.reportThrow("reloadPlugin", error.what());
        } catch (...) {
            in.reportThrow("reloadPlugin", "an unknown exception");
        }
        return false;
    });
}

bool VSTModule::Internals::reload() {
    if (!side.loadStarted || side.loadPath.empty())
        return refuse("No plug-in was loaded, so none can be reloaded.");
    if (settings.isolation.mode != VSTIsolationMode::process)
        return refuse("Only a plug-in in a process of its own can be reloaded.");
    // A plug-in that still runs gives its latest state first.
    if (plugin().ending() == nullptr && loaded()) {
        PluginStateChunks chunks;
        if (captureState(chunks, false))
            keepSnapshot(chunks);
    }
    plugin().unload();
    side.endingReported = false;
    PluginFacts facts;
    std::string reason;
    if (!plugin().load(side.loadPath, side.loadClass, facts, reason))
        return refuse("Could not reload the plug-in: " + reason);
    side.facts = std::move(facts);
    // As a restore: the state and the values after it go in while the plug-in is
    // inactive, and every value the controller then holds reaches the processor
    // with the first block.
    plugin().applySetup(pluginSetup(settings.setup), LifecycleState::setUp);
    if (side.snapshot)
        applyState(*side.snapshot, true);
    for (const auto& [id, value] : side.valuesSinceSnapshot) {
        if (plugin().hasController())
            plugin().setNormalizedValue(id, value);
        audio.parameterSlots.publish(id, value);
    }
    if (plugin().hasController())
        sendControllerValues(false);
    plugin().moveTo(settings.runningState);
    return true;
}

std::string VSTModule::getLoadError() const {
    return internals->inspect([this] { return internals->side.loadError; });
}

std::vector<VSTPluginClassInfo> VSTModule::listPluginClasses(const std::string& path, std::string& error) {
    // Factories are called on the plug-in thread too, one library user at a time.
    return PluginThread::instance().call([&] { return LocalPlugin::listClasses(path, error); });
}

VSTPluginClassInfo VSTModule::getPluginClassInfo() const {
    return internals->inspect([this] { return internals->side.facts.classInfo; });
}

std::vector<VSTBusInfo> VSTModule::getBuses() const {
    return internals->inspect([this] { return internals->side.facts.buses; });
}

VSTChannelLayout VSTModule::getChannelLayout() const {
    return internals->inspect([this] { return internals->side.facts.channelLayout; });
}

const char* describeChannelLayout(VSTChannelLayout layout) {
    switch (layout) {
    case VSTChannelLayout::none:
        return "none (no plug-in loaded)";
    case VSTChannelLayout::stereo:
        return "stereo";
    case VSTChannelLayout::dualMono:
        return "dual mono (two mono instances, one per channel)";
    case VSTChannelLayout::monoInStereoOut:
        return "mono in, stereo out (fed the mean of left and right)";
    case VSTChannelLayout::stereoInMonoOut:
        return "stereo in, mono out (the mono result goes to both channels)";
    case VSTChannelLayout::noInputStereoOut:
        return "no input, stereo out";
    case VSTChannelLayout::noInputMonoOut:
        return "no input, mono out (the mono result goes to both channels)";
    case VSTChannelLayout::noOutput:
        return "no output (the signal passes unchanged)";
    }
    return "unknown";
}

} // namespace varnel::extensions::vst
