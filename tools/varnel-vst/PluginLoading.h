#pragma once

#include "PluginFolders.h"

#include <VSTModule.h>
#include <VSTProcessorNode.h>

#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace varnelvst::tool {

// Collects what the library and the VST 3 hosting helpers report while it
// lives, instead of letting it reach standard error, so that a failure becomes
// one error line with its reason. Restores the default outlets when destroyed.
class DiagnosticsCapture {
public:
    DiagnosticsCapture();
    ~DiagnosticsCapture();
    DiagnosticsCapture(const DiagnosticsCapture&) = delete;
    DiagnosticsCapture& operator=(const DiagnosticsCapture&) = delete;

    bool empty() const;
    // Everything collected so far, joined into one line.
    std::string text() const;
    // Writes what was captured to standard error as one warning line, if anything.
    void forwardAsWarnings() const;
    void clear();

private:
    mutable std::mutex linesMutex;
    std::vector<std::string> lines;
    std::ostringstream providerLines;
};

// A VSTProcessorNode for the plug-in, made the way an application makes one:
// VSTExtension::load once, then ExtensionManager::createNode. A plug-in inside
// the system folder is named in the node's configuration and loaded by its
// constructor; any other is loaded with loadPlugin. Throws a ToolError
// "could not load <plugin>: <reason>" when the library reports any failure.
std::unique_ptr<varnel::extensions::vst::VSTProcessorNode> createProcessorNode(const PluginLocation& plugin);

// Loads the plug-in into `module` for inspection; throws as above.
void loadIntoModule(varnel::extensions::vst::VSTModule& module, const PluginLocation& plugin);

} // namespace varnelvst::tool
