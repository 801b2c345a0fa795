// `varnel-vst plugins`: every VST 3 bundle in the search folders and the audio
// module classes its factory describes.
#include "Commands.h"
#include "JsonOutput.h"
#include "PluginFolders.h"
#include "PluginInspection.h"
#include "TextTable.h"
#include "ToolError.h"

#include <iostream>

namespace varnelvst::tool {

namespace {

struct ListedPlugin {
    std::string bundle;
    PluginClassDescription description;
};

struct UnloadableBundle {
    std::string bundle;
    std::string error;
};

std::string joinedSubCategories(const std::vector<std::string>& subCategories) {
    std::string text;
    for (const std::string& subCategory : subCategories)
        text += (text.empty() ? "" : "|") + subCategory;
    return text;
}

void writeJson(const std::vector<ListedPlugin>& plugins, const std::vector<UnloadableBundle>& unloadable) {
    Json json{{"plugins", Json::array()}, {"unloadable", Json::array()}};
    for (const ListedPlugin& plugin : plugins) {
        const PluginClassDescription& description = plugin.description;
        json["plugins"].push_back({{"name", description.name},
                                   {"vendor", description.vendor},
                                   {"category", description.category},
                                   {"subCategories", description.subCategories},
                                   {"version", description.version},
                                   {"path", plugin.bundle}});
    }
    for (const UnloadableBundle& bundle : unloadable)
        json["unloadable"].push_back({{"path", bundle.bundle}, {"error", bundle.error}});
    printJson(json);
}

void writeText(const std::vector<ListedPlugin>& plugins, const std::vector<UnloadableBundle>& unloadable) {
    TextTable table({"NAME", "VENDOR", "CATEGORY", "SUB-CATEGORIES", "VERSION", "BUNDLE"});
    for (const ListedPlugin& plugin : plugins) {
        const PluginClassDescription& description = plugin.description;
        table.addRow({description.name, description.vendor, description.category,
                      joinedSubCategories(description.subCategories), description.version, plugin.bundle});
    }
    table.print(std::cout);
    std::cout << plugins.size() << (plugins.size() == 1 ? " plug-in" : " plug-ins") << '\n';
    for (const UnloadableBundle& bundle : unloadable)
        printWarning("could not load " + bundle.bundle + ": " + bundle.error);
}

} // namespace

int runPlugins(const PluginsCommand& command) {
    std::vector<ListedPlugin> plugins;
    std::vector<UnloadableBundle> unloadable;
    for (const std::string& bundle : findBundles()) {
        std::string error;
        const std::vector<PluginClassDescription> classes = describeAudioModuleClasses(bundle, error);
        if (classes.empty())
            unloadable.push_back({bundle, error});
        for (const PluginClassDescription& description : classes)
            plugins.push_back({bundle, description});
    }
    if (command.json)
        writeJson(plugins, unloadable);
    else
        writeText(plugins, unloadable);
    return kExitOk;
}

} // namespace varnelvst::tool
