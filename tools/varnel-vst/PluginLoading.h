#pragma once

#include "PluginFolders.h"

#include <VSTModule.h>
#include <VSTProcessorNode.h>

#include <memory>

namespace varnelvst::tool {

// A VSTProcessorNode for the plug-in, made the way an application makes one:
// VSTExtension::load once, then ExtensionManager::createNode. A plug-in inside
// the system folder is named in the node's configuration and loaded by its
// constructor; any other is loaded with loadPlugin. Throws a ToolError
// "could not load <plugin>: <the library's reason>" when the load fails.
std::unique_ptr<varnel::extensions::vst::VSTProcessorNode> createProcessorNode(const PluginLocation& plugin);

// Loads the plug-in into `module` for inspection; throws as above.
void loadIntoModule(varnel::extensions::vst::VSTModule& module, const PluginLocation& plugin);

} // namespace varnelvst::tool
