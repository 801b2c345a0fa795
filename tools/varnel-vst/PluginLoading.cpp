#include "PluginLoading.h"

#include "TextTable.h"
#include "ToolError.h"

#include <VSTExtension.h>

#include <varnel/ExtensionManager.h>
#include <varnel/Logger.h>

namespace varnelvst::tool {

using varnel::extensions::vst::VSTExtension;
using varnel::extensions::vst::VSTModule;
using varnel::extensions::vst::VSTPluginClassInfo;
using varnel::extensions::vst::VSTProcessorNode;

namespace {

constexpr const char* kNodeType = "VSTProcessorNode";

void registerExtensionOnce() {
    static const bool registered = [] {
        VSTExtension::load();
        return true;
    }();
    (void)registered;
}

ToolError loadFailure(const PluginLocation& plugin, const std::string& reason) {
    return failure("could not load " + plugin.argument + ": " +
                   (reason.empty() ? "the library gave no reason" : reason));
}

// A node made without a plug-in name tries the bare system folder, fails and
// logs it. Here that failure is part of the plan, not news, so the library's
// line for it is dropped; the library speaks for itself everywhere else.
std::unique_ptr<varnel::Node> createNamelessNode(const std::string& pluginClass) {
    struct Quiet {
        Quiet() {
            varnel::Logger::setSink([](const std::string&) {});
        }
        ~Quiet() { varnel::Logger::setSink({}); }
    } quiet;
    return varnel::ExtensionManager::getInstance().createNode(kNodeType, {{"pluginClass", pluginClass}});
}

// The audio module classes of a bundle, effects and instruments apart.
struct BundleClasses {
    std::vector<std::string> effects;
    std::vector<std::string> instruments;
};

BundleClasses classesOf(const PluginLocation& plugin) {
    std::string error;
    BundleClasses classes;
    for (const auto& info : VSTModule::listPluginClasses(plugin.path, error)) {
        if (info.category == "Audio Module Class")
            (info.isInstrument ? classes.instruments : classes.effects).push_back(info.name);
    }
    return classes;
}

// "2 effects (A, B)"; empty for none.
std::string listed(const std::vector<std::string>& names, const std::string& noun) {
    return names.empty() ? std::string() : counted(names.size(), noun) + " (" + joined(names, ", ") + ")";
}

// A bundle of several classes loads one of them unless told which: the user
// should know which one that was, and that --class chooses another.
void noteDefaultClass(const PluginLocation& plugin, const std::string& pluginClass,
                      const std::string& loaded) {
    if (!pluginClass.empty())
        return;
    const BundleClasses classes = classesOf(plugin);
    if (classes.effects.size() + classes.instruments.size() < 2)
        return;
    const std::string effects = listed(classes.effects, "effect");
    const std::string instruments = listed(classes.instruments, "instrument");
    printNote(plugin.argument + " declares " + effects +
              (effects.empty() || instruments.empty() ? "" : " and ") + instruments + "; loaded " + loaded +
              " (choose one with --class)");
}

// Fed audio without notes an instrument makes silence: refused, not rendered.
void refuseInstrument(const PluginLocation& plugin, const std::string& pluginClass,
                      const VSTPluginClassInfo& loaded) {
    if (!loaded.isInstrument)
        return;
    std::string why =
        plugin.argument + ": " + loaded.name + " is an instrument; varnel-vst runs effects only";
    if (pluginClass.empty()) {
        const std::vector<std::string> effects = classesOf(plugin).effects;
        if (!effects.empty())
            why += " (choose one of its effects with --class: " + joined(effects, ", ") + ")";
    }
    throw failure(why);
}

// --class's, else the one the plug-in's name chose.
std::string classToLoad(const PluginLocation& plugin, const std::string& requestedClass) {
    return requestedClass.empty() ? plugin.pluginClass : requestedClass;
}

} // namespace

std::unique_ptr<VSTProcessorNode> createProcessorNode(const PluginLocation& plugin,
                                                      const std::string& requestedClass) {
    const std::string pluginClass = classToLoad(plugin, requestedClass);
    registerExtensionOnce();
    // A node names its plug-in relative to the system folder and loads it while
    // it is constructed. A plug-in elsewhere cannot be named that way: its node is
    // made without a name and then told the path.
    std::unique_ptr<varnel::Node> created =
        plugin.systemRelativeName
            ? varnel::ExtensionManager::getInstance().createNode(
                  kNodeType, {{"pluginFileName", *plugin.systemRelativeName}, {"pluginClass", pluginClass}})
            : createNamelessNode(pluginClass);
    auto* node = dynamic_cast<VSTProcessorNode*>(created.get());
    if (node == nullptr)
        throw failure("the framework made no " + std::string(kNodeType));
    created.release();
    std::unique_ptr<VSTProcessorNode> processorNode(node);

    if (!plugin.systemRelativeName)
        processorNode->loadPlugin(plugin.path);
    if (!processorNode->getIsPluginLoaded())
        throw loadFailure(plugin, processorNode->getPluginLoadError());
    const VSTPluginClassInfo loaded = processorNode->getPluginClassInfo();
    refuseInstrument(plugin, pluginClass, loaded);
    noteDefaultClass(plugin, pluginClass, loaded.name);
    return processorNode;
}

void loadIntoModule(VSTModule& module, const PluginLocation& plugin, const std::string& requestedClass) {
    const std::string pluginClass = classToLoad(plugin, requestedClass);
    std::string reason;
    if (!module.loadPlugin(plugin.path, pluginClass, reason))
        throw loadFailure(plugin, reason);
    noteDefaultClass(plugin, pluginClass, module.getPluginClassInfo().name);
}

} // namespace varnelvst::tool
