// `varnel-vst plugins`: every VST 3 bundle in the search folders and the audio
// module classes its factory describes.
#include "Commands.h"
#include "JsonWriter.h"
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
    JsonWriter json(std::cout);
    json.beginObject();
    json.key("plugins");
    json.beginArray();
    for (const ListedPlugin& plugin : plugins) {
        json.beginObject();
        json.key("name");
        json.string(plugin.description.name);
        json.key("vendor");
        json.string(plugin.description.vendor);
        json.key("category");
        json.string(plugin.description.category);
        json.key("subCategories");
        json.beginArray();
        for (const std::string& subCategory : plugin.description.subCategories)
            json.string(subCategory);
        json.endArray();
        json.key("version");
        json.string(plugin.description.version);
        json.key("path");
        json.string(plugin.bundle);
        json.endObject();
    }
    json.endArray();
    json.key("unloadable");
    json.beginArray();
    for (const UnloadableBundle& bundle : unloadable) {
        json.beginObject();
        json.key("path");
        json.string(bundle.bundle);
        json.key("error");
        json.string(bundle.error);
        json.endObject();
    }
    json.endArray();
    json.endObject();
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
