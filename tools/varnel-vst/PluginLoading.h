#pragma once

#include "PluginFolders.h"

#include <VSTModule.h>
#include <VSTProcessorNode.h>

#include <memory>
#include <string>

namespace varnelvst::tool {

// A VSTProcessorNode for the plug-in, made the way an application makes one:
// VSTExtension::load once, then ExtensionManager::createNode. A plug-in inside
// the system folder is named in the node's configuration and loaded by its
// constructor; any other is loaded with loadPlugin. Throws a ToolError
// "could not load <plugin>: <the library's reason>" when the load fails.
// `pluginClass` names the audio module class to load (the node's "pluginClass");
// without one, the class the plug-in's name chose (PluginLocation::pluginClass),
// and without that a note on standard error says which class of several was loaded.
// An instrument is refused with a ToolError that says so: the tool runs effects.
std::unique_ptr<varnel::extensions::vst::VSTProcessorNode>
createProcessorNode(const PluginLocation& plugin, const std::string& pluginClass);

// Loads the plug-in into `module` for inspection, instruments too; throws and
// notes as above.
void loadIntoModule(varnel::extensions::vst::VSTModule& module, const PluginLocation& plugin,
                    const std::string& pluginClass);

} // namespace varnelvst::tool
