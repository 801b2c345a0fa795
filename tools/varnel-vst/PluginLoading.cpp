#include "PluginLoading.h"

#include "ToolError.h"

#include <VSTExtension.h>

#include <varnel/ExtensionManager.h>
#include <varnel/Logger.h>

namespace varnelvst::tool {

using varnel::extensions::vst::VSTExtension;
using varnel::extensions::vst::VSTModule;
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
std::unique_ptr<varnel::Node> createNamelessNode() {
    struct Quiet {
        Quiet() {
            varnel::Logger::setSink([](const std::string&) {});
        }
        ~Quiet() { varnel::Logger::setSink({}); }
    } quiet;
    return varnel::ExtensionManager::getInstance().createNode(kNodeType, {});
}

} // namespace

std::unique_ptr<VSTProcessorNode> createProcessorNode(const PluginLocation& plugin) {
    registerExtensionOnce();
    // A node names its plug-in relative to the system folder and loads it while
    // it is constructed. A plug-in elsewhere cannot be named that way: its node is
    // made without a name and then told the path.
    std::unique_ptr<varnel::Node> created =
        plugin.systemRelativeName ? varnel::ExtensionManager::getInstance().createNode(
                                        kNodeType, {{"pluginFileName", *plugin.systemRelativeName}})
                                  : createNamelessNode();
    auto* node = dynamic_cast<VSTProcessorNode*>(created.get());
    if (node == nullptr)
        throw failure("the framework made no " + std::string(kNodeType));
    created.release();
    std::unique_ptr<VSTProcessorNode> processorNode(node);

    if (!plugin.systemRelativeName)
        processorNode->loadPlugin(plugin.path);
    if (!processorNode->getIsPluginLoaded())
        throw loadFailure(plugin, processorNode->getPluginLoadError());
    return processorNode;
}

void loadIntoModule(VSTModule& module, const PluginLocation& plugin) {
    std::string reason;
    if (!module.loadPlugin(plugin.path, reason))
        throw loadFailure(plugin, reason);
}

} // namespace varnelvst::tool
