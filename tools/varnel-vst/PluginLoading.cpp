#include "PluginLoading.h"

#include "ToolError.h"

#include "public.sdk/source/vst/hosting/plugprovider.h"

#include <VSTExtension.h>

#include <varnel/ExtensionManager.h>
#include <varnel/Logger.h>

#include <iostream>

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

ToolError loadFailure(const PluginLocation& plugin, const DiagnosticsCapture& diagnostics) {
    const std::string reason = diagnostics.empty() ? "the library gave no reason" : diagnostics.text();
    return failure("could not load " + plugin.argument + ": " + reason);
}

} // namespace

DiagnosticsCapture::DiagnosticsCapture() {
    varnel::Logger::setSink([this](const std::string& line) {
        const std::lock_guard lock(linesMutex);
        lines.push_back(line);
    });
    Steinberg::Vst::PlugProvider::setErrorStream(&providerLines);
}

DiagnosticsCapture::~DiagnosticsCapture() {
    Steinberg::Vst::PlugProvider::setErrorStream(&std::cerr);
    varnel::Logger::setSink({});
}

bool DiagnosticsCapture::empty() const {
    const std::lock_guard lock(linesMutex);
    return lines.empty() && providerLines.str().empty();
}

std::string DiagnosticsCapture::text() const {
    std::string joined;
    {
        const std::lock_guard lock(linesMutex);
        for (const std::string& line : lines)
            joined += (joined.empty() ? "" : "; ") + line;
    }
    std::istringstream provider(providerLines.str());
    for (std::string line; std::getline(provider, line);) {
        if (!line.empty())
            joined += (joined.empty() ? "" : "; ") + line;
    }
    return joined;
}

void DiagnosticsCapture::forwardAsWarnings() const {
    // A plug-in that loaded may still have complained (a refused switch, a bus
    // that would not activate): worth showing, not worth failing for.
    if (!empty())
        std::cerr << "varnel-vst: warning: " << text() << '\n';
}

void DiagnosticsCapture::clear() {
    const std::lock_guard lock(linesMutex);
    lines.clear();
    providerLines.str({});
}

std::unique_ptr<VSTProcessorNode> createProcessorNode(const PluginLocation& plugin) {
    registerExtensionOnce();
    DiagnosticsCapture diagnostics;

    // A node names its plug-in relative to the system folder and loads it while
    // it is constructed. A plug-in elsewhere cannot be named that way: its node is
    // made without a name (whose failed load is expected and dropped) and then
    // told the path.
    varnel::VLAnyMap config;
    if (plugin.systemRelativeName)
        config = {{"pluginFileName", *plugin.systemRelativeName}};
    std::unique_ptr<varnel::Node> created =
        varnel::ExtensionManager::getInstance().createNode(kNodeType, config);
    auto* node = dynamic_cast<VSTProcessorNode*>(created.get());
    if (node == nullptr)
        throw failure("the framework made no " + std::string(kNodeType) + ": " + diagnostics.text());
    created.release();
    std::unique_ptr<VSTProcessorNode> processorNode(node);

    if (!plugin.systemRelativeName) {
        diagnostics.clear(); // the nameless node's failed load was expected
        processorNode->loadPlugin(plugin.path);
    }
    if (!processorNode->getIsPluginLoaded())
        throw loadFailure(plugin, diagnostics);
    diagnostics.forwardAsWarnings();
    return processorNode;
}

void loadIntoModule(VSTModule& module, const PluginLocation& plugin) {
    DiagnosticsCapture diagnostics;
    if (!module.loadPlugin(plugin.path))
        throw loadFailure(plugin, diagnostics);
    diagnostics.forwardAsWarnings();
}

} // namespace varnelvst::tool
