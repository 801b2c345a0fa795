// `varnel-vst plugins`: every VST 3 bundle in the search folders and the audio
// module classes its factory describes, effects and instruments alike.
#include "BundleScan.h"
#include "Commands.h"
#include "JsonOutput.h"
#include "PluginFolders.h"
#include "ScanCache.h"
#include "StandardOutput.h"
#include "TextTable.h"
#include "ToolError.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <thread>
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

// Each bundle is asked in a child process: one whose factory crashes, aborts or
// hangs is reported and the listing goes on. Bundles the cache knows as they are
// are not asked again; the others are asked a core's worth at a time.
std::vector<BundleScan> scanBundles(const std::vector<std::string>& bundles, const PluginsCommand& command) {
    ScanCache cache;
    std::vector<BundleScan> scans(bundles.size());
    std::vector<std::size_t> unknown;
    for (std::size_t i = 0; i < bundles.size(); ++i) {
        std::optional<BundleScan> known = command.rescan ? std::nullopt : cache.find(bundles[i]);
        if (known)
            scans[i] = std::move(*known);
        else
            unknown.push_back(i);
    }
    const std::chrono::milliseconds limit{static_cast<std::int64_t>(command.scanTimeoutSeconds * 1000.0)};
    std::atomic<std::size_t> next{0};
    const auto scanSome = [&] {
        for (std::size_t k = next++; k < unknown.size(); k = next++) {
            const std::size_t i = unknown[k];
            try {
                scans[i] = scanInChildProcess(bundles[i], limit);
            } catch (const std::exception& problem) {
                scans[i].error = problem.what();
            }
        }
    };
    std::vector<std::thread> scanners;
    const std::size_t count =
        std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), unknown.size());
    for (std::size_t i = 0; i < count; ++i)
        scanners.emplace_back(scanSome);
    for (std::thread& scanner : scanners)
        scanner.join();
    for (std::size_t i = 0; i < bundles.size(); ++i)
        cache.store(bundles[i], scans[i]);
    cache.save();
    return scans;
}

} // namespace

int runPlugins(const PluginsCommand& command) {
    const std::vector<std::string> bundles = findBundles(command.folders);
    const std::vector<BundleScan> scans = scanBundles(bundles, command);
    std::vector<ListedPlugin> plugins;
    std::vector<UnloadableBundle> unloadable;
    for (std::size_t i = 0; i < bundles.size(); ++i) {
        const std::string& error = scans[i].error;
        bool offersAudioModule = false;
        for (const VSTPluginClassInfo& description : scans[i].classes) {
            if (description.category == kAudioModuleClass) {
                plugins.push_back({bundles[i], description});
                offersAudioModule = true;
            }
        }
        if (!offersAudioModule)
            unloadable.push_back(
                {bundles[i], error.empty() ? "the factory offers no audio module class" : error});
    }
    if (command.json)
        writeJson(plugins, unloadable);
    else
        writeText(plugins, unloadable);
    return kExitOk;
}

} // namespace varnelvst::tool
