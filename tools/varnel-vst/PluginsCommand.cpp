// `varnel-vst plugins`: every VST 3 bundle in the search folders and the audio
// module classes its factory describes, effects and instruments alike.
#include "BundleScan.h"
#include "Commands.h"
#include "JsonOutput.h"
#include "PluginFolders.h"
#include "StandardOutput.h"
#include "TextTable.h"
#include "ToolError.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <utility>

namespace varnelvst::tool {

using varnel::extensions::vst::VSTPluginClassInfo;

namespace {

// The category of the classes a host can run as effects; a factory's other
// classes (edit controllers, for one) are no plug-ins of their own.
constexpr const char* kAudioModuleClass = "Audio Module Class";

struct ListedPlugin {
    std::string bundle;
    VSTPluginClassInfo description;
};

struct UnloadableBundle {
    std::string bundle;
    std::string error;
};

void writeJson(const std::vector<ListedPlugin>& plugins, const std::vector<UnloadableBundle>& unloadable) {
    Json json{{"plugins", Json::array()}, {"unloadable", Json::array()}};
    for (const ListedPlugin& plugin : plugins) {
        Json entry = classInfoJson(plugin.description);
        entry["path"] = plugin.bundle;
        json["plugins"].push_back(std::move(entry));
    }
    for (const UnloadableBundle& bundle : unloadable)
        json["unloadable"].push_back({{"path", bundle.bundle}, {"error", bundle.error}});
    printJson(json);
}

void writeText(const std::vector<ListedPlugin>& plugins, const std::vector<UnloadableBundle>& unloadable) {
    TextTable table({"NAME", "VENDOR", "CATEGORY", "SUB-CATEGORIES", "VERSION", "BUNDLE"});
    for (const ListedPlugin& plugin : plugins) {
        const VSTPluginClassInfo& description = plugin.description;
        table.addRow({description.name, description.vendor, description.category,
                      joined(description.subCategories, "|"), description.version, plugin.bundle});
    }
    table.print(toolOutput());
    const auto instruments = static_cast<std::size_t>(
        std::count_if(plugins.begin(), plugins.end(),
                      [](const ListedPlugin& plugin) { return plugin.description.isInstrument; }));
    toolOutput() << counted(plugins.size(), "plug-in") << " ("
                 << counted(plugins.size() - instruments, "effect") << ", "
                 << counted(instruments, "instrument") << ")\n";
    for (const UnloadableBundle& bundle : unloadable)
        printWarning("could not load " + bundle.bundle + ": " + bundle.error);
}

} // namespace

int runPlugins(const PluginsCommand& command) {
    std::vector<ListedPlugin> plugins;
    std::vector<UnloadableBundle> unloadable;
    const std::chrono::milliseconds limit{static_cast<std::int64_t>(command.scanTimeoutSeconds * 1000.0)};
    for (const std::string& bundle : findBundles()) {
        // Each bundle is asked in a child process: one whose factory crashes,
        // aborts or hangs is reported and the listing goes on.
        const BundleScan scan = scanInChildProcess(bundle, limit);
        const std::string& error = scan.error;
        bool offersAudioModule = false;
        for (const VSTPluginClassInfo& description : scan.classes) {
            if (description.category == kAudioModuleClass) {
                plugins.push_back({bundle, description});
                offersAudioModule = true;
            }
        }
        if (!offersAudioModule)
            unloadable.push_back(
                {bundle, error.empty() ? "the factory offers no audio module class" : error});
    }
    if (command.json)
        writeJson(plugins, unloadable);
    else
        writeText(plugins, unloadable);
    return kExitOk;
}

} // namespace varnelvst::tool
